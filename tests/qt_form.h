// Form1 as the program builds it on Qt's window system, for the tests of the
// Linux desktop: the window and its controls' widgets by their names. The
// window may be given another inner width than the definition's.
#pragma once

#include "app/form1.h"
#include "linux/password_box.h"
#include "linux/qt_window.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <memory>
#include <optional>

namespace quorvex::testing {

// The widgets of the controls, named as the controls are.
struct Widgets {
    explicit Widgets(const desktop::QtWindow& window)
        : Option1(Find<QRadioButton>(window, "Option1")),
          Option2(Find<QRadioButton>(window, "Option2")),
          Option3(Find<QRadioButton>(window, "Option3")),
          Option4(Find<QRadioButton>(window, "Option4")),
          Text2(Find<desktop::PasswordBox>(window, "Text2")),
          Text1(Find<QLineEdit>(window, "Text1")),
          Command1(Find<QPushButton>(window, "Command1")),
          Frame1(Find<QGroupBox>(window, "Frame1")),
          Frame2(Find<QGroupBox>(window, "Frame2")),
          Image2(Find<QLabel>(window, "Image2")),
          Label2(Find<QLabel>(window, "Label2")),
          Image1(Find<QLabel>(window, "Image1")),
          Label4(Find<QLabel>(window, "Label4")),
          Label1(Find<QLabel>(window, "Label1")),
          Label3(Find<QLabel>(window, "Label3")) {}

    template <typename Widget>
    static Widget* Find(const desktop::QtWindow& window, const char* name) {
        auto* widget = qobject_cast<Widget*>(window.Widget(name));
        if (widget == nullptr) {
            qFatal("no widget %s of the expected class", name);
        }
        return widget;
    }

    QRadioButton* Option1;
    QRadioButton* Option2;
    QRadioButton* Option3;
    QRadioButton* Option4;
    desktop::PasswordBox* Text2;
    QLineEdit* Text1;
    QPushButton* Command1;
    QGroupBox* Frame1;
    QGroupBox* Frame2;
    QLabel* Image2;
    QLabel* Label2;
    QLabel* Image1;
    QLabel* Label4;
    QLabel* Label1;
    QLabel* Label3;
};

// Qt's window system, keeping the window it makes in view.
class QtWindowSystemUnderTest final : public runtime::WindowSystem {
  public:
    explicit QtWindowSystemUnderTest(std::optional<int> client_width = std::nullopt)
        : client_width_(client_width) {}

    std::unique_ptr<runtime::NativeWindow> Load(const runtime::FormDefinition& definition,
                                                runtime::FormEvents& events) override {
        definition_ = definition;
        if (client_width_) {
            definition_.client_width = static_cast<int>(*client_width_ * runtime::kTwipsPerPixel);
        }
        auto made = std::make_unique<desktop::QtWindow>(definition_, events);
        window = made.get();
        return made;
    }

    desktop::QtWindow* window = nullptr;

  private:
    std::optional<int> client_width_;
    runtime::FormDefinition definition_{};
};

// Form1 on Qt, with its window and widgets.
struct QtForm {
    explicit QtForm(runtime::Services& services, std::optional<int> client_width = std::nullopt)
        : window_system(client_width),
          form(window_system, services),
          window(*window_system.window),
          ui(window) {}

    // Loads and shows the window, as the program's start does, without
    // running the event loop.
    bool Start() {
        form.Load();
        window.Show();
        return QTest::qWaitForWindowActive(&window);
    }

    QtWindowSystemUnderTest window_system;
    app::Form1 form;
    desktop::QtWindow& window;
    Widgets ui;
};

}  // namespace quorvex::testing
