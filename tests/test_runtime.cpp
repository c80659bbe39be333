// The runtime core without any widget: conversions, 16-bit arithmetic, runtime
// errors in a handler, the secure random source and the single-instance guard.
#include "linux/instance_guard.h"
#include "linux/secure_random.h"
#include "runtime/event_handler.h"
#include "runtime/runtime.h"
#include "tests/scripted_services.h"

#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

using namespace quorvex::runtime;
using quorvex::desktop::InstanceGuard;
using quorvex::desktop::OperatingSystem;
using quorvex::desktop::RandomSystem;
using quorvex::desktop::SecureRandom;
using quorvex::testing::RaisedBy;
using quorvex::testing::ScriptedServices;

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr int kOverflow = static_cast<int>(ErrorNumber::Overflow);
constexpr int kMismatch = static_cast<int>(ErrorNumber::TypeMismatch);

// Switches numbers to a German locale, whose decimal separator is a comma.
// Where the machine has none ready, one is compiled into a private folder.
bool UseGermanNumbers() {
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr) {
        return true;
    }
    static QTemporaryDir compiled;
    static const bool built =
        compiled.isValid() &&
        QProcess::execute(
            QStringLiteral("localedef"),
            {QStringLiteral("-i"), QStringLiteral("de_DE"), QStringLiteral("-f"),
             QStringLiteral("UTF-8"), compiled.filePath(QStringLiteral("de_DE.UTF-8"))}) <= 1;
    if (!built) {
        return false;
    }
    qputenv("LOCPATH", compiled.path().toLocal8Bit());
    return std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
}

// A guard name of this test process alone, so that no running program and no
// other test meets it.
QByteArray GuardName(const char* what) {
    return QByteArray("quorvex-test-") + what + '-' + QByteArray::number(getpid());
}

// Copies of the program in forked children that decide the guard and hold it
// until they are killed with SIGKILL, as a crash ends them.
class Copies {
  public:
    explicit Copies(QByteArray name) : name_(std::move(name)) {}
    ~Copies() { KillAll(); }

    // Starts `n` copies at one moment; their sorted answers: '0' holds the
    // guard, '1' another copy runs, 'x' unguarded.
    QByteArray Start(int n) {
        int start[2];
        int answers[2];
        if (pipe(start) != 0 || pipe(answers) != 0) {
            return "no pipe";
        }
        for (int i = 0; i < n; ++i) {
            const pid_t pid = fork();
            if (pid == 0) {
                prctl(PR_SET_PDEATHSIG, SIGKILL);
                close(start[1]);
                char go = 0;
                while (read(start[0], &go, 1) < 0 && errno == EINTR) {
                }
                InstanceGuard guard(name_);
                const bool another = guard.AnotherCopyRuns();
                const char answer = guard.state() == InstanceGuard::State::Unguarded ? 'x'
                                    : another                                        ? '1'
                                                                                     : '0';
                if (write(answers[1], &answer, 1) == 1) {
                    pause();
                }
                _exit(0);
            }
            if (pid > 0) {
                pids_.push_back(pid);
            }
        }
        close(start[0]);
        close(answers[1]);
        close(start[1]);
        QByteArray got;
        char byte = 0;
        pollfd waiting{answers[0], POLLIN, 0};
        while (got.size() < n && poll(&waiting, 1, 10000) > 0 && read(answers[0], &byte, 1) == 1) {
            got += byte;
        }
        close(answers[0]);
        std::sort(got.begin(), got.end());
        return got;
    }

    void KillAll() {
        for (const pid_t pid : pids_) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        pids_.clear();
    }

  private:
    QByteArray name_;
    std::vector<pid_t> pids_;
};

