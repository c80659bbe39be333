#include "linux/secure_random.h"

#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstring>

namespace quorvex::desktop {

namespace {

class RealSystem final : public RandomSystem {
  public:
    ssize_t GetRandom(void* data, std::size_t size) override { return getrandom(data, size, 0); }
    int OpenDevice() override { return open("/dev/urandom", O_RDONLY | O_CLOEXEC); }
    int Fstat(int fd, struct stat* status) override { return fstat(fd, status); }
    ssize_t Read(int fd, void* data, std::size_t size) override { return read(fd, data, size); }
    int Close(int fd) override { return close(fd); }
};

// Reads from one source until `size` bytes are in, the source fails, or it
// has stalled kStalls times in a row. Returns how many bytes came; `error`
// is the source's last error, 0 when it gave nothing without one.
template <typename Source>
std::size_t Drain(Source&& source, std::byte* data, std::size_t size, int& error) {
    std::size_t filled = 0;
    for (int stalls = 0; filled < size && stalls < SecureRandom::kStalls;) {
        const ssize_t got = source(data + filled, size - filled);
        if (got > 0) {
            filled += std::min(static_cast<std::size_t>(got), size - filled);
            stalls = 0;
            continue;
        }
        error = got < 0 ? errno : 0;
        if (got < 0 && error != EINTR && error != EAGAIN) {
            break;
        }
        ++stalls;
    }
    return filled;
}

}  // namespace

RandomSystem& OperatingSystem() {
    static RealSystem system;
    return system;
}

SecureRandom::~SecureRandom() {
    if (device_ >= 0) {
        system_.Close(device_);
    }
}

bool SecureRandom::DeviceReady() {
    if (device_ >= 0) {
        return true;
    }
    const int fd = system_.OpenDevice();
    if (fd < 0) {
        return false;
    }
    // Only the kernel's device will do: a file put in its place would give
    // the same bytes every time.
    struct stat status {};
    if (system_.Fstat(fd, &status) != 0 || !S_ISCHR(status.st_mode)) {
        system_.Close(fd);
        return false;
    }
    device_ = fd;
    return true;
}

bool SecureRandom::Fill(std::byte* data, std::size_t size) {
    std::size_t filled = 0;
    int error = 0;
    if (!getrandom_refused_) {
        filled = Drain([this](std::byte* at, std::size_t n) { return system_.GetRandom(at, n); },
                       data, size, error);
        // A kernel without the call, or a sandbox that forbids it, will not
        // change its mind: the device serves from now on.
        getrandom_refused_ = error == ENOSYS || error == EPERM;
    }
    if (filled < size && DeviceReady()) {
        filled +=
            Drain([this](std::byte* at, std::size_t n) { return system_.Read(device_, at, n); },
                  data + filled, size - filled, error);
    }
    // Never anything weaker: no number is better than a guessable one.
    return filled == size;
}

}  // namespace quorvex::desktop
