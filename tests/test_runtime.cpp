// The runtime core without any widget: number conversions, 16-bit arithmetic,
// runtime errors and how a handler reports them, the secure random source and
// the single-instance lock.
#include "runtime/event_handler.h"
#include "runtime/instance_lock.h"
#include "runtime/runtime.h"
#include "runtime/secure_random.h"
#include "tests/scripted_services.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <array>
#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

using quorvex::runtime::AddInteger;
using quorvex::runtime::CDbl;
using quorvex::runtime::CheckedSingle;
using quorvex::runtime::CInt;
using quorvex::runtime::CStr;
using quorvex::runtime::ErrorDescription;
using quorvex::runtime::ErrorNumber;
using quorvex::runtime::InstanceLock;
using quorvex::runtime::Int;
using quorvex::runtime::Integer;
using quorvex::runtime::RunEventHandler;
using quorvex::runtime::RuntimeError;
using quorvex::runtime::RuntimeErrorPrompt;
using quorvex::runtime::SecureRandom;
using quorvex::runtime::Single;
using quorvex::runtime::Val;
using quorvex::testing::ScriptedServices;

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr int kNoError = 0;

// The error number a call raises, or kNoError when it returns normally.
template <typename Call>
int RaisedBy(Call&& call) {
    try {
        call();
    } catch (const RuntimeError& error) {
        return static_cast<int>(error.number());
    }
    return kNoError;
}

bool SameNumber(double actual, double expected) {
    return actual == expected || (std::isnan(actual) && std::isnan(expected));
}

QByteArray Describe(double actual, double expected) {
    return "got " + QByteArray::number(actual, 'g', 17) + ", expected " +
           QByteArray::number(expected, 'g', 17);
}

// Sets an environment variable for the length of a test and puts back what
// was there before, set or not.
class EnvOverride {
  public:
    explicit EnvOverride(const char* name)
        : name_(name), was_set_(qEnvironmentVariableIsSet(name)), old_value_(qgetenv(name)) {}
    ~EnvOverride() {
        if (was_set_) {
            qputenv(name_, old_value_);
        } else {
            qunsetenv(name_);
        }
    }
    EnvOverride(const EnvOverride&) = delete;
    EnvOverride& operator=(const EnvOverride&) = delete;

    void Set(const QString& value) const { qputenv(name_, value.toLocal8Bit()); }
    void Unset() const { qunsetenv(name_); }

  private:
    const char* name_;
    bool was_set_;
    QByteArray old_value_;
};

// The folders the lock looks at, all under the test's own control.
struct LockEnvironment {
    EnvOverride runtime_dir{"XDG_RUNTIME_DIR"};
    EnvOverride cache_home{"XDG_CACHE_HOME"};
    EnvOverride home{"HOME"};
};

bool MakePrivate(const QTemporaryDir& dir) {
    return dir.isValid() && chmod(QFile::encodeName(dir.path()).constData(), 0700) == 0;
}

struct PathInfo {
    bool exists = false;
    bool is_dir = false;
    bool is_link = false;
    bool is_file = false;
    mode_t mode = 0;
    uid_t owner = 0;
};

PathInfo Inspect(const QString& path) {
    struct stat info {};
    PathInfo result;
    if (lstat(QFile::encodeName(path).constData(), &info) != 0) {
        return result;
    }
    result.exists = true;
    result.is_dir = S_ISDIR(info.st_mode);
    result.is_link = S_ISLNK(info.st_mode);
    result.is_file = S_ISREG(info.st_mode);
    result.mode = info.st_mode & 07777;
    result.owner = info.st_uid;
    return result;
}

QString LockFileIn(const QString& folder) {
    return folder + QLatin1Char('/') + QLatin1String(InstanceLock::kFileName);
}

// Waits up to `timeout_ms` for one byte on a pipe; false on timeout or EOF.
bool ReadByte(int fd, char* byte, int timeout_ms) {
    pollfd waiting{fd, POLLIN, 0};
    for (;;) {
        const int ready = poll(&waiting, 1, timeout_ms);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            return false;
        }
        const ssize_t got = read(fd, byte, 1);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        return got == 1;
    }
}

// Blocks until the other end of a pipe is closed by everyone.
void WaitForClose(int fd) {
    char byte;
    for (;;) {
        const ssize_t got = read(fd, &byte, 1);
        if (got == 0 || (got < 0 && errno != EINTR)) {
            return;
        }
    }
}

