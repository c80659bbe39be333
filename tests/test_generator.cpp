// Tests of the character tables and of the generate command, run against a
// view without widgets and scripted runtime services.
#include "generator/char_tables.h"
#include "generator/generate_command.h"
#include "linux/secure_random.h"
#include "runtime/runtime.h"
#include "tests/scripted_services.h"

#include <QMap>
#include <QSet>
#include <QTest>

#include <locale.h>
#include <stdlib.h>
#include <cmath>
#include <functional>
#include <limits>
#include <random>
#include <regex>
#include <stdexcept>
#include <utility>

using namespace quorvex::generator;
using quorvex::runtime::Integer;
using quorvex::testing::ScriptedServices;

namespace {

// The characters of the draw values 1..94, in value order.
const QString kChars = QStringLiteral(
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ1234567890!@#$%^&*()-_+;:,.*=[]{}'<>/"
    "?\\|`~");
constexpr int kLowest[] = {0, 53, 1, 1, 1};  // by option number
constexpr int kHighest[] = {0, 62, 62, 80, 94};

// The entries of an option's table, in value order.
QString Table(int option) {
    return kChars.mid(kLowest[option] - 1, kHighest[option] - kLowest[option] + 1);
}

QChar Expected(int option, int value) {  // null outside the table
    return value >= kLowest[option] && value <= kHighest[option] ? kChars.at(value - 1) : QChar();
}

const QString kErrorBox =
    QStringLiteral("16|Error|Password length must be a number from 1 to 32766 inclusive.");
const QString kWarningBox = QStringLiteral(
    "308|Warning!|The password length is too big, the program may stop responding for some time "
    "or even forever! If you still want to continue press ''Yes'', else press ''No'' and enter "
    "password length smaller than 1000.");

// Every box a click showed, as style|title|prompt lines.
QString BoxesShown(const ScriptedServices& services) {
    QStringList boxes;
    for (const auto& box : services.boxes) {
        boxes << QStringLiteral("%1|%2|%3")
                     .arg(box.style)
                     .arg(QString::fromStdU16String(box.title),
                          QString::fromStdU16String(box.prompt));
    }
    return boxes.join(u'\n');
}

const auto Draw = &ScriptedServices::DrawFor;

// Fails a draw loop that never accepts a draw instead of hanging.
std::function<double()> Guarded(std::function<double()> source, int limit = 10000000) {
    return [source = std::move(source), limit, draws = 0]() mutable {
        if (++draws > limit) {
            throw std::runtime_error("runaway draw loop");
        }
        return source();
    };
}

// The window as the command sees it, with scripted services.
struct Click : GeneratorView {
    QString length;
    int option;
    QString output;
    QStringList written;  // every text written to the output box, in order
    GeneratorVariables vars;
    ScriptedServices services;

    Click(int option_number, const QString& length_text)
        : length(length_text), option(option_number) {}
    quorvex::runtime::String LengthText() const override { return length.toStdU16String(); }
    bool OptionSelected(OptionButton button) const override { return int(button) == option; }
    void SetOutputText(const quorvex::runtime::String& text) override {
        output = QString::fromStdU16String(text);
        written << output;
    }
    // Runs the command; gives what it raised, empty when it ended normally.
    QString Run() {
        try {
            Command1_Click(*this, vars, services);
        } catch (const quorvex::runtime::RuntimeError& error) {
            return QStringLiteral("runtime error %1").arg(int(error.number()));
        } catch (const std::exception& error) {
            return QStringLiteral("raised: ") + QString::fromUtf8(error.what());
        }
        return QString();
    }
};

// The number a length text starts with (blanks, sign, digits, one period, an
// exponent only with digits), 0 without one; read in the "C" locale.
double ReferenceLeadingNumber(const std::string& text) {
    static const std::regex number(
        R"(^[ \t\r\n]*([+-]?(?:[0-9]+(?:\.[0-9]*)?|\.[0-9]+)(?:[eE][+-]?[0-9]+)?))");
    static const locale_t c_locale = newlocale(LC_ALL_MASK, "C", locale_t{});
    std::smatch match;
    return std::regex_search(text, match, number)
               ? strtod_l(match[1].str().c_str(), nullptr, c_locale)
               : 0.0;
}

// Chi-square bound at a significance of about 1e-6 (Wilson-Hilferty).
double ChiSquareCritical(int degrees_of_freedom) {
    const double a = 2.0 / (9.0 * degrees_of_freedom);
    return degrees_of_freedom * std::pow(1.0 - a + 4.753 * std::sqrt(a), 3);
}

}  // namespace

