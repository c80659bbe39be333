// The runtime core without any widget: conversions, 16-bit arithmetic, runtime
// errors in a handler, the secure random source and the single-instance lock.
#include "runtime/event_handler.h"
#include "runtime/instance_lock.h"
#include "runtime/runtime.h"
#include "runtime/secure_random.h"
#include "tests/scripted_services.h"

#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

using namespace quorvex::runtime;
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

// Runs `call`; gives the error number it raised, or 0.
template <typename Call>
int RaisedBy(Call&& call) {
    try {
        call();
    } catch (const RuntimeError& error) {
        return static_cast<int>(error.number());
    }
    return 0;
}

bool Chmod(const QString& path, mode_t mode) {
    return chmod(QFile::encodeName(path).constData(), mode) == 0;
}

// Points XDG_RUNTIME_DIR (at private/), XDG_CACHE_HOME (at cache/) and HOME
// into a private base folder, and puts them back afterwards.
struct LockScene {
    static constexpr const char* kNames[] = {"XDG_RUNTIME_DIR", "XDG_CACHE_HOME", "HOME"};
    std::optional<QByteArray> saved[3];
    QTemporaryDir base;

    LockScene() {
        for (int i = 0; i < 3; ++i) {
            if (qEnvironmentVariableIsSet(kNames[i])) {
                saved[i] = qgetenv(kNames[i]);
            }
        }
    }
    ~LockScene() {
        for (int i = 0; i < 3; ++i) {
            saved[i] ? (void)qputenv(kNames[i], *saved[i]) : (void)qunsetenv(kNames[i]);
        }
    }
    QString Path(const char* name) const { return base.path() + QLatin1Char('/') + name; }
    QString LockIn(const char* folder) const {
        return Path(folder) + QLatin1Char('/') + InstanceLock::kFileName;
    }
    bool Make() {
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(Path("private")));
        qputenv("XDG_CACHE_HOME", QFile::encodeName(Path("cache")));
        qputenv("HOME", QFile::encodeName(base.path()));
        return base.isValid() && Chmod(base.path(), 0700) && QDir().mkdir(Path("cache")) &&
               QDir().mkdir(Path("private")) && Chmod(Path("private"), 0700);
    }
};

// lstat of a path; all zero when there is nothing.
struct stat Stat(const QString& path) {
    struct stat info {};
    return lstat(QFile::encodeName(path).constData(), &info) == 0 ? info : decltype(info){};
}

// Copies of the program in forked children that take the lock and hold it
// until they are killed with SIGKILL, as a crash ends them.
class Copies {
  public:
    ~Copies() { KillAll(); }

    // Starts `n` copies at one moment; their sorted answers: '0' got the lock,
    // '1' another copy runs, 'x' no folder.
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
                InstanceLock lock;
                const bool another = lock.AnotherCopyRuns();
                const char answer = lock.folder().isEmpty() ? 'x' : another ? '1' : '0';
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
    std::vector<pid_t> pids_;
};