// Another user in a forked child (root only): it listens on the names of the
// sequence given, or only binds them, until it is killed.
pid_t StrangerHolding(const QByteArray& program, std::vector<int> indexes, bool listening) {
    int ready[2];
    if (pipe(ready) != 0) {
        return -1;
    }
    const unsigned owner = geteuid();
    const pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        char answer = 'n';
        if (setresgid(65534, 65534, 65534) == 0 && setresuid(65534, 65534, 65534) == 0) {
            // Another user's process: the change of user has cleared the
            // signal, so it is asked for again.
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            answer = 'y';
            for (const int index : indexes) {
                // The names of the test user's sequence, not of this user's.
                const QByteArray name = InstanceGuard::NameAt(program, owner, index);
                sockaddr_un address;
                const socklen_t length = InstanceGuard::AbstractAddress(name, address);
                const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
                if (fd < 0 || bind(fd, reinterpret_cast<const sockaddr*>(&address), length) != 0 ||
                    (listening && listen(fd, 4) != 0)) {
                    answer = 'n';
                }
            }
        }
        if (write(ready[1], &answer, 1) == 1) {
            pause();
        }
        _exit(0);
    }
    close(ready[1]);
    char answer = 'n';
    const bool ok = pid > 0 && read(ready[0], &answer, 1) == 1 && answer == 'y';
    close(ready[0]);
    if (!ok && pid > 0) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        return -1;
    }
    return pid;
}

// Plays the kernel for the random source. A behaviour gives up to that many
// bytes a call when positive, none when 0, and fails with the error
// -behaviour when negative, for ever. getrandom gives bytes 0xA5, the
// device 0x5A; with a budget, getrandom fails with EIO once it has given
// that many bytes in all.
struct FakeKernel final : RandomSystem {
    int getrandom = 1 << 30, device = 1 << 30, open_error = 0, getrandom_budget = -1;
    mode_t device_type = S_IFCHR;
    int getrandom_calls = 0, calls = 0, opens = 0, closes = 0;
    std::byte* last_fill = nullptr;

    ssize_t GetRandom(void* data, std::size_t size) override {
        ++getrandom_calls;
        if (getrandom_budget >= 0) {
            const ssize_t given = Answer(getrandom_budget > 0 ? getrandom : -EIO, data,
                                         std::min<std::size_t>(size, getrandom_budget), 0xA5);
            getrandom_budget -= given > 0 ? static_cast<int>(given) : 0;
            return given;
        }
        return Answer(getrandom, data, size, 0xA5);
    }
    int OpenDevice() override {
        ++opens;
        errno = open_error;
        return open_error != 0 ? -1 : 99;
    }
    int Fstat(int, struct stat* status) override {
        *status = {};
        status->st_mode = device_type;
        return 0;
    }
    ssize_t Read(int, void* data, std::size_t size) override {
        return Answer(device, data, size, 0x5A);
    }
    int Close(int) override { return ++closes, 0; }
    ssize_t Answer(int behaviour, void* data, std::size_t size, int fill) {
        // Past 10000 calls a loop without end is let out; the test fails on the count.
        errno = ++calls > 10000 ? EIO : -behaviour;
        if (calls > 10000 || behaviour < 0) {
            return -1;
        }
        const std::size_t given = std::min<std::size_t>(behaviour, size);
        std::memset(data, fill, given);
        last_fill = static_cast<std::byte*>(data);
        return static_cast<ssize_t>(given);
    }
};

// The draw that eight bytes of one value make.
double DrawOf(int byte) {
    std::uint64_t bits;
    std::memset(&bits, byte, sizeof bits);
    return static_cast<double>(bits >> 11) * 0x1.0p-53;
}

// Services whose box fails while it reports an error.
class FailingBox : public ScriptedServices {
  public:
    int MsgBox(const String& prompt, int style, const String& title) override {
        ScriptedServices::MsgBox(prompt, style, title);
        Raise(ErrorNumber::DeviceUnavailable);
    }
};

}  // namespace

class TestRuntime : public QObject {
    Q_OBJECT

