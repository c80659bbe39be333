// Form1's start-up, layout and handlers with no display: the window system
// and the services are doubles, so these run in a fraction of a second on
// every platform the program is built for.
#include "app/form1.h"
#include "app/program.h"
#include "tests/portable/fake_window_system.h"
#include "tests/scripted_services.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <new>
#include <string>
#include <vector>

namespace {

using quorvex::app::Form1;
using quorvex::runtime::String;
using quorvex::testing::FakeWindow;
using quorvex::testing::FakeWindowSystem;
using quorvex::testing::ProgramEnded;
using quorvex::testing::ScriptedServices;

const String kLengthError = u"Password length must be a number from 1 to 32766 inclusive.";

String Ascii(const std::string& text) {
    return String(text.begin(), text.end());
}

// One window loaded as the program loads it, on a fake window system.
struct Window {
    explicit Window(std::optional<double> scale_width = std::nullopt)
        : window_system(scale_width), form(window_system, services), ui(*window_system.window) {
        form.Load();
    }

    // Types a length and presses the button, with these draws (0..99) coming.
    String Generate(const std::string& length, const std::vector<int>& draws) {
        ui.Named("Text1").SetText(u"");
        ui.Named("Text1").Type(Ascii(length));
        for (const int value : draws) {
            services.draws.push_back(ScriptedServices::DrawFor(value));
        }
        ui.Click("Command1");
        return ui.Named("Text2").Text();
    }

    ScriptedServices services;
    FakeWindowSystem window_system;
    Form1 form;
    FakeWindow& ui;
};

TEST(FormLoad, SetsCaptionsAndDefaultsAndSeedsOnce) {
    Window window;
    FakeWindow& ui = window.ui;
    EXPECT_EQ(window.services.calls, (std::vector<std::string>{"PrevInstance", "Randomize"}));
    EXPECT_TRUE(window.services.boxes.empty());
    EXPECT_EQ(ui.Named("Option1").Text(), u"0-9");
    EXPECT_EQ(ui.Named("Option2").Text(), u"a-z A-Z 0-9");
    EXPECT_EQ(ui.Named("Option3").Text(), u"a-z A-Z 0-9 !@#$%^&*()_+;:,.-*");
    EXPECT_EQ(ui.Named("Option4").Text(), u"a-z A-Z 0-9 !@#$%^&*()_+;:,.-* =[]{}'<>/?\\|`~");
    for (const char* empty : {"Command1", "Frame1", "Frame2", "Text1", "Text2"}) {
        EXPECT_EQ(ui.Named(empty).Text(), u"") << empty;
    }
    EXPECT_TRUE(ui.Named("Option2").Value());
    EXPECT_FALSE(ui.Named("Option1").Value() || ui.Named("Option3").Value() ||
                 ui.Named("Option4").Value());
    EXPECT_EQ(ui.Named("Text1").max_length(), 5);
    EXPECT_TRUE(ui.Named("Text2").locked());
    for (const char* label : {"Label1", "Label2", "Label3", "Label4"}) {
        EXPECT_FALSE(ui.Named(label).visible()) << label;
    }
    ui.Named("Text1").Type(u"123456");
    EXPECT_EQ(ui.Named("Text1").Text(), u"12345");
    ui.Named("Text2").Type(u"x");
    EXPECT_EQ(ui.Named("Text2").Text(), u"");
}

TEST(FormLoad, SecondCopyShowsOneBoxAndEndsBeforeTheWindowShows) {
    ScriptedServices services;
    services.prev_instance = quorvex::runtime::True;
    FakeWindowSystem window_system;
    EXPECT_EQ(quorvex::app::Main(window_system, services), 0);
    ASSERT_EQ(services.boxes.size(), 1U);
    EXPECT_EQ(services.boxes[0].prompt, u"A copy of program is allready running!");
    EXPECT_EQ(services.boxes[0].style, 16);
    EXPECT_EQ(services.boxes[0].title, u"Error");
    EXPECT_EQ(services.calls, std::vector<std::string>{"PrevInstance"});
    EXPECT_EQ(window_system.shows, 0);
}

TEST(FormLoad, FirstCopyIsShownOnce) {
    ScriptedServices services;
    FakeWindowSystem window_system;
    EXPECT_EQ(quorvex::app::Main(window_system, services), 0);
    EXPECT_EQ(window_system.shows, 1);
}

// A layout value that is no number stops Form_Load at that step: the error
// is reported and what was set before it stays.
TEST(FormLoad, FloatingPointFaultInTheLayoutIsReported) {
    Window window(std::numeric_limits<double>::infinity());
    ASSERT_EQ(window.services.boxes.size(), 1U);
    EXPECT_EQ(window.services.boxes[0].prompt, u"Run-time error '6':\n\nOverflow");
    EXPECT_EQ(window.form.Frame1.Height(), 106);
    EXPECT_NE(window.form.Frame1.Top(), 2);
    EXPECT_FALSE(window.ui.Named("Label4").visible());
}

struct Placement {
    const char* control;
    double left, top, width, height;  // as the code sees them
    double pixel_left, pixel_top;     // where the window system is asked to put it
};

class Layout : public ::testing::TestWithParam<Placement> {};

TEST_P(Layout, AtTheDesignWidth) {
    const Placement& p = GetParam();
    Window window;
    const auto& controls = window.form;
    const quorvex::app::Control* control = nullptr;
    for (const auto& [name, candidate] : {std::pair{"Frame1", &controls.Frame1},
                                          {"Option1", &controls.Option1},
                                          {"Option4", &controls.Option4},
                                          {"Text1", &controls.Text1},
                                          {"Image1", &controls.Image1},
                                          {"Command1", &controls.Command1},
                                          {"Frame2", &controls.Frame2},
                                          {"Image2", &controls.Image2},
                                          {"Text2", &controls.Text2}}) {
        control = std::string(name) == p.control ? candidate : control;
    }
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->Left(), p.left);
    EXPECT_EQ(control->Top(), p.top);
    EXPECT_EQ(control->Width(), p.width);
    EXPECT_EQ(control->Height(), p.height);
    const std::vector<double>& pixels = window.ui.Named(p.control).pixels();
    ASSERT_EQ(pixels.size(), 4U);
    EXPECT_EQ(pixels[0], p.pixel_left);
    EXPECT_EQ(pixels[1], p.pixel_top);
}

