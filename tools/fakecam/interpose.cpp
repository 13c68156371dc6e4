// The C library entry points the library takes over.  Every call that does
// not concern an emulated device goes straight to the next definition (the
// C library, or a sanitizer runtime loaded before us), looked up once.
#include "fakecam.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>

namespace fakecam {

namespace {

using open_fn = int(const char *, int, ...);
using openat_fn = int(int, const char *, int, ...);
using open2_fn = int(const char *, int);
using openat2_fn = int(int, const char *, int);
using read_fn = ssize_t(int, void *, size_t);
using read_chk_fn = ssize_t(int, void *, size_t, size_t);
using ioctl_fn = int(int, unsigned long, ...);
using close_fn = int(int);
using dup_fn = int(int);
using stat_fn = int(const char *, struct stat *);
using stat64_fn = int(const char *, struct stat64 *);
using access_fn = int(const char *, int);
using mmap_fn = void *(void *, size_t, int, int, int, off_t);
using exit_fn = void(int);

// dlsym is thread-safe; two threads racing here store the same pointer.
template <typename Fn>
Fn *next(std::atomic<Fn *> &slot, const char *name)
{
    Fn *f = slot.load(std::memory_order_acquire);
    if (!f) {
        f = reinterpret_cast<Fn *>(dlsym(RTLD_NEXT, name));
        slot.store(f, std::memory_order_release);
    }
    return f;
}

#define FAKECAM_NEXT(type, name)                                               \
    static std::atomic<type *> slot_##name{nullptr};                           \
    type *next_##name = next(slot_##name, #name);                              \
    if (!next_##name) {                                                        \
        errno = ENOSYS;                                                        \
        return -1;                                                             \
    }

bool needs_mode(int flags)
{
    return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE;
}

} // namespace

namespace real {
int close(int fd)
{
    FAKECAM_NEXT(close_fn, close);
    return next_close(fd);
}
void *mmap(void *addr, size_t len, int prot, int flags, int fd, off_t offset)
{
    static std::atomic<mmap_fn *> slot{nullptr};
    mmap_fn *next_mmap = next(slot, "mmap");
    if (!next_mmap) {
        errno = ENOSYS;
        return MAP_FAILED;
    }
    return next_mmap(addr, len, prot, flags, fd, offset);
}
} // namespace real

} // namespace fakecam

using namespace fakecam;