// Forked copies that are killed and reaped however the test ends.
class Children {
  public:
    ~Children() {
        for (const pid_t pid : pids_) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
    Children() = default;
    Children(const Children&) = delete;
    Children& operator=(const Children&) = delete;

    void Add(pid_t pid) { pids_.push_back(pid); }

    // Waits for every child and gives their exit codes (-1 for a child that
    // did not exit normally, or that did not end in time).
    std::vector<int> WaitAll(int timeout_ms) {
        std::vector<int> codes;
        for (const pid_t pid : pids_) {
            int status = 0;
            pid_t got = 0;
            for (int waited = 0; waited <= timeout_ms; waited += 10) {
                got = waitpid(pid, &status, WNOHANG);
                if (got != 0) {
                    break;
                }
                usleep(10000);
            }
            if (got == 0) {
                kill(pid, SIGKILL);
                waitpid(pid, nullptr, 0);
            }
            codes.push_back(got == pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1);
        }
        pids_.clear();
        return codes;
    }

    void KillAll() {
        for (const pid_t pid : pids_) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        pids_.clear();
    }

  private:
    std::vector<pid_t> pids_;
};

class Pipe {
  public:
    Pipe() { ok_ = pipe(fds_.data()) == 0; }
    ~Pipe() {
        CloseRead();
        CloseWrite();
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;

    bool ok() const { return ok_; }
    int read_end() const { return fds_[0]; }
    int write_end() const { return fds_[1]; }
    void CloseRead() { CloseEnd(0); }
    void CloseWrite() { CloseEnd(1); }

  private:
    void CloseEnd(std::size_t end) {
        if (ok_ && fds_[end] >= 0) {
            close(fds_[end]);
            fds_[end] = -1;
        }
    }
    std::array<int, 2> fds_{-1, -1};
    bool ok_ = false;
};

// Child exit codes of the simultaneous starts.
constexpr int kGotLock = 0;
constexpr int kAnotherCopy = 1;
constexpr int kNoFolder = 3;

}  // namespace

class TestRuntime : public QObject {
    Q_OBJECT

  private slots:
    void val_data();
    void val();
    void valIgnoresDecimalComma_data();
    void valIgnoresDecimalComma();

    void cint_data();
    void cint();
    void cintOverflow_data();
    void cintOverflow();

    void intFloors_data();
    void intFloors();
    void intRaises_data();
    void intRaises();

    void answerRoundTrip_data();
    void answerRoundTrip();
    void cdblAcceptsBlanks_data();
    void cdblAcceptsBlanks();
    void cdblTypeMismatch_data();
    void cdblTypeMismatch();

    void addInteger_data();
    void addInteger();
    void checkedSingle_data();
    void checkedSingle();

    void errorPrompt_data();
    void errorPrompt();
    void handlerEndsAtRaise_data();
    void handlerEndsAtRaise();
    void handlerWithoutErrorShowsNoBox();
    void failedReportDoesNotEscape();

    void randomRangeAndGrid();
    void randomUsesAll53Bits();
    void randomCrossesBlocksWithoutRepeats();
    void randomObjectsDiffer();
    void randomResetDiscardsBuffer();
    void randomMean();
    void fillFromSystemFillsEverything();

    void lockFirstCopy();
    void lockHeldByAnotherProcess();
    void lockSimultaneousStarts_data();
    void lockSimultaneousStarts();
    void lockUnsafeRuntimeFolder_data();
    void lockUnsafeRuntimeFolder();
    void lockHomeCache_data();
    void lockHomeCache();
    void lockRefusesSharedCache_data();
    void lockRefusesSharedCache();
    void lockFileNotFollowed_data();
    void lockFileNotFollowed();
};

// ---------------------------------------------------------------- Val

void TestRuntime::val_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("expected");

    QTest::newRow("plain") << "12" << 12.0;
    QTest::newRow("leading zeros") << "00012" << 12.0;
    QTest::newRow("leading spaces") << "   12" << 12.0;
    QTest::newRow("leading tabs") << "\t\t7" << 7.0;
    QTest::newRow("spaces and tabs") << " \t 42" << 42.0;
    QTest::newRow("plus sign") << "+5" << 5.0;
    QTest::newRow("minus sign") << "-5" << -5.0;
    QTest::newRow("blank then negative fraction") << " -3.25" << -3.25;
    QTest::newRow("fraction only") << ".5" << 0.5;
    QTest::newRow("trailing period") << "1." << 1.0;
    QTest::newRow("fraction") << "1.4" << 1.4;
    QTest::newRow("half at the warning") << "999.5" << 999.5;
    QTest::newRow("tenth") << "0.1" << 0.1;
    QTest::newRow("largest length") << "32766" << 32766.0;
    QTest::newRow("trailing letters") << "12abc" << 12.0;
    QTest::newRow("thousands comma") << "1,000" << 1.0;
    QTest::newRow("second period") << "1.2.3" << 1.2;
    QTest::newRow("exponent") << "1e3" << 1000.0;
    QTest::newRow("capital negative exponent") << "2E-1" << 0.2;
    QTest::newRow("exponent with plus") << "5e+2" << 500.0;
    QTest::newRow("E without digits") << "1e" << 1.0;
    QTest::newRow("E and sign without digits") << "1e+" << 1.0;
    QTest::newRow("E then letters") << "7ex" << 7.0;
    QTest::newRow("empty") << "" << 0.0;
    QTest::newRow("blanks only") << "  \t" << 0.0;
    QTest::newRow("letters") << "abc" << 0.0;
    QTest::newRow("sign only") << "-" << 0.0;
    QTest::newRow("period only") << "." << 0.0;
    QTest::newRow("sign and period") << "+." << 0.0;
    QTest::newRow("exponent without mantissa") << "e5" << 0.0;
    QTest::newRow("hex prefix") << "&H10" << 0.0;
    QTest::newRow("huge") << "9e999" << kInf;
    QTest::newRow("huge negative") << "-9e999" << -kInf;
}

void TestRuntime::val() {
    QFETCH(QString, text);
    QFETCH(double, expected);
    const double actual = Val(text);
    QVERIFY2(SameNumber(actual, expected), Describe(actual, expected).constData());
}

