// The benchmarks: a 32766-character password of the widest character set,
// through the window and without it, against the cost of its random bytes, and
// the old way of appending to the output box one character at a time.
#include "bench/bench_results.h"
#include "bench/bench_services.h"
#include "generator/char_tables.h"
#include "generator/generate_command.h"
#include "linux/secure_random.h"
#include "tests/qt_form.h"

#include <benchmark/benchmark.h>
#include <sys/random.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <cerrno>
#include <cmath>
#include <cstddef>
#include <vector>

namespace quorvex::bench {

double g_measured_draws_per_password = 0;

namespace {

const QString kLongestLengthText = QString::number(kLongestPassword);

// The program's window, loaded and shown, with Option4 selected and the
// longest length typed in.
struct LoadedWindow {
    BenchServices services;
    testing::QtForm qt{services};
    const testing::Widgets& ui = qt.ui;

    LoadedWindow() {
        qt.form.Load();
        qt.window.show();
        ui.Option4->setChecked(true);
        ui.Text1->setText(kLongestLengthText);
        QApplication::processEvents();
    }
};

// Lets the window repaint between two timed iterations, as the event loop
// would after a click.
void SettleWindow(benchmark::State& state) {
    state.PauseTiming();
    QApplication::processEvents();
    state.ResumeTiming();
}

// A password of the widest table, drawn from the real random source.
QString RandomPassword(int length) {
    desktop::SecureRandom random;
    QString password;
    password.reserve(length);
    while (password.size() < length) {
        const auto draw = static_cast<runtime::Integer>(random.NextDouble() * 100);
        if (const auto character =
                generator::CharacterFor(generator::OptionButton::Option4, draw)) {
            password.append(QChar(*character));
        }
    }
    return password;
}

void BM_ClickThroughWindow(benchmark::State& state) {
    LoadedWindow window;
    for (auto _ : state) {
        window.ui.Command1->click();
        SettleWindow(state);
    }
    const auto iterations = static_cast<std::int64_t>(state.iterations());
    if (window.ui.Text2->toPlainText().size() != kLongestPassword) {
        state.SkipWithError("the output box does not hold 32766 characters");
    } else if (window.services.unexpected_boxes != 0 || window.services.boxes != iterations) {
        state.SkipWithError("the click showed other boxes than the one warning");
    }
    state.counters["draws"] = benchmark::Counter(static_cast<double>(window.services.draws),
                                                 benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_ClickThroughWindow)->Unit(benchmark::kMillisecond);

void BM_SetPlainText32766(benchmark::State& state) {
    LoadedWindow window;
    const QString password = RandomPassword(kLongestPassword);
    for (auto _ : state) {
        window.ui.Text2->setPlainText(password);
        SettleWindow(state);
    }
    if (window.ui.Text2->toPlainText() != password) {
        state.SkipWithError("the output box does not hold the text set");
    }
}
BENCHMARK(BM_SetPlainText32766)->Unit(benchmark::kMillisecond);

// The generate command's view of a window without widgets.
class FakeView final : public generator::GeneratorView {
  public:
    runtime::String length_text;
    generator::OptionButton selected = generator::OptionButton::Option4;
    runtime::String output;

    runtime::String LengthText() const override { return length_text; }
    bool OptionSelected(generator::OptionButton option) const override {
        return option == selected;
    }
    void SetOutputText(const runtime::String& text) override { output = text; }
};

void BM_DrawAndMap(benchmark::State& state) {
    BenchServices services;
    services.Randomize();
    FakeView view;
    view.length_text = kLongestLengthText.toStdU16String();
    generator::GeneratorVariables vars;
    for (auto _ : state) {
        generator::Command1_Click(view, vars, services);
        benchmark::DoNotOptimize(view.output.data());
    }
    if (view.output.size() != kLongestPassword) {
        state.SkipWithError("the password does not have 32766 characters");
        return;
    }
    const double iterations = static_cast<double>(state.iterations());
    g_measured_draws_per_password = static_cast<double>(services.draws) / iterations;
    state.counters["draws"] =
        benchmark::Counter(static_cast<double>(services.draws), benchmark::Counter::kAvgIterations);
    state.counters["draws/char"] = g_measured_draws_per_password / kLongestPassword;
}
BENCHMARK(BM_DrawAndMap)->Unit(benchmark::kMillisecond);

void BM_RandomBytesFloor(benchmark::State& state) {
    const double draws = g_measured_draws_per_password > 0 ? g_measured_draws_per_password
                                                           : kExpectedDrawsPerPassword;
    const auto size = static_cast<std::size_t>(std::ceil(draws)) * kBytesPerDraw;
    std::vector<std::byte> buffer(size);
    for (auto _ : state) {
        std::size_t filled = 0;
        while (filled < size) {
            const ssize_t got = getrandom(buffer.data() + filled, size - filled, 0);
            if (got < 0) {
                if (errno == EINTR) {
                    continue;
                }
                state.SkipWithError("getrandom failed");
                return;
            }
            filled += static_cast<std::size_t>(got);
        }
        benchmark::DoNotOptimize(buffer.data());
        benchmark::ClobberMemory();
    }
    state.counters["bytes"] = static_cast<double>(size);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(size));
}
BENCHMARK(BM_RandomBytesFloor)->Unit(benchmark::kMillisecond);

// The old way: each character costs a read of the whole box and a write of
// the whole text one character longer.
void BM_AppendOneByOne(benchmark::State& state) {
    LoadedWindow window;
    const auto length = static_cast<int>(state.range(0));
    const QString password = RandomPassword(length);
    desktop::PasswordBox* box = window.ui.Text2;
    for (auto _ : state) {
        box->setPlainText(QString());
        for (const QChar character : password) {
            QString text = box->toPlainText();
            text.append(character);
            box->setPlainText(text);
        }
        SettleWindow(state);
    }
    if (box->toPlainText() != password) {
        state.SkipWithError("the output box does not hold the appended text");
    }
}
BENCHMARK(BM_AppendOneByOne)->Arg(1000)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AppendOneByOne)->Arg(4000)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

}  // namespace quorvex::bench