  private slots:
    void fromText_data() {
        QTest::addColumn<bool>("cdbl");  // CDbl, else Val
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("expected");
        QTest::addColumn<int>("error");
        QTest::addColumn<bool>("german");  // with a decimal comma in the C library's locale

        QTest::newRow("Val blanks") << false << " \t 42" << 42.0 << 0 << false;
        QTest::newRow("Val blank, sign, fraction") << false << " -3.25" << -3.25 << 0 << false;
        QTest::newRow("Val fraction only") << false << "+.5" << 0.5 << 0 << false;
        QTest::newRow("Val trailing text") << false << "12abc" << 12.0 << 0 << false;
        QTest::newRow("Val exponent") << false << "2E-1" << 0.2 << 0 << false;
        QTest::newRow("Val E without digits") << false << "1e" << 1.0 << 0 << false;
        QTest::newRow("Val E, sign, no digits") << false << "1e+" << 1.0 << 0 << false;
        QTest::newRow("Val empty") << false << "" << 0.0 << 0 << false;
        QTest::newRow("Val letters") << false << "abc" << 0.0 << 0 << false;
        QTest::newRow("Val huge") << false << "9e999" << kInf << 0 << false;
        QTest::newRow("Val huge negative") << false << "-9e999" << -kInf << 0 << false;
        QTest::newRow("Val de_DE period") << false << "1.5" << 1.5 << 0 << true;
        QTest::newRow("Val de_DE comma") << false << "1,5" << 1.0 << 0 << true;
        QTest::newRow("CDbl blanks") << true << " 6 " << 6.0 << 0 << false;
        QTest::newRow("CDbl empty") << true << "" << 0.0 << kMismatch << false;
        QTest::newRow("CDbl trailing text") << true << "6x" << 0.0 << kMismatch << false;
    }

    void fromText() {
        QFETCH(bool, cdbl);
        QFETCH(QString, text);
        QFETCH(double, expected);
        QFETCH(int, error);
        QFETCH(bool, german);
        const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
        if (german && !UseGermanNumbers()) {
            QSKIP("no German locale can be had on this machine");
        }
        const bool comma = *std::localeconv()->decimal_point == ',';
        double actual = kNaN;
        const int raised = RaisedBy(
            [&] { actual = cdbl ? CDbl(text.toStdU16String()) : Val(text.toStdU16String()); });
        std::setlocale(LC_NUMERIC, saved.c_str());

        QCOMPARE(comma, german);
        QCOMPARE(raised, error);
        if (error == 0) {
            QCOMPARE(actual, expected);
        }
    }

    void fromNumber_data() {
        QTest::addColumn<QString>("function");
        QTest::addColumn<double>("value");
        QTest::addColumn<double>("expected");
        QTest::addColumn<int>("error");

        const double max_single = std::numeric_limits<Single>::max();
        QTest::newRow("CInt 1.5") << "CInt" << 1.5 << 2.0 << 0;
        QTest::newRow("CInt 2.5") << "CInt" << 2.5 << 2.0 << 0;
        QTest::newRow("CInt -1.5") << "CInt" << -1.5 << -2.0 << 0;
        QTest::newRow("CInt -2.5") << "CInt" << -2.5 << -2.0 << 0;
        QTest::newRow("CInt 999.5") << "CInt" << 999.5 << 1000.0 << 0;
        QTest::newRow("CInt 32767.4") << "CInt" << 32767.4 << 32767.0 << 0;
        QTest::newRow("CInt -32768.5") << "CInt" << -32768.5 << -32768.0 << 0;
        QTest::newRow("CInt 32767.5") << "CInt" << 32767.5 << 0.0 << kOverflow;
        QTest::newRow("CInt -32768.6") << "CInt" << -32768.6 << 0.0 << kOverflow;
        QTest::newRow("CInt inf") << "CInt" << kInf << 0.0 << kOverflow;
        QTest::newRow("CInt NaN") << "CInt" << kNaN << 0.0 << kOverflow;
        QTest::newRow("Int largest draw") << "Int" << (1.0 - 0x1.0p-53) * 100.0 << 99.0 << 0;
        QTest::newRow("Int -0.5") << "Int" << -0.5 << -1.0 << 0;
        QTest::newRow("Int -1") << "Int" << -1.0 << -1.0 << 0;
        QTest::newRow("Int NaN") << "Int" << kNaN << 0.0 << kOverflow;
        QTest::newRow("Int -inf") << "Int" << -kInf << 0.0 << kOverflow;
        QTest::newRow("Single largest") << "Single" << max_single << max_single << 0;
        QTest::newRow("Single 1e39") << "Single" << 1e39 << 0.0 << kOverflow;
        QTest::newRow("Single NaN") << "Single" << kNaN << 0.0 << kOverflow;
        // AddInteger(value, 1) and AddInteger(value, -1)
        QTest::newRow("32766 + 1") << "+1" << 32766.0 << 32767.0 << 0;
        QTest::newRow("32767 + 1") << "+1" << 32767.0 << 0.0 << kOverflow;
        QTest::newRow("-32767 - 1") << "-1" << -32767.0 << -32768.0 << 0;
        QTest::newRow("-32768 - 1") << "-1" << -32768.0 << 0.0 << kOverflow;
    }

