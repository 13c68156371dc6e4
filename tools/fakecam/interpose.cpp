// The C library entry points the library takes over.  Every call that does
// not concern an emulated device goes straight to the next definition (the
// C library, or a sanitizer runtime loaded before us), looked up once.
#include "fakecam.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/ioctl.h>
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
int ioctl(int fd, unsigned long req, void *arg)
{
    FAKECAM_NEXT(ioctl_fn, ioctl);
    return next_ioctl(fd, req, arg);
}
int close(int fd)
{
    FAKECAM_NEXT(close_fn, close);
    return next_close(fd);
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
    if (auto h = find_handle(fd))
        return emu_ioctl(h, req, arg);
    FAKECAM_NEXT(ioctl_fn, ioctl);
    return next_ioctl(fd, req, arg);
}

int close(int fd)
{
    if (auto h = find_handle(fd))
        return emu_close(h);
    FAKECAM_NEXT(close_fn, close);
    return next_close(fd);
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
