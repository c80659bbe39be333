// Tests of the character tables and of the generate command. The command runs
// against a view without widgets and against scripted runtime services, so
// every draw, every message-box answer and every write to the output box is
// under the test's control.
#include "generator/char_tables.h"
#include "generator/generate_command.h"
#include "runtime/runtime.h"
#include "runtime/secure_random.h"
#include "tests/scripted_services.h"

#include <QList>
#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTest>

#include <locale.h>
#include <stdlib.h>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <random>
#include <regex>
#include <stdexcept>
#include <string>

using quorvex::generator::CharacterFor;
using quorvex::generator::Command1_Click;
using quorvex::generator::GeneratorVariables;
using quorvex::generator::GeneratorView;
using quorvex::generator::OptionButton;
using quorvex::generator::RangeOf;
using quorvex::runtime::Integer;
using quorvex::testing::ScriptedServices;

namespace {

// The texts and codes of the two message boxes, written out as the user sees them.
const QString kErrorPrompt =
    QStringLiteral("Password length must be a number from 1 to 32766 inclusive.");
const QString kErrorTitle = QStringLiteral("Error");
constexpr int kErrorStyle = 16;
const QString kWarningPrompt = QStringLiteral(
    "The password length is too big, the program may stop responding for some time or even "
    "forever! If you still want to continue press ''Yes'', else press ''No'' and enter "
    "password length smaller than 1000.");
const QString kWarningTitle = QStringLiteral("Warning!");
constexpr int kWarningStyle = 308;
constexpr int kYes = 6;
constexpr int kNo = 7;

// What a click ends with, as the user sees it.
enum Outcome { kNoBox = 0, kErrorBox = 1, kWarningBox = 2 };

OptionButton OptionFromNumber(int number) {
    switch (number) {
        case 1:
            return OptionButton::Option1;
        case 2:
            return OptionButton::Option2;
        case 3:
            return OptionButton::Option3;
        default:
            return OptionButton::Option4;
    }
}

// The window as the generate command sees it: a length box, four option
// buttons of which one is selected, and an output box that remembers every
// text written to it.
class FakeGeneratorView : public GeneratorView {
  public:
    QString length_text;
    OptionButton selected = OptionButton::Option2;
    QString output_text;
    QStringList written;  // every text written to the output box, in order

