#include "windows/bcrypt_random.h"

#include <windows.h>
// After windows.h, whose types it uses.
#include <bcrypt.h>

namespace quorvex::windows {

bool BcryptRandom::SystemSource(unsigned char* data, std::size_t size) {
    return BCRYPT_SUCCESS(
        BCryptGenRandom(nullptr, data, static_cast<ULONG>(size), BCRYPT_USE_SYSTEM_PREFERRED_RNG));
}

}  // namespace quorvex::windows