    void fromNumber() {
        QFETCH(QString, function);
        QFETCH(double, value);
        QFETCH(double, expected);
        QFETCH(int, error);
        const auto integer = static_cast<Integer>(value);
        double actual = kNaN;
        QCOMPARE(RaisedBy([&] {
                     actual = function == u"CInt"  ? CInt(value)
                              : function == u"Int" ? Int(value)
                              : function == u"+1"  ? AddInteger(integer, 1)
                              : function == u"-1"  ? AddInteger(integer, -1)
                                                   : CheckedSingle(value);
                 }),
                 error);
        if (error == 0) {
            QCOMPARE(actual, expected);
        }
    }

    void handler_data() {
        QTest::addColumn<int>("failure");
        QTest::addColumn<bool>("boxFails");
        QTest::addColumn<QString>("prompt");  // empty: no error

        QTest::newRow("no error") << 0 << false << "";
        QTest::newRow("16-bit sum") << 1 << false << "Run-time error '6':\n\nOverflow";
        QTest::newRow("text to number") << 2 << false << "Run-time error '13':\n\nType mismatch";
        QTest::newRow("device") << 3 << false << "Run-time error '68':\n\nDevice unavailable";
        QTest::newRow("allocation") << 4 << false << "Run-time error '7':\n\nOut of memory";
        QTest::newRow("the box fails too") << 1 << true << "Run-time error '6':\n\nOverflow";
    }

    void handler() {
        QFETCH(int, failure);
        QFETCH(bool, boxFails);
        QFETCH(QString, prompt);
        ScriptedServices scripted;
        FailingBox failing;
        ScriptedServices& services = boxFails ? failing : scripted;
        int steps_done = 0;
        Integer counter = 32760;
        try {
            RunEventHandler(services, [&] {
                steps_done = 1;
                // The counter keeps the last value it reached before the overflow.
                for (int step = 0; failure == 1 && step < 100; ++step) {
                    counter = AddInteger(counter, 1);
                }
                if (failure == 2) {
                    counter = static_cast<Integer>(CDbl(u"6x"));
                } else if (failure == 3) {
                    Raise(ErrorNumber::DeviceUnavailable);
                } else if (failure == 4) {
                    throw std::bad_alloc();
                }
                steps_done = 2;
            });
        } catch (...) {
            QFAIL("the handler did not return normally");
        }

        QCOMPARE(int{counter}, failure == 1 ? 32767 : 32760);
        QCOMPARE(steps_done, prompt.isEmpty() ? 2 : 1);
        QCOMPARE(services.boxes.size(), prompt.isEmpty() ? 0U : 1U);
        if (!prompt.isEmpty()) {
            QCOMPARE(QString::fromStdU16String(services.boxes[0].prompt), prompt);
            QCOMPARE(services.boxes[0].style, 16);
            QCOMPARE(services.boxes[0].title, u"Quorvex");
        }
    }

    void secureRandom() {
        // Five blocks of draws have no repeat (chance about 6e-9 for 53-bit
        // values), and each of the 53 bits is seen set.
        constexpr int kUnique = 5 * static_cast<int>(SecureRandom::kBlockSize / 8);
        constexpr int kDraws = 200000;
        SecureRandom random;
        SecureRandom other;
        QSet<quint64> seen;
        std::uint64_t ever_set = 0;
        double sum = 0;
        for (int i = 0; i < kDraws; ++i) {
            const double r = random.NextDouble();
            const double scaled = r * 0x1.0p53;  // exact: whole for a multiple of 2^-53
            QVERIFY2(r >= 0.0 && r < 1.0 && scaled == std::floor(scaled),
                     QByteArray::number(r, 'g', 17).constData());
            const auto bits = static_cast<std::uint64_t>(scaled);
            ever_set |= bits;
            sum += r;
            if (i < kUnique) {
                seen.insert(bits);
            }
            if (i < 8) {  // another source does not repeat this one
                QVERIFY(!seen.contains(static_cast<quint64>(other.NextDouble() * 0x1.0p53)));
            }
            if (i == 100) {
                random.Reset();  // fresh bytes, not the old buffer again
            }
        }
        QCOMPARE(seen.size(), kUnique);
        QCOMPARE(ever_set, (std::uint64_t{1} << 53) - 1);
        // Within six standard deviations of the mean of uniform draws (variance 1/12).
        const double mean = sum / kDraws;
        QVERIFY2(std::fabs(mean - 0.5) < 6.0 * std::sqrt(1.0 / 12.0 / kDraws),
                 qPrintable(QString::number(mean)));
    }

