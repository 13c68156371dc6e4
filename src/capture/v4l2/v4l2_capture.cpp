// V4L2 driver: local capture devices read directly.  A device is opened,
// checked for a capture interface and a planar 4:2:0 or grey format, and
// then only watched for readability; the renderer reads each picture
// straight from the descriptor.  The driver never sets a format, requests
// buffers or starts streaming: the device keeps what the recording server
// gave it.  One non-blocking epoll wait per tick serves all devices.
#include <array>
#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include <fcntl.h>
#include <sys/epoll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <linux/videodev2.h>

#include "conf.h"
#include "globals.h"
#include "media.h"

namespace {

constexpr std::string_view device_prefix = "/dev/video";
constexpr size_t dev_path_size = 1024;
constexpr int max_events = 300;

// Codes of v4l2_handle::last_err.
enum v4l2_failure : int32_t {
    V4L2_ERR_NONE = 0,
    V4L2_ERR_OPEN = 1,
    V4L2_ERR_NONBLOCK_OR_EPOLL = 2,
    V4L2_ERR_CLOSE = 3,
    V4L2_ERR_QUERYCAP = 4,
    V4L2_ERR_NO_CAPTURE = 5,
    V4L2_ERR_FORMAT_QUERY = 6,
    V4L2_ERR_PIXELFORMAT = 7,
    V4L2_ERR_EPOLL_WAIT = 8,
    V4L2_ERR_HANGUP = 9,
    V4L2_ERR_READ_TIMEOUT = 10,
};

struct v4l2_handle {
    log_ctx log;             // "<-- v4l2", child of the source's context
    char dev[dev_path_size]; // device path
    int32_t fd;              // -1 = closed
    int32_t last_err;        // code of the last failure, 0 = none
    epoll_event reg;         // EPOLLIN, data = this handle
    v4l2_capability cap;     // VIDIOC_QUERYCAP
    v4l2_format fmt;         // VIDIOC_G_FMT, then VIDIOC_TRY_FMT
    uint64_t frame_size;     // picture size after VIDIOC_TRY_FMT
    int64_t t_last_frame;    // tick of the last frame (or of play)
    // A failure outside poll (play, stop) that the next poll of the closed
    // device still has to report.  Failures that poll returned itself are
    // not reported a second time.
    int32_t fail_unreported;
};

// Process-wide: one epoll set and one wait per tick for every device.
struct v4l2_driver_state {
    int epfd = -1;
    std::array<epoll_event, max_events> events{};
    int nevents = 0;                 // result of the last wait
    int64_t wait_tick = INT64_MIN;   // `now` of the last wait
};

constinit v4l2_driver_state drv_state;

template <typename Call>
auto retry_eintr(Call call)
{
    decltype(call()) r;
    do
        r = call();
    while (r == -1 && errno == EINTR);
    return r;
}

int xioctl(int fd, unsigned long request, void *arg)
{
    return retry_eintr([&] { return ::ioctl(fd, request, arg); });
}

// errno and its text for "#%d(%s)".
struct sys_error {
    int no;
    char buf[200];
    const char *text;
    explicit sys_error(int e) : no(e), buf{}, text(strerror_r(e, buf, sizeof buf)) {}
};

void debug(const v4l2_handle *h, int verbosity, const char *fmt, ...)
    __attribute__((format(printf, 3, 4)));
void debug(const v4l2_handle *h, int verbosity, const char *fmt, ...)
{
    if (!verbose_at(verbosity))
        return;
    char line[dev_path_size + 128];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(line, sizeof line, fmt, ap);
    va_end(ap);
    tirsklog_r(&h->log, 7, "%s", line);
}

// Log a failure: error level, or info level when it repeats the previous
// failure, so that a device that keeps failing the same way does not flood
// the log with errors.
void fail(v4l2_handle *h, int32_t code, const char *fmt, ...)
    __attribute__((format(printf, 3, 4)));
void fail(v4l2_handle *h, int32_t code, const char *fmt, ...)
{
    char line[dev_path_size + 256];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(line, sizeof line, fmt, ap);
    va_end(ap);
    const int cause = errno; // the caller reports it after us
    tirsklog_r(&h->log, code == h->last_err ? 6 : 3, "%s", line);
    errno = cause;
    h->last_err = code;
    h->fail_unreported = 1;
}

void close_quietly(int fd)
{
    // On Linux the descriptor is gone even when close reports EINTR.  The
    // failure that made us close stays in errno for the caller.
    const int cause = errno;
    ::close(fd);
    errno = cause;
}

int setnonblocking(int fd)
{
    const int flags = retry_eintr([&] { return ::fcntl(fd, F_GETFL); });
    if (flags == -1)
        return 0;
    if (retry_eintr([&] { return ::fcntl(fd, F_SETFL, flags | O_NONBLOCK); }) ==
        -1)
        return 0;
    return 1;
}

bool accepted_pixelformat(uint32_t fourcc)
{
    return fourcc == V4L2_PIX_FMT_YUV420 || fourcc == V4L2_PIX_FMT_GREY;
}

int ___v4l2_open(v4l2_handle *h)
{
    const int fd = retry_eintr([&] { return ::open(h->dev, O_RDWR | O_CLOEXEC); });
    if (fd < 0) {
        const sys_error e(errno);
        fail(h, V4L2_ERR_OPEN, "could not open device \"%s\" -> #%d(%s)",
             h->dev, e.no, e.text);
        return 0;
    }

    std::memset(&h->cap, 0, sizeof h->cap);
    if (xioctl(fd, VIDIOC_QUERYCAP, &h->cap) == -1) {
        const sys_error e(errno);
        fail(h, V4L2_ERR_QUERYCAP, "ioctl(\"%s\", QUERYCAP) failed -> #%d(%s)",
             h->dev, e.no, e.text);
        close_quietly(fd);
        return 0;
    }
    // The device-wide capability word: a node of a multi-node device may
    // state its own interfaces in device_caps, but the server's capture
    // devices are single-node.
    if (!(h->cap.capabilities & V4L2_CAP_VIDEO_CAPTURE)) {
        errno = EINVAL;
        fail(h, V4L2_ERR_NO_CAPTURE,
             "device \"%s\" does not support CAPTURE interface", h->dev);
        close_quietly(fd);
        return 0;
    }
    if (!(h->cap.capabilities & (V4L2_CAP_READWRITE | V4L2_CAP_STREAMING))) {
        errno = EINVAL;
        fail(h, V4L2_ERR_NO_CAPTURE,
             "v4l2 device \"%s\" does not support at least one STREAMING or "
             "READWRITE interface",
             h->dev);
        close_quietly(fd);
        return 0;
    }

    std::memset(&h->fmt, 0, sizeof h->fmt);
    h->fmt.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (xioctl(fd, VIDIOC_G_FMT, &h->fmt) == -1) {
        const sys_error e(errno);
        fail(h, V4L2_ERR_FORMAT_QUERY, "ioctl(\"%s\", G_FMT) failed -> #%d(%s)",
             h->dev, e.no, e.text);
        close_quietly(fd);
        return 0;
    }
    if (!accepted_pixelformat(h->fmt.fmt.pix.pixelformat)) {
        errno = EINVAL; // not a system failure: nothing else to report
        fail(h, V4L2_ERR_PIXELFORMAT, "unexpected pixelformat 0x%X",
             h->fmt.fmt.pix.pixelformat);
        close_quietly(fd);
        return 0;
    }
    h->frame_size = h->fmt.fmt.pix.sizeimage;
    if (xioctl(fd, VIDIOC_TRY_FMT, &h->fmt) == -1) {
        const sys_error e(errno);
        fail(h, V4L2_ERR_FORMAT_QUERY,
             "ioctl(\"%s\", TRY_FMT) failed -> #%d(%s)", h->dev, e.no, e.text);
        close_quietly(fd);
        return 0;
    }
    h->frame_size = h->fmt.fmt.pix.sizeimage;
    h->fd = fd;
    return 1;
}

int ___v4l2_close(v4l2_handle *h)
{
    if (h->fd < 0)
        return 1;
    // Not repeated on EINTR: Linux has released the descriptor by then, and
    // a second close could hit a descriptor that a framework thread has
    // just opened under the same number.
    if (::close(h->fd) == -1 && errno != EINTR) {
        const sys_error e(errno);
        fail(h, V4L2_ERR_CLOSE, "could not close device \"%s\" -> #%d(%s)",
             h->dev, e.no, e.text);
        return 0;
    }
    h->fd = -1;
    return 1;
}

// Take the device out of the epoll set and forget its events of this tick,
// so that a later poll in the same tick cannot act on a closed device (or
// on a new one that reuses the handle).
void epoll_remove(v4l2_handle *h)
{
    if (h->fd >= 0 && drv_state.epfd >= 0) {
        epoll_event ev = h->reg; // non-null for kernels before 2.6.9
        ::epoll_ctl(drv_state.epfd, EPOLL_CTL_DEL, h->fd, &ev);
    }
    for (epoll_event &ev : drv_state.events) {
        if (ev.data.ptr == h) {
            ev.events = 0;
            ev.data.ptr = nullptr;
        }
    }
}

int v4l2_get_state(void *handle)
{
    const auto *h = static_cast<const v4l2_handle *>(handle);
    return h && h->fd >= 0 ? SRC_STATE_PLAYING : SRC_STATE_STOPPED;
}

int v4l2_probe(void *, int, uint32_t *)
{
    return 0;
}

int v4l2_play(void *handle)
{
    auto *h = static_cast<v4l2_handle *>(handle);
    if (!h)
        return 0;
    debug(h, 2, "+++ PLAY %s +++", h->dev);
    // Playing an open device again must not leak its descriptor or
    // register it twice.
    if (h->fd >= 0)
        return 1;
    if (!___v4l2_open(h))
        return 0;
    if (!setnonblocking(h->fd)) {
        const sys_error e(errno);
        fail(h, V4L2_ERR_NONBLOCK_OR_EPOLL,
             "setnonblocking(#%d(\"%s\")) -> #%d(%s)", h->fd, h->dev, e.no,
             e.text);
        ___v4l2_close(h);
        return 0;
    }
    h->reg.events = EPOLLIN;
    h->reg.data.ptr = h;
    if (::epoll_ctl(drv_state.epfd, EPOLL_CTL_ADD, h->fd, &h->reg) == -1) {
        const sys_error e(errno);
        fail(h, V4L2_ERR_NONBLOCK_OR_EPOLL,
             "epoll_ctl(#%d(\"%s\"), CTL_ADD) -> #%d(%s)", h->fd, h->dev, e.no,
             e.text);
        ___v4l2_close(h);
        return 0;
    }
    // The read time-out of a new run counts from its start: a device may
    // need a moment before its first picture.
    h->t_last_frame = g_monotime_microsec;
    return 1;
}

int v4l2_pause(void *handle)
{
    if (handle)
        debug(static_cast<v4l2_handle *>(handle), 2,
              "+++ PAUSE uneplemented +++");
    return 1;
}

void v4l2_stop(void *handle)
{
    auto *h = static_cast<v4l2_handle *>(handle);
    if (!h)
        return;
    debug(h, 2, "+++ STOP %s +++", h->dev);
    if (h->fd >= 0) {
        epoll_remove(h);
        ___v4l2_close(h);
    }
}

int v4l2_stop_wait(void *handle)
{
    auto *h = static_cast<v4l2_handle *>(handle);
    if (!h)
        return 1;
    v4l2_stop(h);
    debug(h, 2, "+++ WAIT STOPPED +++");
    return 1;
}

// A failure found by poll itself: the poll result reports it.
int drop_device(v4l2_handle *h, int result)
{
    epoll_remove(h);
    ___v4l2_close(h);
    h->fail_unreported = 0;
    return result;
}

void fill_frame(const v4l2_handle *h, media_frame *frame, int64_t now)
{
    frame->format = h->fmt.fmt.pix.pixelformat == V4L2_PIX_FMT_GREY
                        ? MEDIA_FMT_GREY
                        : MEDIA_FMT_I420;
    frame->width = h->fmt.fmt.pix.width;
    frame->height = h->fmt.fmt.pix.height;
    frame->data = nullptr;
    frame->size = static_cast<uint32_t>(h->frame_size);
    frame->fd = h->fd;
    frame->pts = static_cast<uint64_t>(now) * 1000;
    frame->duration = MEDIA_NO_TIME;
    frame->drv_buf = nullptr;
    frame->drv_map = nullptr;
}

int v4l2_poll(void *handle, int, media_frame *frame, int64_t now,
              int timeout_ms)
{
    auto *h = static_cast<v4l2_handle *>(handle);
    if (!h || !frame)
        return POLL_NOTHING;
    debug(h, 3, "+++ POLL +++");

    if (h->fd < 0) {
        if (h->fail_unreported) {
            h->fail_unreported = 0;
            h->last_err = V4L2_ERR_NONE;
            return POLL_ERROR;
        }
        return POLL_NOTHING;
    }

    if (now != drv_state.wait_tick) {
        drv_state.wait_tick = now;
        drv_state.nevents = retry_eintr([] {
            return ::epoll_wait(drv_state.epfd, drv_state.events.data(),
                                max_events, 0);
        });
        if (drv_state.nevents < 0) {
            const sys_error e(errno);
            fail(h, V4L2_ERR_EPOLL_WAIT,
                 "epoll_wait(%d, %p, %d, 0), CTL_ADD) -> #%d(%s)",
                 drv_state.epfd, static_cast<void *>(drv_state.events.data()),
                 max_events, e.no, e.text);
            h->fail_unreported = 0;
            return POLL_ERROR;
        }
    }

    for (int i = 0; i < drv_state.nevents; i++) {
        epoll_event &ev = drv_state.events[static_cast<size_t>(i)];
        if (ev.data.ptr != h)
            continue;
        const uint32_t mask = ev.events;
        ev.events = 0;
        if ((mask & (EPOLLERR | EPOLLHUP)) == (EPOLLERR | EPOLLHUP)) {
            // No call failed here: the device itself reported the end.
            fail(h, V4L2_ERR_HANGUP,
                 "device \"%s\" reported an error and hung up (events 0x%X)",
                 h->dev, mask);
            return drop_device(h, POLL_ERROR);
        }
        if (mask & EPOLLIN) {
            fill_frame(h, frame, now);
            h->t_last_frame = now;
            // The device works again: its next outage, even one like the
            // last, is news and is logged as an error with its cause.
            h->last_err = V4L2_ERR_NONE;
            return POLL_FRAME;
        }
    }

    if (timeout_ms <= 0 || !h->reg.data.ptr)
        return POLL_NOTHING;
    if (now - h->t_last_frame > static_cast<int64_t>(timeout_ms) * 1000) {
        fail(h, V4L2_ERR_READ_TIMEOUT, "%s -> read timeout (%d ms)", h->dev,
             timeout_ms);
        return drop_device(h, POLL_READ_TIMEOUT);
    }
    return POLL_NOTHING;
}

void *v4l2_create(const log_ctx *parent, const char *path)
{
    if (!path || !std::string_view(path).starts_with(device_prefix)) {
        errno = EINVAL;
        return nullptr;
    }
    // A cut path would name another device.
    if (strnlen(path, dev_path_size) >= dev_path_size) {
        tirsklog_r(parent, 3, "device path too long (%zu bytes, at most %zu)",
                   strlen(path), dev_path_size - 1);
        errno = EINVAL;
        return nullptr;
    }
    auto *h = static_cast<v4l2_handle *>(std::calloc(1, sizeof(v4l2_handle)));
    if (!h)
        return nullptr;
    h->fd = -1;
    tirsklog_set_context_r(&h->log, parent, -1, 0, "<-- %s", "v4l2");
    std::memcpy(h->dev, path, std::strlen(path) + 1);
    debug(h, 2, "+++ NEW (%p) %s +++", static_cast<void *>(h), h->dev);
    return h;
}

int v4l2_destroy(void **handle)
{
    if (!handle || !*handle)
        return 1;
    auto *h = static_cast<v4l2_handle *>(*handle);
    v4l2_stop_wait(h);
    debug(h, 2, "+++ DESTROY +++");
    std::free(h);
    *handle = nullptr;
    return 1;
}

} // namespace

extern "C" {

int v4l_init(void)
{
    if (drv_state.epfd >= 0)
        return 1;
    drv_state.epfd = ::epoll_create1(EPOLL_CLOEXEC);
    if (drv_state.epfd < 0) {
        std::perror("epoll_create1");
        return 0;
    }
    drv_state.events.fill(epoll_event{});
    drv_state.nevents = 0;
    drv_state.wait_tick = INT64_MIN;
    return 1;
}

void v4l_fini(void)
{
    if (drv_state.epfd >= 0) {
        close_quietly(drv_state.epfd);
        drv_state.epfd = -1;
    }
    drv_state.nevents = 0;
    drv_state.wait_tick = INT64_MIN;
}

extern const capture_drv v4l2_capture_drv;
constinit const capture_drv v4l2_capture_drv = {
    .name = "v4l2",
    .get_state = v4l2_get_state,
    .probe = v4l2_probe,
    .play = v4l2_play,
    .pause = v4l2_pause,
    .stop = v4l2_stop,
    .stop_wait = v4l2_stop_wait,
    .poll = v4l2_poll,
    .frame_release = nullptr,
    .create = v4l2_create,
    .destroy = v4l2_destroy,
};

} // extern "C"
