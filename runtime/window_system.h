// What the program needs of a window system: a window built from its
// definition, the controls' properties, the events that reach the program's
// handlers, showing the window and running it. Each platform gives its own
// (Qt on Linux desktops, Win32 on Windows); the program's code sees only this.
#pragma once

#include "runtime/runtime.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

namespace quorvex::runtime {

// The window definition: what the window designer stored, in twips
// (1/1440 inch, 15 to a pixel at 96 dots per inch).
inline constexpr double kTwipsPerPixel = 15;

enum class ControlClass { OptionButton, TextBox, CommandButton, Frame, Image, Label };

struct FontDefinition {
    std::u16string_view name;
    double points;
    int weight;
    int charset;
};

inline constexpr std::uint32_t kMenuColor = 0x80000004;

// The events of a control that run code of the program.
enum Events : unsigned { kNoEvents = 0, kClick = 1, kKeyDown = 2 };

struct ControlDefinition {
    std::string_view name;  // "Option1"
    ControlClass control_class;
    // The frame that holds it, or empty for the window. A frame measures its
    // children in twips from its own corner.
    std::string_view container;
    int left, top, width, height;  // twips
    std::u16string_view caption;   // the design caption, or a text box's text
    const FontDefinition* font;    // nullptr: the window's default font
    int tab_index;                 // -1: never takes the focus
    std::string_view picture;      // the picture's resource name ("generate"), or empty
    unsigned events;
    // Stored properties: a text box of several lines with a horizontal scroll
    // bar, and a button that shows its picture.
    bool multi_line = false;
    bool graphical = false;
    // The background: 0 for the window system's default, or a system colour
    // as 0x80000000 and its index (4: the menu's background).
    std::uint32_t back_color = 0;
    // What assistive technology tells of the control: its name (a picture
    // names the text box `labels` stands for) and its description.
    std::u16string_view accessible_name = {};
    std::u16string_view accessible_description = {};
    std::string_view labels = {};
};

struct FormDefinition {
    std::u16string_view caption;
    int client_width, client_height;  // twips
    std::span<const ControlDefinition> controls;
};

// One control as the window system made it. The program calls only what
// the control's class has.
class NativeControl {
  public:
    virtual ~NativeControl() = default;

    // Caption of a button, frame or label; Text of a text box.
    virtual String Text() const = 0;
    virtual void SetText(const String& text) = 0;
    // Whether an option button is the selected one of its group.
    virtual bool Value() const = 0;
    virtual void SetValue(bool value) = 0;
    // A text box: the longest text the user may type (0: no limit), and
    // whether the user may only select, not change, its text.
    virtual void SetMaxLength(int length) = 0;
    virtual void SetLocked(bool locked) = 0;
    virtual String SelText() const = 0;
    virtual void SetVisible(bool visible) = 0;
    // Places the control in pixels from the corner of its container's inner
    // area. The numbers come unrounded; the window system rounds them to its
    // own pixels.
    virtual void Move(double left, double top, double width, double height) = 0;
};

// Key codes and modifier bits as KeyDown handlers receive them.
inline constexpr Integer vbKeyC = 67;
inline constexpr Integer vbShiftMask = 1;
inline constexpr Integer vbCtrlMask = 2;
inline constexpr Integer vbAltMask = 4;

// The handlers the window system runs, by the control's index in the
// definition. Only events the definition connects are raised.
class FormEvents {
  public:
    virtual ~FormEvents() = default;
    virtual void Click(std::size_t control) = 0;
    // KeyCode: the key's code (vbKeyC for C, whatever the keyboard layout);
    // Shift: the modifiers held. The key goes on to the control afterwards,
    // whatever the handler does.
    virtual void KeyDown(std::size_t control, Integer& KeyCode, Integer& Shift) = 0;
};

class NativeWindow {
  public:
    virtual ~NativeWindow() = default;
    virtual NativeControl& Control(std::size_t index) = 0;
    // The width of the window's inner area in pixels.
    virtual Single ScaleWidth() const = 0;
    // Shows the window, its frame centred on the screen's work area, with the
    // keyboard focus in the first control of the focus order.
    virtual void Show() = 0;
    // Delivers events until the window is closed; returns the exit status.
    virtual int Run() = 0;
};

class WindowSystem {
  public:
    virtual ~WindowSystem() = default;
    // Builds the window and all its controls, hidden, from the definition.
    virtual std::unique_ptr<NativeWindow> Load(const FormDefinition& definition,
                                               FormEvents& events) = 0;
};

}  // namespace quorvex::runtime
