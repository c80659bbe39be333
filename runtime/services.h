// The services the program needs of its platform: message boxes, the random
// source, the clipboard, previous-instance detection and termination. The
// window and the generate command use them only through this interface, so
// tests can script answers, draws and the clipboard.
#pragma once

#include "runtime/runtime.h"

namespace quorvex::runtime {

// Message box styles and answer codes.
namespace MsgBoxStyle {
inline constexpr int OkOnly = 0;
inline constexpr int YesNo = 4;
inline constexpr int Critical = 16;
inline constexpr int Exclamation = 48;
inline constexpr int DefaultButton2 = 256;
}  // namespace MsgBoxStyle

namespace MsgBoxResult {
inline constexpr int Ok = 1;
inline constexpr int Yes = 6;
inline constexpr int No = 7;
}  // namespace MsgBoxResult

class Services {
  public:
    virtual ~Services() = default;

    // A modal message box; returns the answer code of the button chosen.
    virtual int MsgBox(const String& prompt, int style, const String& title) = 0;

    // The next number of the random sequence, 0 <= r < 1; raises Device
    // unavailable when no fresh random bytes can be had.
    virtual double Rnd() = 0;
    // Prepares the random source; called once at start-up. It cannot fail: a
    // missing source shows at the first draw, not in a half-built window.
    virtual void Randomize() = 0;

    // Clipboard.Clear and Clipboard.SetText (plain text).
    virtual void ClipboardClear() = 0;
    virtual void ClipboardSetText(const String& text) = 0;

    // App.PrevInstance: True if another copy of the program is running.
    virtual Integer PrevInstance() = 0;

    // End: the program stops at once; throws ProgramEnd, which unwinds to the
    // program's entry.
    [[noreturn]] virtual void End() = 0;
};

}  // namespace quorvex::runtime
