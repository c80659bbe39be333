#include "linux/instance_guard.h"

#include <unistd.h>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <thread>
#include <utility>

namespace quorvex::desktop {

// What answers on a name of the sequence.
enum class InstanceGuard::Holder : int {
    Us,        // this copy has just taken the name
    Ours,      // a copy of this user listens there
    Stranger,  // another user does, or nothing plain answered in time
    Nobody,    // the call is refused: nothing listens, bound or not
    Busy,      // the queue is full
    Failed,    // the guard gave up
};

namespace {

int NewSocket() {
    return socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
}

// Waits a moment before a name is asked again, if the patience allows it.
bool AgainBefore(std::chrono::steady_clock::time_point deadline) {
    if (std::chrono::steady_clock::now() >= deadline) {
        return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return true;
}

}  // namespace

InstanceGuard::InstanceGuard(QByteArray program) : program_(std::move(program)) {}

InstanceGuard::~InstanceGuard() {
    notifier_.reset();
    Release();
}

QByteArray InstanceGuard::NameAt(const QByteArray& program, unsigned uid, int index) {
    return program + "/uid=" + QByteArray::number(uid) + "/" + QByteArray::number(index);
}

socklen_t InstanceGuard::AbstractAddress(const QByteArray& name, sockaddr_un& address) {
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    // The leading zero byte puts the name in the abstract namespace.
    const std::size_t size = std::min<std::size_t>(name.size(), sizeof address.sun_path - 1);
    std::memcpy(address.sun_path + 1, name.constData(), size);
    return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + size);
}

bool InstanceGuard::AnotherCopyRuns() {
    if (state_ == State::Undecided) {
        Decide();
    }
    return state_ == State::AnotherCopy;
}

void InstanceGuard::Release() {
    if (fd_ >= 0) {
        close(fd_);
        fd_ = -1;
    }
}

void InstanceGuard::GiveUp(const char* reason, int error) {
    Release();
    held_index_ = -1;
    state_ = State::Unguarded;
    std::fprintf(stderr, "%s: cannot tell whether another copy runs (%s%s%s); starting anyway\n",
                 program_.constData(), reason, error != 0 ? ": " : "",
                 error != 0 ? std::strerror(error) : "");
}

// Calls a name once and asks the kernel which user listens there; gives up
// when the call fails in any other way than a refusal or a full queue.
InstanceGuard::Holder InstanceGuard::Call(const QByteArray& name) {
    sockaddr_un address;
    const socklen_t length = AbstractAddress(name, address);
    const int fd = NewSocket();
    if (fd < 0) {
        GiveUp("connect", errno);
        return Holder::Failed;
    }
    int result;
    while ((result = connect(fd, reinterpret_cast<const sockaddr*>(&address), length)) != 0 &&
           errno == EINTR) {
    }
    int error = errno;
    ucred peer{};
    socklen_t size = sizeof peer;
    if (result == 0 && getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0) {
        error = errno;
        result = -1;
    }
    close(fd);
    if (result == 0) {
        return peer.uid == geteuid() ? Holder::Ours : Holder::Stranger;
    }
    if (error == ECONNREFUSED) {
        return Holder::Nobody;
    }
    if (error == EAGAIN) {
        return Holder::Busy;
    }
    GiveUp("connect", error);
    return Holder::Failed;
}

// Takes a name, or tells who holds it. A name that is bound but refuses, or
// whose queue is full, may be a copy of ours between bind() and listen(), a
// holder that has just ended, or a busy copy: it is bound and asked again
// while the patience lasts, and then passed over as a stranger's.
InstanceGuard::Holder InstanceGuard::Take(const QByteArray& name, Deadline deadline) {
    sockaddr_un address;
    const socklen_t length = AbstractAddress(name, address);
    for (;;) {
        fd_ = NewSocket();
        if (fd_ < 0) {
            GiveUp("socket", errno);
            return Holder::Failed;
        }
        // Binding is the one atomic step: of two copies started at the same
        // instant exactly one gets the name.
        if (bind(fd_, reinterpret_cast<const sockaddr*>(&address), length) == 0) {
            if (listen(fd_, SOMAXCONN) != 0) {
                GiveUp("listen", errno);
                return Holder::Failed;
            }
            return Holder::Us;
        }
        if (errno != EADDRINUSE) {
            GiveUp("bind", errno);  // which releases the socket
            return Holder::Failed;
        }
        Release();
        const Holder holder = Call(name);
        if (holder != Holder::Nobody && holder != Holder::Busy) {
            return holder;
        }
        if (!AgainBefore(deadline)) {
            return Holder::Stranger;
        }
    }
}

// Who holds a name after the one taken: Ours, or Us when nothing of ours is
// there, so that the name taken stays taken.
InstanceGuard::Holder InstanceGuard::AskLater(const QByteArray& name, Deadline deadline) {
    Holder holder;
    do {
        holder = Call(name);
    } while (holder == Holder::Busy && AgainBefore(deadline));
    return holder == Holder::Ours || holder == Holder::Failed ? holder : Holder::Us;
}

void InstanceGuard::Decide() {
    const Deadline deadline = std::chrono::steady_clock::now() + kPatience;
    const unsigned uid = geteuid();
    Holder holder = Holder::Stranger;
    int index = 0;
    while (holder == Holder::Stranger && index < kNames) {
        holder = Take(NameAt(program_, uid, index++), deadline);
    }
    // An older copy may hold a later name, taken while a stranger held this
    // one.
    for (int later = index; holder == Holder::Us && later < kNames; ++later) {
        holder = AskLater(NameAt(program_, uid, later), deadline);
    }
    switch (holder) {
        case Holder::Us:
            held_index_ = index - 1;
            state_ = State::Holding;
            return;
        case Holder::Ours:
            Release();
            state_ = State::AnotherCopy;
            return;
        case Holder::Stranger:
            return GiveUp("every name is taken by other users", 0);
        default:  // given up already
            return;
    }
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

}  // namespace quorvex::desktop