INSTANTIATE_TEST_SUITE_P(Form1, Layout,
                         ::testing::Values(Placement{"Frame1", 10, 2, 439, 106, 10, 2},
                                           Placement{"Option1", 20, 22, 380, 16, 20, 22},
                                           Placement{"Option4", 20, 82, 380, 16, 20, 82},
                                           Placement{"Text1", 204.5, 116, 50, 24, 204.5, 116},
                                           Placement{"Image1", 43.5, 120, 153, 21, 43.5, 120},
                                           Placement{"Command1", 179.5, 148, 100, 30, 179.5, 148},
                                           Placement{"Frame2", 10, 180, 439, 84, 10, 180},
                                           // Frame2 measures its children in twips.
                                           Placement{"Image2", 150, 180, 1365, 255, 10, 12},
                                           Placement{"Text2", 20, 218, 419, 34, 20, 218}),
                         [](const auto& row) { return std::string(row.param.control); });

TEST(Layout, FollowsAnotherInnerWidth) {
    for (const double w : {600.0, 501.0}) {
        Window window(w);
        const Form1& form = window.form;
        EXPECT_EQ(form.Frame1.Width(), w - 20);
        EXPECT_EQ(form.Frame2.Width(), w - 20);
        EXPECT_EQ(form.Text2.Width(), w - 40);
        EXPECT_EQ(form.Text1.Left(), w / 2 - 25);
        EXPECT_EQ(form.Command1.Left(), w / 2 - 50);
        EXPECT_EQ(form.Option4.Width(), 380);
        EXPECT_EQ(form.Frame2.Top(), 180);
    }
}

struct Request {
    const char* name;
    const char* option;
    std::string length;
    int answer;  // to the box; 0: no box expected
    std::vector<int> draws;
    std::string password;
};

class Generate : public ::testing::TestWithParam<Request> {};

