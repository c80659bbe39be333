#include "runtime/runtime.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <system_error>

namespace quorvex::runtime {

String FromAscii(std::string_view ascii) {
    return String(ascii.begin(), ascii.end());
}

RuntimeError::RuntimeError(ErrorNumber number)
    : std::runtime_error(ErrorDescription(number)), number_(number) {}

const char* ErrorDescription(ErrorNumber number) {
    switch (number) {
        case ErrorNumber::Overflow:
            return "Overflow";
        case ErrorNumber::OutOfMemory:
            return "Out of memory";
        case ErrorNumber::TypeMismatch:
            return "Type mismatch";
        case ErrorNumber::DeviceUnavailable:
            return "Device unavailable";
        case ErrorNumber::NotSupported:
            return "Object doesn't support this property or method";
    }
    return "Application-defined or object-defined error";
}

void Raise(ErrorNumber number) {
    throw RuntimeError(number);
}

namespace {

bool IsBlank(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}

// Whether number text too large or too small for a double is too large: its
// first significant digit's place and its exponent tell.
bool BeyondLargest(std::string_view text) {
    const std::size_t e = std::min(text.find_first_of("eE"), text.size());
    long long exponent = 0;
    if (e < text.size()) {
        std::string_view digits = text.substr(e + 1);
        const bool negative = digits.starts_with('-');
        digits.remove_prefix(negative || digits.starts_with('+') ? 1 : 0);
        if (std::from_chars(digits.data(), digits.data() + digits.size(), exponent).ec !=
            std::errc()) {
            exponent = std::numeric_limits<int>::max();  // beyond any double either way
        }
        exponent = negative ? -exponent : exponent;
    }
    const std::size_t period = std::min(text.find('.'), e);
    const std::size_t first = text.find_first_of("123456789");
    const long long place = first < period ? static_cast<long long>(period - first)
                                           : -static_cast<long long>(first - period - 1);
    return place + exponent > 0;
}

struct Number {
    double value = 0;
    bool found = false;   // whether a number begins there
    std::size_t end = 0;  // the index just past it
};

// Reads the number at an index of the text: a sign, digits with at most one
// decimal period, and an exponent (E with at least one digit), up to the
// first character that cannot continue it. from_chars knows no locale; the
// "inf" and "nan" it also reads are no numbers here. A value beyond a
// double's range reads as an infinity of its sign, one too small for it as 0.
Number ReadNumber(const String& text, std::size_t first) {
    std::string ascii;
    for (std::size_t i = first; i < text.size() && text[i] < 0x80; ++i) {
        ascii.push_back(static_cast<char>(text[i]));
    }
    std::string_view rest = ascii;
    const bool negative = rest.starts_with('-');
    rest.remove_prefix(negative || rest.starts_with('+') ? 1 : 0);
    const std::size_t digit = rest.starts_with('.') ? 1 : 0;
    Number number;
    if (rest.size() <= digit || rest[digit] < '0' || rest[digit] > '9') {
        return number;
    }
    const auto [end, error] = std::from_chars(rest.data(), rest.end(), number.value);
    if (error == std::errc::result_out_of_range) {
        number.value = BeyondLargest(rest.substr(0, static_cast<std::size_t>(end - rest.data())))
                           ? std::numeric_limits<double>::infinity()
                           : 0.0;
    }
    number.value = negative ? -number.value : number.value;
    number.found = true;
    number.end = first + static_cast<std::size_t>(end - ascii.data());
    return number;
}

}  // namespace

double Val(const String& text) {
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) {
        ++i;
    }
    return ReadNumber(text, i).value;
}

Integer CInt(double value) {
    // nearbyint rounds in the current rounding mode, which is to nearest with
    // ties to even unless someone changed it; the program never does.
    const double rounded = std::nearbyint(value);
    if (!(rounded >= std::numeric_limits<Integer>::min() &&
          rounded <= std::numeric_limits<Integer>::max())) {
        Raise(ErrorNumber::Overflow);
    }
    return static_cast<Integer>(rounded);
}

double Int(double value) {
    if (!std::isfinite(value)) {
        Raise(ErrorNumber::Overflow);
    }
    return std::floor(value);
}

String CStr(int value) {
    return FromAscii(std::to_string(value));
}

double CDbl(const String& text) {
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && IsBlank(text[first])) {
        ++first;
    }
    while (last > first && IsBlank(text[last - 1])) {
        --last;
    }
    const Number number = ReadNumber(text.substr(0, last), first);
    if (!number.found || number.end != last) {
        Raise(ErrorNumber::TypeMismatch);
    }
    if (!std::isfinite(number.value)) {
        Raise(ErrorNumber::Overflow);
    }
    return number.value;
}

Integer AddInteger(Integer a, Integer b) {
    // The sum is whole, so the conversion only checks its range.
    return CInt(int{a} + int{b});
}

Single CheckedSingle(double value) {
    if (!std::isfinite(value) || std::fabs(value) > std::numeric_limits<Single>::max()) {
        Raise(ErrorNumber::Overflow);
    }
    return static_cast<Single>(value);
}

}  // namespace quorvex::runtime
