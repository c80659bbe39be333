#include "windows/bcrypt_random.h"

#include "runtime/runtime.h"

#include <windows.h>
// After windows.h, whose types it uses.
#include <bcrypt.h>
#include <cstring>

namespace quorvex::windows {

bool BcryptRandom::SystemSource(unsigned char* data, std::size_t size) {
    return BCRYPT_SUCCESS(
        BCryptGenRandom(nullptr, data, static_cast<ULONG>(size), BCRYPT_USE_SYSTEM_PREFERRED_RNG));
}

void BcryptRandom::Reset() {
    SecureZeroMemory(buffer_.data(), buffer_.size());
    position_ = buffer_.size();
}

double BcryptRandom::NextDouble() {
    if (buffer_.size() - position_ < sizeof(std::uint64_t)) {
        position_ = buffer_.size();  // empty until the block is whole
        if (!source_(buffer_.data(), buffer_.size())) {
            // Never anything weaker: no number is better than a guessable one.
            Reset();
            runtime::Raise(runtime::ErrorNumber::DeviceUnavailable);
        }
        position_ = 0;
    }
    std::uint64_t bits;
    std::memcpy(&bits, buffer_.data() + position_, sizeof bits);
    SecureZeroMemory(buffer_.data() + position_, sizeof bits);
    position_ += sizeof bits;
    // The top 53 bits make an exact multiple of 2^-53 below 1.
    return static_cast<double>(bits >> 11) * 0x1.0p-53;
}

}  // namespace quorvex::windows