TEST_P(Generate, GivesThePasswordOrTheBox) {
    const Request& r = GetParam();
    Window window;
    window.services.fallback_rnd = [] { return ScriptedServices::DrawFor(53); };
    window.Generate("2", {1, 2});
    window.ui.Click(r.option);
    window.services.answers.push_back(r.answer);
    const String output = window.Generate(r.length, r.draws);
    EXPECT_EQ(output, Ascii(r.password));  // the earlier password is gone
    EXPECT_TRUE(window.services.draws.empty());
    ASSERT_EQ(window.services.boxes.size(), r.answer == 0 ? 0U : 1U);
    if (r.answer != 0) {
        const bool warning = r.answer != 1;
        EXPECT_EQ(window.services.boxes[0].style, warning ? 308 : 16);
        EXPECT_EQ(window.services.boxes[0].title, warning ? u"Warning!" : u"Error");
        EXPECT_EQ(window.services.boxes[0].prompt == kLengthError, !warning);
        EXPECT_EQ(window.form.variables.PromptAnswer,
                  warning ? Ascii(std::to_string(r.answer)) : u"");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Form1, Generate,
    ::testing::Values(Request{"worked_example", "Option2", "3", 0, {0, 27, 99, 62, 5}, "A0e"},
                      Request{
                          "digits_only", "Option1", "4", 0, {1, 53, 62, 63, 57, 52, 58}, "1056"},
                      Request{"symbols", "Option4", "3", 0, {70, 80, 94}, "**~"},
                      Request{"leading_number", "Option2", "2abc", 0, {26, 52}, "zZ"},
                      Request{"rounds_half_to_even", "Option2", "2.5", 0, {1, 2}, "ab"},
                      Request{"zero_refused", "Option2", "0", 1, {}, ""},
                      Request{"text_refused", "Option2", "abc", 1, {}, ""},
                      Request{"32767_refused", "Option2", "32767", 1, {}, ""},
                      Request{"999_no_warning", "Option2", "999", 0, {}, std::string(999, '1')},
                      Request{"1000_no", "Option2", "1000", 7, {}, ""},
                      Request{"1000_yes", "Option2", "1000", 6, {}, std::string(1000, '1')}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(Generate, RuntimeErrorEndsTheClickAndTheWindowGoesOn) {
    Window window;
    window.services.draws = {ScriptedServices::DrawFor(1), ScriptedServices::DrawFor(2), 1e9};
    EXPECT_EQ(window.Generate("12", {}), u"ab");  // what was made before it stays
    ASSERT_EQ(window.services.boxes.size(), 1U);
    EXPECT_EQ(window.services.boxes[0].prompt, u"Run-time error '6':\n\nOverflow");
    EXPECT_EQ(window.services.boxes[0].style, 16);
    EXPECT_EQ(window.services.boxes[0].title, u"Quorvex");
    window.services.fallback_rnd = []() -> double { throw std::bad_alloc(); };
    EXPECT_EQ(window.Generate("3", {27, 28}), u"AB");
    EXPECT_EQ(window.services.boxes.back().prompt, u"Run-time error '7':\n\nOut of memory");
    EXPECT_EQ(window.Generate("3", {27, 28, 29}), u"ABC");
}

struct Keys {
    const char* name;
    const char* control;
    int key_code;
    int shift;
    std::size_t selected;  // characters selected from the start of the password
    bool copies;
};

class CopyShortcut : public ::testing::TestWithParam<Keys> {};

TEST_P(CopyShortcut, CopiesTheSelectionForCtrlCAlone) {
    const Keys& k = GetParam();
    Window window;
    window.ui.Click("Option4");
    ASSERT_EQ(window.Generate("4", {69, 91, 86, 1}), u"&\\'a");
    window.ui.Named("Text2").Select(0, k.selected);
    window.ui.Named("Text1").Select(0, 1);
    window.ui.KeyDown(k.control, static_cast<short>(k.key_code), static_cast<short>(k.shift));
    const String selected = String(u"&\\'a").substr(0, k.selected);
    const std::vector<String> copied{u"clear", u"set:" + selected};
    EXPECT_EQ(window.services.clipboard_log, k.copies ? copied : std::vector<String>());
    EXPECT_EQ(window.ui.Named("Text2").Text(), u"&\\'a");
}

INSTANTIATE_TEST_SUITE_P(Form1, CopyShortcut,
                         ::testing::Values(Keys{"all", "Text2", 67, 2, 4, true},
                                           Keys{"part", "Text2", 67, 2, 3, true},
                                           Keys{"nothing_selected", "Text2", 67, 2, 0, true},
                                           Keys{"ctrl_shift", "Text2", 67, 3, 4, false},
                                           Keys{"ctrl_alt", "Text2", 67, 6, 4, false},
                                           Keys{"c_alone", "Text2", 67, 0, 4, false},
                                           Keys{"ctrl_v", "Text2", 86, 2, 4, false},
                                           Keys{"in_text1", "Text1", 67, 2, 4, false}),
                         [](const auto& row) { return std::string(row.param.name); });

}  // namespace
