#include "app/key_codes.h"

namespace quorvex::app {

runtime::Integer KeyCodeOf(int qt_key) {
    const bool letter = qt_key >= Qt::Key_A && qt_key <= Qt::Key_Z;
    const bool digit = qt_key >= Qt::Key_0 && qt_key <= Qt::Key_9;
    return letter || digit ? static_cast<runtime::Integer>(qt_key) : 0;
}

runtime::Integer ShiftOf(Qt::KeyboardModifiers modifiers) {
    runtime::Integer bits = 0;
    if (modifiers & Qt::ShiftModifier) {
        bits |= ShiftBits::Shift;
    }
    if (modifiers & Qt::ControlModifier) {
        bits |= ShiftBits::Ctrl;
    }
    if (modifiers & Qt::AltModifier) {
        bits |= ShiftBits::Alt;
    }
    return bits;
}

}  // namespace quorvex::app
