/* Loaded with LD_PRELOAD: a system without random bytes for the program, as
 * an old kernel without getrandom in a container without /dev/urandom is.
 *
 * getrandom fails with ENOSYS, and opening the random devices fails with
 * ENOENT. Every other call goes to the C library unchanged. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <string.h>
#include <sys/types.h>

static int hidden(const char* path) {
    return path != NULL && (strcmp(path, "/dev/urandom") == 0 || strcmp(path, "/dev/random") == 0);
}

ssize_t getrandom(void* buffer, size_t size, unsigned int flags) {
    (void)buffer;
    (void)size;
    (void)flags;
    errno = ENOSYS;
    return -1;
}

int open(const char* path, int flags, ...) {
    mode_t mode = 0;
    if (flags & (O_CREAT | O_TMPFILE)) {
        va_list rest;
        va_start(rest, flags);
        mode = va_arg(rest, mode_t);
        va_end(rest);
    }
    if (hidden(path)) {
        errno = ENOENT;
        return -1;
    }
    static int (*real)(const char*, int, ...);
    if (real == NULL) {
        real = (int (*)(const char*, int, ...))dlsym(RTLD_NEXT, "open");
    }
    return real(path, flags, mode);
}

int open64(const char* path, int flags, ...) __attribute__((alias("open")));
