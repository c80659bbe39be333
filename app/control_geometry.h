// Position and size of a control as the program's code sees them: single
// precision numbers kept exactly as set, in the unit of the control's
// container (pixels in the window, twips in a frame). The widget itself is
// placed at the nearest whole pixel.
#pragma once

#include "runtime/runtime.h"

#include <QRectF>

class QWidget;

namespace quorvex::app {

inline constexpr double kTwipsPerPixel = 15;

class ControlGeometry {
  public:
    // design: the stored position and size in the container's unit.
    ControlGeometry(QWidget* widget, double units_per_pixel, QRectF design);

    runtime::Single Left() const { return left_; }
    runtime::Single Top() const { return top_; }
    runtime::Single Width() const { return width_; }
    runtime::Single Height() const { return height_; }

    // Each value is checked for a floating-point fault before it is taken.
    void setLeft(double value) { Set(left_, value); }
    void setTop(double value) { Set(top_, value); }
    void setWidth(double value) { Set(width_, value); }
    void setHeight(double value) { Set(height_, value); }

    QWidget* widget() const { return widget_; }

  private:
    void Set(runtime::Single& field, double value);
    void Place();

    QWidget* widget_;
    double units_per_pixel_;
    runtime::Single left_;
    runtime::Single top_;
    runtime::Single width_;
    runtime::Single height_;
};

// A control together with its position and size: `Option1->setText(...)`
// reaches the widget, `Option1.setTop(...)` the geometry.
template <typename Widget>
class Control : public ControlGeometry {
  public:
    Control(Widget* widget, double units_per_pixel, QRectF design)
        : ControlGeometry(widget, units_per_pixel, design) {}

    Widget* operator->() const { return get(); }
    Widget* get() const { return static_cast<Widget*>(widget()); }
};

}  // namespace quorvex::app