class TestGenerator : public QObject {
    Q_OBJECT

  private slots:
    void tables_data() {
        QTest::addColumn<int>("option");
        // The characters of -1 0 1 52 53 62 63 70 80 81 94 95, blank for none.
        QTest::addColumn<QString>("boundaries");
        QTest::addColumn<int>("distinct");
        QTest::addColumn<int>("stars");
        QTest::newRow("Option1") << 1 << "    10      " << 10 << 0;
        QTest::newRow("Option2") << 2 << "  aZ10      " << 62 << 0;
        QTest::newRow("Option3") << 3 << "  aZ10!**   " << 79 << 2;
        QTest::newRow("Option4") << 4 << "  aZ10!**=~ " << 93 << 2;
    }

    void tables() {
        QFETCH(int, option);
        QFETCH(QString, boundaries);
        QFETCH(int, distinct);
        QFETCH(int, stars);
        QString got;
        for (const int value : {-1, 0, 1, 52, 53, 62, 63, 70, 80, 81, 94, 95}) {
            got += QChar(CharacterFor(OptionButton(option), Integer(value)).value_or(u' '));
        }
        QCOMPARE(got, boundaries);
        QSet<QChar> seen;
        int star_entries = 0;
        for (int value = std::numeric_limits<Integer>::min();
             value <= std::numeric_limits<Integer>::max(); ++value) {
            const QChar ch = QChar(CharacterFor(OptionButton(option), Integer(value)).value_or(0));
            if (ch != Expected(option, value)) {
                QFAIL(qPrintable(QStringLiteral("value %1 gives '%2'").arg(value).arg(ch)));
            }
            if (!ch.isNull()) {
                seen.insert(ch);
                star_entries += ch == u'*';
            }
        }
        QCOMPARE(int(seen.size()), distinct);
        QCOMPARE(star_entries, stars);
    }

    void click_data() {
        QTest::addColumn<int>("option");
        QTest::addColumn<QString>("length");
        QTest::addColumn<int>("size");
        // "-" for no warning; then no password means the error box.
        QTest::addColumn<QString>("promptAnswer");
        QTest::addColumn<QList<int>>("draws");  // empty: random draws
        QTest::addColumn<QString>("text");      // the exact password of scripted draws
        // A row is named by its length text, with a note after a '/'.
        const auto row = [](const char* length, int option, int size,
                            const char* prompt_answer = "-", const QList<int>& draws = {},
                            const char* text = "") {
            QTest::newRow(*length ? length : "empty")
                << option << QString::fromLatin1(length).section(u'/', 0, 0) << size
                << QString::fromLatin1(prompt_answer) << draws << QString::fromLatin1(text);
        };
        row("3", 2, 3, "-", {0, 27, 99, 62, 5}, "A0e");
        row("3/Option1", 1, 3, "-", {52, 53, 63, 62, 0, 1, 61}, "109");
        row("4/Option3", 3, 4, "-", {81, 70, 94, 80, 63, 95, 79}, "**!.");
        row("4/Option4", 4, 4, "-", {95, 94, 81, 99, 0, 1, 86}, "~=a'");
        for (const char* length : {"", "abc", "0", "-5", "0.9", "32767"}) {
            row(length, 2, 0);
        }
        row("1", 1, 1);
        row("1.4", 3, 1);
        row("1.5", 4, 2);
        row("2.5", 2, 2);
        row("12abc", 1, 12);
        row("999", 3, 999);
        row("999.5", 4, 1000);
        row("1000/No", 2, 0, "7");
        row("1000/Yes", 3, 1000, "6");
        row("32766/Yes", 4, 32766, "6");
    }

