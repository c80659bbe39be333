// The benchmark's own start: the widgets need an application object, and a
// display; without one named, Qt's offscreen platform stands in.
#include "bench/bench_results.h"

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QByteArray>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace {

using quorvex::bench::kLongestPassword;

// Google Benchmark 1.8 replaced a run's error flag with a skipped state, which
// also covers SkipWithError; either way such a run has no time worth keeping.
template <typename R>
bool NotMeasured(const R& run) {
    if constexpr (requires { run.skipped; }) {
        return run.skipped != decltype(run.skipped){};
    } else {
        return run.error_occurred;
    }
}

// The console output, with the real time of every run kept for the summary.
class RecordingReporter final : public benchmark::ConsoleReporter {
  public:
    explicit RecordingReporter(OutputOptions options) : ConsoleReporter(options) {}

    void ReportRuns(const std::vector<Run>& reports) override {
        for (const Run& run : reports) {
            if (run.run_type != Run::RT_Iteration || NotMeasured(run) || run.iterations == 0) {
                continue;
            }
            std::string key = run.run_name.function_name;
            if (!run.run_name.args.empty()) {
                key += "/" + run.run_name.args;
            }
            Seconds& seconds = seconds_[key];
            seconds.sum += run.real_accumulated_time / static_cast<double>(run.iterations);
            ++seconds.count;
            for (const auto& [name, counter] : run.counters) {
                counters_[key + ":" + name] = counter.value;
            }
        }
        ConsoleReporter::ReportRuns(reports);
    }

    // Real seconds per iteration, averaged over repetitions; NaN if not run.
    double SecondsOf(const std::string& key) const {
        const auto found = seconds_.find(key);
        if (found == seconds_.end()) {
            return std::nan("");
        }
        return found->second.sum / found->second.count;
    }

    // A counter of the last run; NaN if not run.
    double CounterOf(const std::string& key, const std::string& name) const {
        const auto found = counters_.find(key + ":" + name);
        return found == counters_.end() ? std::nan("") : found->second;
    }

  private:
    std::map<std::string, double> counters_;
    struct Seconds {
        double sum = 0;
        int count = 0;
    };
    std::map<std::string, Seconds> seconds_;
};

// Colours on a terminal, as the library's own console output does, unless
// --benchmark_color says otherwise.
benchmark::ConsoleReporter::OutputOptions ConsoleOptions(int argc, char** argv) {
    bool color = isatty(fileno(stdout)) != 0;
    const std::string_view flag = "--benchmark_color=";
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument.starts_with(flag)) {
            const std::string_view value = argument.substr(flag.size());
            color = value == "auto" ? color : value == "true" || value == "yes" || value == "1";
        }
    }
    return color ? benchmark::ConsoleReporter::OO_ColorTabular
                 : benchmark::ConsoleReporter::OO_Tabular;
}

const char* Verdict(double ratio, double target) {
    return ratio <= target ? "met" : "MISSED";
}

// One line of the summary: a measured time against its reference and target.
void PrintRatio(const char* what, double seconds, double reference, int decimals, double target) {
    if (std::isnan(seconds) || std::isnan(reference)) {
        std::printf("  %s: not measured\n", what);
        return;
    }
    const double ratio = seconds / reference;
    std::printf("  %s: %.*f ms / %.*f ms = %.2f (target <= %g: %s)\n", what, decimals,
                seconds * 1e3, decimals, reference * 1e3, ratio, target, Verdict(ratio, target));
}

void PrintSummary(const RecordingReporter& reporter) {
    const double click = reporter.SecondsOf("BM_ClickThroughWindow");
    const double set_text = reporter.SecondsOf("BM_SetPlainText32766");
    const double draw_and_map = reporter.SecondsOf("BM_DrawAndMap");
    const double floor = reporter.SecondsOf("BM_RandomBytesFloor");
    const double n1 = 1000;
    const double n2 = 4000;
    const double t1 = reporter.SecondsOf("BM_AppendOneByOne/1000");
    const double t2 = reporter.SecondsOf("BM_AppendOneByOne/4000");

    std::printf("\nStart-up to the first painted frame, medians of alternating starts:\n");
    PrintRatio("Form1 / a plain window of the same widgets",
               reporter.CounterOf("BM_StartUp", "form1_s"),
               reporter.CounterOf("BM_StartUp", "plain_s"), 2, 1.2);
    const double heap = reporter.CounterOf("BM_StartUp", "form1_heap");
    const double plain_heap = reporter.CounterOf("BM_StartUp", "plain_heap");
    if (!std::isnan(heap) && !std::isnan(plain_heap)) {
        std::printf("  heap held: %.0f KiB / %.0f KiB = %.2f (target <= 1.2: %s)\n", heap / 1024,
                    plain_heap / 1024, heap / plain_heap, Verdict(heap / plain_heap, 1.2));
    }

    std::printf("\nSummary for %d characters of Option4:\n", kLongestPassword);
    PrintRatio("click through the window / one setPlainText", click, set_text, 1, 2);
    PrintRatio("draw-and-map / random bytes floor", draw_and_map, floor, 3, 5);
    const double draws = quorvex::bench::g_measured_draws_per_password;
    if (draws > 0) {
        std::printf("  draws per password: %.0f measured, %.0f expected\n", draws,
                    quorvex::bench::kExpectedDrawsPerPassword);
    }
    if (!std::isnan(t1) && !std::isnan(t2)) {
        // Least squares fit of t = a * n^2 through both points.
        const double a = (t1 * n1 * n1 + t2 * n2 * n2) / (n1 * n1 * n1 * n1 + n2 * n2 * n2 * n2);
        const double n = kLongestPassword;
        const double exponent = std::log(t2 / t1) / std::log(n2 / n1);
        std::printf(
            "  append one at a time: %.3f s for 1000, %.3f s for 4000 (measured growth"
            " n^%.2f)\n",
            t1, t2, exponent);
        std::printf(
            "  append one at a time, extrapolated to %d: %.0f s (t = a*n^2); %.0f s"
            " with the measured growth; one click: %.3f s\n",
            kLongestPassword, a * n * n, t2 * std::pow(n / n2, exponent), click);
    } else {
        std::printf("  append one at a time: not measured\n");
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
    }
    QApplication application(argc, argv);

    const auto options = ConsoleOptions(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    RecordingReporter reporter(options);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    PrintSummary(reporter);
    benchmark::Shutdown();
    return 0;
}
