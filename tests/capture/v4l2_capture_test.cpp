// V4L2 driver.  The machine has no capture devices, so the tests make their
// own: a path "/dev/video-tirsk-<tag>", which the open() wrapper below turns
// into a link in the test's directory to a FIFO (readable when the test
// writes to it), whose capture ioctls the ioctl() wrapper answers.  Open,
// fcntl, epoll and close are the kernel's own; epoll waits are counted.
#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/epoll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <linux/videodev2.h>

#include <gtest/gtest.h>

#include "globals.h"
#include "harness.h"
#include "media.h"

namespace {

struct fake_dev {
    std::string path;
    int fd = -1; // the driver's descriptor
    uint32_t pixelformat = V4L2_PIX_FMT_YUV420;
    uint32_t width = 352, height = 288, sizeimage = 352 * 288 * 3 / 2;
    uint32_t try_sizeimage = 352 * 288 * 3 / 2;
    int interrupts = 0; // calls answered with EINTR first
    int peer = -1;      // the FIFO's writer
};

std::vector<fake_dev> fakes;
int epoll_waits = 0;
std::string dev_dir;
constexpr std::string_view DEV_PREFIX = "/dev/video-tirsk-";

fake_dev *fake_for(int fd)
{
    for (fake_dev &d : fakes)
        if (d.fd == fd && fd >= 0)
            return &d;
    return nullptr;
}

} // namespace

extern "C" int __real_open(const char *path, int flags, ...);
extern "C" int __wrap_open(const char *path, int flags, ...)
{
    va_list ap;
    va_start(ap, flags);
    const int mode = va_arg(ap, int);
    va_end(ap);
    if (!std::string_view(path).starts_with(DEV_PREFIX))
        return __real_open(path, flags, mode);
    const int fd = __real_open((dev_dir + "/" + (path + 5)).c_str(), flags, mode);
    for (fake_dev &d : fakes) // a descriptor number closed and taken again
        d.fd = d.path == path ? fd : d.fd == fd ? -1 : d.fd;
    return fd;
}

extern "C" int __real_ioctl(int fd, unsigned long request, ...);
extern "C" int __wrap_ioctl(int fd, unsigned long request, ...)
{
    va_list ap;
    va_start(ap, request);
    void *arg = va_arg(ap, void *);
    va_end(ap);
    fake_dev *d = fake_for(fd);
    if (!d)
        return __real_ioctl(fd, request, arg);
    if (d->interrupts > 0) {
        d->interrupts--;
        errno = EINTR;
        return -1;
    }
    if (request == VIDIOC_QUERYCAP) {
        static_cast<v4l2_capability *>(arg)->capabilities = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_READWRITE;
        return 0;
    }
    auto *fmt = static_cast<v4l2_format *>(arg);
    if ((request != VIDIOC_G_FMT && request != VIDIOC_TRY_FMT) ||
        fmt->type != V4L2_BUF_TYPE_VIDEO_CAPTURE) {
        errno = ENOTTY;
        return -1;
    }
    fmt->fmt.pix.pixelformat = d->pixelformat;
    fmt->fmt.pix.width = d->width;
    fmt->fmt.pix.height = d->height;
    fmt->fmt.pix.sizeimage = request == VIDIOC_G_FMT ? d->sizeimage : d->try_sizeimage;
    return 0;
}

extern "C" int __real_epoll_wait(int, epoll_event *, int, int);
extern "C" int __wrap_epoll_wait(int epfd, epoll_event *events, int max, int timeout)
{
    epoll_waits++;
    return __real_epoll_wait(epfd, events, max, timeout);
}

namespace {

class V4l2Capture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(v4l_init(), 1);
        dev_dir = dir_.path();
        std::strcpy(parent_.prefix, "cam[07.0]");
        epoll_waits = 0;
        fakes.reserve(8); // references handed out stay valid
    }
    void TearDown() override
    {
        for (void *&h : handles_)
            v4l2_capture_drv.destroy(&h);
        for (fake_dev &d : fakes)
            close(d.peer);
        fakes.clear();
    }
    // A device that becomes readable when the test writes to its peer.
    fake_dev &device(const std::string &tag)
    {
        const std::string fifo = dir_.file(tag);
        EXPECT_EQ(mkfifo(fifo.c_str(), 0600), 0);
        fake_dev d;
        d.path = std::string(DEV_PREFIX) + tag;
        d.peer = open(fifo.c_str(), O_RDWR | O_NONBLOCK);
        EXPECT_EQ(symlink(fifo.c_str(), dir_.file(d.path.substr(5)).c_str()), 0);
        return fakes.emplace_back(d);
    }
    void *handle(const char *path)
    {
        void *h = v4l2_capture_drv.create(&parent_, path);
        return h ? handles_.emplace_back(h) : h;
    }
    int poll(void *h, int64_t now, int timeout_ms = 4000, media_frame *out = nullptr)
    {
        media_frame frame{};
        return v4l2_capture_drv.poll(h, 1, out ? out : &frame, now, timeout_ms);
    }

    testsupport::TempDir dir_;
    log_ctx parent_{};
    std::vector<void *> handles_;
    int64_t tick_ = 1000000;
};