    void randomSources_data() {
        QTest::addColumn<int>("getrandom");
        QTest::addColumn<int>("device");
        QTest::addColumn<int>("open_error");
        QTest::addColumn<int>("device_type");
        QTest::addColumn<int>("byte");  // of the source that serves, 0 for none
        QTest::addColumn<int>("getrandom_budget");
        const int all = 1 << 30;
        const int chr = S_IFCHR;
        QTest::newRow("getrandom") << all << all << 0 << chr << 0xA5 << -1;
        QTest::newRow("getrandom, short reads") << 100 << all << 0 << chr << 0xA5 << -1;
        QTest::newRow("no getrandom: device") << -ENOSYS << all << 0 << chr << 0x5A << -1;
        QTest::newRow("forbidden: device, short") << -EPERM << 100 << 0 << chr << 0x5A << -1;
        QTest::newRow("interrupted: device") << -EINTR << all << 0 << chr << 0x5A << -1;
        QTest::newRow("both busy") << -EAGAIN << -EAGAIN << 0 << chr << 0 << -1;
        QTest::newRow("both give 0 bytes") << 0 << 0 << 0 << chr << 0 << -1;
        QTest::newRow("device interrupted") << -ENOSYS << -EINTR << 0 << chr << 0 << -1;
        QTest::newRow("device missing") << -ENOSYS << all << ENOENT << chr << 0 << -1;
        QTest::newRow("device a plain file") << -EPERM << all << 0 << int{S_IFREG} << 0 << -1;
        // A block given in part and then refused is no block: never zeros.
        QTest::newRow("getrandom fails part way, no device")
            << all << all << ENOENT << chr << 0 << 1000;
    }

    void randomSources() {
        QFETCH(int, getrandom);
        QFETCH(int, device);
        QFETCH(int, open_error);
        QFETCH(int, device_type);
        QFETCH(int, byte);
        QFETCH(int, getrandom_budget);
        FakeKernel kernel;
        kernel.getrandom_budget = getrandom_budget;
        std::tie(kernel.getrandom, kernel.device, kernel.open_error) =
            std::tie(getrandom, device, open_error);
        kernel.device_type = static_cast<mode_t>(device_type);
        {
            SecureRandom random(kernel);
            random.Reset();  // the seeding at start-up asks nothing, so cannot fail
            QCOMPARE(kernel.calls, 0);
            // Two blocks: without bytes, each draw tries again and fails again.
            for (int block = 0; block < 2; ++block) {
                if (byte == 0) {
                    QCOMPARE(RaisedBy([&] { random.NextDouble(); }),
                             int(ErrorNumber::DeviceUnavailable));
                    continue;
                }
                for (std::size_t i = 0; i < SecureRandom::kBlockSize / 8; ++i) {
                    QCOMPARE(random.NextDouble(), DrawOf(byte));
                }
            }
        }
        // Each try is bounded, the device is opened once and closed, and a
        // getrandom the kernel refuses is not asked again.
        constexpr int kShortReads = SecureRandom::kBlockSize / 100 + 1;
        QVERIFY2(kernel.calls <= 2 * (2 * SecureRandom::kStalls + kShortReads),
                 qPrintable(QString::number(kernel.calls)));
        QVERIFY(kernel.opens <= (byte == 0 ? 2 : 1));
        QCOMPARE(kernel.closes, open_error != 0 ? 0 : kernel.opens);
        if (getrandom == -ENOSYS || getrandom == -EPERM) {
            QCOMPARE(kernel.getrandom_calls, 1);
        }
    }

