// The program's own title bar, for desktops that leave title bars to it.
//
// On Wayland the compositor may draw title bars itself (it then offers
// xdg-decoration) or leave them to each program (GNOME's mutter, weston).
// There Qt draws one, and Qt's title bar offers maximize on every window,
// fixed-size ones too. The program's windows never change size, so where
// the title bar is theirs to draw they carry this one instead: the icon, the
// title, minimize and close. A title bar the user has asked Qt for by name
// (QT_WAYLAND_DECORATION), or asked to go without
// (QT_WAYLAND_DISABLE_WINDOWDECORATION), is left as asked.
#pragma once

class QWidget;

namespace quorvex::desktop {

// Whether the program's windows carry its own title bar. Worked out on the
// first call, which comes after the application object exists.
bool OwnTitleBars();
// Tests set it, to see the title bar on the platform they run on.
void SetOwnTitleBars(bool own);

// Gives a window that has not been shown yet the program's title bar, where
// OwnTitleBars(): the window goes without one from the desktop and Qt, and
// its contents rectangle starts below the bar, so a window of a given inner
// size grows by the bar. Returns the bar, or nullptr.
QWidget* AddOwnTitleBar(QWidget& window);

}  // namespace quorvex::desktop