    QString LengthText() const override { return length_text; }
    bool OptionSelected(OptionButton option) const override { return option == selected; }
    void SetOutputText(const QString& text) override {
        output_text = text;
        written.append(text);
    }
};

// A random source that gives up with an exception after far more draws than
// the test needs, so a loop that never accepts a draw fails instead of hanging.
std::function<double()> Guarded(std::function<double()> source, int max_draws) {
    auto draws = std::make_shared<int>(0);
    return [source = std::move(source), max_draws, draws] {
        if (++*draws > max_draws) {
            throw std::runtime_error("runaway draw loop");
        }
        return source();
    };
}

// The character of each draw value 1..94, in value order, as the tables are
// described: the letters, the digits 1..9 then 0, and the two symbol groups
// given by their character codes.
QString ReferenceCharacters() {
    QString characters;
    for (char16_t c = u'a'; c <= u'z'; ++c) {
        characters.append(QChar(c));
    }
    for (char16_t c = u'A'; c <= u'Z'; ++c) {
        characters.append(QChar(c));
    }
    for (char16_t c = u'1'; c <= u'9'; ++c) {
        characters.append(QChar(c));
    }
    characters.append(QChar(u'0'));
    const char16_t first_symbols[] = {0x21, 0x40, 0x23, 0x24, 0x25, 0x5E, 0x26, 0x2A, 0x28,
                                      0x29, 0x2D, 0x5F, 0x2B, 0x3B, 0x3A, 0x2C, 0x2E, 0x2A};
    const char16_t second_symbols[] = {0x3D, 0x5B, 0x5D, 0x7B, 0x7D, 0x27, 0x3C,
                                       0x3E, 0x2F, 0x3F, 0x5C, 0x7C, 0x60, 0x7E};
    for (const char16_t c : first_symbols) {
        characters.append(QChar(c));
    }
    for (const char16_t c : second_symbols) {
        characters.append(QChar(c));
    }
    return characters;
}

struct ReferenceRange {
    int lowest;
    int highest;
};

ReferenceRange ReferenceRangeOf(int option) {
    switch (option) {
        case 1:
            return {53, 62};
        case 2:
            return {1, 62};
        case 3:
            return {1, 80};
        default:
            return {1, 94};
    }
}

std::optional<QChar> ReferenceCharacter(int option, int value) {
    static const QString characters = ReferenceCharacters();
    const ReferenceRange range = ReferenceRangeOf(option);
    if (value < range.lowest || value > range.highest) {
        return std::nullopt;
    }
    return characters.at(value - 1);
}

// How many table entries each character of the option has.
QMap<QChar, int> ReferenceEntryCounts(int option) {
    QMap<QChar, int> counts;
    const ReferenceRange range = ReferenceRangeOf(option);
    for (int value = range.lowest; value <= range.highest; ++value) {
        ++counts[*ReferenceCharacter(option, value)];
    }
    return counts;
}

// Whether every character of the text belongs to the option's table.
bool AllFromTable(const QString& text, int option) {
    const QMap<QChar, int> counts = ReferenceEntryCounts(option);
    for (const QChar c : text) {
        if (!counts.contains(c)) {
            return false;
        }
    }
    return true;
}

// The number that a length text starts with: optional blanks, a sign, digits
// with at most one period, and an exponent only when digits follow its E;
// no number reads as 0. Converted in the "C" locale.
double ReferenceLeadingNumber(const std::string& text) {
    static const std::regex number(
        R"(^[ \t\r\n]*([+-]?(?:[0-9]+(?:\.[0-9]*)?|\.[0-9]+)(?:[eE][+-]?[0-9]+)?))");
    static const locale_t c_locale = newlocale(LC_ALL_MASK, "C", locale_t{});
    std::smatch match;
    if (!std::regex_search(text, match, number)) {
        return 0.0;
    }
    return strtod_l(match[1].str().c_str(), nullptr, c_locale);
}

// The largest chi-square value accepted for the degrees of freedom at a
// significance of about one in a million (Wilson-Hilferty approximation).
double ChiSquareCritical(int degrees_of_freedom) {
    const double k = degrees_of_freedom;
    const double z = 4.753;
    const double a = 2.0 / (9.0 * k);
    return k * std::pow(1.0 - a + z * std::sqrt(a), 3);
}

// Checks the output box history of one click: the box was emptied first, and
// every later write is the start of the final text.
bool HistoryBuildsUp(const FakeGeneratorView& view) {
    if (view.written.isEmpty() || !view.written.first().isEmpty()) {
        return false;
    }
    for (const QString& text : view.written) {
        if (!view.output_text.startsWith(text)) {
            return false;
        }
    }
    return true;
}

// Runs one click and gives the text of any exception it lets out, empty when
// it ends normally.
QString ClickRaised(FakeGeneratorView& view, GeneratorVariables& vars, ScriptedServices& services) {
    try {
        Command1_Click(view, vars, services);
    } catch (const std::exception& error) {
        return QStringLiteral("the click raised: ") + QString::fromUtf8(error.what());
    }
    return QString();
}

}  // namespace

// A click that must end normally; anything it raises fails the test function.
#define CLICK_WITHOUT_RAISE(view, vars, services)                       \
    do {                                                                \
        const QString click_raised = ClickRaised(view, vars, services); \
        QVERIFY2(click_raised.isEmpty(), qPrintable(click_raised));     \
    } while (false)

class TestGenerator : public QObject {
    Q_OBJECT

  private slots:
    void lookupBoundaries_data();
    void lookupBoundaries();
    void tableSweep_data();
    void tableSweep();
    void scriptedDraws_data();
    void scriptedDraws();
    void outcomes_data();
    void outcomes();
    void secondClickReplaces_data();
    void secondClickReplaces();
    void runtimeErrorKeepsCharacters_data();
    void runtimeErrorKeepsCharacters();
    void fuzzLengthTexts_data();
    void fuzzLengthTexts();
    void secureStatistics_data();
    void secureStatistics();
    void independentGeneratorsDiffer_data();
    void independentGeneratorsDiffer();
};

