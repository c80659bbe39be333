// The random source behind Rnd: the operating system's cryptographically
// secure generator, read in blocks. Each byte is wiped as soon as it has been
// used, so the buffer never holds what past passwords were drawn from.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace quorvex::runtime {

class SecureRandom {
  public:
    static constexpr std::size_t kBlockSize = 16384;

    SecureRandom() = default;
    ~SecureRandom();
    SecureRandom(const SecureRandom&) = delete;
    SecureRandom& operator=(const SecureRandom&) = delete;

    // A double with 53 random bits, 0 <= r < 1.
    double NextDouble();

    // Throws away what is buffered and fills the buffer afresh.
    void Reset();

    // Fills the buffer with bytes from the operating system; raises a runtime
    // error when it cannot deliver them.
    static void FillFromSystem(std::byte* data, std::size_t size);

  private:
    void Refill();

    std::array<std::byte, kBlockSize> buffer_{};
    std::size_t position_ = kBlockSize;  // empty until the first draw
};

}  // namespace quorvex::runtime
