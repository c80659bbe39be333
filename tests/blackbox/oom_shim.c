/* Loaded with LD_PRELOAD: refuses one large allocation on request, as a
 * process under a memory limit or strict overcommit meets it.
 *
 * OOM_SHIM_ARM names a file; once it exists, the first malloc, calloc or
 * realloc of at least OOM_SHIM_MIN bytes fails with ENOMEM, and the shim
 * writes one line saying so to stderr. Every other call goes to the C
 * library unchanged. */
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

extern void* __libc_malloc(size_t size);
extern void* __libc_calloc(size_t count, size_t size);
extern void* __libc_realloc(void* pointer, size_t size);

static int fired;

static int refuse(size_t size) {
    static size_t minimum;
    static const char* arm;
    if (fired) {
        return 0;
    }
    if (arm == NULL) {
        const char* text = getenv("OOM_SHIM_MIN");
        arm = getenv("OOM_SHIM_ARM");
        minimum = text != NULL ? strtoul(text, NULL, 10) : 0;
        if (arm == NULL || minimum == 0) {
            fired = 1; /* not asked for: never refuse */
            return 0;
        }
    }
    if (size < minimum || access(arm, F_OK) != 0) {
        return 0;
    }
    fired = 1;
    char line[64];
    const int length = snprintf(line, sizeof line, "oom-shim: refused %zu bytes\n", size);
    if (write(STDERR_FILENO, line, (size_t)length) < 0) {
        /* nothing to do about it */
    }
    errno = ENOMEM;
    return 1;
}

void* malloc(size_t size) {
    return refuse(size) ? NULL : __libc_malloc(size);
}

void* calloc(size_t count, size_t size) {
    return count != 0 && refuse(count * size) ? NULL : __libc_calloc(count, size);
}

void* realloc(void* pointer, size_t size) {
    return refuse(size) ? NULL : __libc_realloc(pointer, size);
}
