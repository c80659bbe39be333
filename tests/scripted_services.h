// Runtime services whose answers a test scripts: message-box answers, random
// draws, the clipboard and the previous-instance answer. Every call is
// recorded so a test can check what the program asked for. Standard C++
// only, so that the same double serves the tests without a display.
#pragma once

#include "runtime/services.h"

#include <deque>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace quorvex::testing {

using runtime::String;

struct ShownBox {
    String prompt;
    int style;
    String title;
};

// Runs `call`; gives the number of the runtime error it raised, or 0.
template <typename Call>
int RaisedBy(Call&& call) {
    try {
        call();
    } catch (const runtime::RuntimeError& error) {
        return static_cast<int>(error.number());
    }
    return 0;
}

// What End() throws, in the tests as in the program.
using ProgramEnded = runtime::ProgramEnd;

class ScriptedServices : public runtime::Services {
  public:
    // Answers for the coming message boxes, in order; with none left a box is
    // answered with its first button (OK, or Yes).
    std::deque<int> answers;
    // Draws for Rnd, in order; with none left, `fallback_rnd` is asked, and
    // without one the test fails loudly.
    std::deque<double> draws;
    std::function<double()> fallback_rnd;

    runtime::Integer prev_instance = runtime::False;

    std::vector<ShownBox> boxes;
    int randomize_calls = 0;
    int rnd_calls = 0;
    std::vector<std::string> calls;     // "PrevInstance", "Randomize" and "Rnd" in call order
    std::vector<String> clipboard_log;  // "clear" and "set:<text>" in call order
    bool clipboard_has_text = false;
    String clipboard_text;

    int MsgBox(const String& prompt, int style, const String& title) override {
        boxes.push_back({prompt, style, title});
        if (!answers.empty()) {
            const int answer = answers.front();
            answers.pop_front();
            return answer;
        }
        return (style & 7) == runtime::MsgBoxStyle::YesNo ? runtime::MsgBoxResult::Yes
                                                          : runtime::MsgBoxResult::Ok;
    }

    double Rnd() override {
        ++rnd_calls;
        calls.emplace_back("Rnd");
        if (!draws.empty()) {
            const double value = draws.front();
            draws.pop_front();
            return value;
        }
        if (fallback_rnd) {
            return fallback_rnd();
        }
        throw std::logic_error("ScriptedServices: Rnd called with no draws left");
    }

    void Randomize() override {
        ++randomize_calls;
        calls.emplace_back("Randomize");
    }

    void ClipboardClear() override {
        clipboard_log.emplace_back(u"clear");
        clipboard_has_text = false;
        clipboard_text.clear();
    }

    void ClipboardSetText(const String& text) override {
        clipboard_log.push_back(u"set:" + text);
        clipboard_has_text = true;
        clipboard_text = text;
    }

    runtime::Integer PrevInstance() override {
        calls.emplace_back("PrevInstance");
        return prev_instance;
    }

    [[noreturn]] void End() override { throw runtime::ProgramEnd{0}; }

    // A draw value v (0..99) as the Rnd result that Int(Rnd * 100) maps to it.
    static double DrawFor(int v) { return (v + 0.5) / 100.0; }
};

}  // namespace quorvex::testing
