// Start-up of the window against a plain Qt window of the same widgets: the
// time from construction to the first painted frame, and the heap it holds
// then. The plain window shows the 1x pictures as ordinary pixmaps; the
// difference is what the program's own start-up and its scale- and
// palette-aware pictures cost.
#include "app/fonts.h"
#include "app/form1.h"
#include "bench/bench_results.h"
#include "bench/bench_services.h"

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
#include <memory>

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
    const QFont f1 = app::FixedsysFont();
    const QFont f2 = app::LucidaHandwritingFont();
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
    app::Form1 form{Services()};

    Quorvex() { form.Load(); }
    QWidget* widget() { return &form; }
};

struct Plain {
    std::unique_ptr<QWidget> window = PlainWindow();
    QWidget* widget() { return window.get(); }
};

// Builds, shows and paints one window per iteration, from cold picture
// caches; the heap it holds is measured once it has painted.
template <typename Window>
void StartUp(benchmark::State& state) {
    // One window first, untimed: what Qt sets up once per process (fonts,
    // style, platform) belongs to neither window.
    std::make_unique<Window>()->widget()->grab();
    QApplication::processEvents();
    double heap = 0;
    for (auto _ : state) {
        state.PauseTiming();
        QPixmapCache::clear();
        QApplication::processEvents();
        const double before = HeapInUse();
        state.ResumeTiming();

        auto window = std::make_unique<Window>();
        window->widget()->show();
        // The first frame: what the screen would get.
        benchmark::DoNotOptimize(window->widget()->grab());

        state.PauseTiming();
        heap += HeapInUse() - before;
        window.reset();
        QApplication::processEvents();
        state.ResumeTiming();
    }
    state.counters["heap_bytes"] =
        benchmark::Counter(heap / static_cast<double>(state.iterations()));
}

void BM_StartUpForm1(benchmark::State& state) {
    StartUp<Quorvex>(state);
}
BENCHMARK(BM_StartUpForm1)->Unit(benchmark::kMillisecond)->MinTime(0.5);

void BM_StartUpPlainWindow(benchmark::State& state) {
    StartUp<Plain>(state);
}
BENCHMARK(BM_StartUpPlainWindow)->Unit(benchmark::kMillisecond)->MinTime(0.5);

}  // namespace

}  // namespace quorvex::bench
