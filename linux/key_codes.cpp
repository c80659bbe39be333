#include "linux/key_codes.h"

#include <QKeyEvent>
#include <array>

namespace quorvex::desktop {

namespace {

bool LetterOrDigit(int qt_key) {
    return (qt_key >= Qt::Key_A && qt_key <= Qt::Key_Z) ||
           (qt_key >= Qt::Key_0 && qt_key <= Qt::Key_9);
}

// A key that types a character outside Latin-1, or nothing Qt can name: the
// keys of a non-Latin layout. Function keys (arrows, Insert, F1, ...) and the
// punctuation of Latin layouts are what they say.
bool NonLatin(int qt_key) {
    const bool function_key = qt_key >= Qt::Key_Escape && qt_key != Qt::Key_unknown;
    return !function_key && (qt_key > 0xff || qt_key == 0 || qt_key == Qt::Key_unknown);
}

// The letters and digits of a US keyboard by xkb keycode (the Linux input
// code plus 8), which X11 and Wayland both give: the physical keys, whatever
// the layout.
constexpr quint32 kFirstKeycode = 10;
constexpr std::array<char, 49> kUsKeys = {
    '1', '2', '3', '4', '5', '6', '7', '8', '9', '0', 0, 0, 0, 0,  // 10..23
    'Q', 'W', 'E', 'R', 'T', 'Y', 'U', 'I', 'O', 'P', 0, 0, 0, 0,  // 24..37
    'A', 'S', 'D', 'F', 'G', 'H', 'J', 'K', 'L', 0,   0, 0, 0, 0,  // 38..51
    'Z', 'X', 'C', 'V', 'B', 'N', 'M'};                            // 52..58

}  // namespace

int ShortcutKey(int qt_key, quint32 xkb_keycode) {
    if (!NonLatin(qt_key) || xkb_keycode < kFirstKeycode ||
        xkb_keycode >= kFirstKeycode + kUsKeys.size()) {
        return qt_key;
    }
    const char us_key = kUsKeys[xkb_keycode - kFirstKeycode];
    return us_key != 0 ? int{us_key} : qt_key;
}

int ShortcutKey(const QKeyEvent& event) {
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
    // On X11 and Wayland a key's native scan code is its xkb keycode.
    return ShortcutKey(event.key(), event.nativeScanCode());
#else
    return event.key();
#endif
}

runtime::Integer KeyCodeOf(int qt_key) {
    return LetterOrDigit(qt_key) ? static_cast<runtime::Integer>(qt_key) : 0;
}

runtime::Integer ShiftOf(Qt::KeyboardModifiers modifiers) {
    return static_cast<runtime::Integer>(
        (modifiers.testFlag(Qt::ShiftModifier) ? runtime::vbShiftMask : 0) |
        (modifiers.testFlag(Qt::ControlModifier) ? runtime::vbCtrlMask : 0) |
        (modifiers.testFlag(Qt::AltModifier) ? runtime::vbAltMask : 0));
}

}  // namespace quorvex::desktop
