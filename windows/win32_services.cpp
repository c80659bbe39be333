#include "windows/win32_services.h"

#include "windows/clipboard.h"
#include "windows/wide.h"
#include "windows/win32_window.h"

#include <windows.h>

namespace quorvex::windows {

Win32Services::Win32Services() : guard_(L"Quorvex") {}

int Win32Services::MsgBox(const runtime::String& prompt, int style, const runtime::String& title) {
    // The styles and answers are the system's own: 16 is MB_ICONHAND with
    // OK, 308 MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2; the answers are
    // IDOK, IDYES and IDNO. The window owns the box once it is shown; before,
    // the box stands alone, with its own button on the task bar.
    HWND owner = VisibleProgramWindow();
    const UINT flags = static_cast<UINT>(style) | (owner == nullptr ? MB_TASKMODAL : 0);
    const int answer = MessageBoxW(owner, Wide(prompt), Wide(title), flags);
    if (answer == 0) {
        runtime::Raise(runtime::ErrorNumber::OutOfMemory);
    }
    return answer;
}

double Win32Services::Rnd() {
    return random_.NextDouble();
}

void Win32Services::Randomize() {
    random_.Reset();
}

void Win32Services::ClipboardClear() {
    ClearClipboard(VisibleProgramWindow());
}

void Win32Services::ClipboardSetText(const runtime::String& text) {
    PutSecretText(VisibleProgramWindow(), text);
}

runtime::Integer Win32Services::PrevInstance() {
    return runtime::ToTruth(guard_.AnotherCopyRuns());
}

void Win32Services::End() {
    throw runtime::ProgramEnd{0};
}

}  // namespace quorvex::windows
