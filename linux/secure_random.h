// The blocks of the random source on Linux: the kernel's cryptographically
// secure generator. getrandom comes first; where the kernel refuses it (too
// old, or a sandbox forbids it) the system's random device serves instead.
#pragma once

#include "runtime/random_blocks.h"

#include <sys/stat.h>
#include <sys/types.h>
#include <cstddef>
#include <cstdint>

namespace quorvex::desktop {

// The system calls the random source makes, so that tests can play the
// kernel's part. Each returns what the call returns, or -1 with errno set.
class RandomSystem {
  public:
    virtual ~RandomSystem() = default;
    virtual ssize_t GetRandom(void* data, std::size_t size) = 0;
    // Opens the system's random device for reading, closed on exec.
    virtual int OpenDevice() = 0;
    virtual int Fstat(int fd, struct stat* status) = 0;
    virtual ssize_t Read(int fd, void* data, std::size_t size) = 0;
    virtual int Close(int fd) = 0;
};

// The real system calls.
RandomSystem& OperatingSystem();

class SecureRandom final : public runtime::RandomBlocks {
  public:
    // How many times in a row a source may be interrupted, busy or give no
    // bytes before it counts as failing: a source that does so for ever
    // would otherwise freeze the window.
    static constexpr int kStalls = 8;

    explicit SecureRandom(RandomSystem& system = OperatingSystem()) : system_(system) {}
    ~SecureRandom() override;

  private:
    bool Fill(std::byte* data, std::size_t size) override;
    bool DeviceReady();

    RandomSystem& system_;
    bool getrandom_refused_ = false;
    int device_ = -1;
};

}  // namespace quorvex::desktop
