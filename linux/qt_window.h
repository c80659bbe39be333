// The window system on Qt: the window and its controls as Qt widgets, built
// from the window definition, with the desktop's conventions (placement,
// title bar, focus order, colour scheme, screen readers).
#pragma once

#include "runtime/window_system.h"

#include <QWidget>
#include <memory>
#include <string_view>
#include <vector>

namespace quorvex::desktop {

class QtControl;

class QtWindow final : public QWidget, public runtime::NativeWindow {
    Q_OBJECT

  public:
    QtWindow(const runtime::FormDefinition& definition, runtime::FormEvents& events);
    ~QtWindow() override;

    runtime::NativeControl& Control(std::size_t index) override;
    runtime::Single ScaleWidth() const override;
    void Show() override;
    int Run() override;

    const runtime::FormDefinition& definition() const { return definition_; }
    // The widget of a control, by its name in the definition; nullptr for
    // none of that name.
    QWidget* Widget(std::string_view name) const;

  protected:
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool focusNextPrevChild(bool next) override;

  private:
    std::unique_ptr<QtControl> NewControl(const runtime::ControlDefinition& control,
                                          QWidget* container);
    // The controls that take the focus, in the order Tab follows; option
    // buttons stand there as their group, by the selected one.
    std::vector<QWidget*> FocusOrder() const;
    void UseMenuColour();

    const runtime::FormDefinition& definition_;
    runtime::FormEvents& events_;
    std::vector<std::unique_ptr<QtControl>> controls_;
};

class QtWindowSystem final : public runtime::WindowSystem {
  public:
    std::unique_ptr<runtime::NativeWindow> Load(const runtime::FormDefinition& definition,
                                                runtime::FormEvents& events) override;
};

}  // namespace quorvex::desktop
