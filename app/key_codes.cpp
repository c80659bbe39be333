#include "app/key_codes.h"

namespace quorvex::app {

runtime::Integer KeyCodeOf(int qt_key) {
    if ((qt_key >= Qt::Key_A && qt_key <= Qt::Key_Z) ||
        (qt_key >= Qt::Key_0 && qt_key <= Qt::Key_9)) {
        return static_cast<runtime::Integer>(qt_key);
    }
    if (qt_key >= Qt::Key_F1 && qt_key <= Qt::Key_F24) {
        return static_cast<runtime::Integer>(112 + (qt_key - Qt::Key_F1));
    }
    switch (qt_key) {
        case Qt::Key_Backspace:
            return 8;
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            return 9;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return 13;
        case Qt::Key_Shift:
            return 16;
        case Qt::Key_Control:
            return 17;
        case Qt::Key_Alt:
            return 18;
        case Qt::Key_Escape:
            return 27;
        case Qt::Key_Space:
            return 32;
        case Qt::Key_PageUp:
            return 33;
        case Qt::Key_PageDown:
            return 34;
        case Qt::Key_End:
            return 35;
        case Qt::Key_Home:
            return 36;
        case Qt::Key_Left:
            return 37;
        case Qt::Key_Up:
            return 38;
        case Qt::Key_Right:
            return 39;
        case Qt::Key_Down:
            return 40;
        case Qt::Key_Insert:
            return 45;
        case Qt::Key_Delete:
            return 46;
        default:
            return 0;
    }
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
