// Runtime services for the benchmark: every message box is answered Yes and
// the draws come from the real secure random source.
#pragma once

#include "linux/secure_random.h"
#include "runtime/services.h"

#include <cstdint>
#include <stdexcept>

namespace quorvex::bench {

class BenchServices final : public runtime::Services {
  public:
    // Message boxes shown, and how many of them were not the long-length warning.
    std::int64_t boxes = 0;
    std::int64_t unexpected_boxes = 0;
    // Rnd calls so far.
    std::int64_t draws = 0;

    int MsgBox(const runtime::String& /*prompt*/, int style,
               const runtime::String& /*title*/) override {
        ++boxes;
        if ((style & 7) != runtime::MsgBoxStyle::YesNo) {
            ++unexpected_boxes;
        }
        return runtime::MsgBoxResult::Yes;
    }

    double Rnd() override {
        ++draws;
        return random_.NextDouble();
    }

    void Randomize() override { random_.Reset(); }

    void ClipboardClear() override {}
    void ClipboardSetText(const runtime::String& /*text*/) override {}

    runtime::Integer PrevInstance() override { return runtime::False; }

    [[noreturn]] void End() override { throw std::logic_error("BenchServices: End called"); }

  private:
    desktop::SecureRandom random_;
};

}  // namespace quorvex::bench
