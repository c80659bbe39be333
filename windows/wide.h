// The program's text as Win32 takes it: both are UTF-16, and wchar_t has
// 16 bits on Windows.
#pragma once

#include "runtime/runtime.h"

namespace quorvex::windows {

static_assert(sizeof(wchar_t) == sizeof(char16_t));

inline const wchar_t* Wide(const runtime::String& text) {
    return reinterpret_cast<const wchar_t*>(text.c_str());
}

}  // namespace quorvex::windows