    void usedRandomBytesWiped() {
        FakeKernel kernel;
        SecureRandom random(kernel);
        for (int i = 0; i < 3; ++i) {
            random.NextDouble();
        }
        // The block the source read into: the 24 bytes drawn are wiped, the
        // rest are still to be used; a reset wipes them too.
        const std::byte* block = kernel.last_fill;
        const auto zeros = [&] {
            return std::count(block, block + SecureRandom::kBlockSize, std::byte{0});
        };
        QCOMPARE(zeros(), 24);
        QVERIFY(std::all_of(block, block + 24, [](std::byte b) { return b == std::byte{0}; }));
        random.Reset();
        QCOMPARE(zeros(), std::ptrdiff_t{SecureRandom::kBlockSize});
    }

    void guardHeldElsewhere() {
        const QByteArray name = GuardName("held");
        {
            InstanceGuard first(name);
            QVERIFY(!first.AnotherCopyRuns());
            QCOMPARE(first.state(), InstanceGuard::State::Holding);
            QCOMPARE(first.held_index(), 0);
        }
        Copies holder(name);
        QCOMPARE(holder.Start(1), QByteArray("0"));  // the first guard ended with its holder
        {
            InstanceGuard second(name);
            QVERIFY(second.AnotherCopyRuns());
            QCOMPARE(second.held_index(), -1);
        }
        holder.KillAll();
        {
            InstanceGuard after_kill(name);
            QVERIFY(!after_kill.AnotherCopyRuns());
        }

        for (int round = 0; round < 2; ++round) {
            Copies simultaneous(name);
            QCOMPARE(simultaneous.Start(8), QByteArray("01111111"));
        }
    }

    void guardPassesOverStrangers() {
        if (geteuid() != 0) {
            QSKIP("only root can act as another user");
        }
        const QByteArray name = GuardName("strangers");
        // Names 0 and 1 taken by another user: one listening, one only bound.
        const pid_t listening = StrangerHolding(name, {0}, true);
        const pid_t bound = StrangerHolding(name, {1}, false);
        QVERIFY(listening > 0 && bound > 0);
        InstanceGuard first(name);
        QVERIFY(!first.AnotherCopyRuns());
        QCOMPARE(first.held_index(), 2);
        QCOMPARE(Copies(name).Start(2), QByteArray("11"));

        // The strangers go, one after the other: a later copy that gets a
        // name before the first one's, the one just before it too, still
        // finds the first one further on.
        for (const pid_t pid : {bound, listening}) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
            QCOMPARE(Copies(name).Start(3), QByteArray("111"));
        }
    }

    void guardWithoutDescriptors() {
        // No descriptor left for the socket: the copy starts anyway and says
        // so in one line on stderr.
        int output[2];
        QVERIFY(pipe(output) == 0);
        const pid_t pid = fork();
        if (pid == 0) {
            dup2(output[1], STDERR_FILENO);
            close(output[0]);
            close(output[1]);
            closefrom(3);
            const rlimit three{3, 3};
            setrlimit(RLIMIT_NOFILE, &three);
            InstanceGuard guard(GuardName("no-fd"));
            const bool another = guard.AnotherCopyRuns();
            _exit(!another && guard.state() == InstanceGuard::State::Unguarded ? 0 : 1);
        }
        close(output[1]);
        QByteArray said;
        char buffer[256];
        ssize_t got;
        while ((got = read(output[0], buffer, sizeof buffer)) > 0) {
            said.append(buffer, got);
        }
        close(output[0]);
        int status = -1;
        waitpid(pid, &status, 0);
        QCOMPARE(status, 0);
        QCOMPARE(said.count('\n'), 1);
        QVERIFY2(said.endsWith("(socket: Too many open files); starting anyway\n"), said);
    }

    void endPassesThroughHandlers() {
        ScriptedServices services;
        bool after_end = false;
        QVERIFY_THROWS_EXCEPTION(ProgramEnd, RunEventHandler(services, [&] {
                                     services.End();
                                     after_end = true;
                                 }));
        QVERIFY(!after_end);
        QVERIFY(services.boxes.empty());
    }
};

QTEST_GUILESS_MAIN(TestRuntime)
#include "test_runtime.moc"