void TestRuntime::valIgnoresDecimalComma_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("expected");

    QTest::newRow("period fraction") << "1.5" << 1.5;
    QTest::newRow("comma stops") << "1,5" << 1.0;
    QTest::newRow("half at the warning") << "999.5" << 999.5;
    QTest::newRow("fraction only") << ".25" << 0.25;
}

void TestRuntime::valIgnoresDecimalComma() {
    QFETCH(QString, text);
    QFETCH(double, expected);

    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = previous != nullptr ? previous : "C";
    const char* chosen = nullptr;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE"}) {
        chosen = std::setlocale(LC_NUMERIC, name);
        if (chosen != nullptr) {
            break;
        }
    }
    if (chosen == nullptr) {
        QSKIP("No German locale (de_DE.UTF-8) is installed, so no decimal comma to test with");
    }
    const std::string decimal_point = std::localeconv()->decimal_point;
    const double actual = Val(text);
    std::setlocale(LC_NUMERIC, saved.c_str());

    QCOMPARE(QByteArray(decimal_point.c_str()), QByteArray(","));
    QVERIFY2(SameNumber(actual, expected), Describe(actual, expected).constData());
}

// ---------------------------------------------------------------- CInt

void TestRuntime::cint_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("expected");

    QTest::newRow("0.5") << 0.5 << 0;
    QTest::newRow("1.5") << 1.5 << 2;
    QTest::newRow("2.5") << 2.5 << 2;
    QTest::newRow("3.5") << 3.5 << 4;
    QTest::newRow("-0.5") << -0.5 << 0;
    QTest::newRow("-1.5") << -1.5 << -2;
    QTest::newRow("-2.5") << -2.5 << -2;
    QTest::newRow("1.4") << 1.4 << 1;
    QTest::newRow("1.6") << 1.6 << 2;
    QTest::newRow("just below a half") << 0.49999999999999994 << 0;
    QTest::newRow("999.5") << 999.5 << 1000;
    QTest::newRow("1000.5") << 1000.5 << 1000;
    QTest::newRow("32766.5") << 32766.5 << 32766;
    QTest::newRow("32767.4") << 32767.4 << 32767;
    QTest::newRow("32767") << 32767.0 << 32767;
    QTest::newRow("-32768") << -32768.0 << -32768;
    QTest::newRow("-32768.5") << -32768.5 << -32768;
}

void TestRuntime::cint() {
    QFETCH(double, value);
    QFETCH(int, expected);
    Integer actual = 0;
    const int raised = RaisedBy([&] { actual = CInt(value); });
    QCOMPARE(raised, kNoError);
    QCOMPARE(int{actual}, expected);
}

void TestRuntime::cintOverflow_data() {
    QTest::addColumn<double>("value");

    QTest::newRow("32767.5") << 32767.5;
    QTest::newRow("32768") << 32768.0;
    QTest::newRow("-32768.6") << -32768.6;
    QTest::newRow("-32769") << -32769.0;
    QTest::newRow("1e10") << 1e10;
    QTest::newRow("-1e10") << -1e10;
    QTest::newRow("inf") << kInf;
    QTest::newRow("-inf") << -kInf;
    QTest::newRow("NaN") << kNaN;
}

void TestRuntime::cintOverflow() {
    QFETCH(double, value);
    QCOMPARE(RaisedBy([&] { CInt(value); }), static_cast<int>(ErrorNumber::Overflow));
}

// ---------------------------------------------------------------- Int

void TestRuntime::intFloors_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<double>("expected");

    QTest::newRow("zero") << 0.0 << 0.0;
    QTest::newRow("small draw") << 0.005 * 100 << 0.0;
    QTest::newRow("0.99") << 0.99 << 0.0;
    QTest::newRow("99.99") << 99.99 << 99.0;
    QTest::newRow("largest draw") << (1.0 - 0x1.0p-53) * 100.0 << 99.0;
    QTest::newRow("whole") << 42.0 << 42.0;
    QTest::newRow("-0.5") << -0.5 << -1.0;
    QTest::newRow("-1") << -1.0 << -1.0;
    QTest::newRow("-1.0001") << -1.0001 << -2.0;
    QTest::newRow("-99.5") << -99.5 << -100.0;
}

void TestRuntime::intFloors() {
    QFETCH(double, value);
    QFETCH(double, expected);
    double actual = kNaN;
    QCOMPARE(RaisedBy([&] { actual = Int(value); }), kNoError);
    QVERIFY2(SameNumber(actual, expected), Describe(actual, expected).constData());
}

void TestRuntime::intRaises_data() {
    QTest::addColumn<double>("value");

    QTest::newRow("NaN") << kNaN;
    QTest::newRow("inf") << kInf;
    QTest::newRow("-inf") << -kInf;
}

void TestRuntime::intRaises() {
    QFETCH(double, value);
    QCOMPARE(RaisedBy([&] { Int(value); }), static_cast<int>(ErrorNumber::Overflow));
}

// ---------------------------------------------------------------- CStr / CDbl

void TestRuntime::answerRoundTrip_data() {
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("text");

    QTest::newRow("OK") << 1 << "1";
    QTest::newRow("Yes") << 6 << "6";
    QTest::newRow("No") << 7 << "7";
    QTest::newRow("negative") << -1 << "-1";
    QTest::newRow("largest integer") << 32767 << "32767";
}

