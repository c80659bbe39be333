// The small language runtime the program's handlers are written against:
// its text, 16-bit whole numbers that fail on overflow, the number
// conversions, and the runtime error that ends a handler. Standard C++ only:
// every platform builds it as it is.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace quorvex::runtime {

// The runtime's text: a length-counted string of 16-bit characters.
using String = std::u16string;
// The runtime's whole number: 16-bit signed, arithmetic fails instead of wrapping.
using Integer = std::int16_t;
// The runtime's single-precision number, used for positions and sizes.
using Single = float;

// Truth values are whole numbers: True is -1, False is 0.
inline constexpr Integer True = -1;
inline constexpr Integer False = 0;

inline constexpr Integer ToTruth(bool value) {
    return value ? True : False;
}

// Text of plain ASCII characters (every text the program writes itself).
String FromAscii(std::string_view ascii);

// Runtime error numbers that this program can meet.
enum class ErrorNumber : int {
    Overflow = 6,
    OutOfMemory = 7,
    TypeMismatch = 13,
    DeviceUnavailable = 68,
    NotSupported = 438,
};

// A failure that ends the running handler at the statement that raised it.
class RuntimeError : public std::runtime_error {
  public:
    explicit RuntimeError(ErrorNumber number);

    ErrorNumber number() const { return number_; }

  private:
    ErrorNumber number_;
};

[[noreturn]] void Raise(ErrorNumber number);

// Thrown by End: it unwinds every handler (none catches it) back to the
// program's entry, which returns the status, so the window, the services and
// the application are destroyed in order on the way.
struct ProgramEnd {
    int status = 0;
};

// The standard description of a runtime error number ("Overflow", ...).
const char* ErrorDescription(ErrorNumber number);

// Reads the number at the start of a text: leading blanks are skipped, then an
// optional sign, digits with at most one decimal period, and an optional
// exponent (E and digits); reading stops at the first character that cannot
// continue the number. Text that begins with no number reads as 0. A number
// too large for a double reads as an infinity of its sign. No locale takes
// part: the period is the decimal separator everywhere.
double Val(const String& text);

// Nearest whole number as a 16-bit integer; a half goes to the even
// neighbour. Raises Overflow outside -32768..32767 (and for NaN).
Integer CInt(double value);

// The largest whole number not above the value. Raises Overflow for NaN or
// infinities, which no floor can represent.
double Int(double value);

// The whole number's decimal text: plain digits, with a minus sign if negative.
String CStr(int value);

// A text read back as a number. Blanks around the number are allowed; any
// other text raises Type mismatch.
double CDbl(const String& text);

// 16-bit signed addition; raises Overflow when the sum leaves the range.
Integer AddInteger(Integer a, Integer b);

// Checks a computed floating-point value before it is passed on as a single:
// NaN, an infinity or a value beyond the single range raises Overflow.
Single CheckedSingle(double value);

}  // namespace quorvex::runtime
