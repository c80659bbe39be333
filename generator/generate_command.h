// The generate command: what the picture button does.
#pragma once

#include "generator/char_tables.h"
#include "runtime/runtime.h"
#include "runtime/services.h"

namespace quorvex::generator {

// What the command needs of the window: the length box, the option buttons
// and the output box. The window provides it; nothing here knows widgets.
class GeneratorView {
  public:
    virtual ~GeneratorView() = default;
    // The current text of the length box.
    virtual runtime::String LengthText() const = 0;
    // Whether the option button is the selected one.
    virtual bool OptionSelected(OptionButton option) const = 0;
    // Replaces the whole text of the output box.
    virtual void SetOutputText(const runtime::String& text) = 0;
};

// The window-level variables of the command; they live as long as the window
// and keep their values between clicks.
struct GeneratorVariables {
    runtime::Integer CharIndex = 0;  // the number of the character being made
    runtime::Integer DrawValue = 0;  // the current random draw, 0..99
    runtime::String PromptAnswer;    // the warning's answer code as text: "6" Yes, "7" No
};

inline constexpr double kShortestLength = 1;
inline constexpr double kLongestLength = 32766;
inline constexpr double kLongLength = 1000;

inline constexpr char16_t kLengthErrorPrompt[] =
    u"Password length must be a number from 1 to 32766 inclusive.";
inline constexpr char16_t kLengthErrorTitle[] = u"Error";
inline constexpr char16_t kLongLengthPrompt[] =
    u"The password length is too big, the program may stop responding for some time or even "
    u"forever! If you still want to continue press ''Yes'', else press ''No'' and enter "
    u"password length smaller than 1000.";
inline constexpr char16_t kLongLengthTitle[] = u"Warning!";

inline constexpr int kLengthErrorStyle = runtime::MsgBoxStyle::Critical;  // 16
inline constexpr int kLongLengthStyle = runtime::MsgBoxStyle::YesNo +
                                        runtime::MsgBoxStyle::Exclamation +
                                        runtime::MsgBoxStyle::DefaultButton2;  // 308

// Empties the output box, checks the length, asks before long passwords and
// fills the output box with a password drawn from the selected option's table.
void Command1_Click(GeneratorView& form, GeneratorVariables& vars, runtime::Services& services);

}  // namespace quorvex::generator