TEST_F(V4l2Capture, ReadableDevicesShareOneWaitPerTickDeliverOnceAndForgetEventsOnRestart)
{
    fake_dev &yuv = device("yuv");
    yuv.try_sizeimage = 160000; // the size after TRY_FMT is the one used
    yuv.interrupts = 1;         // an interrupted ioctl is repeated
    fake_dev &grey = device("grey");
    grey.pixelformat = V4L2_PIX_FMT_GREY;
    grey.width = 64, grey.height = 48, grey.sizeimage = grey.try_sizeimage = 64 * 48;
    void *a = handle(yuv.path.c_str());
    void *b = handle(grey.path.c_str());
    g_monotime_microsec = tick_;
    ASSERT_EQ(v4l2_capture_drv.play(a), 1);
    ASSERT_EQ(v4l2_capture_drv.play(b), 1);
    EXPECT_EQ(v4l2_capture_drv.get_state(a), SRC_STATE_PLAYING);
    EXPECT_EQ(poll(a, ++tick_), POLL_NOTHING);
    EXPECT_EQ(poll(b, tick_), POLL_NOTHING);

    ASSERT_EQ(write(yuv.peer, "y", 1), 1);
    ASSERT_EQ(write(grey.peer, "g", 1), 1);
    media_frame fa{}, fb{};
    EXPECT_EQ(poll(a, ++tick_, 4000, &fa), POLL_FRAME);
    EXPECT_EQ(poll(a, tick_), POLL_NOTHING); // its event is consumed
    EXPECT_EQ(poll(b, tick_, 4000, &fb), POLL_FRAME);
    EXPECT_EQ(epoll_waits, 2);
    EXPECT_EQ(std::vector<uint32_t>({fa.format, fa.width, fa.height, fa.size, fb.format, fb.size}),
              std::vector<uint32_t>({MEDIA_FMT_I420, 352, 288, 160000, MEDIA_FMT_GREY, 64 * 48}));
    EXPECT_EQ(fa.data, nullptr);
    EXPECT_EQ(fa.pts, uint64_t(tick_) * 1000);

    // The consumer reads from the descriptor, which never blocks.
    char c = 0;
    EXPECT_EQ(read(fa.fd, &c, 1), 1);
    EXPECT_EQ(read(fa.fd, &c, 1), -1);
    EXPECT_EQ(errno, EAGAIN);

    // The wait of the next tick, made for a, sees b (still unread)
    // readable; b restarted before its own poll sees no stale event.
    EXPECT_EQ(poll(a, ++tick_), POLL_NOTHING);
    v4l2_capture_drv.stop(b);
    ASSERT_EQ(v4l2_capture_drv.play(b), 1);
    EXPECT_EQ(poll(b, tick_), POLL_NOTHING);
    EXPECT_EQ(poll(b, ++tick_), POLL_FRAME);
}

TEST_F(V4l2Capture, ReadTimeOutCountsFromPlayThenFromTheLastFrame)
{
    fake_dev &d = device("timeout");
    void *h = handle(d.path.c_str());
    g_monotime_microsec = tick_;
    ASSERT_EQ(v4l2_capture_drv.play(h), 1);
    testsupport::LogCapture log(3);
    EXPECT_EQ(poll(h, tick_ + 4'000'000), POLL_NOTHING) << "exactly the time-out is not past it";
    EXPECT_EQ(poll(h, tick_ + 10'000'000, 0), POLL_NOTHING) << "0: no time-out";
    EXPECT_EQ(poll(h, tick_ + 4'000'001), POLL_READ_TIMEOUT);
    EXPECT_TRUE(log.contains(d.path + " -> read timeout (4000 ms)")) << log.text();
    EXPECT_EQ(v4l2_capture_drv.get_state(h), SRC_STATE_STOPPED);
    EXPECT_EQ(poll(h, tick_ + 4'000'002), POLL_NOTHING);

    tick_ += 20'000'000;
    g_monotime_microsec = tick_;
    ASSERT_EQ(v4l2_capture_drv.play(h), 1);
    ASSERT_EQ(write(d.peer, "x", 1), 1);
    EXPECT_EQ(poll(h, tick_ + 3'000'000), POLL_FRAME);
    char c;
    ASSERT_EQ(read(d.peer, &c, 1), 1);
    EXPECT_EQ(poll(h, tick_ + 7'000'000), POLL_NOTHING);
    EXPECT_EQ(poll(h, tick_ + 7'000'001), POLL_READ_TIMEOUT);
    EXPECT_EQ(log.count("<3>"), 2) << "a new outage after a frame is news";
}

} // namespace
