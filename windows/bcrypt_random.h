// The random source behind Rnd on Windows: the system's preferred
// cryptographically secure generator (BCryptGenRandom), read in blocks.
// Each byte is wiped as soon as it has been used, so the buffer never holds
// what past passwords were drawn from.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace quorvex::windows {

class BcryptRandom {
  public:
    static constexpr std::size_t kBlockSize = 4096;
    // Fills `size` bytes, or returns false: the system's generator, or a
    // stand-in that tests give.
    using Source = bool (*)(unsigned char* data, std::size_t size);

    explicit BcryptRandom(Source source = SystemSource) : source_(source) {}
    ~BcryptRandom() { Reset(); }
    BcryptRandom(const BcryptRandom&) = delete;
    BcryptRandom& operator=(const BcryptRandom&) = delete;

    // A double with 53 random bits, 0 <= r < 1. Raises Device unavailable
    // when the source gives no bytes; the next draw asks it again.
    double NextDouble();
    // Throws away what is buffered; reads nothing, so it cannot fail.
    void Reset();

    static bool SystemSource(unsigned char* data, std::size_t size);

  private:
    Source source_;
    std::array<unsigned char, kBlockSize> buffer_{};
    std::size_t position_ = kBlockSize;  // empty until the first draw
};

}  // namespace quorvex::windows
