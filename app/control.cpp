#include "app/control.h"

namespace quorvex::app {

namespace {

// The window measures its children in pixels; a frame measures its own in
// twips, whatever the window's unit.
double UnitsPerPixel(const runtime::ControlDefinition& definition) {
    return definition.container.empty() ? 1 : runtime::kTwipsPerPixel;
}

// Stored twips in the container's unit.
Single InContainer(int twips, const runtime::ControlDefinition& definition) {
    return static_cast<Single>(twips * UnitsPerPixel(definition) / runtime::kTwipsPerPixel);
}

}  // namespace

Control::Control(runtime::NativeControl& native, const runtime::ControlDefinition& definition)
    : native_(native),
      units_per_pixel_(UnitsPerPixel(definition)),
      left_(InContainer(definition.left, definition)),
      top_(InContainer(definition.top, definition)),
      width_(InContainer(definition.width, definition)),
      height_(InContainer(definition.height, definition)) {
    Place();
}

void Control::Set(Single& field, double value) {
    field = runtime::CheckedSingle(value);
    Place();
}

void Control::Place() {
    native_.Move(left_ / units_per_pixel_, top_ / units_per_pixel_, width_ / units_per_pixel_,
                 height_ / units_per_pixel_);
}

}  // namespace quorvex::app
