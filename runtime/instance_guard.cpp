#include "runtime/instance_guard.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <utility>

namespace quorvex::runtime {

namespace {

// What answers on a name of the sequence.
enum class Holder { Ours, Stranger, Nobody, Unknown };

void Pause(long milliseconds) {
    timespec pause{0, milliseconds * 1000000L};
    while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
    }
}

socklen_t AbstractAddress(const QByteArray& name, sockaddr_un& address) {
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    // The leading zero byte puts the name in the abstract namespace.
    const std::size_t size = std::min<std::size_t>(name.size(), sizeof address.sun_path - 1);
    std::memcpy(address.sun_path + 1, name.constData(), size);
    return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + size);
}

int NewSocket() {
    return socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
}

// Connects to a name and asks the kernel which user listens there. A queue
// that is full for a moment is waited for a little. A name known to be bound
// (`bound`) that refuses may be a copy between bind() and listen(), so it is
// asked again briefly before it counts as nobody.
Holder Ask(const QByteArray& name, bool bound, int& error) {
    sockaddr_un address;
    const socklen_t length = AbstractAddress(name, address);
    for (int attempt = 0; attempt < 50; ++attempt) {
        const int fd = NewSocket();
        if (fd < 0) {
            error = errno;
            return Holder::Unknown;
        }
        const int result = connect(fd, reinterpret_cast<const sockaddr*>(&address), length);
        error = errno;
        if (result == 0) {
            ucred peer{};
            socklen_t size = sizeof peer;
            const bool known = getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0;
            error = errno;
            close(fd);
            if (!known) {
                return Holder::Unknown;
            }
            return peer.uid == geteuid() ? Holder::Ours : Holder::Stranger;
        }
        close(fd);
        if (error == EINTR) {
            continue;
        }
        if (error == ECONNREFUSED && (!bound || attempt >= 10)) {
            return Holder::Nobody;
        }
        if (error != EAGAIN && error != ECONNREFUSED) {
            return Holder::Unknown;
        }
        Pause(10);
    }
    // A queue that stays full: a stranger filling it, or a copy of ours that
    // is busy; the name cannot be told apart, so it is passed over.
    return Holder::Stranger;
}

}  // namespace

InstanceGuard::InstanceGuard(QByteArray program) : program_(std::move(program)) {}

InstanceGuard::~InstanceGuard() {
    notifier_.reset();
    if (fd_ >= 0) {
        close(fd_);
    }
}

QByteArray InstanceGuard::NameAt(const QByteArray& program, unsigned uid, int index) {
    return program + "/uid=" + QByteArray::number(uid) + "/" + QByteArray::number(index);
}

bool InstanceGuard::AnotherCopyRuns() {
    if (state_ == State::Undecided) {
        Decide();
    }
    return state_ == State::AnotherCopy;
}

void InstanceGuard::GiveUp(const char* reason, int error) {
    if (fd_ >= 0) {
        close(fd_);
        fd_ = -1;
    }
    held_index_ = -1;
    state_ = State::Unguarded;
    std::fprintf(stderr, "%s: cannot tell whether another copy runs (%s%s%s); starting anyway\n",
                 program_.constData(), reason, error != 0 ? ": " : "",
                 error != 0 ? std::strerror(error) : "");
}

void InstanceGuard::Decide() {
    const unsigned uid = geteuid();
    for (int index = 0; index < kNames; ++index) {
        const QByteArray name = NameAt(program_, uid, index);
        sockaddr_un address;
        const socklen_t length = AbstractAddress(name, address);
        // A name whose holder has just ended is free again: a few tries.
        for (int attempt = 0; attempt < 3; ++attempt) {
            fd_ = NewSocket();
            if (fd_ < 0) {
                return GiveUp("socket", errno);
            }
            // Binding is the one atomic step: of two copies started at the
            // same instant exactly one gets the name.
            if (bind(fd_, reinterpret_cast<const sockaddr*>(&address), length) == 0) {
                if (listen(fd_, SOMAXCONN) != 0) {
                    return GiveUp("listen", errno);
                }
                held_index_ = index;
                // An older copy may hold a later name, taken while a stranger
                // held this one.
                for (int later = index + 1; later < kNames; ++later) {
                    int ask_error = 0;
                    const Holder holder = Ask(NameAt(program_, uid, later), false, ask_error);
                    if (holder == Holder::Ours) {
                        close(fd_);
                        fd_ = -1;
                        held_index_ = -1;
                        state_ = State::AnotherCopy;
                        return;
                    }
                    if (holder == Holder::Unknown) {
                        return GiveUp("connect", ask_error);
                    }
                }
                state_ = State::Holding;
                return;
            }
            const int error = errno;
            close(fd_);
            fd_ = -1;
            if (error != EADDRINUSE) {
                return GiveUp("bind", error);
            }
            int ask_error = 0;
            const Holder holder = Ask(name, true, ask_error);
            if (holder == Holder::Ours) {
                state_ = State::AnotherCopy;
                return;
            }
            if (holder == Holder::Unknown) {
                return GiveUp("connect", ask_error);
            }
            if (holder == Holder::Stranger) {
                break;
            }
        }
    }
    GiveUp("every name is taken by other users", 0);
}

void InstanceGuard::AnswerLaterCopies() {
    if (state_ != State::Holding || notifier_) {
        return;
    }
    notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(), [this] {
        int caller;
        while ((caller = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC)) >= 0 || errno == EINTR) {
            if (caller >= 0) {
                close(caller);
            }
        }
        if (errno == EMFILE || errno == ENFILE) {
            // No descriptor to accept with: the caller stays queued, and the
            // notifier would fire again at once. Pause instead of spinning.
            notifier_->setEnabled(false);
            QTimer::singleShot(1000, notifier_.get(), [this] { notifier_->setEnabled(true); });
        }
    });
}

}  // namespace quorvex::runtime
