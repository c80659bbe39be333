// The random source behind Rnd, whichever generator of the system fills it:
// read in whole blocks, 53 random bits a draw. Each byte is wiped as soon as
// it has been used, so the buffer never holds what past passwords were drawn
// from; a block that cannot be filled whole is never drawn from.
#pragma once

#include <array>
#include <cstddef>

namespace quorvex::runtime {

class RandomBlocks {
  public:
    static constexpr std::size_t kBlockSize = 16384;

    RandomBlocks() = default;
    virtual ~RandomBlocks() { Reset(); }
    RandomBlocks(const RandomBlocks&) = delete;
    RandomBlocks& operator=(const RandomBlocks&) = delete;

    // A double with 53 random bits, 0 <= r < 1. Raises Device unavailable
    // when the system gives no block; the next draw asks again.
    double NextDouble();

    // Throws away what is buffered; the next draw reads a fresh block. It
    // reads nothing itself, so it cannot fail.
    void Reset();

  protected:
    // Fills all `size` bytes from the system's secure generator, or returns
    // false: nothing weaker ever stands in.
    virtual bool Fill(std::byte* data, std::size_t size) = 0;

  private:
    std::array<std::byte, kBlockSize> buffer_{};
    std::size_t position_ = kBlockSize;  // empty until the first draw
};

}  // namespace quorvex::runtime
