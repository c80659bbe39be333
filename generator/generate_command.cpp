#include "generator/generate_command.h"

namespace quorvex::generator {

using runtime::Integer;

namespace {

// The length as the user typed it, read afresh at each decision.
double LengthValue(const GeneratorView& form) {
    return runtime::Val(form.LengthText());
}

// Draws until the selected option's table gives a character, and appends it.
// A draw that the table does not cover is thrown away.
void DrawOneCharacter(const GeneratorView& form, GeneratorVariables& vars,
                      runtime::String& password, runtime::Services& services) {
    for (;;) {
        vars.DrawValue = runtime::CInt(runtime::Int(services.Rnd() * 100));
        bool rejected = false;
        for (const OptionButton option : kOptionButtons) {
            if (!form.OptionSelected(option)) {
                continue;
            }
            const std::optional<char16_t> character = CharacterFor(option, vars.DrawValue);
            if (!character) {
                rejected = true;
                break;
            }
            password.push_back(*character);
        }
        if (!rejected) {
            return;
        }
    }
}

// Makes the password in memory and writes the output box once: the same text
// as appending to the box character by character, without its quadratic cost.
void RunGenerationLoop(GeneratorView& form, GeneratorVariables& vars, runtime::Services& services) {
    const Integer limit = runtime::CInt(LengthValue(form));
    runtime::String password;
    try {
        // When the room for the whole text cannot be had, nothing has been
        // made yet and the box stays empty.
        password.reserve(static_cast<std::size_t>(limit > 0 ? limit : 0));
        for (vars.CharIndex = 1; vars.CharIndex <= limit;
             vars.CharIndex = runtime::AddInteger(vars.CharIndex, 1)) {
            DrawOneCharacter(form, vars, password, services);
        }
    } catch (...) {
        // A runtime error or a failed allocation: what was made before the
        // failure stays in the box.
        form.SetOutputText(password);
        throw;
    }
    form.SetOutputText(password);
}

}  // namespace

void Command1_Click(GeneratorView& form, GeneratorVariables& vars, runtime::Services& services) {
    form.SetOutputText({});

    // Both tests are made, each with its own reading of the length.
    const bool too_short = LengthValue(form) < kShortestLength;
    const bool too_long = LengthValue(form) > kLongestLength;
    if (too_short || too_long) {
        services.MsgBox(kLengthErrorPrompt, kLengthErrorStyle, kLengthErrorTitle);
        return;
    }

    if (LengthValue(form) >= kLongLength) {
        vars.PromptAnswer =
            runtime::CStr(services.MsgBox(kLongLengthPrompt, kLongLengthStyle, kLongLengthTitle));
    }

    if (LengthValue(form) < kLongLength) {
        RunGenerationLoop(form, vars, services);
        return;
    }
    const bool long_length = LengthValue(form) >= kLongLength;
    const bool confirmed = runtime::CDbl(vars.PromptAnswer) == runtime::MsgBoxResult::Yes;
    if (long_length && confirmed) {
        RunGenerationLoop(form, vars, services);
    }
}

}  // namespace quorvex::generator
