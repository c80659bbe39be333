// A control as the program's code sees it: its properties by the names the
// handlers use. Position and size are single-precision numbers kept exactly
// as set, in the unit of the control's container: pixels in the window,
// twips in a frame. The window system gets them in pixels.
#pragma once

#include "runtime/runtime.h"
#include "runtime/window_system.h"

namespace quorvex::app {

using runtime::Integer;
using runtime::Single;
using runtime::String;

class Control {
  public:
    // Places the control where the definition puts it.
    Control(runtime::NativeControl& native, const runtime::ControlDefinition& definition);

    String Caption() const { return native_.Text(); }
    void SetCaption(const String& caption) { native_.SetText(caption); }
    String Text() const { return native_.Text(); }
    void SetText(const String& text) { native_.SetText(text); }
    Integer Value() const { return runtime::ToTruth(native_.Value()); }
    void SetValue(Integer value) { native_.SetValue(value != runtime::False); }
    void SetMaxLength(Integer length) { native_.SetMaxLength(length); }
    void SetLocked(Integer locked) { native_.SetLocked(locked != runtime::False); }
    void SetVisible(Integer visible) { native_.SetVisible(visible != runtime::False); }
    String SelText() const { return native_.SelText(); }

    Single Left() const { return left_; }
    Single Top() const { return top_; }
    Single Width() const { return width_; }
    Single Height() const { return height_; }
    // Each value is checked for a floating-point fault before it is taken.
    void SetLeft(double value) { Set(left_, value); }
    void SetTop(double value) { Set(top_, value); }
    void SetWidth(double value) { Set(width_, value); }
    void SetHeight(double value) { Set(height_, value); }

  private:
    void Set(Single& field, double value);
    void Place();

    runtime::NativeControl& native_;
    double units_per_pixel_;
    Single left_;
    Single top_;
    Single width_;
    Single height_;
};

}  // namespace quorvex::app
