// The runtime services on Qt and the operating system.
#pragma once

#include "runtime/instance_guard.h"
#include "runtime/secure_random.h"
#include "runtime/services.h"

#include <functional>

class QMimeData;
class QWidget;

namespace quorvex::runtime {

class QtServices final : public Services {
  public:
    // The guard is decided by the program's entry, before the window system
    // takes its share of the file descriptors. prepare_box, where given, has
    // each message box before it is shown (the program's own title bar).
    explicit QtServices(InstanceGuard& guard, std::function<void(QWidget&)> prepare_box = {})
        : guard_(guard), prepare_box_(std::move(prepare_box)) {}

    int MsgBox(const QString& prompt, int style, const QString& title) override;
    double Rnd() override;
    void Randomize() override;
    void ClipboardClear() override;
    void ClipboardSetText(const QString& text) override;
    Integer PrevInstance() override;
    [[noreturn]] void End() override;

  private:
    SecureRandom random_;
    InstanceGuard& guard_;
    std::function<void(QWidget&)> prepare_box_;
};

// Clipboard data for a text that is a secret: the plain text, marked so that
// clipboard managers which honour the mark keep it out of their history.
QMimeData* SecretTextMimeData(const QString& text);

inline constexpr const char* kPasswordManagerHintFormat = "x-kde-passwordManagerHint";

}  // namespace quorvex::runtime
