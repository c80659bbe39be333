// Turns the window system's failure to start into one clear line. Without a
// display Qt gives several messages and then aborts, which leaves a core
// where cores are kept; while a DisplayCheck lives, its messages are held
// back, and a fatal one ends the program with one line and exit status 1
// instead: the line names the display when that is what failed.
#pragma once

#include <QtMessageHandler>

namespace quorvex::desktop {

class DisplayCheck {
  public:
    DisplayCheck();
    // Passes the messages held back on to the handler that was in place.
    ~DisplayCheck();
    DisplayCheck(const DisplayCheck&) = delete;
    DisplayCheck& operator=(const DisplayCheck&) = delete;
};

}  // namespace quorvex::desktop