void TestGenerator::lookupBoundaries_data() {
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("option1");  // empty: no character
    QTest::addColumn<QString>("option2");
    QTest::addColumn<QString>("option3");
    QTest::addColumn<QString>("option4");

    QTest::newRow("-32768") << -32768 << ""
                            << ""
                            << ""
                            << "";
    QTest::newRow("-1") << -1 << ""
                        << ""
                        << ""
                        << "";
    QTest::newRow("0") << 0 << ""
                       << ""
                       << ""
                       << "";
    QTest::newRow("1") << 1 << ""
                       << "a"
                       << "a"
                       << "a";
    QTest::newRow("2") << 2 << ""
                       << "b"
                       << "b"
                       << "b";
    QTest::newRow("26") << 26 << ""
                        << "z"
                        << "z"
                        << "z";
    QTest::newRow("27") << 27 << ""
                        << "A"
                        << "A"
                        << "A";
    QTest::newRow("52") << 52 << ""
                        << "Z"
                        << "Z"
                        << "Z";
    QTest::newRow("53") << 53 << "1"
                        << "1"
                        << "1"
                        << "1";
    QTest::newRow("61") << 61 << "9"
                        << "9"
                        << "9"
                        << "9";
    QTest::newRow("62") << 62 << "0"
                        << "0"
                        << "0"
                        << "0";
    QTest::newRow("63") << 63 << ""
                        << ""
                        << "!"
                        << "!";
    QTest::newRow("64") << 64 << ""
                        << ""
                        << "@"
                        << "@";
    QTest::newRow("69") << 69 << ""
                        << ""
                        << "&"
                        << "&";
    QTest::newRow("70") << 70 << ""
                        << ""
                        << "*"
                        << "*";
    QTest::newRow("71") << 71 << ""
                        << ""
                        << "("
                        << "(";
    QTest::newRow("79") << 79 << ""
                        << ""
                        << "."
                        << ".";
    QTest::newRow("80") << 80 << ""
                        << ""
                        << "*"
                        << "*";
    QTest::newRow("81") << 81 << ""
                        << ""
                        << ""
                        << "=";
    QTest::newRow("86") << 86 << ""
                        << ""
                        << ""
                        << "'";
    QTest::newRow("91") << 91 << ""
                        << ""
                        << ""
                        << "\\";
    QTest::newRow("93") << 93 << ""
                        << ""
                        << ""
                        << "`";
    QTest::newRow("94") << 94 << ""
                        << ""
                        << ""
                        << "~";
    QTest::newRow("95") << 95 << ""
                        << ""
                        << ""
                        << "";
    QTest::newRow("99") << 99 << ""
                        << ""
                        << ""
                        << "";
    QTest::newRow("100") << 100 << ""
                         << ""
                         << ""
                         << "";
    QTest::newRow("32767") << 32767 << ""
                           << ""
                           << ""
                           << "";
}

void TestGenerator::lookupBoundaries() {
    QFETCH(int, value);
    QFETCH(QString, option1);
    QFETCH(QString, option2);
    QFETCH(QString, option3);
    QFETCH(QString, option4);
    const QString expected[] = {option1, option2, option3, option4};
    for (int number = 1; number <= 4; ++number) {
        const std::optional<QChar> got =
            CharacterFor(OptionFromNumber(number), static_cast<Integer>(value));
        const QString& want = expected[number - 1];
        const QByteArray where = QByteArray("Option") + QByteArray::number(number);
        if (want.isEmpty()) {
            QVERIFY2(!got.has_value(), where.constData());
        } else {
            QVERIFY2(got.has_value(), where.constData());
            QCOMPARE(QString(*got), want);
        }
    }
}

void TestGenerator::tableSweep_data() {
    QTest::addColumn<int>("option");
    QTest::addColumn<int>("lowest");
    QTest::addColumn<int>("highest");
    QTest::addColumn<int>("entries");
    QTest::addColumn<int>("distinct");
    QTest::addColumn<QList<int>>("starValues");

    QTest::newRow("Option1") << 1 << 53 << 62 << 10 << 10 << QList<int>{};
    QTest::newRow("Option2") << 2 << 1 << 62 << 62 << 62 << QList<int>{};
    QTest::newRow("Option3") << 3 << 1 << 80 << 80 << 79 << QList<int>{70, 80};
    QTest::newRow("Option4") << 4 << 1 << 94 << 94 << 93 << QList<int>{70, 80};
}

