// Start-up of the window against a plain Qt window of the same widgets: the
// time from construction to the first painted frame, and the heap it holds
// then. The plain window shows the 1x pictures as ordinary pixmaps; the
// difference is what the program's own start-up and its scale- and
// palette-aware pictures cost.
#include "bench/bench_results.h"
#include "bench/bench_services.h"
#include "linux/fonts.h"
#include "tests/qt_form.h"

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <QApplication>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPixmapCache>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>
#include <chrono>
#include <memory>
#include <utility>
#include <vector>

namespace quorvex::bench {

namespace {

// Bytes in use on the heap.
double HeapInUse() {
    return static_cast<double>(mallinfo2().uordblks);
}

// The fifteen controls of the window with their fonts and captions, placed
// where the program places them, without its start-up handler or pictures
// of its own.
std::unique_ptr<QWidget> PlainWindow() {
    auto window = std::make_unique<QWidget>();
    window->setFixedSize(459, 274);
    window->setWindowIcon(QIcon(QStringLiteral(":/icons/quorvex-32.png")));
    const char* const captions[] = {"0-9", "a-z A-Z 0-9", "a-z A-Z 0-9 !@#$%^&*()_+;:,.-*",
                                    "a-z A-Z 0-9 !@#$%^&*()_+;:,.-* =[]{}'<>/?\\|`~"};
    const QFont f1 = desktop::FontOf({u"Fixedsys", 9.75, 400, 204});
    const QFont f2 = desktop::FontOf({u"Lucida Handwriting", 12, 400, 0});
    auto* frame1 = new QGroupBox(window.get());
    frame1->setGeometry(10, 2, 439, 106);
    frame1->setFont(f1);
    for (int i = 0; i < 4; ++i) {
        auto* option = new QRadioButton(QString::fromLatin1(captions[i]), window.get());
        option->setGeometry(20, 22 + 20 * i, 380, 16);
        option->setFont(f1);
    }
    auto* text1 = new QLineEdit(window.get());
    text1->setGeometry(204, 116, 50, 24);
    text1->setFont(f1);
    auto* image1 = new QLabel(window.get());
    image1->setPixmap(QPixmap(QStringLiteral(":/password_length.gif")));
    image1->setGeometry(44, 120, 153, 21);
    auto* command1 = new QPushButton(window.get());
    command1->setIcon(QIcon(QPixmap(QStringLiteral(":/generate.gif"))));
    command1->setIconSize(QSize(80, 16));
    command1->setGeometry(180, 148, 100, 30);
    command1->setFont(f2);
    auto* frame2 = new QGroupBox(window.get());
    frame2->setGeometry(10, 180, 439, 84);
    auto* image2 = new QLabel(frame2);
    image2->setPixmap(QPixmap(QStringLiteral(":/password.gif")));
    image2->setGeometry(10, 12, 91, 17);
    (new QLabel(frame2))->setFont(f2);
    auto* text2 = new QPlainTextEdit(window.get());
    text2->setGeometry(20, 218, 419, 34);
    text2->setFont(f1);
    text2->setLineWrapMode(QPlainTextEdit::NoWrap);
    text2->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    text2->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    for (int i = 0; i < 3; ++i) {
        (new QLabel(window.get()))->setFont(f2);
    }
    frame2->lower();
    frame1->lower();
    return window;
}

// The runtime services (with the random source's 16 KiB block) live outside
// the window, as in the program, where its entry makes them first.
BenchServices& Services() {
    static BenchServices services;
    return services;
}

struct Quorvex {
    testing::QtForm qt{Services()};

    Quorvex() { qt.form.Load(); }
    QWidget* widget() { return &qt.window; }
};

struct Plain {
    std::unique_ptr<QWidget> window = PlainWindow();
    QWidget* widget() { return window.get(); }
};

// One start: builds, shows and paints a window from cold picture caches.
// Gives the real seconds it took and the heap it held once painted.
template <typename Window>
std::pair<double, double> StartOnce() {
    QPixmapCache::clear();
    QApplication::processEvents();
    const double before = HeapInUse();
    const auto start = std::chrono::steady_clock::now();
    auto window = std::make_unique<Window>();
    window->widget()->show();
    // The first frame: what the screen would get.
    benchmark::DoNotOptimize(window->widget()->grab());
    const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
    const double heap = HeapInUse() - before;
    window.reset();
    QApplication::processEvents();
    return {seconds.count(), heap};
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The two windows take turns, so that whatever else the machine does falls
// on both alike; medians leave out the starts it interrupted.
void BM_StartUp(benchmark::State& state) {
    // One of each first: what Qt sets up once per process (fonts, style,
    // platform) belongs to neither window.
    StartOnce<Quorvex>();
    StartOnce<Plain>();
    std::vector<double> form1_seconds;
    std::vector<double> plain_seconds;
    std::vector<double> form1_heap;
    std::vector<double> plain_heap;
    for (auto _ : state) {
        const auto [form1_s, form1_h] = StartOnce<Quorvex>();
        const auto [plain_s, plain_h] = StartOnce<Plain>();
        form1_seconds.push_back(form1_s);
        form1_heap.push_back(form1_h);
        plain_seconds.push_back(plain_s);
        plain_heap.push_back(plain_h);
    }
    state.counters["form1_s"] = Median(form1_seconds);
    state.counters["plain_s"] = Median(plain_seconds);
    state.counters["form1_heap"] = Median(form1_heap);
    state.counters["plain_heap"] = Median(plain_heap);
}
BENCHMARK(BM_StartUp)->Unit(benchmark::kMillisecond)->MinTime(1.0);

}  // namespace

}  // namespace quorvex::bench
