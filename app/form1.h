// The program's one window with its fifteen controls and its three handlers:
// Form_Load, Command1_Click and Text2_KeyDown.
#pragma once

#include "app/control.h"
#include "generator/generate_command.h"
#include "runtime/services.h"
#include "runtime/window_system.h"

#include <memory>

namespace quorvex::app {

class Form1 final : private runtime::FormEvents, private generator::GeneratorView {
  public:
    // Builds the window and its controls, hidden, from the definition.
    Form1(runtime::WindowSystem& window_system, runtime::Services& services);

    // Raises the window's Load event: runs Form_Load once, before it is shown.
    void Load();
    // Shows the window centred, with the keyboard focus in Text1, and runs it
    // until it is closed; returns the exit status.
    int Show();

    // The inner width of the window in pixels.
    Single ScaleWidth() const { return window_->ScaleWidth(); }

  private:
    const std::unique_ptr<runtime::NativeWindow> window_;
    runtime::Services& services_;

  public:
    // The controls, by the names the handlers use, in the definition's order.
    Control Option1;
    Control Option4;
    Control Option3;
    Control Option2;
    Control Text2;
    Control Text1;
    Control Command1;
    Control Frame1;
    Control Frame2;
    Control Image2;
    Control Label2;
    Control Image1;
    Control Label4;
    Control Label1;
    Control Label3;

    // The window-level variables of the generate command.
    generator::GeneratorVariables variables;

  private:
    // The control at an index of the definition, placed where it puts it.
    Control ControlAt(std::size_t index) const;

    void Form_Load();
    void Command1_Click();
    void Text2_KeyDown(Integer& KeyCode, Integer& Shift);

    // runtime::FormEvents: the three connected events reach their handlers
    // under the runtime's error rule.
    void Click(std::size_t control) override;
    void KeyDown(std::size_t control, Integer& KeyCode, Integer& Shift) override;

    // generator::GeneratorView
    String LengthText() const override { return Text1.Text(); }
    bool OptionSelected(generator::OptionButton option) const override;
    void SetOutputText(const String& text) override { Text2.SetText(text); }
};

}  // namespace quorvex::app