// Services whose box fails while it reports an error.
class FailingBox : public ScriptedServices {
  public:
    int MsgBox(const QString& prompt, int style, const QString& title) override {
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
        const int raised = RaisedBy([&] { actual = cdbl ? CDbl(text) : Val(text); });
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
                    counter = static_cast<Integer>(CDbl(QStringLiteral("6x")));
                } else if (failure == 3) {
                    Raise(ErrorNumber::DeviceUnavailable);
                }
                steps_done = 2;
            });
        } catch (...) {
            QFAIL("the handler did not return normally");
        }

        QCOMPARE(int{counter}, failure == 1 ? 32767 : 32760);
        QCOMPARE(steps_done, prompt.isEmpty() ? 2 : 1);
        QCOMPARE(services.boxes.size(), prompt.isEmpty() ? 0 : 1);
        if (!prompt.isEmpty()) {
            QCOMPARE(services.boxes[0].prompt, prompt);
            QCOMPARE(services.boxes[0].style, 16);
            QCOMPARE(services.boxes[0].title, QStringLiteral("Quorvex"));
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

    void lockHeldElsewhere() {
        LockScene scene;
        QVERIFY(scene.Make());
        {
            InstanceLock first;
            QVERIFY(!first.AnotherCopyRuns());
            QCOMPARE(first.folder(), scene.Path("private"));
            const struct stat file = Stat(scene.LockIn("private"));
            QCOMPARE(file.st_mode & (S_IFMT | 077), mode_t{S_IFREG});
            QCOMPARE(file.st_uid, geteuid());
        }
        Copies holder;
        QCOMPARE(holder.Start(1), QByteArray("0"));  // the first lock ended with its holder
        {
            InstanceLock second;
            QVERIFY(second.AnotherCopyRuns());
        }
        holder.KillAll();
        {
            InstanceLock after_kill;
            QVERIFY(!after_kill.AnotherCopyRuns());
        }

        for (int round = 0; round < 2; ++round) {
            Copies simultaneous;
            QCOMPARE(simultaneous.Start(8), QByteArray("01111111"));
        }
    }

    void lockFolder_data() {
        QTest::addColumn<QString>("folder");  // where the lock is; empty: none taken

        QTest::newRow("run 0755") << "cache/quorvex";
        QTest::newRow("run links to a private folder") << "cache/quorvex";
        QTest::newRow("run relative") << "cache/quorvex";
        QTest::newRow("run and cache unset") << ".cache/quorvex";
        QTest::newRow("cache 0777") << "";
        QTest::newRow("cache links to a private folder") << "";
        QTest::newRow("lock file links to nothing") << "private";
    }

    void lockFolder() {
        QFETCH(QString, folder);
        const QString shape = QString::fromLatin1(QTest::currentDataTag());
        LockScene scene;
        QVERIFY(scene.Make());
        const QString run = scene.Path("run");
        const QString own = scene.Path("cache/quorvex");
        const QString target = scene.Path("target");
        const QString expected = folder.isEmpty() ? QString() : scene.Path(qPrintable(folder));
        QVERIFY(QDir().mkdir(run) && Chmod(run, 0755));
        if (shape.startsWith(u"run") || shape.startsWith(u"cache")) {
            qputenv("XDG_RUNTIME_DIR", QFile::encodeName(run));
        }
        if (shape == u"run links to a private folder") {
            QVERIFY(QDir().rmdir(run) && QFile::link(scene.Path("private"), run));
        } else if (shape == u"run relative") {
            qputenv("XDG_RUNTIME_DIR", "run");
        } else if (shape == u"run and cache unset") {
            qunsetenv("XDG_RUNTIME_DIR");
            qunsetenv("XDG_CACHE_HOME");
        } else if (shape == u"cache 0777") {
            QVERIFY(QDir().mkdir(own) && Chmod(own, 0777));
        } else if (shape == u"cache links to a private folder") {
            QVERIFY(QFile::link(scene.Path("private"), own));
        } else if (shape.startsWith(u"lock")) {
            QVERIFY(QFile::link(target, scene.LockIn("private")));
        }

        QCOMPARE(InstanceLock::PrivateFolder(), expected);
        InstanceLock lock;
        QVERIFY(!lock.AnotherCopyRuns());
        QCOMPARE(lock.folder(), expected);
        if (!expected.isEmpty()) {
            QCOMPARE(Stat(expected).st_mode, mode_t{S_IFDIR | 0700});
            QCOMPARE(Stat(expected).st_uid, geteuid());
            const mode_t type = shape.startsWith(u"lock") ? S_IFLNK : S_IFREG;
            QCOMPARE(Stat(expected + u'/' + InstanceLock::kFileName).st_mode & S_IFMT, type);
        }
        // Nothing was put into, nor tightened in, a folder that is not safe.
        QCOMPARE(Stat(run + u'/' + InstanceLock::kFileName).st_mode, mode_t{0});
        if (folder != u"cache/quorvex") {
            QCOMPARE(Stat(scene.LockIn("cache/quorvex")).st_mode, mode_t{0});
        }
        if (folder != u"private") {
            QCOMPARE(Stat(scene.LockIn("private")).st_mode, mode_t{0});
        }
        if (shape == u"cache 0777") {
            QCOMPARE(Stat(own).st_mode & 07777, mode_t{0777});
        }
        QCOMPARE(Stat(target).st_mode, mode_t{0});  // the link was not followed
    }
};

QTEST_GUILESS_MAIN(TestRuntime)
#include "test_runtime.moc"