void TestGenerator::tableSweep() {
    QFETCH(int, option);
    QFETCH(int, lowest);
    QFETCH(int, highest);
    QFETCH(int, entries);
    QFETCH(int, distinct);
    QFETCH(QList<int>, starValues);

    const OptionButton button = OptionFromNumber(option);
    int covered = 0;
    int first_covered = std::numeric_limits<int>::max();
    int last_covered = std::numeric_limits<int>::min();
    QSet<QChar> characters;
    QList<int> star_values;
    for (int value = std::numeric_limits<Integer>::min();
         value <= std::numeric_limits<Integer>::max(); ++value) {
        const std::optional<QChar> got = CharacterFor(button, static_cast<Integer>(value));
        const std::optional<QChar> want = ReferenceCharacter(option, value);
        if (got != want) {
            QFAIL(qPrintable(QStringLiteral("value %1: got '%2', expected '%3'")
                                 .arg(value)
                                 .arg(got ? QString(*got) : QStringLiteral("none"))
                                 .arg(want ? QString(*want) : QStringLiteral("none"))));
        }
        if (!got) {
            continue;
        }
        ++covered;
        first_covered = std::min(first_covered, value);
        last_covered = std::max(last_covered, value);
        characters.insert(*got);
        QVERIFY(got->unicode() < 0x80);  // a single ASCII character
        if (*got == QChar(u'*')) {
            star_values.append(value);
        }
    }
    QCOMPARE(covered, entries);
    QCOMPARE(int(characters.size()), distinct);
    QCOMPARE(first_covered, lowest);
    QCOMPARE(last_covered, highest);
    QCOMPARE(star_values, starValues);
    QCOMPARE(int(RangeOf(button).lowest), lowest);
    QCOMPARE(int(RangeOf(button).highest), highest);
}

void TestGenerator::scriptedDraws_data() {
    QTest::addColumn<int>("option");
    QTest::addColumn<QString>("length");
    QTest::addColumn<QList<int>>("draws");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("lastDraw");

    QTest::newRow("worked example") << 2 << "3" << QList<int>{0, 27, 99, 62, 5} << "A0e" << 5;
    QTest::newRow("Option1 digits only")
        << 1 << "3" << QList<int>{52, 53, 63, 62, 0, 1, 61} << "109" << 61;
    QTest::newRow("Option2 rejects symbols")
        << 2 << "2" << QList<int>{63, 80, 94, 52, 1} << "Za" << 1;
    QTest::newRow("Option3 rejects second group")
        << 3 << "4" << QList<int>{81, 70, 94, 80, 63, 95, 79} << "**!." << 79;
    QTest::newRow("Option4 full range")
        << 4 << "4" << QList<int>{95, 94, 81, 99, 0, 1, 86} << "~=a'" << 86;
    QTest::newRow("half rounds to even") << 2 << "2.5" << QList<int>{3, 4} << "cd" << 4;
}

void TestGenerator::scriptedDraws() {
    QFETCH(int, option);
    QFETCH(QString, length);
    QFETCH(QList<int>, draws);
    QFETCH(QString, expected);
    QFETCH(int, lastDraw);

    FakeGeneratorView view;
    view.length_text = length;
    view.selected = OptionFromNumber(option);
    GeneratorVariables vars;
    ScriptedServices services;
    for (const int draw : draws) {
        services.draws.push_back(ScriptedServices::DrawFor(draw));
    }

    CLICK_WITHOUT_RAISE(view, vars, services);

    QCOMPARE(view.output_text, expected);
    QVERIFY(HistoryBuildsUp(view));
    QCOMPARE(int(vars.CharIndex), int(expected.size()) + 1);
    QCOMPARE(int(vars.DrawValue), lastDraw);
    QVERIFY(services.boxes.isEmpty());
    QCOMPARE(services.rnd_calls, int(draws.size()));
    QVERIFY(services.draws.empty());
    QCOMPARE(services.randomize_calls, 0);
    QCOMPARE(view.length_text, length);  // the length box is never written
}

