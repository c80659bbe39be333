// The window system on Win32: the window built from its definition with the
// system's own controls (radio buttons, edit controls, group boxes, an
// owner-drawn picture button and owner-drawn pictures), laid out in logical
// pixels and drawn for the monitor's DPI, with the dialog manager's keyboard
// (Tab order, arrow keys in the option group).
#pragma once

#include "runtime/window_system.h"

#include <windows.h>

namespace quorvex::windows {

// The window's class name; the services find the window by it to own their
// message boxes.
inline constexpr wchar_t kWindowClass[] = L"Quorvex";

class Win32WindowSystem final : public runtime::WindowSystem {
  public:
    // show_command: how the program was asked to show its window (WinMain's).
    Win32WindowSystem(HINSTANCE instance, int show_command);

    std::unique_ptr<runtime::NativeWindow> Load(const runtime::FormDefinition& definition,
                                                runtime::FormEvents& events) override;

  private:
    HINSTANCE instance_;
    int show_command_;
};

// The window of the calling thread that the program shows, or nullptr while
// none is visible.
HWND VisibleProgramWindow();

}  // namespace quorvex::windows
