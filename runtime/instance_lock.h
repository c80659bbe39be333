// Tells whether another copy of the program runs for the same user: the first
// copy holds an exclusive lock on a file in a folder that only the user can
// enter. The kernel drops the lock when a copy ends, however it ends, so a
// copy that was killed never locks out the next start.
#pragma once

#include <QString>

namespace quorvex::runtime {

class InstanceLock {
  public:
    static constexpr const char* kFileName = "quorvex.lock";

    InstanceLock() = default;
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // Tries to take the lock once; later calls give the same answer. True if
    // another copy holds it.
    bool AnotherCopyRuns();

    // The folder the lock file lives in, or empty when no private folder could
    // be found or made (the lock is then not taken and no copy is refused).
    const QString& folder() const { return folder_; }

    // The private folder for the lock: $XDG_RUNTIME_DIR when it is a folder
    // owned by the user that no one else may enter; otherwise a folder of the
    // program's own under the user's cache folder, created 0700. Empty when
    // neither can be had.
    static QString PrivateFolder();

  private:
    bool decided_ = false;
    bool another_copy_ = false;
    int fd_ = -1;
    QString folder_;
};

}  // namespace quorvex::runtime
