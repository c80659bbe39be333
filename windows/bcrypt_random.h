// The blocks of the random source on Windows: the system's preferred
// cryptographically secure generator (BCryptGenRandom).
#pragma once

#include "runtime/random_blocks.h"

#include <cstddef>

namespace quorvex::windows {

class BcryptRandom final : public runtime::RandomBlocks {
  public:
    // Fills `size` bytes, or returns false: the system's generator, or a
    // stand-in that tests give.
    using Source = bool (*)(unsigned char* data, std::size_t size);

    explicit BcryptRandom(Source source = SystemSource) : source_(source) {}

    static bool SystemSource(unsigned char* data, std::size_t size);

  private:
    bool Fill(std::byte* data, std::size_t size) override {
        return source_(reinterpret_cast<unsigned char*>(data), size);
    }

    Source source_;
};

}  // namespace quorvex::windows
