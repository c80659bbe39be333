#include "app/control_geometry.h"

#include <QWidget>
#include <algorithm>
#include <cmath>

namespace quorvex::app {

ControlGeometry::ControlGeometry(QWidget* widget, double units_per_pixel, QRectF design)
    : widget_(widget),
      units_per_pixel_(units_per_pixel),
      left_(static_cast<runtime::Single>(design.left())),
      top_(static_cast<runtime::Single>(design.top())),
      width_(static_cast<runtime::Single>(design.width())),
      height_(static_cast<runtime::Single>(design.height())) {
    Place();
}

void ControlGeometry::Set(runtime::Single& field, double value) {
    field = runtime::CheckedSingle(value);
    Place();
}

void ControlGeometry::Place() {
    // Far beyond any screen, a position only needs to stay off it.
    static constexpr double kFarthest = 1 << 20;
    auto pixels = [this](runtime::Single units) {
        const double value = std::clamp(units / units_per_pixel_, -kFarthest, kFarthest);
        return static_cast<int>(std::lround(value));
    };
    // In the window, positions count from the corner of its inner area,
    // below a title bar the program draws; in a frame, from the frame's
    // corner. A negative size places nothing; the value is still kept as set.
    const QWidget* container = widget_->parentWidget();
    const QPoint origin = container->isWindow() ? container->contentsRect().topLeft() : QPoint();
    widget_->setGeometry(origin.x() + pixels(left_), origin.y() + pixels(top_),
                         std::max(0, pixels(width_)), std::max(0, pixels(height_)));
}

}  // namespace quorvex::app
