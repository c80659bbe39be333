// The runtime services on Qt and the operating system.
#pragma once

#include "linux/instance_guard.h"
#include "linux/secure_random.h"
#include "runtime/services.h"

class QMimeData;

namespace quorvex::desktop {

class QtServices final : public runtime::Services {
  public:
    // The guard is decided by the program's entry, before the window system
    // takes its share of the file descriptors.
    explicit QtServices(InstanceGuard& guard) : guard_(guard) {}

    int MsgBox(const runtime::String& prompt, int style, const runtime::String& title) override;
    double Rnd() override;
    void Randomize() override;
    void ClipboardClear() override;
    void ClipboardSetText(const runtime::String& text) override;
    runtime::Integer PrevInstance() override;
    [[noreturn]] void End() override;

  private:
    SecureRandom random_;
    InstanceGuard& guard_;
};

// Clipboard data for a text that is a secret: the plain text, marked so that
// clipboard managers which honour the mark keep it out of their history.
QMimeData* SecretTextMimeData(const QString& text);

inline constexpr const char* kPasswordManagerHintFormat = "x-kde-passwordManagerHint";

}  // namespace quorvex::desktop
