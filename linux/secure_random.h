// The random source behind Rnd: the operating system's cryptographically
// secure generator, read in blocks. getrandom comes first; where the kernel
// refuses it (too old, or a sandbox forbids it) the system's random device
// serves instead. Each byte is wiped as soon as it has been used, so the
// buffer never holds what past passwords were drawn from.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>
#include <array>
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

class SecureRandom {
  public:
    static constexpr std::size_t kBlockSize = 16384;
    // How many times in a row a source may be interrupted, busy or give no
    // bytes before it counts as failing: a source that does so for ever
    // would otherwise freeze the window.
    static constexpr int kStalls = 8;

    explicit SecureRandom(RandomSystem& system = OperatingSystem()) : system_(system) {}
    ~SecureRandom();
    SecureRandom(const SecureRandom&) = delete;
    SecureRandom& operator=(const SecureRandom&) = delete;

    // A double with 53 random bits, 0 <= r < 1. Raises Device unavailable
    // when no source gives bytes; the next draw tries again.
    double NextDouble();

    // Throws away what is buffered; the next draw reads fresh bytes. It
    // reads nothing itself, so it cannot fail.
    void Reset();

  private:
    void Refill();
    bool Fill(std::byte* data, std::size_t size);
    bool DeviceReady();

    RandomSystem& system_;
    bool getrandom_refused_ = false;
    int device_ = -1;
    std::array<std::byte, kBlockSize> buffer_{};
    std::size_t position_ = kBlockSize;  // empty until the first draw
};

}  // namespace quorvex::desktop
