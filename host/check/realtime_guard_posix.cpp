// SPDX-License-Identifier: MIT
// The guard on glibc: this program defines the C library's allocation, locking and system
// call wrappers itself. A module's calls bind to the program's definitions before the C
// library's, so each passes here, is counted when the calling thread is armed, and goes on
// to the C library's own function. Sanitizer builds own malloc and friends already; there
// the sanitizer's allocation hooks count them instead.

#include "host/check/realtime_calls.h"
#include "host/check/realtime_guard.h"

#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <semaphore.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>

#include <atomic>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
// The sanitizers' runtime calls these hooks for every allocation and release; GCC ships no
// header that declares the function.
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*allocated)(const volatile void*, size_t),
                                                         void (*released)(const volatile void*));
#define VELA_SANITIZER_ALLOCATOR 1
#else
#define VELA_SANITIZER_ALLOCATOR 0
#endif

// ThreadSanitizer answers the locking and system call functions itself and is not ready for
// them to be answered before it is set up: its build counts allocations alone.
#if defined(__SANITIZE_THREAD__)
#define VELA_WATCH_CALLS 0
#else
#define VELA_WATCH_CALLS 1
#endif

namespace vela {

namespace {

#if VELA_WATCH_CALLS
// The C library's own function of that name, found once.
void* nextFunction(std::atomic<void*>& cache, const char* name) noexcept
{
    void* found = cache.load(std::memory_order_acquire);
    if (!found) {
        found = dlsym(RTLD_NEXT, name);
        cache.store(found, std::memory_order_release);
    }
    return found;
}

#define VELA_NEXT(name)                                                                                                \
    ([]() noexcept {                                                                                                   \
        static std::atomic<void*> cache{nullptr};                                                                      \
        return reinterpret_cast<decltype(&::name)>(::vela::nextFunction(cache, #name));                                \
    }())
#endif

#if VELA_SANITIZER_ALLOCATOR
void noteAllocation(const volatile void*, std::size_t) noexcept
{
    noteWatchedCall(WatchedKind::allocation, "malloc");
}

void noteRelease(const volatile void* address) noexcept
{
    if (address) {
        noteWatchedCall(WatchedKind::allocation, "free");
    }
}
#endif

} // namespace

// Every module's calls pass here already.
RealtimeGuard::Watch::Watch(const void*) {}

RealtimeGuard::Watch::~Watch() = default;

bool RealtimeGuard::watchesLocksAndSystemCalls()
{
    return VELA_WATCH_CALLS != 0;
}

void RealtimeGuard::prepare()
{
#if VELA_SANITIZER_ALLOCATOR
    static const bool installed = __sanitizer_install_malloc_and_free_hooks(noteAllocation, noteRelease) != 0;
    (void)installed;
#endif
#if VELA_WATCH_CALLS
    // Found now, so that finding them never counts as the checked code's calls.
    VELA_NEXT(pthread_mutex_lock);
    VELA_NEXT(pthread_rwlock_rdlock);
    VELA_NEXT(pthread_rwlock_wrlock);
    VELA_NEXT(pthread_cond_wait);
    VELA_NEXT(sem_wait);
    VELA_NEXT(write);
    VELA_NEXT(read);
    VELA_NEXT(openat);
    VELA_NEXT(close);
    VELA_NEXT(nanosleep);
    VELA_NEXT(clock_nanosleep);
    VELA_NEXT(usleep);
    VELA_NEXT(sched_yield);
    VELA_NEXT(poll);
    VELA_NEXT(mmap);
    VELA_NEXT(munmap);
    VELA_NEXT(fopen);
    VELA_NEXT(fwrite);
    VELA_NEXT(puts);
    VELA_NEXT(vfprintf);
#endif
}

} // namespace vela

using vela::noteWatchedCall;
using vela::WatchedKind;

#if VELA_WATCH_CALLS
namespace {

// Whether open and openat take a mode after the flags: only when they may create a file.
bool takesMode(int flags)
{
    return (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE;
}

} // namespace
#endif

// The program is built with hidden symbols; these must be seen by the modules it loads.
#define VELA_EXPORTED __attribute__((visibility("default")))

extern "C" {

#if !VELA_SANITIZER_ALLOCATOR
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* address, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
void __libc_free(void* address);

VELA_EXPORTED void* malloc(size_t size) noexcept
{
    noteWatchedCall(WatchedKind::allocation, "malloc");
    return __libc_malloc(size);
}

VELA_EXPORTED void* calloc(size_t count, size_t size) noexcept
{
    noteWatchedCall(WatchedKind::allocation, "calloc");
    return __libc_calloc(count, size);
}

VELA_EXPORTED void* realloc(void* address, size_t size) noexcept
{
    noteWatchedCall(WatchedKind::allocation, "realloc");
    return __libc_realloc(address, size);
}

VELA_EXPORTED void free(void* address) noexcept
{
    if (address) {
        noteWatchedCall(WatchedKind::allocation, "free");
    }
    __libc_free(address);
}

VELA_EXPORTED void* memalign(size_t alignment, size_t size) noexcept
{
    noteWatchedCall(WatchedKind::allocation, "memalign");
    return __libc_memalign(alignment, size);
}

VELA_EXPORTED void* aligned_alloc(size_t alignment, size_t size) noexcept
{
    noteWatchedCall(WatchedKind::allocation, "aligned_alloc");
    return __libc_memalign(alignment, size);
}

VELA_EXPORTED int posix_memalign(void** result, size_t alignment, size_t size) noexcept
{
    noteWatchedCall(WatchedKind::allocation, "posix_memalign");
    if (alignment % sizeof(void*) != 0 || (alignment & (alignment - 1)) != 0 || alignment == 0) {
        return EINVAL;
    }
    void* address = __libc_memalign(alignment, size);
    if (!address) {
        return ENOMEM;
    }
    *result = address;
    return 0;
}
#endif

#if VELA_WATCH_CALLS
VELA_EXPORTED int pthread_mutex_lock(pthread_mutex_t* mutex) noexcept
{
    noteWatchedCall(WatchedKind::lock, "pthread_mutex_lock");
    return VELA_NEXT(pthread_mutex_lock)(mutex);
}

VELA_EXPORTED int pthread_rwlock_rdlock(pthread_rwlock_t* lock) noexcept
{
    noteWatchedCall(WatchedKind::lock, "pthread_rwlock_rdlock");
    return VELA_NEXT(pthread_rwlock_rdlock)(lock);
}

VELA_EXPORTED int pthread_rwlock_wrlock(pthread_rwlock_t* lock) noexcept
{
    noteWatchedCall(WatchedKind::lock, "pthread_rwlock_wrlock");
    return VELA_NEXT(pthread_rwlock_wrlock)(lock);
}

VELA_EXPORTED int pthread_cond_wait(pthread_cond_t* condition, pthread_mutex_t* mutex)
{
    noteWatchedCall(WatchedKind::lock, "pthread_cond_wait");
    return VELA_NEXT(pthread_cond_wait)(condition, mutex);
}

VELA_EXPORTED int sem_wait(sem_t* semaphore)
{
    noteWatchedCall(WatchedKind::lock, "sem_wait");
    return VELA_NEXT(sem_wait)(semaphore);
}

VELA_EXPORTED ssize_t write(int file, const void* data, size_t size)
{
    noteWatchedCall(WatchedKind::systemCall, "write");
    return VELA_NEXT(write)(file, data, size);
}

VELA_EXPORTED ssize_t read(int file, void* data, size_t size)
{
    noteWatchedCall(WatchedKind::systemCall, "read");
    return VELA_NEXT(read)(file, data, size);
}

VELA_EXPORTED int open(const char* path, int flags, ...)
{
    noteWatchedCall(WatchedKind::systemCall, "open");
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = takesMode(flags) ? static_cast<mode_t>(va_arg(arguments, int)) : 0;
    va_end(arguments);
    return VELA_NEXT(openat)(AT_FDCWD, path, flags, mode);
}

VELA_EXPORTED int openat(int folder, const char* path, int flags, ...)
{
    noteWatchedCall(WatchedKind::systemCall, "openat");
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = takesMode(flags) ? static_cast<mode_t>(va_arg(arguments, int)) : 0;
    va_end(arguments);
    return VELA_NEXT(openat)(folder, path, flags, mode);
}

VELA_EXPORTED int close(int file)
{
    noteWatchedCall(WatchedKind::systemCall, "close");
    return VELA_NEXT(close)(file);
}

VELA_EXPORTED int nanosleep(const struct timespec* duration, struct timespec* remaining)
{
    noteWatchedCall(WatchedKind::systemCall, "nanosleep");
    return VELA_NEXT(nanosleep)(duration, remaining);
}

VELA_EXPORTED int clock_nanosleep(clockid_t clock, int flags, const struct timespec* duration,
                                  struct timespec* remaining)
{
    noteWatchedCall(WatchedKind::systemCall, "clock_nanosleep");
    return VELA_NEXT(clock_nanosleep)(clock, flags, duration, remaining);
}

VELA_EXPORTED int usleep(useconds_t microseconds)
{
    noteWatchedCall(WatchedKind::systemCall, "usleep");
    return VELA_NEXT(usleep)(microseconds);
}

VELA_EXPORTED int sched_yield() noexcept
{
    noteWatchedCall(WatchedKind::systemCall, "sched_yield");
    return VELA_NEXT(sched_yield)();
}

VELA_EXPORTED int poll(struct pollfd* files, nfds_t count, int timeout)
{
    noteWatchedCall(WatchedKind::systemCall, "poll");
    return VELA_NEXT(poll)(files, count, timeout);
}

VELA_EXPORTED void* mmap(void* address, size_t size, int protection, int flags, int file, off_t offset) noexcept
{
    noteWatchedCall(WatchedKind::systemCall, "mmap");
    return VELA_NEXT(mmap)(address, size, protection, flags, file, offset);
}

VELA_EXPORTED int munmap(void* address, size_t size) noexcept
{
    noteWatchedCall(WatchedKind::systemCall, "munmap");
    return VELA_NEXT(munmap)(address, size);
}

VELA_EXPORTED FILE* fopen(const char* path, const char* mode)
{
    noteWatchedCall(WatchedKind::systemCall, "fopen");
    return VELA_NEXT(fopen)(path, mode);
}

VELA_EXPORTED size_t fwrite(const void* data, size_t size, size_t count, FILE* stream)
{
    noteWatchedCall(WatchedKind::systemCall, "fwrite");
    return VELA_NEXT(fwrite)(data, size, count, stream);
}

VELA_EXPORTED int puts(const char* text)
{
    noteWatchedCall(WatchedKind::systemCall, "puts");
    return VELA_NEXT(puts)(text);
}

VELA_EXPORTED int printf(const char* format, ...)
{
    noteWatchedCall(WatchedKind::systemCall, "printf");
    va_list arguments;
    va_start(arguments, format);
    const int written = VELA_NEXT(vfprintf)(stdout, format, arguments);
    va_end(arguments);
    return written;
}

VELA_EXPORTED int fprintf(FILE* stream, const char* format, ...)
{
    noteWatchedCall(WatchedKind::systemCall, "fprintf");
    va_list arguments;
    va_start(arguments, format);
    const int written = VELA_NEXT(vfprintf)(stream, format, arguments);
    va_end(arguments);
    return written;
}

#endif

} // extern "C"
