// Tells whether another copy of the program runs in this user's session. The
// first copy holds a mutex in the session's Local namespace whose name
// carries the user's security identifier, created owned by the user and
// open to the user alone; a later copy finds it there and checks its owner.
// The system frees it when the holder ends, however it ends.
//
// Another user of the session may create the name first. Such an object is
// passed over (it is not ours: the user cannot open it, or it has another
// owner) and the next name of a fixed sequence is tried, so a stranger can
// neither block a copy nor pass for one. As a copy may so hold any name of
// the sequence, a later copy looks at them all before it takes one.
#pragma once

#include <windows.h>

#include <string>

namespace quorvex::windows {

class InstanceGuard {
  public:
    // How many names of the sequence are tried before giving up.
    static constexpr int kNames = 32;

    // `program` names the sequence; copies that pass the same name guard
    // each other.
    explicit InstanceGuard(std::wstring program) : program_(std::move(program)) {}
    ~InstanceGuard();
    InstanceGuard(const InstanceGuard&) = delete;
    InstanceGuard& operator=(const InstanceGuard&) = delete;

    // Decides once; later calls give the same answer. True if another copy
    // of this user holds the guard. Where no guard can be had, the copy
    // starts anyway.
    bool AnotherCopyRuns();

    // The name of an index of the sequence for a user ("Local\\Quorvex-S-1-5-...-0").
    static std::wstring NameAt(const std::wstring& program, const std::wstring& user, int index);

  private:
    enum class State { Undecided, Holding, AnotherCopy, Unguarded };

    std::wstring program_;
    State state_ = State::Undecided;
    HANDLE held_ = nullptr;
};

}  // namespace quorvex::windows