void TestRuntime::answerRoundTrip() {
    QFETCH(int, answer);
    QFETCH(QString, text);
    QCOMPARE(CStr(answer), text);
    double back = kNaN;
    QCOMPARE(RaisedBy([&] { back = CDbl(CStr(answer)); }), kNoError);
    QCOMPARE(back, static_cast<double>(answer));
}

void TestRuntime::cdblAcceptsBlanks_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("expected");

    QTest::newRow("blanks around") << " 6 " << 6.0;
    QTest::newRow("tab before") << "\t7" << 7.0;
    QTest::newRow("fraction") << "2.5" << 2.5;
    QTest::newRow("negative") << "-3" << -3.0;
}

void TestRuntime::cdblAcceptsBlanks() {
    QFETCH(QString, text);
    QFETCH(double, expected);
    double actual = kNaN;
    QCOMPARE(RaisedBy([&] { actual = CDbl(text); }), kNoError);
    QVERIFY2(SameNumber(actual, expected), Describe(actual, expected).constData());
}

void TestRuntime::cdblTypeMismatch_data() {
    QTest::addColumn<QString>("text");

    QTest::newRow("empty") << "";
    QTest::newRow("blanks") << "   ";
    QTest::newRow("letters") << "abc";
    QTest::newRow("number then letter") << "6x";
    QTest::newRow("letter then number") << "x6";
    QTest::newRow("sign only") << "-";
    QTest::newRow("period only") << ".";
    QTest::newRow("E without digits") << "1e";
    QTest::newRow("E and sign without digits") << "6e+";
    QTest::newRow("comma") << "1,5";
}

void TestRuntime::cdblTypeMismatch() {
    QFETCH(QString, text);
    QCOMPARE(RaisedBy([&] { CDbl(text); }), static_cast<int>(ErrorNumber::TypeMismatch));
}

// ---------------------------------------------------------------- 16-bit sums, singles

void TestRuntime::addInteger_data() {
    QTest::addColumn<int>("a");
    QTest::addColumn<int>("b");
    QTest::addColumn<int>("expected");
    QTest::addColumn<int>("error");

    const int overflow = static_cast<int>(ErrorNumber::Overflow);
    QTest::newRow("32766 + 1") << 32766 << 1 << 32767 << kNoError;
    QTest::newRow("32767 + 1") << 32767 << 1 << 0 << overflow;
    QTest::newRow("-32767 - 1") << -32767 << -1 << -32768 << kNoError;
    QTest::newRow("-32768 - 1") << -32768 << -1 << 0 << overflow;
    QTest::newRow("32767 + 32767") << 32767 << 32767 << 0 << overflow;
    QTest::newRow("-32768 + 32767") << -32768 << 32767 << -1 << kNoError;
    QTest::newRow("1 + 1") << 1 << 1 << 2 << kNoError;
}

void TestRuntime::addInteger() {
    QFETCH(int, a);
    QFETCH(int, b);
    QFETCH(int, expected);
    QFETCH(int, error);
    Integer sum = 0;
    QCOMPARE(RaisedBy([&] { sum = AddInteger(static_cast<Integer>(a), static_cast<Integer>(b)); }),
             error);
    if (error == kNoError) {
        QCOMPARE(int{sum}, expected);
    }
}

void TestRuntime::checkedSingle_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("error");

    const int overflow = static_cast<int>(ErrorNumber::Overflow);
    QTest::newRow("layout value") << 137.25 << kNoError;
    QTest::newRow("negative") << -4.5 << kNoError;
    QTest::newRow("zero") << 0.0 << kNoError;
    QTest::newRow("largest single")
        << static_cast<double>(std::numeric_limits<Single>::max()) << kNoError;
    QTest::newRow("1e38") << 1e38 << kNoError;
    QTest::newRow("1e39") << 1e39 << overflow;
    QTest::newRow("-1e39") << -1e39 << overflow;
    QTest::newRow("inf") << kInf << overflow;
    QTest::newRow("-inf") << -kInf << overflow;
    QTest::newRow("NaN") << kNaN << overflow;
}

void TestRuntime::checkedSingle() {
    QFETCH(double, value);
    QFETCH(int, error);
    Single single = 0;
    QCOMPARE(RaisedBy([&] { single = CheckedSingle(value); }), error);
    if (error == kNoError) {
        QCOMPARE(single, static_cast<Single>(value));
    }
}

// ---------------------------------------------------------------- runtime errors

void TestRuntime::errorPrompt_data() {
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("prompt");

    QTest::newRow("overflow") << 6 << "Run-time error '6':\n\nOverflow";
    QTest::newRow("type mismatch") << 13 << "Run-time error '13':\n\nType mismatch";
    QTest::newRow("device unavailable") << 68 << "Run-time error '68':\n\nDevice unavailable";
}

void TestRuntime::errorPrompt() {
    QFETCH(int, number);
    QFETCH(QString, prompt);
    const auto error_number = static_cast<ErrorNumber>(number);
    const RuntimeError error(error_number, ErrorDescription(error_number));
    QCOMPARE(RuntimeErrorPrompt(error), prompt);
    QCOMPARE(static_cast<int>(error.number()), number);
    try {
        quorvex::runtime::Raise(error_number);
        QFAIL("Raise returned");
    } catch (const RuntimeError& raised) {
        QCOMPARE(RuntimeErrorPrompt(raised), prompt);
    }
}