    // Each click follows an earlier one that left "11111111" in the output box.
    void click() {
        QFETCH(int, option);
        QFETCH(QString, length);
        QFETCH(int, size);
        QFETCH(QString, promptAnswer);
        QFETCH(QList<int>, draws);
        QFETCH(QString, text);

        Click c(option, QStringLiteral("8"));
        c.vars.PromptAnswer = quorvex::runtime::FromAscii("-");
        c.services.draws.assign(8, Draw(53));
        QCOMPARE(c.Run(), QString());
        QCOMPARE(c.output, QStringLiteral("11111111"));

        c.length = length;
        c.written.clear();
        c.services.rnd_calls = 0;
        if (promptAnswer != u'-') {
            c.services.answers.push_back(promptAnswer.toInt());
        }
        for (const int draw : draws) {
            c.services.draws.push_back(Draw(draw));
        }
        if (draws.isEmpty()) {
            c.services.fallback_rnd = Guarded([rng = std::mt19937(7u)]() mutable {
                return std::uniform_real_distribution<double>(0.0, 1.0)(rng);
            });
        }
        QCOMPARE(c.Run(), QString());

        QCOMPARE(c.written.value(0, QStringLiteral("nothing")), QString());
        QCOMPARE(BoxesShown(c.services), promptAnswer != u'-' ? kWarningBox
                                         : size == 0          ? kErrorBox
                                                              : QString());
        QCOMPARE(int(c.output.size()), size);
        if (!text.isEmpty()) {
            QCOMPARE(c.output, text);
        }
        for (const QChar ch : c.output) {
            QVERIFY2(Table(option).contains(ch), qPrintable(QString(ch) + " is not in the table"));
        }
        QCOMPARE(int(c.vars.CharIndex), size > 0 ? size + 1 : 9);
        // DrawValue keeps the draw of the last character.
        QCOMPARE(Expected(option, c.vars.DrawValue), size > 0 ? c.output.back() : QChar(u'1'));
        QCOMPARE(QString::fromStdU16String(c.vars.PromptAnswer), promptAnswer);
        QCOMPARE(c.services.randomize_calls, 0);  // the sequence is seeded at start-up only
        const int rnd = c.services.rnd_calls;
        QVERIFY2(draws.isEmpty() ? (size > 0 ? rnd >= size : rnd == 0) : rnd == draws.size(),
                 qPrintable(QStringLiteral("%1 draws").arg(rnd)));
    }

    void runtimeError_data() {
        QTest::addColumn<int>("option");
        QTest::addColumn<QString>("length");
        QTest::addColumn<QList<double>>("draws");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("charIndex");
        QTest::addColumn<int>("drawValue");
        QTest::newRow("after two characters")
            << 2 << "5" << QList<double>{Draw(27), Draw(5), 1e9} << "Ae" << 3 << 5;
        QTest::newRow("at the first draw") << 2 << "5" << QList<double>{1e9} << "" << 1 << 42;
        QTest::newRow("after a rejected draw")
            << 1 << "4" << QList<double>{Draw(53), Draw(0), Draw(62), Draw(99), 1e9} << "10" << 3
            << 99;
        QTest::newRow("below the range")
            << 3 << "6" << QList<double>{Draw(70), Draw(80), Draw(63), -1e9} << "**!" << 4 << 63;
    }

    void runtimeError() {
        QFETCH(int, option);
        QFETCH(QString, length);
        QFETCH(QList<double>, draws);
        QFETCH(QString, text);
        QFETCH(int, charIndex);
        QFETCH(int, drawValue);

        Click c(option, length);
        c.vars.DrawValue = 42;
        c.services.draws.assign(draws.begin(), draws.end());
        QCOMPARE(c.Run(), QStringLiteral("runtime error 6"));  // Overflow
        QCOMPARE(c.written.value(0, QStringLiteral("nothing")), QString());
        QCOMPARE(c.output, text);
        QCOMPARE(c.services.rnd_calls, int(draws.size()));
        QCOMPARE(int(c.vars.CharIndex), charIndex);
        QCOMPARE(int(c.vars.DrawValue), drawValue);
        QCOMPARE(BoxesShown(c.services), QString());
    }

