#include "app/form1_definition.h"

#include <array>

namespace quorvex::app {

namespace {

using runtime::ControlClass;
using runtime::ControlDefinition;
using runtime::FontDefinition;

constexpr FontDefinition kF1{u"Fixedsys", 9.75, 400, 204};
constexpr FontDefinition kF2{u"Lucida Handwriting", 12, 400, 0};

// clang-format off
constexpr std::array<ControlDefinition, kControlCount> kControls = {{
    // name, class, container, left, top, width, height, caption, font, tab index, picture, events
    {"Option1", ControlClass::OptionButton, {}, 360, 480, 5700, 300, u"Option1", &kF1, 3, {},
     runtime::kNoEvents, false, false, 0, {}, u"digits"},
    {"Option4", ControlClass::OptionButton, {}, 360, 1440, 1215, 375, u"Option4", &kF1, 6, {},
     runtime::kNoEvents, false, false, 0, {}, u"letters, digits and 31 symbols"},
    {"Option3", ControlClass::OptionButton, {}, 300, 1170, 5700, 300, u"Option3", &kF1, 5, {},
     runtime::kNoEvents, false, false, 0, {}, u"letters, digits and 17 symbols"},
    {"Option2", ControlClass::OptionButton, {}, 300, 810, 5700, 300, u"Option2", &kF1, 4, {},
     runtime::kNoEvents, false, false, 0, {}, u"letters and digits"},
    {"Text2", ControlClass::TextBox, {}, 2280, 3060, 6000, 570, u"Text2", &kF1, 2, {},
     runtime::kKeyDown, true, false, runtime::kMenuColor, u"Password"},
    {"Text1", ControlClass::TextBox, {}, 2160, 1770, 825, 420, u"Text1", &kF1, 0, {},
     runtime::kNoEvents, false, false, 0, u"Password length"},
    {"Command1", ControlClass::CommandButton, {}, 2400, 2310, 1500, 450, u"Command1", &kF2, 1,
     "generate", runtime::kClick, false, true, 0, u"Generate",
     u"Makes a new password of the chosen length"},
    {"Frame1", ControlClass::Frame, {}, 150, 150, 6000, 1500, u"Frame1", &kF1, 8, {},
     runtime::kNoEvents, false, false, 0, u"Character set"},
    {"Frame2", ControlClass::Frame, {}, 480, 3120, 1215, 735, u"Frame2", nullptr, 11, {},
     runtime::kNoEvents},
    {"Image2", ControlClass::Image, "Frame2", 960, 480, 1365, 255, {}, nullptr, -1, "password",
     runtime::kNoEvents, false, false, 0, u"Password:", {}, "Text2"},
    {"Label2", ControlClass::Label, "Frame2", 120, 240, 1080, 420, u"Label2", &kF2, 12, {},
     runtime::kNoEvents},
    {"Image1", ControlClass::Image, {}, 1800, 2160, 2295, 315, {}, nullptr, -1,
     "password_length", runtime::kNoEvents, false, false, 0, u"Password length:", {}, "Text1"},
    {"Label4", ControlClass::Label, {}, 4080, 1800, 2655, 1095, u"Label4", nullptr, 10, {},
     runtime::kNoEvents},
    {"Label1", ControlClass::Label, {}, 120, 1800, 1815, 420, u"Label1", &kF2, 9, {},
     runtime::kNoEvents},
    {"Label3", ControlClass::Label, {}, 480, 2520, 975, 255, u"Label3", nullptr, 7, {},
     runtime::kNoEvents},
}};
// clang-format on

// The window: 6885 x 4110 twips inside its fixed single border.
constexpr runtime::FormDefinition kForm1{u"Quorvex", 6885, 4110, kControls};

}  // namespace

const runtime::FormDefinition& Form1Definition() {
    return kForm1;
}

}  // namespace quorvex::app
