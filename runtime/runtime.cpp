#include "runtime/runtime.h"

#include <locale.h>
#include <cmath>
#include <limits>

namespace quorvex::runtime {

RuntimeError::RuntimeError(ErrorNumber number, const QString& description)
    : std::runtime_error(description.toStdString()), number_(number) {}

QString ErrorDescription(ErrorNumber number) {
    switch (number) {
        case ErrorNumber::Overflow:
            return QStringLiteral("Overflow");
        case ErrorNumber::OutOfMemory:
            return QStringLiteral("Out of memory");
        case ErrorNumber::TypeMismatch:
            return QStringLiteral("Type mismatch");
        case ErrorNumber::InternalError:
            return QStringLiteral("Internal error");
        case ErrorNumber::DeviceUnavailable:
            return QStringLiteral("Device unavailable");
    }
    return QStringLiteral("Application-defined or object-defined error");
}

void Raise(ErrorNumber number) {
    throw RuntimeError(number, ErrorDescription(number));
}

namespace {

bool IsBlank(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}

bool IsDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

// Converts plain ASCII number text, already checked to be well formed, in the
// "C" locale whatever the user's locale says about decimal separators.
double ParseNumberText(const QByteArray& text) {
    static const locale_t c_locale = newlocale(LC_ALL_MASK, "C", locale_t{});
    if (c_locale == locale_t{}) {
        Raise(ErrorNumber::InternalError);
    }
    return strtod_l(text.constData(), nullptr, c_locale);
}

struct ScannedNumber {
    QByteArray text;  // the number's characters, ready for the parser
    qsizetype end;    // index just past the last character read
    bool has_digits;
};

// Reads a sign, digits with at most one decimal period and an exponent from
// position i on, stopping at the first character that cannot continue it. An
// exponent counts only when at least one digit follows its E.
ScannedNumber ScanNumber(const QString& text, qsizetype i) {
    const qsizetype n = text.size();
    ScannedNumber scanned{QByteArray(), i, false};
    auto take = [&](qsizetype at) { scanned.text.append(static_cast<char>(text[at].unicode())); };
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
        qsizetype j = i + 1;
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

}  // namespace

double Val(const QString& text) {
    qsizetype i = 0;
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

QString CStr(int value) {
    return QString::number(value);
}

double CDbl(const QString& text) {
    const QString trimmed = text.trimmed();
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