void TestRuntime::handlerEndsAtRaise_data() {
    QTest::addColumn<int>("failure");
    QTest::addColumn<QString>("prompt");

    QTest::newRow("16-bit sum") << 0 << "Run-time error '6':\n\nOverflow";
    QTest::newRow("conversion") << 1 << "Run-time error '6':\n\nOverflow";
    QTest::newRow("text to number") << 2 << "Run-time error '13':\n\nType mismatch";
    QTest::newRow("floor of NaN") << 3 << "Run-time error '6':\n\nOverflow";
}

void TestRuntime::handlerEndsAtRaise() {
    QFETCH(int, failure);
    QFETCH(QString, prompt);

    ScriptedServices services;
    QStringList done;
    Integer counter = 32760;
    RunEventHandler(services, [&] {
        done << QStringLiteral("first");
        // A loop counter that climbs until the sum overflows keeps the last
        // value it reached.
        for (int step = 0; failure == 0 && step < 100; ++step) {
            counter = AddInteger(counter, 1);
        }
        if (failure == 1) {
            counter = CInt(40000.0);
        } else if (failure == 2) {
            counter = static_cast<Integer>(CDbl(QStringLiteral("6x")));
        } else if (failure == 3) {
            Int(kNaN);
        }
        done << QStringLiteral("after the raise");
    });

    QCOMPARE(done, QStringList{QStringLiteral("first")});
    QCOMPARE(int{counter}, failure == 0 ? 32767 : 32760);
    QCOMPARE(services.boxes.size(), 1);
    QCOMPARE(services.boxes[0].prompt, prompt);
    QCOMPARE(services.boxes[0].style, 16);
    QCOMPARE(services.boxes[0].title, QStringLiteral("Quorvex"));
}

void TestRuntime::handlerWithoutErrorShowsNoBox() {
    ScriptedServices services;
    int steps = 0;
    RunEventHandler(services, [&] {
        ++steps;
        steps += CInt(2.5);
    });
    QCOMPARE(steps, 3);
    QVERIFY(services.boxes.isEmpty());
}

void TestRuntime::failedReportDoesNotEscape() {
    // A message box that itself fails: the handler still returns normally.
    class FailingBox : public ScriptedServices {
      public:
        int MsgBox(const QString& prompt, int style, const QString& title) override {
            ScriptedServices::MsgBox(prompt, style, title);
            quorvex::runtime::Raise(ErrorNumber::DeviceUnavailable);
        }
    };
    FailingBox services;
    bool returned = false;
    try {
        RunEventHandler(services, [] { CInt(1e10); });
        returned = true;
    } catch (...) {
    }
    QVERIFY(returned);
    QCOMPARE(services.boxes.size(), 1);
    QCOMPARE(services.boxes[0].prompt, QStringLiteral("Run-time error '6':\n\nOverflow"));
}

// ---------------------------------------------------------------- secure random

void TestRuntime::randomRangeAndGrid() {
    SecureRandom random;
    for (int i = 0; i < 20000; ++i) {
        const double r = random.NextDouble();
        QVERIFY2(r >= 0.0 && r < 1.0, QByteArray::number(r, 'g', 17).constData());
        // Scaling by a power of two is exact, so a multiple of 2^-53 becomes
        // a whole number.
        const double scaled = r * 0x1.0p53;
        QVERIFY2(scaled == std::floor(scaled), QByteArray::number(r, 'g', 17).constData());
    }
}

void TestRuntime::randomUsesAll53Bits() {
    // Over thousands of draws each of the 53 bits is seen both set and clear;
    // a source with fewer random bits leaves some of them fixed.
    SecureRandom random;
    std::uint64_t ever_set = 0;
    std::uint64_t ever_clear = 0;
    for (int i = 0; i < 5000; ++i) {
        const auto bits = static_cast<std::uint64_t>(random.NextDouble() * 0x1.0p53);
        ever_set |= bits;
        ever_clear |= ~bits;
    }
    const std::uint64_t all = (std::uint64_t{1} << 53) - 1;
    QCOMPARE(ever_set & all, all);
    QCOMPARE(ever_clear & all, all);
    QCOMPARE(ever_set & ~all, std::uint64_t{0});
}

void TestRuntime::randomCrossesBlocksWithoutRepeats() {
    // Five blocks' worth of draws; 53-bit values repeat among 10240 true
    // random draws with a chance of about 6e-9.
    constexpr int kDraws = 5 * static_cast<int>(SecureRandom::kBlockSize / sizeof(std::uint64_t));
    SecureRandom random;
    QSet<quint64> seen;
    seen.reserve(kDraws);
    for (int i = 0; i < kDraws; ++i) {
        seen.insert(static_cast<quint64>(random.NextDouble() * 0x1.0p53));
    }
    QCOMPARE(seen.size(), kDraws);
}

void TestRuntime::randomObjectsDiffer() {
    SecureRandom first;
    SecureRandom second;
    QList<double> a;
    QList<double> b;
    for (int i = 0; i < 8; ++i) {
        a << first.NextDouble();
        b << second.NextDouble();
    }
    QVERIFY(a != b);
    for (const double value : a) {
        QVERIFY(!b.contains(value));
    }
}