void TestGenerator::outcomes_data() {
    QTest::addColumn<int>("option");
    QTest::addColumn<QString>("length");
    QTest::addColumn<QList<int>>("answers");
    QTest::addColumn<int>("box");
    QTest::addColumn<int>("passwordLength");  // -1: no password
    QTest::addColumn<QString>("promptAnswer");

    const QList<int> none;
    const QString untouched = QStringLiteral("untouched");
    QTest::newRow("empty") << 2 << "" << none << int(kErrorBox) << -1 << untouched;
    QTest::newRow("abc") << 2 << "abc" << none << int(kErrorBox) << -1 << untouched;
    QTest::newRow("0") << 2 << "0" << none << int(kErrorBox) << -1 << untouched;
    QTest::newRow("-0") << 3 << "-0" << none << int(kErrorBox) << -1 << untouched;
    QTest::newRow("-5") << 2 << "-5" << none << int(kErrorBox) << -1 << untouched;
    QTest::newRow("0.9") << 1 << "0.9" << none << int(kErrorBox) << -1 << untouched;
    QTest::newRow("0.5") << 2 << "0.5" << none << int(kErrorBox) << -1 << untouched;
    QTest::newRow("32767") << 2 << "32767" << none << int(kErrorBox) << -1 << untouched;
    QTest::newRow("32766.4") << 4 << "32766.4" << none << int(kErrorBox) << -1 << untouched;
    QTest::newRow("99999") << 2 << "99999" << none << int(kErrorBox) << -1 << untouched;
    QTest::newRow("1") << 2 << "1" << none << int(kNoBox) << 1 << untouched;
    QTest::newRow("1.4") << 3 << "1.4" << none << int(kNoBox) << 1 << untouched;
    QTest::newRow("1.5") << 2 << "1.5" << none << int(kNoBox) << 2 << untouched;
    QTest::newRow("2.5") << 4 << "2.5" << none << int(kNoBox) << 2 << untouched;
    QTest::newRow("3.5") << 2 << "3.5" << none << int(kNoBox) << 4 << untouched;
    QTest::newRow(" 12 leading blank") << 2 << " 12" << none << int(kNoBox) << 12 << untouched;
    QTest::newRow("12abc") << 1 << "12abc" << none << int(kNoBox) << 12 << untouched;
    QTest::newRow("999") << 1 << "999" << none << int(kNoBox) << 999 << untouched;
    QTest::newRow("999.5") << 2 << "999.5" << none << int(kNoBox) << 1000 << untouched;
    QTest::newRow("1000 No") << 2 << "1000" << QList<int>{kNo} << int(kWarningBox) << -1 << "7";
    QTest::newRow("1000 Yes") << 3 << "1000" << QList<int>{kYes} << int(kWarningBox) << 1000 << "6";
    QTest::newRow("1e3 Yes") << 2 << "1e3" << QList<int>{kYes} << int(kWarningBox) << 1000 << "6";
    QTest::newRow("32765.5 Yes") << 2 << "32765.5" << QList<int>{kYes} << int(kWarningBox) << 32766
                                 << "6";
    QTest::newRow("32766 No") << 4 << "32766" << QList<int>{kNo} << int(kWarningBox) << -1 << "7";
    QTest::newRow("32766 Yes Option1")
        << 1 << "32766" << QList<int>{kYes} << int(kWarningBox) << 32766 << "6";
    QTest::newRow("32766 Yes Option4")
        << 4 << "32766" << QList<int>{kYes} << int(kWarningBox) << 32766 << "6";
}

void TestGenerator::outcomes() {
    QFETCH(int, option);
    QFETCH(QString, length);
    QFETCH(QList<int>, answers);
    QFETCH(int, box);
    QFETCH(int, passwordLength);
    QFETCH(QString, promptAnswer);

    FakeGeneratorView view;
    view.length_text = length;
    view.selected = OptionFromNumber(option);
    view.output_text = QStringLiteral("previous password");
    GeneratorVariables vars;
    vars.CharIndex = 77;
    vars.DrawValue = 42;
    vars.PromptAnswer = QStringLiteral("untouched");
    ScriptedServices services;
    for (const int answer : answers) {
        services.answers.push_back(answer);
    }
    std::mt19937 rng(20240611u + static_cast<unsigned>(option));
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    services.fallback_rnd = Guarded([&] { return uniform(rng); }, 5000000);

    CLICK_WITHOUT_RAISE(view, vars, services);

    QVERIFY(!view.written.isEmpty());
    QCOMPARE(view.written.first(), QString());
    QVERIFY(HistoryBuildsUp(view));
    QVERIFY(services.answers.empty());
    QCOMPARE(services.randomize_calls, 0);
    QCOMPARE(vars.PromptAnswer, promptAnswer);
    QCOMPARE(view.length_text, length);

    switch (box) {
        case kNoBox:
            QVERIFY(services.boxes.isEmpty());
            break;
        case kErrorBox:
            QCOMPARE(services.boxes.size(), 1);
            QCOMPARE(services.boxes[0].prompt, kErrorPrompt);
            QCOMPARE(services.boxes[0].style, kErrorStyle);
            QCOMPARE(services.boxes[0].title, kErrorTitle);
            break;
        case kWarningBox:
            QCOMPARE(services.boxes.size(), 1);
            QCOMPARE(services.boxes[0].prompt, kWarningPrompt);
            QCOMPARE(services.boxes[0].style, kWarningStyle);
            QCOMPARE(services.boxes[0].title, kWarningTitle);
            break;
    }

    if (passwordLength < 0) {
        QVERIFY(view.output_text.isEmpty());
        QCOMPARE(services.rnd_calls, 0);
        QCOMPARE(int(vars.CharIndex), 77);
        QCOMPARE(int(vars.DrawValue), 42);
    } else {
        QCOMPARE(int(view.output_text.size()), passwordLength);
        QVERIFY(AllFromTable(view.output_text, option));
        QCOMPARE(int(vars.CharIndex), passwordLength + 1);
        QVERIFY(services.rnd_calls >= passwordLength);
        // The last accepted draw stays in DrawValue: it made the last character.
        const std::optional<QChar> last = ReferenceCharacter(option, vars.DrawValue);
        QVERIFY(last.has_value());
        QCOMPARE(*last, view.output_text.back());
    }
}

