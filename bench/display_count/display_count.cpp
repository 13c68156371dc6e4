// Preloaded into a program (LD_PRELOAD) by the benchmarks: logs every
// picture it puts on the screen, so that frames shown can be counted where
// no simulator sees them (network streams).  One line a call, appended to
// the file named by DISPLAY_COUNT_LOG:
//     <CLOCK_MONOTONIC microseconds> ovl <width> <height>   overlay shown
//     <CLOCK_MONOTONIC microseconds> put <width> <height>   X image put
// (the viewer shows frames through overlays, converted by SDL or by libyuv;
// a picture libyuv converts is logged with the row length it is converted
// from, the stream's width when it is shown unscaled; a scaled picture's
// scaling pass is logged with the stream's size; GStreamer's X sink puts one
// image a frame).  Without the variable the library only passes the
// calls on.
#include <SDL/SDL_video.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

namespace {

int log_fd()
{
    static int fd = [] {
        const char *path = getenv("DISPLAY_COUNT_LOG");
        return path ? open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644) : -1;
    }();
    return fd;
}

void note(const char *what, int w, int h)
{
    if (log_fd() < 0)
        return;
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    char line[80];
    const int n = snprintf(line, sizeof line, "%lld %s %d %d\n",
                           (long long)t.tv_sec * 1000000 + t.tv_nsec / 1000, what, w, h);
    if (write(log_fd(), line, size_t(n)) < 0)
        return; // a lost line only lowers the count
}

template <typename Fn> Fn next(const char *name)
{
    return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

} // namespace

extern "C" {

__attribute__((visibility("default"))) int SDL_DisplayYUVOverlay(SDL_Overlay *ov, SDL_Rect *dst)
{
    using fn = int (*)(SDL_Overlay *, SDL_Rect *);
    static const fn real = next<fn>("SDL_DisplayYUVOverlay");
    const int r = real ? real(ov, dst) : -1;
    if (r == 0 && ov)
        note("ovl", ov->w, ov->h);
    return r;
}

// The viewer's own conversion of a window-sized overlay into the screen.
#define CONVERTER(name)                                                                           \
    __attribute__((visibility("default"))) int name(const uint8_t *y, int ys, const uint8_t *u,  \
                                                    int us, const uint8_t *v, int vs,            \
                                                    uint8_t *dst, int ds, int w, int h)          \
    {                                                                                             \
        using fn = int (*)(const uint8_t *, int, const uint8_t *, int, const uint8_t *, int,     \
                           uint8_t *, int, int, int);                                             \
        static const fn real = next<fn>(#name);                                                   \
        const int r = real ? real(y, ys, u, us, v, vs, dst, ds, w, h) : -1;                       \
        if (r == 0)                                                                               \
            note("ovl", ys, h);                                                                   \
        return r;                                                                                 \
    }
CONVERTER(J420ToARGB)
CONVERTER(J420ToABGR)

__attribute__((visibility("default"))) int I420Scale(const uint8_t *y, int ys, const uint8_t *u,
                                                     int us, const uint8_t *v, int vs, int w,
                                                     int h, uint8_t *dy, int dys, uint8_t *du,
                                                     int dus, uint8_t *dv, int dvs, int dw, int dh,
                                                     int filter)
{
    using fn = int (*)(const uint8_t *, int, const uint8_t *, int, const uint8_t *, int, int, int,
                       uint8_t *, int, uint8_t *, int, uint8_t *, int, int, int, int);
    static const fn real = next<fn>("I420Scale");
    const int r = real ? real(y, ys, u, us, v, vs, w, h, dy, dys, du, dus, dv, dvs, dw, dh, filter) : -1;
    if (r == 0)
        note("ovl", w, h);
    return r;
}

// X11 types as the C library sees them: pointers and an XID.
__attribute__((visibility("default"))) int XShmPutImage(void *dpy, unsigned long d, void *gc,
                                                        void *img, int sx, int sy, int dx, int dy,
                                                        unsigned w, unsigned h, int send_event)
{
    using fn = int (*)(void *, unsigned long, void *, void *, int, int, int, int, unsigned,
                       unsigned, int);
    static const fn real = next<fn>("XShmPutImage");
    note("put", int(w), int(h));
    return real ? real(dpy, d, gc, img, sx, sy, dx, dy, w, h, send_event) : 0;
}

__attribute__((visibility("default"))) int XPutImage(void *dpy, unsigned long d, void *gc,
                                                     void *img, int sx, int sy, int dx, int dy,
                                                     unsigned w, unsigned h)
{
    using fn = int (*)(void *, unsigned long, void *, void *, int, int, int, int, unsigned,
                       unsigned);
    static const fn real = next<fn>("XPutImage");
    note("put", int(w), int(h));
    return real ? real(dpy, d, gc, img, sx, sy, dx, dy, w, h) : 0;
}

} // extern "C"