void TestRuntime::randomResetDiscardsBuffer() {
    // Draws after a reset come from fresh bytes: they repeat neither the old
    // buffer from its start nor each other.
    SecureRandom random;
    QSet<quint64> seen;
    for (int i = 0; i < 100; ++i) {
        seen.insert(static_cast<quint64>(random.NextDouble() * 0x1.0p53));
    }
    QCOMPARE(seen.size(), 100);
    random.Reset();
    for (int i = 0; i < 3000; ++i) {
        const double r = random.NextDouble();
        QVERIFY(r >= 0.0 && r < 1.0);
        const auto bits = static_cast<quint64>(r * 0x1.0p53);
        QVERIFY2(
            !seen.contains(bits),
            qPrintable(QStringLiteral("draw %1 after the reset repeats an earlier one").arg(i)));
        seen.insert(bits);
    }
}

void TestRuntime::randomMean() {
    constexpr int kDraws = 200000;
    SecureRandom random;
    double sum = 0;
    for (int i = 0; i < kDraws; ++i) {
        sum += random.NextDouble();
    }
    const double mean = sum / kDraws;
    // A uniform draw has variance 1/12; six standard deviations of the mean
    // are exceeded by a sound source about once in 500 million runs.
    const double bound = 6.0 * std::sqrt(1.0 / 12.0 / kDraws);
    QVERIFY2(std::fabs(mean - 0.5) < bound,
             qPrintable(QStringLiteral("mean %1, allowed 0.5 +- %2").arg(mean).arg(bound)));
}

void TestRuntime::fillFromSystemFillsEverything() {
    // A megabyte in one request: its last bytes are filled too.
    std::vector<std::byte> data(std::size_t{1} << 20, std::byte{0});
    SecureRandom::FillFromSystem(data.data(), data.size());
    bool tail_filled = false;
    for (std::size_t i = data.size() - 32; i < data.size(); ++i) {
        tail_filled = tail_filled || data[i] != std::byte{0};
    }
    QVERIFY(tail_filled);

    std::array<std::byte, 32> first{};
    std::array<std::byte, 32> second{};
    SecureRandom::FillFromSystem(first.data(), first.size());
    SecureRandom::FillFromSystem(second.data(), second.size());
    QVERIFY(first != second);
}

// ---------------------------------------------------------------- instance lock

void TestRuntime::lockFirstCopy() {
    LockEnvironment env;
    QTemporaryDir runtime_dir;
    QVERIFY(MakePrivate(runtime_dir));
    env.runtime_dir.Set(runtime_dir.path());

    {
        InstanceLock lock;
        QVERIFY(!lock.AnotherCopyRuns());
        QCOMPARE(lock.folder(), runtime_dir.path());
        const PathInfo file = Inspect(LockFileIn(runtime_dir.path()));
        QVERIFY(file.exists);
        QVERIFY(file.is_file);
        QCOMPARE(file.owner, geteuid());
        QCOMPARE(file.mode & 077, mode_t{0});
        // The answer is decided once.
        QVERIFY(!lock.AnotherCopyRuns());
    }
    // The lock ends with its holder: the next start gets it again.
    InstanceLock next;
    QVERIFY(!next.AnotherCopyRuns());
}

void TestRuntime::lockHeldByAnotherProcess() {
    LockEnvironment env;
    QTemporaryDir runtime_dir;
    QVERIFY(MakePrivate(runtime_dir));
    env.runtime_dir.Set(runtime_dir.path());

    Pipe ready;
    Pipe release;
    QVERIFY(ready.ok() && release.ok());
    Children children;
    const pid_t pid = fork();
    QVERIFY2(pid >= 0, "fork failed");
    if (pid == 0) {
        // The holder: takes the lock, tells the parent, then waits to be killed.
        close(ready.read_end());
        close(release.write_end());
        InstanceLock lock;
        const char answer = lock.AnotherCopyRuns() ? '1' : '0';
        if (write(ready.write_end(), &answer, 1) != 1) {
            _exit(kNoFolder);
        }
        WaitForClose(release.read_end());
        _exit(0);
    }
    children.Add(pid);
    ready.CloseWrite();
    release.CloseRead();

    char answer = 0;
    QVERIFY2(ReadByte(ready.read_end(), &answer, 10000), "the holder never answered");
    QCOMPARE(answer, '0');

    {
        InstanceLock second;
        QVERIFY(second.AnotherCopyRuns());
    }

    children.KillAll();
    InstanceLock after_kill;
    QVERIFY(!after_kill.AnotherCopyRuns());
    QCOMPARE(after_kill.folder(), runtime_dir.path());
}

void TestRuntime::lockSimultaneousStarts_data() {
    QTest::addColumn<int>("copies");

    QTest::newRow("2 copies") << 2;
    for (int round = 1; round <= 4; ++round) {
        QTest::newRow(qPrintable(QStringLiteral("8 copies, round %1").arg(round))) << 8;
    }
}