    void fuzzLengths_data() {
        QTest::addColumn<QStringList>("inputs");
        const QString alphabet = QStringLiteral("0123456789.-+ eE&Hh,x");
        QStringList short_texts{QString()};
        for (qsizetype i = 0; i < short_texts.size(); ++i) {
            for (qsizetype j = 0; short_texts[i].size() < 3 && j < alphabet.size(); ++j) {
                short_texts << short_texts[i] + alphabet[j];
            }
        }
        QTest::newRow("every text up to three characters") << short_texts;
        std::mt19937 rng(0x5eed1234u);
        QStringList long_texts;
        for (int i = 0; i < 20000; ++i) {
            QString text;
            for (int j = 0; j < 5; ++j) {
                text += alphabet.at(qsizetype(rng() % alphabet.size()));
            }
            long_texts << text;
        }
        QTest::newRow("random five-character texts") << long_texts;
    }

    void fuzzLengths() {
        QFETCH(QStringList, inputs);
        QStringList failures;
        QSet<QString> boxes_expected;
        for (qsizetype i = 0; i < inputs.size(); ++i) {
            const double v = ReferenceLeadingNumber(inputs[i].toStdString());
            const bool error = !(v >= 1 && v <= 32766);
            const int size = error ? 0 : int(std::nearbyint(v));
            const QString box = error ? kErrorBox : v >= 1000 ? kWarningBox : QString();
            boxes_expected.insert(box);
            // Boxes, first write, output, CharIndex, PromptAnswer, Rnd calls.
            const QString want =
                QStringLiteral("%1;;%2;%3;%4;%5")
                    .arg(box, QString(size, u'1'), QString::number(size ? size + 1 : 0),
                         box == kWarningBox ? QStringLiteral("6") : QString(),
                         QString::number(size));

            Click c(int(1 + i % 4), inputs[i]);
            c.services.answers.push_back(6);
            // Draw 53 is "1" in every table.
            c.services.fallback_rnd = Guarded([] { return Draw(53); }, 40000);
            const QString raised = c.Run();
            const QString got = QStringLiteral("%1;%2;%3;%4;%5;%6%7")
                                    .arg(BoxesShown(c.services), c.written.value(0, "nothing"),
                                         c.output, QString::number(c.vars.CharIndex),
                                         QString::fromStdU16String(c.vars.PromptAnswer),
                                         QString::number(c.services.rnd_calls), raised);
            if (got != want) {
                failures << QStringLiteral("\"%1\": got %2\n  expected %3")
                                .arg(inputs[i], got.left(300), want.left(300));
            }
        }
        QVERIFY2(failures.isEmpty(), qPrintable(QString::number(failures.size()) + " failed:\n" +
                                                failures.mid(0, 10).join(u'\n')));
        QCOMPARE(boxes_expected.size(), 3);  // every outcome was reached
    }

    void secureStatistics_data() {
        QTest::addColumn<int>("option");
        for (int option = 1; option <= 4; ++option) {
            QTest::addRow("Option%d", option) << option;
        }
    }

    // Seven clicks of 32766 characters from the real source, and one click from a
    // second source that must give another password.
    void secureStatistics() {
        QFETCH(int, option);
        const auto password = [option](quorvex::desktop::SecureRandom& source) {
            Click c(option, QStringLiteral("32766"));  // the warning is answered Yes
            c.services.fallback_rnd = Guarded([&source] { return source.NextDouble(); });
            const QString raised = c.Run();
            return raised.isEmpty() ? c.output : raised;
        };
        quorvex::desktop::SecureRandom rng;
        QMap<QChar, double> seen;
        QString first;
        double total = 0;
        for (int click = 0; click < 7; ++click) {
            const QString text = password(rng);
            QCOMPARE(int(text.size()), 32766);
            first = click == 0 ? text : first;
            for (const QChar ch : text) {
                ++seen[ch];
            }
            total += text.size();
        }
        QMap<QChar, int> entries;
        for (const QChar ch : Table(option)) {
            ++entries[ch];
        }
        QCOMPARE(seen.keys(), entries.keys());
        double chi_square = 0;
        for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
            const double expected = total * it.value() / Table(option).size();
            chi_square += std::pow(seen[it.key()] - expected, 2) / expected;
        }
        const double critical = ChiSquareCritical(int(entries.size()) - 1);
        QVERIFY2(chi_square < critical,
                 qPrintable(QStringLiteral("chi-square %1 >= %2").arg(chi_square).arg(critical)));

        quorvex::desktop::SecureRandom other;
        QVERIFY(password(other) != first);
    }
};

QTEST_GUILESS_MAIN(TestGenerator)
#include "test_generator.moc"
