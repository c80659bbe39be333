#include "app/form1.h"

#include "app/form1_definition.h"
#include "runtime/event_handler.h"

#include <array>

namespace quorvex::app {

using runtime::False;
using runtime::True;

Form1::Form1(runtime::WindowSystem& window_system, runtime::Services& services)
    : window_(window_system.Load(Form1Definition(), *this)),
      services_(services),
      Option1(ControlAt(kOption1)),
      Option4(ControlAt(kOption4)),
      Option3(ControlAt(kOption3)),
      Option2(ControlAt(kOption2)),
      Text2(ControlAt(kText2)),
      Text1(ControlAt(kText1)),
      Command1(ControlAt(kCommand1)),
      Frame1(ControlAt(kFrame1)),
      Frame2(ControlAt(kFrame2)),
      Image2(ControlAt(kImage2)),
      Label2(ControlAt(kLabel2)),
      Image1(ControlAt(kImage1)),
      Label4(ControlAt(kLabel4)),
      Label1(ControlAt(kLabel1)),
      Label3(ControlAt(kLabel3)) {}

Control Form1::ControlAt(std::size_t index) const {
    return Control(window_->Control(index), Form1Definition().controls[index]);
}

void Form1::Load() {
    runtime::RunEventHandler(services_, [this] { Form_Load(); });
}

int Form1::Show() {
    window_->Show();
    return window_->Run();
}

void Form1::Form_Load() {
    // Only one copy may run.
    if (services_.PrevInstance() == True) {
        services_.MsgBox(u"A copy of program is allready running!", runtime::MsgBoxStyle::Critical,
                         u"Error");
        services_.End();
    }
    services_.Randomize();

    Frame1.SetCaption(u"");
    Option1.SetCaption(u"0-9");
    Option2.SetValue(True);
    Option2.SetCaption(u"a-z A-Z 0-9");
    Option3.SetCaption(u"a-z A-Z 0-9 !@#$%^&*()_+;:,.-*");
    Option4.SetCaption(u"a-z A-Z 0-9 !@#$%^&*()_+;:,.-* =[]{}'<>/?\\|`~");
    Text1.SetText(u"");
    Text1.SetMaxLength(5);
    Command1.SetCaption(u"");
    Frame2.SetCaption(u"");
    Text2.SetText(u"");
    Text2.SetLocked(True);
    Label1.SetVisible(False);
    Label2.SetVisible(False);
    Label3.SetVisible(False);
    Label4.SetVisible(False);

    Frame1.SetHeight(106);
    Frame1.SetWidth(double{ScaleWidth()} - 20);
    Frame1.SetTop(2);
    Frame1.SetLeft(10);
    Option1.SetHeight(16);
    Option1.SetWidth(380);
    Option1.SetTop(double{Frame1.Top()} + 20);
    Option1.SetLeft(double{Frame1.Left()} + 10);
    Option2.SetHeight(16);
    Option2.SetWidth(380);
    Option2.SetTop(double{Option1.Height()} + Option1.Top() + 4);
    Option2.SetLeft(double{Frame1.Left()} + 10);
    Option3.SetHeight(16);
    Option3.SetWidth(380);
    Option3.SetTop(double{Option2.Height()} + Option2.Top() + 4);
    Option3.SetLeft(double{Frame1.Left()} + 10);
    Option4.SetHeight(16);
    Option4.SetWidth(380);
    Option4.SetTop(double{Option3.Height()} + Option3.Top() + 4);
    Option4.SetLeft(double{Frame1.Left()} + 10);
    Text1.SetHeight(24);
    Text1.SetWidth(50);
    Text1.SetTop(double{Frame1.Height()} + Frame1.Top() + 8);
    Text1.SetLeft(double{ScaleWidth()} / 2 - double{Text1.Width()} / 2);
    Image1.SetTop(double{Text1.Top()} + 4);
    Image1.SetLeft(double{Text1.Left()} - Image1.Width() - 8);
    Command1.SetHeight(30);
    Command1.SetWidth(100);
    Command1.SetTop(double{Text1.Height()} + Text1.Top() + 8);
    Command1.SetLeft(double{ScaleWidth()} / 2 - double{Command1.Width()} / 2);
    Frame2.SetHeight(84);
    Frame2.SetWidth(double{ScaleWidth()} - 20);
    Frame2.SetTop(double{Command1.Height()} + Command1.Top() + 2);
    Frame2.SetLeft(10);
    // Image2 lives in Frame2, which measures its children in twips: these
    // window numbers put it 10 pixels right of and 12 below the frame's corner.
    Image2.SetTop(Frame2.Top());
    Image2.SetLeft(double{Frame2.Left()} + 140);
    Text2.SetHeight(34);
    Text2.SetWidth(double{ScaleWidth()} - 40);
    Text2.SetTop(double{Frame2.Top()} + 38);
    Text2.SetLeft(20);
}

void Form1::Command1_Click() {
    generator::Command1_Click(*this, variables, services_);
}

void Form1::Text2_KeyDown(Integer& KeyCode, Integer& Shift) {
    const bool c_key = KeyCode == runtime::vbKeyC;
    const bool ctrl_alone = Shift == runtime::vbCtrlMask;
    if (!(c_key && ctrl_alone)) {
        return;
    }
    services_.ClipboardClear();
    services_.ClipboardSetText(Text2.SelText());
}

void Form1::Click(std::size_t control) {
    if (control == kCommand1) {
        runtime::RunEventHandler(services_, [this] { Command1_Click(); });
    }
}

void Form1::KeyDown(std::size_t control, Integer& KeyCode, Integer& Shift) {
    if (control == kText2) {
        runtime::RunEventHandler(services_, [&] { Text2_KeyDown(KeyCode, Shift); });
    }
}

bool Form1::OptionSelected(generator::OptionButton option) const {
    // The buttons are numbered from 1, as their names are.
    const std::array<const Control*, 4> options = {&Option1, &Option2, &Option3, &Option4};
    return options.at(static_cast<std::size_t>(option) - 1)->Value() == True;
}

}  // namespace quorvex::app