void TestGenerator::secondClickReplaces_data() {
    QTest::addColumn<int>("option");
    QTest::addColumn<QString>("firstLength");
    QTest::addColumn<QString>("secondLength");
    QTest::addColumn<QList<int>>("answers");
    QTest::addColumn<int>("secondPasswordLength");

    QTest::newRow("longer then shorter") << 2 << "8"
                                         << "3" << QList<int>{} << 3;
    QTest::newRow("shorter then longer") << 4 << "3"
                                         << "8" << QList<int>{} << 8;
    QTest::newRow("same length") << 1 << "5"
                                 << "5" << QList<int>{} << 5;
    QTest::newRow("then an error") << 3 << "5"
                                   << "abc" << QList<int>{} << 0;
    QTest::newRow("then No to the warning") << 2 << "5"
                                            << "1000" << QList<int>{kNo} << 0;
    QTest::newRow("then Yes to the warning") << 2 << "5"
                                             << "1000" << QList<int>{kYes} << 1000;
}

void TestGenerator::secondClickReplaces() {
    QFETCH(int, option);
    QFETCH(QString, firstLength);
    QFETCH(QString, secondLength);
    QFETCH(QList<int>, answers);
    QFETCH(int, secondPasswordLength);

    FakeGeneratorView view;
    view.selected = OptionFromNumber(option);
    GeneratorVariables vars;
    ScriptedServices services;
    std::mt19937 rng(7u);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    services.fallback_rnd = Guarded([&] { return uniform(rng); }, 5000000);

    view.length_text = firstLength;
    CLICK_WITHOUT_RAISE(view, vars, services);
    const QString first = view.output_text;
    QVERIFY(AllFromTable(first, option));

    QCOMPARE(int(first.size()), firstLength.toInt());

    // The second password is all "1" (draw 53 in every table), so anything
    // left over from the first one shows.
    for (const int answer : answers) {
        services.answers.push_back(answer);
    }
    services.fallback_rnd = Guarded([] { return ScriptedServices::DrawFor(53); }, 40000);
    view.written.clear();
    view.length_text = secondLength;
    CLICK_WITHOUT_RAISE(view, vars, services);

    QVERIFY(HistoryBuildsUp(view));
    QCOMPARE(view.output_text, QString(secondPasswordLength, QChar(u'1')));
}

void TestGenerator::runtimeErrorKeepsCharacters_data() {
    QTest::addColumn<int>("option");
    QTest::addColumn<QString>("length");
    QTest::addColumn<QList<double>>("draws");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("charIndex");
    QTest::addColumn<int>("drawValue");

    const auto d = [](int v) { return ScriptedServices::DrawFor(v); };
    const double inf = std::numeric_limits<double>::infinity();
    QTest::newRow("after two characters")
        << 2 << "5" << QList<double>{d(27), d(5), 1e9} << "Ae" << 3 << 5;
    QTest::newRow("at the first draw") << 2 << "5" << QList<double>{1e9} << "" << 1 << 42;
    QTest::newRow("after a rejected draw")
        << 1 << "4" << QList<double>{d(53), d(0), d(62), d(99), 1e9} << "10" << 3 << 99;
    QTest::newRow("below the range")
        << 3 << "6" << QList<double>{d(70), d(80), d(63), -1e9} << "**!" << 4 << 63;
    QTest::newRow("infinite draw") << 4 << "3" << QList<double>{d(94), inf} << "~" << 2 << 94;
}

void TestGenerator::runtimeErrorKeepsCharacters() {
    QFETCH(int, option);
    QFETCH(QString, length);
    QFETCH(QList<double>, draws);
    QFETCH(QString, expected);
    QFETCH(int, charIndex);
    QFETCH(int, drawValue);

    FakeGeneratorView view;
    view.length_text = length;
    view.selected = OptionFromNumber(option);
    view.output_text = QStringLiteral("previous password");
    GeneratorVariables vars;
    vars.DrawValue = 42;
    ScriptedServices services;
    for (const double draw : draws) {
        services.draws.push_back(draw);
    }

    bool raised = false;
    try {
        Command1_Click(view, vars, services);
    } catch (const quorvex::runtime::RuntimeError& error) {
        raised = true;
        QCOMPARE(int(error.number()), int(quorvex::runtime::ErrorNumber::Overflow));
    } catch (const std::exception& error) {
        QFAIL(error.what());
    }
    QVERIFY(raised);
    QCOMPARE(view.output_text, expected);
    QVERIFY(HistoryBuildsUp(view));
    QCOMPARE(services.rnd_calls, int(draws.size()));
    QCOMPARE(int(vars.CharIndex), charIndex);
    QCOMPARE(int(vars.DrawValue), drawValue);
    QVERIFY(services.boxes.isEmpty());
}

