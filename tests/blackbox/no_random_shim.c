/* Loaded with LD_PRELOAD: no random bytes for the program, as on an old
 * kernel without getrandom in a container without /dev/urandom. getrandom
 * fails with ENOSYS and opening /dev/urandom with ENOENT; every other call
 * goes to the C library unchanged. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <string.h>
#include <sys/types.h>

ssize_t getrandom(void* buffer, size_t size, unsigned int flags) {
    (void)buffer, (void)size, (void)flags;
    errno = ENOSYS;
    return -1;
}

int open(const char* path, int flags, ...) {
    static int (*real)(const char*, int, ...);
    mode_t mode = 0;
    if (flags & (O_CREAT | O_TMPFILE)) {
        va_list rest;
        va_start(rest, flags);
        mode = va_arg(rest, mode_t);
        va_end(rest);
    }
    if (strcmp(path, "/dev/urandom") == 0) {
        errno = ENOENT;
        return -1;
    }
    if (real == NULL) {
        real = (int (*)(const char*, int, ...))dlsym(RTLD_NEXT, "open");
    }
    return real(path, flags, mode);
}

int open64(const char* path, int flags, ...) __attribute__((alias("open")));
