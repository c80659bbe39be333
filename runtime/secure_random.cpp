#include "runtime/secure_random.h"

#include "runtime/runtime.h"

#include <sys/random.h>
#include <cerrno>
#include <cstring>

namespace quorvex::runtime {

SecureRandom::~SecureRandom() {
    explicit_bzero(buffer_.data(), buffer_.size());
}

void SecureRandom::FillFromSystem(std::byte* data, std::size_t size) {
    std::size_t filled = 0;
    while (filled < size) {
        const ssize_t got = getrandom(data + filled, size - filled, 0);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            // Never fall back to a weaker source: no number is better than a
            // guessable one.
            Raise(ErrorNumber::DeviceUnavailable);
        }
        filled += static_cast<std::size_t>(got);
    }
}

void SecureRandom::Refill() {
    FillFromSystem(buffer_.data(), buffer_.size());
    position_ = 0;
}

void SecureRandom::Reset() {
    Refill();
}

double SecureRandom::NextDouble() {
    if (buffer_.size() - position_ < sizeof(std::uint64_t)) {
        Refill();
    }
    std::uint64_t bits;
    std::memcpy(&bits, buffer_.data() + position_, sizeof bits);
    // A byte that has been used is wiped at once: what the buffer still holds
    // tells nothing about the passwords already made.
    explicit_bzero(buffer_.data() + position_, sizeof bits);
    position_ += sizeof bits;
    // The top 53 bits make an exact multiple of 2^-53 below 1.
    return static_cast<double>(bits >> 11) * 0x1.0p-53;
}

}  // namespace quorvex::runtime
