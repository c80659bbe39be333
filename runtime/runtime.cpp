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

bool IsDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

struct ScannedNumber {
    std::string text;     // the number's characters, ready for the parser
    std::size_t end = 0;  // index just past the last character read
    bool has_digits = false;
};

// Reads a sign, digits with at most one decimal period and an exponent from
// position i on, stopping at the first character that cannot continue it. An
// exponent counts only when at least one digit follows its E.
ScannedNumber ScanNumber(const String& text, std::size_t i) {
    const std::size_t n = text.size();
    ScannedNumber scanned;
    auto take = [&](std::size_t at) { scanned.text.push_back(static_cast<char>(text[at])); };
    auto take_digits = [&] {
        while (i < n && IsDigit(text[i])) {
            take(i++);
            scanned.has_digits = true;
        }
    };
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        take(i++);
    }
    take_digits();
    if (i < n && text[i] == u'.') {
        take(i++);
        take_digits();
    }
    if (scanned.has_digits && i < n && (text[i] == u'e' || text[i] == u'E')) {
        std::size_t j = i + 1;
        if (j < n && (text[j] == u'+' || text[j] == u'-')) {
            ++j;
        }
        if (j < n && IsDigit(text[j])) {
            while (j < n && IsDigit(text[j])) {
                ++j;
            }
            while (i < j) {
                take(i++);
            }
        }
    }
    scanned.end = i;
    return scanned;
}

// Whether number text too large or too small for a double is too large: its
// first significant digit's place and its exponent tell.
bool BeyondLargest(std::string_view text) {
    const std::size_t e = text.find_first_of("eE");
    const std::string_view mantissa = text.substr(0, e);
    long long exponent = 0;
    if (e != std::string_view::npos) {
        std::string_view digits = text.substr(e + 1);
        const bool negative = digits.front() == '-';
        if (digits.front() == '-' || digits.front() == '+') {
            digits.remove_prefix(1);
        }
        if (std::from_chars(digits.data(), digits.data() + digits.size(), exponent).ec !=
            std::errc()) {
            exponent = std::numeric_limits<int>::max();  // beyond any double either way
        }
        exponent = negative ? -exponent : exponent;
    }
    const std::size_t period = std::min(mantissa.find('.'), mantissa.size());
    const std::size_t first = mantissa.find_first_of("123456789");
    const long long place = first < period ? static_cast<long long>(period - first)
                                           : -static_cast<long long>(first - period - 1);
    return place + exponent > 0;
}

// Converts number text that ScanNumber has read, without a locale. A value
// beyond a double's range becomes an infinity of its sign, one too small for
// it zero.
double ParseNumberText(std::string_view text) {
    const bool negative = text.front() == '-';
    if (text.front() == '-' || text.front() == '+') {
        text.remove_prefix(1);
    }
    double value = 0;
    if (std::from_chars(text.data(), text.data() + text.size(), value).ec ==
        std::errc::result_out_of_range) {
        value = BeyondLargest(text) ? std::numeric_limits<double>::infinity() : 0.0;
    }
    return negative ? -value : value;
}

}  // namespace

double Val(const String& text) {
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) {
        ++i;
    }
    const ScannedNumber scanned = ScanNumber(text, i);
    return scanned.has_digits ? ParseNumberText(scanned.text) : 0.0;
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
    const String trimmed = text.substr(first, last - first);
    const ScannedNumber scanned = ScanNumber(trimmed, 0);
    if (!scanned.has_digits || scanned.end != trimmed.size()) {
        Raise(ErrorNumber::TypeMismatch);
    }
    const double value = ParseNumberText(scanned.text);
    if (!std::isfinite(value)) {
        Raise(ErrorNumber::Overflow);
    }
    return value;
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