void TestRuntime::lockSimultaneousStarts() {
    QFETCH(int, copies);
    LockEnvironment env;
    QTemporaryDir runtime_dir;
    QVERIFY(MakePrivate(runtime_dir));
    env.runtime_dir.Set(runtime_dir.path());

    Pipe start;    // closed by the parent: every copy starts at that moment
    Pipe tried;    // each copy writes one byte once it has tried the lock
    Pipe release;  // closed by the parent once all have tried
    QVERIFY(start.ok() && tried.ok() && release.ok());

    Children children;
    for (int i = 0; i < copies; ++i) {
        const pid_t pid = fork();
        QVERIFY2(pid >= 0, "fork failed");
        if (pid == 0) {
            close(start.write_end());
            close(tried.read_end());
            close(release.write_end());
            WaitForClose(start.read_end());
            InstanceLock lock;
            const bool another = lock.AnotherCopyRuns();
            const bool has_folder = !lock.folder().isEmpty();
            const char done = 'x';
            if (write(tried.write_end(), &done, 1) != 1) {
                _exit(kNoFolder);
            }
            // Keep the lock until every copy has tried.
            WaitForClose(release.read_end());
            _exit(!has_folder ? kNoFolder : another ? kAnotherCopy : kGotLock);
        }
        children.Add(pid);
    }
    start.CloseRead();
    tried.CloseWrite();
    release.CloseRead();
    start.CloseWrite();

    for (int i = 0; i < copies; ++i) {
        char byte = 0;
        QVERIFY2(ReadByte(tried.read_end(), &byte, 10000), "a copy never tried the lock");
    }
    release.CloseWrite();

    const std::vector<int> codes = children.WaitAll(10000);
    int got_lock = 0;
    int refused = 0;
    for (const int code : codes) {
        got_lock += code == kGotLock ? 1 : 0;
        refused += code == kAnotherCopy ? 1 : 0;
    }
    QCOMPARE(got_lock, 1);
    QCOMPARE(refused, copies - 1);
}

void TestRuntime::lockUnsafeRuntimeFolder_data() {
    QTest::addColumn<QString>("runtime");

    QTest::newRow("mode 0755") << "0755";
    QTest::newRow("mode 0710") << "0710";
    QTest::newRow("link to a private folder") << "link";
    QTest::newRow("unset") << "unset";
    QTest::newRow("empty") << "empty";
    QTest::newRow("relative") << "relative";
    QTest::newRow("missing") << "missing";
}

void TestRuntime::lockUnsafeRuntimeFolder() {
    QFETCH(QString, runtime);
    LockEnvironment env;
    QTemporaryDir base;
    QVERIFY(MakePrivate(base));
    const QString runtime_path = base.path() + QStringLiteral("/run");
    const QString private_target = base.path() + QStringLiteral("/private");
    const QString cache = base.path() + QStringLiteral("/cache");
    QVERIFY(QDir().mkdir(cache));
    QVERIFY(QDir().mkdir(private_target));
    QCOMPARE(chmod(QFile::encodeName(private_target).constData(), 0700), 0);

    if (runtime == QLatin1String("0755") || runtime == QLatin1String("0710")) {
        QVERIFY(QDir().mkdir(runtime_path));
        const mode_t mode = runtime == QLatin1String("0755") ? 0755 : 0710;
        QCOMPARE(chmod(QFile::encodeName(runtime_path).constData(), mode), 0);
        env.runtime_dir.Set(runtime_path);
    } else if (runtime == QLatin1String("link")) {
        QVERIFY(QFile::link(private_target, runtime_path));
        env.runtime_dir.Set(runtime_path);
    } else if (runtime == QLatin1String("unset")) {
        env.runtime_dir.Unset();
    } else if (runtime == QLatin1String("empty")) {
        env.runtime_dir.Set(QString());
    } else if (runtime == QLatin1String("relative")) {
        env.runtime_dir.Set(QStringLiteral("run"));
    } else {
        env.runtime_dir.Set(runtime_path);
    }
    env.cache_home.Set(cache);
    env.home.Set(base.path());

    const QString own = cache + QStringLiteral("/quorvex");
    QCOMPARE(InstanceLock::PrivateFolder(), own);
    const PathInfo folder = Inspect(own);
    QVERIFY(folder.is_dir);
    QCOMPARE(folder.mode, mode_t{0700});
    QCOMPARE(folder.owner, geteuid());

    InstanceLock lock;
    QVERIFY(!lock.AnotherCopyRuns());
    QCOMPARE(lock.folder(), own);
    QVERIFY(Inspect(LockFileIn(own)).is_file);
    // Nothing was left in the folder that was not safe, nor behind the link.
    QVERIFY(!Inspect(LockFileIn(runtime_path)).exists);
    QVERIFY(!Inspect(LockFileIn(private_target)).exists);
}

void TestRuntime::lockHomeCache_data() {
    QTest::addColumn<QString>("cache");

    QTest::newRow("cache unset") << "unset";
    QTest::newRow("cache empty") << "empty";
    QTest::newRow("cache relative") << "relative";
}

