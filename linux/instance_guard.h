// Tells whether another copy of the program runs for the same user on this
// machine. The first copy listens on an abstract Unix socket whose name holds
// the user id; a later copy that finds the name taken connects to it and asks
// the kernel who listens (SO_PEERCRED). Nothing of it lives in the file
// system, so no environment variable, folder or file of the user can move or
// break it, and the kernel frees the name when the holder ends, however it
// ends. Abstract names belong to a network namespace: copies in different
// network namespaces do not see each other.
//
// Anyone may bind any abstract name, so another user can squat on ours. Such
// a name is passed over and the next one of a fixed sequence is tried, so a
// stranger can neither block a copy nor pass for one. Names that cannot be
// told apart at once are asked again only within one short patience for the
// whole decision, so whatever a stranger does, the start stays quick.
#pragma once

#include <sys/socket.h>
#include <sys/un.h>
#include <QByteArray>
#include <chrono>
#include <memory>

class QSocketNotifier;

namespace quorvex::desktop {

class InstanceGuard {
  public:
    // How many names of the sequence are tried before giving up.
    static constexpr int kNames = 32;

    enum class State { Undecided, Holding, AnotherCopy, Unguarded };

    // `program` names the sequence; copies that pass the same name guard
    // each other.
    explicit InstanceGuard(QByteArray program);
    ~InstanceGuard();
    InstanceGuard(const InstanceGuard&) = delete;
    InstanceGuard& operator=(const InstanceGuard&) = delete;

    // Decides once; later calls give the same answer. True if another copy of
    // this user holds the guard. Where no guard can be had, the copy starts
    // anyway and says so on stderr in one line.
    bool AnotherCopyRuns();

    // While the guard is held, accepts and closes the calls of later copies
    // from the event loop of the calling thread, so that none of them ever
    // finds the queue full. Needs a Qt application.
    void AnswerLaterCopies();

    State state() const { return state_; }
    // The index in the sequence of the name held, or -1.
    int held_index() const { return held_index_; }

    // The abstract socket name (without its leading zero byte) of an index
    // of the sequence for a user.
    static QByteArray NameAt(const QByteArray& program, unsigned uid, int index);

    // The address of an abstract socket name; returns its length.
    static socklen_t AbstractAddress(const QByteArray& name, sockaddr_un& address);

    // How long the whole decision may wait on names that do not answer
    // plainly: a copy between bind() and listen() needs far less.
    static constexpr std::chrono::milliseconds kPatience{200};

  private:
    enum class Holder : int;
    using Deadline = std::chrono::steady_clock::time_point;

    Holder Call(const QByteArray& name);
    void Decide();
    Holder Take(const QByteArray& name, Deadline deadline);
    Holder AskLater(const QByteArray& name, Deadline deadline);
    void Release();
    void GiveUp(const char* reason, int error);

    QByteArray program_;
    State state_ = State::Undecided;
    int fd_ = -1;
    int held_index_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace quorvex::desktop
