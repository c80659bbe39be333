// Key codes and modifier bits as the program's key handlers receive them.
#pragma once

#include "runtime/runtime.h"

#include <Qt>

namespace quorvex::app {

namespace KeyCodes {
inline constexpr runtime::Integer C = 67;
}

namespace ShiftBits {
inline constexpr runtime::Integer Shift = 1;
inline constexpr runtime::Integer Ctrl = 2;
inline constexpr runtime::Integer Alt = 4;
}  // namespace ShiftBits

// The code of a key: letters are their capital's code whatever the case,
// digits their character's code. No handler of the program looks at any other
// key, so the rest come as 0.
runtime::Integer KeyCodeOf(int qt_key);

// The modifiers held, as bits: 1 Shift, 2 Ctrl, 4 Alt.
runtime::Integer ShiftOf(Qt::KeyboardModifiers modifiers);

}  // namespace quorvex::app