void TestRuntime::lockHomeCache() {
    QFETCH(QString, cache);
    LockEnvironment env;
    QTemporaryDir home;
    QVERIFY(MakePrivate(home));
    env.runtime_dir.Unset();
    env.home.Set(home.path());
    if (cache == QLatin1String("unset")) {
        env.cache_home.Unset();
    } else if (cache == QLatin1String("empty")) {
        env.cache_home.Set(QString());
    } else {
        env.cache_home.Set(QStringLiteral("relative/cache"));
    }

    const QString own = home.path() + QStringLiteral("/.cache/quorvex");
    QCOMPARE(InstanceLock::PrivateFolder(), own);
    const PathInfo folder = Inspect(own);
    QVERIFY(folder.is_dir);
    QCOMPARE(folder.mode, mode_t{0700});
    QCOMPARE(folder.owner, geteuid());
    QVERIFY(Inspect(home.path() + QStringLiteral("/.cache")).is_dir);

    InstanceLock lock;
    QVERIFY(!lock.AnotherCopyRuns());
    QVERIFY(Inspect(LockFileIn(own)).is_file);
}

void TestRuntime::lockRefusesSharedCache_data() {
    QTest::addColumn<QString>("shape");

    QTest::newRow("folder 0777") << "0777";
    QTest::newRow("folder 0750") << "0750";
    QTest::newRow("link to a private folder") << "link";
    QTest::newRow("a file") << "file";
}

void TestRuntime::lockRefusesSharedCache() {
    QFETCH(QString, shape);
    LockEnvironment env;
    QTemporaryDir base;
    QVERIFY(MakePrivate(base));
    const QString runtime_path = base.path() + QStringLiteral("/run");
    const QString cache = base.path() + QStringLiteral("/cache");
    const QString own = cache + QStringLiteral("/quorvex");
    const QString private_target = base.path() + QStringLiteral("/private");
    QVERIFY(QDir().mkdir(runtime_path));
    QCOMPARE(chmod(QFile::encodeName(runtime_path).constData(), 0755), 0);
    QVERIFY(QDir().mkdir(cache));
    QVERIFY(QDir().mkdir(private_target));
    QCOMPARE(chmod(QFile::encodeName(private_target).constData(), 0700), 0);

    mode_t expected_mode = 0;
    if (shape == QLatin1String("0777") || shape == QLatin1String("0750")) {
        QVERIFY(QDir().mkdir(own));
        expected_mode = shape == QLatin1String("0777") ? 0777 : 0750;
        QCOMPARE(chmod(QFile::encodeName(own).constData(), expected_mode), 0);
    } else if (shape == QLatin1String("link")) {
        QVERIFY(QFile::link(private_target, own));
    } else {
        QFile file(own);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
    }
    env.runtime_dir.Set(runtime_path);
    env.cache_home.Set(cache);
    env.home.Set(base.path());

    QCOMPARE(InstanceLock::PrivateFolder(), QString());

    InstanceLock lock;
    QVERIFY(!lock.AnotherCopyRuns());
    QCOMPARE(lock.folder(), QString());
    // The shared folder is left as it was: not tightened, nothing put in it.
    if (expected_mode != 0) {
        QCOMPARE(Inspect(own).mode, expected_mode);
    }
    QVERIFY(!Inspect(LockFileIn(own)).exists);
    QVERIFY(!Inspect(LockFileIn(runtime_path)).exists);
    QVERIFY(!Inspect(LockFileIn(private_target)).exists);
}

void TestRuntime::lockFileNotFollowed_data() {
    QTest::addColumn<QString>("shape");

    QTest::newRow("link to a file") << "file";
    QTest::newRow("link to nothing") << "dangling";
    QTest::newRow("a folder") << "folder";
    QTest::newRow("a named pipe") << "fifo";
}

void TestRuntime::lockFileNotFollowed() {
    QFETCH(QString, shape);
    LockEnvironment env;
    QTemporaryDir runtime_dir;
    QTemporaryDir elsewhere;
    QVERIFY(MakePrivate(runtime_dir));
    QVERIFY(MakePrivate(elsewhere));
    env.runtime_dir.Set(runtime_dir.path());

    const QString lock_path = LockFileIn(runtime_dir.path());
    const QString target = elsewhere.path() + QStringLiteral("/target");
    const QByteArray content = "left alone\n";
    if (shape == QLatin1String("file")) {
        QFile file(target);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(content), content.size());
        file.close();
        QCOMPARE(chmod(QFile::encodeName(target).constData(), 0600), 0);
        QVERIFY(QFile::link(target, lock_path));
    } else if (shape == QLatin1String("dangling")) {
        QVERIFY(QFile::link(target, lock_path));
    } else if (shape == QLatin1String("folder")) {
        QVERIFY(QDir().mkdir(lock_path));
    } else {
        QCOMPARE(mkfifo(QFile::encodeName(lock_path).constData(), 0600), 0);
    }

    InstanceLock lock;
    QVERIFY(!lock.AnotherCopyRuns());

    if (shape == QLatin1String("file")) {
        // Not locked: another open of the target can still take a lock on it.
        const int fd = open(QFile::encodeName(target).constData(), O_RDWR | O_CLOEXEC);
        QVERIFY(fd >= 0);
        const int locked = flock(fd, LOCK_EX | LOCK_NB);
        close(fd);
        QCOMPARE(locked, 0);
        QFile file(target);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), content);
        QCOMPARE(Inspect(target).mode, mode_t{0600});
    } else if (shape == QLatin1String("dangling")) {
        QVERIFY(!Inspect(target).exists);
    }
    if (shape == QLatin1String("file") || shape == QLatin1String("dangling")) {
        QVERIFY(Inspect(lock_path).is_link);
    }
}

QTEST_GUILESS_MAIN(TestRuntime)
#include "test_runtime.moc"
