#include "runtime/instance_lock.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QByteArray>
#include <cerrno>
#include <cstdlib>

namespace quorvex::runtime {

namespace {

// A folder is private when it is a real folder (not a link), owned by this
// user, and closed to the group and to others.
bool IsPrivateFolder(const QByteArray& path) {
    struct stat info {};
    if (path.isEmpty() || !path.startsWith('/') || lstat(path.constData(), &info) != 0) {
        return false;
    }
    return S_ISDIR(info.st_mode) && info.st_uid == geteuid() && (info.st_mode & 077) == 0;
}

// Makes the folder if it is missing (0700); then it must be private.
bool EnsurePrivateFolder(const QByteArray& path) {
    if (mkdir(path.constData(), 0700) != 0 && errno != EEXIST) {
        return false;
    }
    return IsPrivateFolder(path);
}

QByteArray HomeFolder() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') {
        return QByteArray(home);
    }
    if (const passwd* entry = getpwuid(geteuid()); entry != nullptr && entry->pw_dir != nullptr) {
        return QByteArray(entry->pw_dir);
    }
    return {};
}

}  // namespace

QString InstanceLock::PrivateFolder() {
    const QByteArray runtime_dir = qgetenv("XDG_RUNTIME_DIR");
    if (IsPrivateFolder(runtime_dir)) {
        return QString::fromLocal8Bit(runtime_dir);
    }
    // No usable runtime folder: a folder of our own in the user's cache, which
    // lies in the home folder and so is never shared with other users.
    QByteArray cache = qgetenv("XDG_CACHE_HOME");
    if (!cache.startsWith('/')) {
        const QByteArray home = HomeFolder();
        if (home.isEmpty()) {
            return {};
        }
        cache = home + "/.cache";
        if (mkdir(cache.constData(), 0700) != 0 && errno != EEXIST) {
            return {};
        }
    }
    const QByteArray own = cache + "/quorvex";
    if (EnsurePrivateFolder(own)) {
        return QString::fromLocal8Bit(own);
    }
    return {};
}

InstanceLock::~InstanceLock() {
    if (fd_ >= 0) {
        close(fd_);
    }
}

bool InstanceLock::AnotherCopyRuns() {
    if (decided_) {
        return another_copy_;
    }
    decided_ = true;
    folder_ = PrivateFolder();
    if (folder_.isEmpty()) {
        return another_copy_ = false;
    }
    const QByteArray path = folder_.toLocal8Bit() + '/' + kFileName;
    const int fd = open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    struct stat info {};
    if (fd < 0 || fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != geteuid()) {
        if (fd >= 0) {
            close(fd);
        }
        return another_copy_ = false;
    }
    // Taking the lock is one atomic step: of two copies started at the same
    // instant exactly one gets it.
    while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) {
            continue;
        }
        const int error = errno;
        close(fd);
        return another_copy_ = (error == EWOULDBLOCK);
    }
    fd_ = fd;
    return another_copy_ = false;
}

}  // namespace quorvex::runtime
