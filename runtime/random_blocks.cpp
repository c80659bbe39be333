#include "runtime/random_blocks.h"

#include "runtime/runtime.h"

#include <cstdint>
#include <cstring>

namespace quorvex::runtime {

namespace {

// Writes through a volatile pointer, which the compiler may not leave out as
// a store nobody reads.
void Wipe(std::byte* data, std::size_t size) {
    volatile std::byte* byte = data;
    for (std::size_t i = 0; i < size; ++i) {
        byte[i] = std::byte{0};
    }
}

}  // namespace

void RandomBlocks::Reset() {
    Wipe(buffer_.data(), buffer_.size());
    position_ = buffer_.size();
}

double RandomBlocks::NextDouble() {
    if (buffer_.size() - position_ < sizeof(std::uint64_t)) {
        position_ = buffer_.size();  // empty until the block is whole
        if (!Fill(buffer_.data(), buffer_.size())) {
            Reset();
            Raise(ErrorNumber::DeviceUnavailable);
        }
        position_ = 0;
    }
    std::uint64_t bits;
    std::memcpy(&bits, buffer_.data() + position_, sizeof bits);
    Wipe(buffer_.data() + position_, sizeof bits);
    position_ += sizeof bits;
    // The top 53 bits make an exact multiple of 2^-53 below 1.
    return static_cast<double>(bits >> 11) * 0x1.0p-53;
}

}  // namespace quorvex::runtime
