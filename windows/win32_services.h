// The runtime's services on Windows: message boxes of the system owned by
// the program's window, the secure random source, the clipboard with text
// kept out of clipboard history, the single-instance guard and End.
#pragma once

#include "runtime/services.h"
#include "windows/bcrypt_random.h"
#include "windows/instance_guard.h"

namespace quorvex::windows {

class Win32Services final : public runtime::Services {
  public:
    Win32Services();

    int MsgBox(const runtime::String& prompt, int style, const runtime::String& title) override;
    double Rnd() override;
    void Randomize() override;
    void ClipboardClear() override;
    void ClipboardSetText(const runtime::String& text) override;
    runtime::Integer PrevInstance() override;
    [[noreturn]] void End() override;

  private:
    BcryptRandom random_;
    InstanceGuard guard_;
};

}  // namespace quorvex::windows