void TestGenerator::fuzzLengthTexts_data() {
    QTest::addColumn<QStringList>("inputs");

    const QString alphabet = QStringLiteral("0123456789.-+ eE&Hh,x");

    QStringList short_inputs{QString()};
    QStringList previous{QString()};
    for (int length = 1; length <= 3; ++length) {
        QStringList next;
        for (const QString& prefix : previous) {
            for (const QChar c : alphabet) {
                next.append(prefix + c);
            }
        }
        short_inputs += next;
        previous = next;
    }
    QTest::newRow("every text up to three characters") << short_inputs;

    std::mt19937 rng(0x5eed1234u);
    QStringList long_inputs;
    for (int i = 0; i < 20000; ++i) {
        QString text;
        for (int j = 0; j < 5; ++j) {
            text.append(alphabet.at(static_cast<qsizetype>(rng() % alphabet.size())));
        }
        long_inputs.append(text);
    }
    QTest::newRow("random five-character texts") << long_inputs;
}

void TestGenerator::fuzzLengthTexts() {
    QFETCH(QStringList, inputs);

    QStringList failures;
    int errors = 0;
    int warnings = 0;
    int plain = 0;
    int index = 0;
    for (const QString& input : inputs) {
        ++index;
        const int option = 1 + index % 4;
        const double v = ReferenceLeadingNumber(input.toStdString());
        Outcome expected_box;
        int expected_length = -1;
        if (v < 1 || v > 32766) {
            expected_box = kErrorBox;
        } else {
            expected_length = static_cast<int>(std::nearbyint(v));
            expected_box = v >= 1000 ? kWarningBox : kNoBox;
        }

        FakeGeneratorView view;
        view.length_text = input;
        view.selected = OptionFromNumber(option);
        view.output_text = QStringLiteral("old");
        GeneratorVariables vars;
        ScriptedServices services;
        services.answers.push_back(kYes);
        // 53 is "1" in every table, so every draw is accepted at once.
        services.fallback_rnd = Guarded([] { return ScriptedServices::DrawFor(53); }, 40000);

        QString problem;
        try {
            Command1_Click(view, vars, services);
        } catch (const std::exception& error) {
            problem = QStringLiteral("raised %1").arg(QString::fromUtf8(error.what()));
        }

        if (problem.isEmpty() && !HistoryBuildsUp(view)) {
            problem = QStringLiteral("output box not emptied first");
        }
        if (problem.isEmpty()) {
            switch (expected_box) {
                case kErrorBox:
                    ++errors;
                    if (services.boxes.size() != 1 || services.boxes[0].prompt != kErrorPrompt ||
                        services.boxes[0].style != kErrorStyle ||
                        services.boxes[0].title != kErrorTitle) {
                        problem = QStringLiteral("expected the error box only");
                    } else if (!view.output_text.isEmpty() || services.rnd_calls != 0) {
                        problem = QStringLiteral("output not empty after the error");
                    }
                    break;
                case kWarningBox:
                    ++warnings;
                    if (services.boxes.size() != 1 || services.boxes[0].prompt != kWarningPrompt ||
                        services.boxes[0].style != kWarningStyle ||
                        services.boxes[0].title != kWarningTitle) {
                        problem = QStringLiteral("expected the warning box only");
                    } else if (vars.PromptAnswer != QStringLiteral("6")) {
                        problem = QStringLiteral("PromptAnswer %1").arg(vars.PromptAnswer);
                    }
                    break;
                case kNoBox:
                    ++plain;
                    if (!services.boxes.isEmpty()) {
                        problem =
                            QStringLiteral("unexpected box '%1'").arg(services.boxes[0].title);
                    }
                    break;
            }
        }
        if (problem.isEmpty() && expected_length >= 0) {
            if (view.output_text != QString(expected_length, QChar(u'1'))) {
                problem = QStringLiteral("password of %1 characters, expected %2")
                              .arg(view.output_text.size())
                              .arg(expected_length);
            } else if (vars.CharIndex != expected_length + 1) {
                problem = QStringLiteral("CharIndex %1").arg(vars.CharIndex);
            }
        }
        if (!problem.isEmpty()) {
            failures.append(QStringLiteral("\"%1\": %2").arg(input, problem));
        }
    }

    QVERIFY2(failures.isEmpty(), qPrintable(QStringLiteral("%1 of %2 texts failed, first ones:\n")
                                                .arg(failures.size())
                                                .arg(inputs.size()) +
                                            failures.mid(0, 20).join(u'\n')));
    // The inputs reach all three outcomes, so the comparison above means something.
    QVERIFY(errors > 0);
    QVERIFY(warnings > 0);
    QVERIFY(plain > 0);
}

