// The four character tables: each option button turns a random draw, a whole
// number from 0 to 99, into one password character, or into none when its
// table does not cover the draw.
#pragma once

#include "runtime/runtime.h"

#include <array>
#include <optional>

namespace quorvex::generator {

enum class OptionButton { Option1 = 1, Option2 = 2, Option3 = 3, Option4 = 4 };

// The order in which the generate command looks at the option buttons.
inline constexpr std::array<OptionButton, 4> kOptionButtons = {
    OptionButton::Option1, OptionButton::Option2, OptionButton::Option3, OptionButton::Option4};

// The lowest and highest draw value a table covers, both included.
struct TableRange {
    runtime::Integer lowest;
    runtime::Integer highest;
};

TableRange RangeOf(OptionButton option);

// The character of a draw value in the option's table, or none outside it.
std::optional<char16_t> CharacterFor(OptionButton option, runtime::Integer draw_value);

}  // namespace quorvex::generator