// The library is built with hidden symbols; these are its whole interface.
#pragma GCC visibility push(default)
extern "C" {

int open(const char *path, int flags, ...)
{
    if (owns_path(path))
        return emu_open(path, flags);
    mode_t mode = 0;
    if (needs_mode(flags)) {
        va_list ap;
        va_start(ap, flags);
        mode = va_arg(ap, mode_t);
        va_end(ap);
    }
    FAKECAM_NEXT(open_fn, open);
    return next_open(path, flags, mode);
}

int open64(const char *path, int flags, ...)
{
    if (owns_path(path))
        return emu_open(path, flags);
    mode_t mode = 0;
    if (needs_mode(flags)) {
        va_list ap;
        va_start(ap, flags);
        mode = va_arg(ap, mode_t);
        va_end(ap);
    }
    FAKECAM_NEXT(open_fn, open64);
    return next_open64(path, flags, mode);
}

int openat(int dirfd, const char *path, int flags, ...)
{
    if (owns_path(path))
        return emu_open(path, flags);
    mode_t mode = 0;
    if (needs_mode(flags)) {
        va_list ap;
        va_start(ap, flags);
        mode = va_arg(ap, mode_t);
        va_end(ap);
    }
    FAKECAM_NEXT(openat_fn, openat);
    return next_openat(dirfd, path, flags, mode);
}

int openat64(int dirfd, const char *path, int flags, ...)
{
    if (owns_path(path))
        return emu_open(path, flags);
    mode_t mode = 0;
    if (needs_mode(flags)) {
        va_list ap;
        va_start(ap, flags);
        mode = va_arg(ap, mode_t);
        va_end(ap);
    }
    FAKECAM_NEXT(openat_fn, openat64);
    return next_openat64(dirfd, path, flags, mode);
}

// The checked variants that _FORTIFY_SOURCE substitutes for open(path, flags).
int __open_2(const char *path, int flags)
{
    if (owns_path(path))
        return emu_open(path, flags);
    FAKECAM_NEXT(open2_fn, __open_2);
    return next___open_2(path, flags);
}

int __open64_2(const char *path, int flags)
{
    if (owns_path(path))
        return emu_open(path, flags);
    FAKECAM_NEXT(open2_fn, __open64_2);
    return next___open64_2(path, flags);
}

int __openat_2(int dirfd, const char *path, int flags)
{
    if (owns_path(path))
        return emu_open(path, flags);
    FAKECAM_NEXT(openat2_fn, __openat_2);
    return next___openat_2(dirfd, path, flags);
}

int __openat64_2(int dirfd, const char *path, int flags)
{
    if (owns_path(path))
        return emu_open(path, flags);
    FAKECAM_NEXT(openat2_fn, __openat64_2);
    return next___openat64_2(dirfd, path, flags);
}

ssize_t read(int fd, void *buf, size_t count)
{
    if (auto h = find_handle(fd))
        return emu_read(h, buf, count);
    FAKECAM_NEXT(read_fn, read);
    return next_read(fd, buf, count);
}

// What read() becomes under _FORTIFY_SOURCE when the buffer size is known.
ssize_t __read_chk(int fd, void *buf, size_t count, size_t buflen)
{
    FAKECAM_NEXT(read_chk_fn, __read_chk);
    // An overflowing request goes to the C library, which aborts on it.
    if (count <= buflen)
        if (auto h = find_handle(fd))
            return emu_read(h, buf, count);
    return next___read_chk(fd, buf, count, buflen);
}

int ioctl(int fd, unsigned long req, ...) noexcept
{
    va_list ap;
    va_start(ap, req);
    void *arg = va_arg(ap, void *);
    va_end(ap);
    // Descriptor flags work on the socket as on any file.
    const bool flags =
        req == FIONBIO || req == FIOASYNC || req == FIOCLEX || req == FIONCLEX;
    if (!flags)
        if (auto h = find_handle(fd))
            return emu_ioctl(h, req, arg);
    FAKECAM_NEXT(ioctl_fn, ioctl);
    return next_ioctl(fd, req, arg);
}

// Programs check that the path is a character device before opening it.
int stat(const char *path, struct stat *st)
{
    if (owns_path(path))
        return emu_stat(path, st);
    FAKECAM_NEXT(stat_fn, stat);
    return next_stat(path, st);
}

int stat64(const char *path, struct stat64 *st)
{
    static_assert(sizeof(struct stat64) == sizeof(struct stat));
    if (owns_path(path))
        return emu_stat(path, reinterpret_cast<struct stat *>(st));
    FAKECAM_NEXT(stat64_fn, stat64);
    return next_stat64(path, st);
}

int access(const char *path, int mode)
{
    if (owns_path(path))
        return emu_stat(path, nullptr);
    FAKECAM_NEXT(access_fn, access);
    return next_access(path, mode);
}

int close(int fd)
{
    if (auto h = find_handle(fd))
        return emu_close(h, fd);
    FAKECAM_NEXT(close_fn, close);
    return next_close(fd);
}

// A copy of a device's descriptor is the same device (other ways to copy
// a descriptor are not followed).
int dup(int fd)
{
    FAKECAM_NEXT(dup_fn, dup);
    int copy = next_dup(fd);
    if (copy >= 0)
        if (auto h = find_handle(fd))
            return emu_dup(h, copy);
    return copy;
}

// Buffers of memory-mapped streaming; off_t is 64 bits wide here, so
// mmap64 is the same call.
void *mmap(void *addr, size_t len, int prot, int flags, int fd, off_t offset)
{
    if (auto h = find_handle(fd))
        return emu_mmap(h, addr, len, prot, flags, offset);
    return real::mmap(addr, len, prot, flags, fd, offset);
}

void *mmap64(void *addr, size_t len, int prot, int flags, int fd, off_t offset)
{
    return mmap(addr, len, prot, flags, fd, offset);
}

// A program that ends with _exit() runs no destructors: leave the
// statistics first.
void _exit(int status)
{
    finish_process();
    static std::atomic<exit_fn *> slot{nullptr};
    exit_fn *next_exit = next(slot, "_exit");
    if (next_exit)
        next_exit(status);
    for (;;)
        syscall(SYS_exit_group, status);
}

} // extern "C"
#pragma GCC visibility pop