void TestGenerator::secureStatistics_data() {
    QTest::addColumn<int>("option");
    QTest::addColumn<int>("clicks");

    // Seven clicks of 32766 characters: 229362 characters per option.
    QTest::newRow("Option1") << 1 << 7;
    QTest::newRow("Option2") << 2 << 7;
    QTest::newRow("Option3") << 3 << 7;
    QTest::newRow("Option4") << 4 << 7;
}

void TestGenerator::secureStatistics() {
    QFETCH(int, option);
    QFETCH(int, clicks);

    quorvex::runtime::SecureRandom rng;
    FakeGeneratorView view;
    view.length_text = QStringLiteral("32766");
    view.selected = OptionFromNumber(option);
    GeneratorVariables vars;
    ScriptedServices services;
    services.fallback_rnd = Guarded([&] { return rng.NextDouble(); }, 10000000);

    QMap<QChar, std::int64_t> observed;
    std::int64_t total = 0;
    for (int click = 0; click < clicks; ++click) {
        services.answers.push_back(kYes);
        CLICK_WITHOUT_RAISE(view, vars, services);
        QCOMPARE(int(view.output_text.size()), 32766);
        for (const QChar c : view.output_text) {
            ++observed[c];
        }
        total += view.output_text.size();
    }
    QVERIFY(total >= 200000);

    const QMap<QChar, int> entries = ReferenceEntryCounts(option);
    const ReferenceRange range = ReferenceRangeOf(option);
    const int entry_count = range.highest - range.lowest + 1;
    for (auto it = observed.cbegin(); it != observed.cend(); ++it) {
        QVERIFY2(entries.contains(it.key()),
                 qPrintable(QStringLiteral("'%1' is not in the table").arg(it.key())));
    }
    double chi_square = 0;
    for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
        const std::int64_t count = observed.value(it.key(), 0);
        QVERIFY2(count > 0, qPrintable(QStringLiteral("'%1' never appeared").arg(it.key())));
        const double expected = double(total) * it.value() / entry_count;
        chi_square += (count - expected) * (count - expected) / expected;
    }
    const int degrees_of_freedom = int(entries.size()) - 1;
    const double critical = ChiSquareCritical(degrees_of_freedom);
    QVERIFY2(chi_square < critical, qPrintable(QStringLiteral("chi-square %1 >= %2 (df %3)")
                                                   .arg(chi_square)
                                                   .arg(critical)
                                                   .arg(degrees_of_freedom)));
}

void TestGenerator::independentGeneratorsDiffer_data() {
    QTest::addColumn<int>("option");
    QTest::addColumn<QString>("length");

    QTest::newRow("Option1") << 1 << "64";
    QTest::newRow("Option2") << 2 << "32";
    QTest::newRow("Option3") << 3 << "32";
    QTest::newRow("Option4") << 4 << "32";
}

void TestGenerator::independentGeneratorsDiffer() {
    QFETCH(int, option);
    QFETCH(QString, length);

    QStringList passwords;
    for (int generator = 0; generator < 2; ++generator) {
        quorvex::runtime::SecureRandom rng;
        FakeGeneratorView view;
        view.length_text = length;
        view.selected = OptionFromNumber(option);
        GeneratorVariables vars;
        ScriptedServices services;
        services.fallback_rnd = Guarded([&] { return rng.NextDouble(); }, 10000000);
        CLICK_WITHOUT_RAISE(view, vars, services);
        QCOMPARE(int(view.output_text.size()), length.toInt());
        QVERIFY(AllFromTable(view.output_text, option));
        passwords.append(view.output_text);
        // A second click of the same generator gives another password too.
        CLICK_WITHOUT_RAISE(view, vars, services);
        QVERIFY(view.output_text != passwords.last());
    }
    QVERIFY(passwords[0] != passwords[1]);
}

QTEST_GUILESS_MAIN(TestGenerator)
#include "test_generator.moc"
