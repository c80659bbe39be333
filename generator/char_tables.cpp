#include "generator/char_tables.h"

#include <string_view>

namespace quorvex::generator {

namespace {

// Every draw value means the same character in every table that holds it.
// Index 0 stands for value 1. The digits end with "0", and "*" stands at both
// 70 and 80, so it is twice as likely as any other symbol.
constexpr std::string_view kCharacters =
    "abcdefghijklmnopqrstuvwxyz"  //  1..26
    "ABCDEFGHIJKLMNOPQRSTUVWXYZ"  // 27..52
    "1234567890"                  // 53..62
    "!@#$%^&*()-_+;:,.*"          // 63..80
    "=[]{}'<>/?\\|`~";            // 81..94

static_assert(kCharacters.size() == 94);
static_assert(kCharacters[62 - 1] == '0' && kCharacters[53 - 1] == '1');
static_assert(kCharacters[70 - 1] == '*' && kCharacters[80 - 1] == '*');

}  // namespace

TableRange RangeOf(OptionButton option) {
    switch (option) {
        case OptionButton::Option1:
            return {53, 62};
        case OptionButton::Option2:
            return {1, 62};
        case OptionButton::Option3:
            return {1, 80};
        case OptionButton::Option4:
            return {1, 94};
    }
    return {1, 0};  // covers nothing
}

std::optional<char16_t> CharacterFor(OptionButton option, runtime::Integer draw_value) {
    const TableRange range = RangeOf(option);
    if (draw_value < range.lowest || draw_value > range.highest) {
        return std::nullopt;
    }
    return static_cast<char16_t>(kCharacters[static_cast<std::size_t>(draw_value - 1)]);
}

}  // namespace quorvex::generator
