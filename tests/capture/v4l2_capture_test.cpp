// V4L2 driver.  The machine has no capture devices, so the tests make their
// own: a device path "/dev/video-tirsk-<tag>", which the open() wrapper
// below turns into a link in the test's directory, to a FIFO (readable when the test
// writes to it) or a pseudo-terminal (which hangs up with EPOLLERR and
// EPOLLHUP when its master closes), whose capture ioctls are answered by the
// wrapper below.  Everything else (open, fcntl, epoll, close) is the
// kernel's own.
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
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
#include "log_recorder.h"
#include "media.h"

namespace fs = std::filesystem;

namespace {

struct fake_dev {
    std::string path; // the device path the driver opens
    std::string node; // what it points to
    dev_t st_dev = 0;
    ino_t st_ino = 0;
    uint32_t caps = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_READWRITE;
    uint32_t pixelformat = V4L2_PIX_FMT_YUV420;
    uint32_t width = 352, height = 288;
    uint32_t sizeimage = 352 * 288 * 3 / 2;
    uint32_t try_sizeimage = 352 * 288 * 3 / 2;
    unsigned long failing_request = 0; // answered with EIO
    int interrupts = 0;                // calls answered with EINTR first
    int peer = -1; // writer of the FIFO or master of the terminal
};

std::vector<fake_dev *> fakes;
int epoll_waits = 0;
std::string dev_dir; // where the stand-in device paths lead
constexpr std::string_view DEV_PREFIX = "/dev/video-tirsk-";

fake_dev *fake_for(int fd)
{
    struct stat st{};
    if (fstat(fd, &st) != 0)
        return nullptr;
    for (fake_dev *d : fakes)
        if (d->st_dev == st.st_dev && d->st_ino == st.st_ino)
            return d;
    return nullptr;
}

int open_fds()
{
    int n = 0;
    for ([[maybe_unused]] const auto &e : fs::directory_iterator("/proc/self/fd"))
        n++;
    return n;
}

} // namespace

extern "C" int __real_open(const char *path, int flags, ...);
extern "C" int __wrap_open(const char *path, int flags, ...)
{
    va_list ap;
    va_start(ap, flags);
    const int mode = va_arg(ap, int);
    va_end(ap);
    const std::string_view p(path);
    if (!p.starts_with(DEV_PREFIX))
        return __real_open(path, flags, mode);
    return __real_open((dev_dir + "/" + std::string(p.substr(5))).c_str(), flags, mode);
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
    if (request == d->failing_request) {
        errno = EIO;
        return -1;
    }
    switch (request) {
    case VIDIOC_QUERYCAP: {
        auto *cap = static_cast<v4l2_capability *>(arg);
        std::strcpy(reinterpret_cast<char *>(cap->driver), "test");
        cap->capabilities = d->caps;
        return 0;
    }
    case VIDIOC_G_FMT:
    case VIDIOC_TRY_FMT: {
        auto *fmt = static_cast<v4l2_format *>(arg);
        if (fmt->type != V4L2_BUF_TYPE_VIDEO_CAPTURE) {
            errno = EINVAL;
            return -1;
        }
        fmt->fmt.pix.pixelformat = d->pixelformat;
        fmt->fmt.pix.width = d->width;
        fmt->fmt.pix.height = d->height;
        fmt->fmt.pix.sizeimage =
            request == VIDIOC_G_FMT ? d->sizeimage : d->try_sizeimage;
        return 0;
    }
    default:
        errno = ENOTTY;
        return -1;
    }
}

extern "C" int __real_epoll_wait(int, epoll_event *, int, int);
extern "C" int __wrap_epoll_wait(int epfd, epoll_event *events, int max,
                                 int timeout)
{
    epoll_waits++;
    return __real_epoll_wait(epfd, events, max, timeout);
}

namespace {

using levels = std::vector<int>;

class V4l2Capture : public ::testing::Test {
protected:
    log_ctx parent{};
    testsupport::TempDir dir_;
    std::string tmp;
    std::vector<std::unique_ptr<fake_dev>> devs;
    std::vector<void *> handles;
    int64_t tick = 1000000;

    void SetUp() override
    {
        ASSERT_EQ(v4l_init(), 1);
        tmp = dev_dir = dir_.path();
        std::strcpy(parent.prefix, "cam[07.0]");
        epoll_waits = 0;
        log_clear();
    }
    void TearDown() override
    {
        for (void *&h : handles)
            v4l2_capture_drv.destroy(&h);
        for (auto &d : devs)
            if (d->peer >= 0)
                close(d->peer);
        fakes.clear();
    }

    std::string dev_path(const char *tag)
    {
        return std::string(DEV_PREFIX) + tag;
    }

    fake_dev &link_fake(const char *tag, const std::string &node, int peer)
    {
        auto d = std::make_unique<fake_dev>();
        d->path = dev_path(tag);
        d->node = node;
        d->peer = peer;
        struct stat st{};
        EXPECT_EQ(stat(node.c_str(), &st), 0);
        d->st_dev = st.st_dev;
        d->st_ino = st.st_ino;
        const std::string link = tmp + "/" + d->path.substr(5);
        EXPECT_EQ(symlink(node.c_str(), link.c_str()), 0) << link;
        fakes.push_back(d.get());
        devs.push_back(std::move(d));
        return *devs.back();
    }

    // A device that becomes readable when the test writes to it.
    fake_dev &fifo_dev(const char *tag)
    {
        const std::string fifo = tmp + "/" + tag;
        EXPECT_EQ(mkfifo(fifo.c_str(), 0600), 0);
        return link_fake(tag, fifo, open(fifo.c_str(), O_RDWR | O_NONBLOCK));
    }

    // A device that hangs up when the test closes its master side.
    fake_dev &tty_dev(const char *tag)
    {
        const int master = posix_openpt(O_RDWR | O_NOCTTY);
        EXPECT_GE(master, 0);
        EXPECT_EQ(grantpt(master), 0);
        EXPECT_EQ(unlockpt(master), 0);
        return link_fake(tag, ptsname(master), master);
    }

    void *handle(const std::string &path)
    {
        void *h = v4l2_capture_drv.create(&parent, path.c_str());
        if (h)
            handles.push_back(h);
        return h;
    }

    int poll(void *h, int64_t now, int timeout_ms = 4000,
             media_frame *out = nullptr)
    {
        media_frame frame{};
        return v4l2_capture_drv.poll(h, 1, out ? out : &frame, now, timeout_ms);
    }

    static levels levels_of(const std::vector<logged_line> &lines)
    {
        levels out;
        for (const auto &l : lines)
            out.push_back(l.level);
        return out;
    }
};

TEST_F(V4l2Capture, CreateTakesDevicePathsOnlyAndWhole)
{
    void *h = handle("/dev/video3");
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(v4l2_capture_drv.get_state(h), SRC_STATE_STOPPED);
    std::string longest = "/dev/video";
    longest.resize(1023, '9');
    EXPECT_NE(handle(longest), nullptr);
    EXPECT_TRUE(log_taken().empty());
    // One byte more would be cut into the name of another device.
    const std::string too_long = longest + "9";
    for (const char *path : {"/dev/vbi0", " /dev/video3", "", too_long.c_str()}) {
        errno = 0;
        EXPECT_EQ(v4l2_capture_drv.create(&parent, path), nullptr) << path;
        EXPECT_EQ(errno, EINVAL);
    }
    EXPECT_EQ(levels_of(log_taken()), levels{3}); // the long one is told
    EXPECT_EQ(v4l2_capture_drv.create(&parent, nullptr), nullptr);
    void *none = nullptr;
    EXPECT_EQ(v4l2_capture_drv.destroy(&none), 1);
}

TEST_F(V4l2Capture, AMissingDeviceLogsOneErrorThenInfoAndIsReportedOnce)
{
    const std::string path = dev_path("missing");
    void *h = handle(path);
    ASSERT_NE(h, nullptr);
    for (int i = 0; i < 3; i++)
        EXPECT_EQ(v4l2_capture_drv.play(h), 0);
    const auto lines = log_taken();
    EXPECT_EQ(levels_of(lines), (levels{3, 6, 6}));
    EXPECT_EQ(lines[0].text, "could not open device \"" + path +
                                 "\" -> #2(No such file or directory)");
    EXPECT_EQ(lines[2].text, lines[0].text);
    EXPECT_STREQ(lines[0].ctx->prefix, "<-- v4l2");
    EXPECT_EQ(lines[0].ctx->parent, &parent);
    EXPECT_EQ(v4l2_capture_drv.get_state(h), SRC_STATE_STOPPED);

    EXPECT_EQ(poll(h, ++tick), POLL_ERROR);
    EXPECT_EQ(poll(h, ++tick), POLL_NOTHING);
    // Reported: the next failure is news again.
    EXPECT_EQ(v4l2_capture_drv.play(h), 0);
    EXPECT_EQ(levels_of(log_taken()), levels{3});
}

TEST_F(V4l2Capture, AFileThatIsNoDeviceFailsTheCapabilityQuery)
{
    const fake_dev &null_dev = link_fake("null", "/dev/null", -1);
    fakes.clear(); // the kernel answers for /dev/null
    void *h = handle(null_dev.path);
    const int fds = open_fds();
    EXPECT_EQ(v4l2_capture_drv.play(h), 0);
    const auto lines = log_taken();
    ASSERT_EQ(levels_of(lines), levels{3});
    EXPECT_EQ(lines[0].text, "ioctl(\"" + null_dev.path +
                                 "\", QUERYCAP) failed -> #25(Inappropriate "
                                 "ioctl for device)");
    EXPECT_EQ(open_fds(), fds);
}

TEST_F(V4l2Capture, DevicesThatCannotServeAreRefusedWithTheirReason)
{
    fake_dev &d = fifo_dev("refused");
    void *h = handle(d.path);
    const int fds = open_fds();
    const std::string q = "\"" + d.path + "\"";
    struct {
        uint32_t caps, pixelformat;
        unsigned long failing;
        std::string text;
        int level;
    } cases[] = {
        {V4L2_CAP_READWRITE, V4L2_PIX_FMT_YUV420, 0,
         "device " + q + " does not support CAPTURE interface", 3},
        // Same failure code, other reason: still a repeat.
        {V4L2_CAP_VIDEO_CAPTURE, V4L2_PIX_FMT_YUV420, 0,
         "v4l2 device " + q +
             " does not support at least one STREAMING or READWRITE interface",
         6},
        {V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_READWRITE, V4L2_PIX_FMT_YUYV, 0,
         "unexpected pixelformat 0x56595559", 3},
        {V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_READWRITE, V4L2_PIX_FMT_YUV420,
         VIDIOC_G_FMT, "ioctl(" + q + ", G_FMT) failed -> #5(Input/output error)",
         3},
        {V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_READWRITE, V4L2_PIX_FMT_YUV420,
         VIDIOC_TRY_FMT,
         "ioctl(" + q + ", TRY_FMT) failed -> #5(Input/output error)", 6},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        d.caps = c.caps;
        d.pixelformat = c.pixelformat;
        d.failing_request = c.failing;
        EXPECT_EQ(v4l2_capture_drv.play(h), 0);
        const auto lines = log_taken();
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0].text, c.text);
        EXPECT_EQ(lines[0].level, c.level);
        EXPECT_EQ(v4l2_capture_drv.get_state(h), SRC_STATE_STOPPED);
        EXPECT_EQ(open_fds(), fds);
    }
    d.failing_request = 0; // the caller prints errno after a refusal
    d.pixelformat = V4L2_PIX_FMT_YUYV;
    errno = EAGAIN;
    EXPECT_EQ(v4l2_capture_drv.play(h), 0);
    EXPECT_EQ(errno, EINVAL);
    log_taken();
    EXPECT_EQ(poll(h, ++tick), POLL_ERROR);
    EXPECT_EQ(poll(h, ++tick), POLL_NOTHING);

    // Streaming I/O alone is enough; the device is never switched to it.
    d.caps = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;
    d.failing_request = 0;
    d.pixelformat = V4L2_PIX_FMT_GREY;
    EXPECT_EQ(v4l2_capture_drv.play(h), 1);
    EXPECT_TRUE(log_taken().empty());
}

TEST_F(V4l2Capture, ReadableDevicesShareOneWaitPerTickAndDeliverOnce)
{
    fake_dev &yuv = fifo_dev("yuv");
    yuv.try_sizeimage = 160000; // the size after TRY_FMT is the one used
    yuv.interrupts = 1;         // an interrupted ioctl is repeated
    fake_dev &grey = fifo_dev("grey");
    grey.pixelformat = V4L2_PIX_FMT_GREY;
    grey.width = 64;
    grey.height = 48;
    grey.sizeimage = grey.try_sizeimage = 64 * 48;
    void *a = handle(yuv.path);
    void *b = handle(grey.path);
    g_monotime_microsec = tick;
    ASSERT_EQ(v4l2_capture_drv.play(a), 1);
    ASSERT_EQ(v4l2_capture_drv.play(b), 1);
    ASSERT_EQ(v4l2_capture_drv.play(a), 1); // already open: no second open
    EXPECT_EQ(v4l2_capture_drv.get_state(a), SRC_STATE_PLAYING);
    EXPECT_TRUE(log_taken().empty());

    EXPECT_EQ(poll(a, ++tick), POLL_NOTHING);
    EXPECT_EQ(poll(b, tick), POLL_NOTHING);

    ASSERT_EQ(write(yuv.peer, "y", 1), 1);
    ASSERT_EQ(write(grey.peer, "g", 1), 1);
    media_frame fa{}, fb{};
    fa.media_type = 77;
    ++tick;
    EXPECT_EQ(poll(a, tick, 4000, &fa), POLL_FRAME);
    EXPECT_EQ(poll(a, tick), POLL_NOTHING); // its event is consumed
    EXPECT_EQ(poll(b, tick, 4000, &fb), POLL_FRAME);
    EXPECT_EQ(epoll_waits, 2);

    EXPECT_EQ(std::vector<uint32_t>({fa.media_type, fa.format, fa.width,
                                     fa.height, fa.size}),
              std::vector<uint32_t>({77, MEDIA_FMT_I420, 352, 288, 160000}));
    EXPECT_EQ(fa.data, nullptr);
    EXPECT_EQ(fa.pts, static_cast<uint64_t>(tick) * 1000);
    EXPECT_EQ(fa.duration, MEDIA_NO_TIME);
    EXPECT_EQ(fb.format, uint32_t{MEDIA_FMT_GREY});
    EXPECT_EQ(fb.size, 64u * 48);
    EXPECT_NE(fa.fd, fb.fd);

    // Unread pictures are offered again at the next tick.
    media_frame again{};
    EXPECT_EQ(poll(a, ++tick, 4000, &again), POLL_FRAME);
    EXPECT_EQ(again.fd, fa.fd);

    // The consumer reads from the device descriptor, which never blocks.
    char c = 0;
    EXPECT_EQ(read(fa.fd, &c, 1), 1);
    EXPECT_EQ(c, 'y');
    EXPECT_EQ(read(fa.fd, &c, 1), -1);
    EXPECT_EQ(errno, EAGAIN);
    EXPECT_EQ(poll(a, ++tick), POLL_NOTHING);
    EXPECT_EQ(epoll_waits, 4);
}

TEST_F(V4l2Capture, ARestartInTheSameTickSeesNoStaleEvent)
{
    fake_dev &d = fifo_dev("restart");
    fake_dev &other_dev = fifo_dev("other");
    void *h = handle(d.path);
    void *other = handle(other_dev.path);
    ASSERT_EQ(v4l2_capture_drv.play(h), 1);
    ASSERT_EQ(v4l2_capture_drv.play(other), 1);
    ASSERT_EQ(write(d.peer, "x", 1), 1);

    // The wait of this tick, made for the other device, saw h readable;
    // h is then restarted before its own poll.
    EXPECT_EQ(poll(other, ++tick), POLL_NOTHING);
    v4l2_capture_drv.stop(h);
    EXPECT_EQ(poll(h, tick), POLL_NOTHING);
    ASSERT_EQ(v4l2_capture_drv.play(h), 1);
    media_frame frame{};
    EXPECT_EQ(poll(h, tick, 4000, &frame), POLL_NOTHING);
    EXPECT_EQ(poll(h, ++tick, 4000, &frame), POLL_FRAME);
    EXPECT_EQ(epoll_waits, 2);
    EXPECT_TRUE(log_taken().empty());
}

TEST_F(V4l2Capture, ReadTimeOutCountsFromPlayThenFromTheLastFrame)
{
    fake_dev &d = fifo_dev("timeout");
    void *h = handle(d.path);
    g_monotime_microsec = tick;
    ASSERT_EQ(v4l2_capture_drv.play(h), 1);

    // A device that takes a moment to start is not closed at once.
    EXPECT_EQ(poll(h, tick + 4000 * 1000), POLL_NOTHING);
    EXPECT_EQ(poll(h, tick + 10'000'000, 0), POLL_NOTHING); // no time-out
    EXPECT_EQ(poll(h, tick + 4000 * 1000 + 1), POLL_READ_TIMEOUT);
    auto lines = log_taken();
    ASSERT_EQ(levels_of(lines), levels{3});
    EXPECT_EQ(lines[0].text, d.path + " -> read timeout (4000 ms)");
    EXPECT_EQ(v4l2_capture_drv.get_state(h), SRC_STATE_STOPPED);
    // The poll result was the report: nothing more to report.
    EXPECT_EQ(poll(h, tick + 4000 * 1000 + 2), POLL_NOTHING);

    tick += 20'000'000;
    g_monotime_microsec = tick;
    ASSERT_EQ(v4l2_capture_drv.play(h), 1);
    ASSERT_EQ(write(d.peer, "x", 1), 1);
    EXPECT_EQ(poll(h, tick + 3'000'000), POLL_FRAME);
    char c;
    ASSERT_EQ(read(d.peer, &c, 1), 1);
    EXPECT_EQ(poll(h, tick + 7'000'000), POLL_NOTHING);
    EXPECT_EQ(poll(h, tick + 7'000'001, 4000), POLL_READ_TIMEOUT);
    EXPECT_EQ(levels_of(log_taken()), levels{3}); // a new outage after a frame
}

TEST_F(V4l2Capture, WithoutTheEpollSetPlayFailsAndLeaksNothing)
{
    fake_dev &d = fifo_dev("noepoll");
    void *h = handle(d.path);
    const int fds = open_fds();
    v4l_fini();
    v4l_fini();
    EXPECT_EQ(v4l2_capture_drv.play(h), 0);
    const auto lines = log_taken();
    ASSERT_EQ(levels_of(lines), levels{3});
    EXPECT_EQ(lines[0].text.rfind("epoll_ctl(#", 0), 0u);
    EXPECT_NE(lines[0].text.find("\"" + d.path +
                                 "\"), CTL_ADD) -> #9(Bad file descriptor)"),
              std::string::npos);
    EXPECT_EQ(open_fds(), fds - 1);

    ASSERT_EQ(v4l_init(), 1);
    ASSERT_EQ(v4l2_capture_drv.play(h), 1);
    // Destroying a playing handle closes its device.
    v4l2_capture_drv.destroy(&handles.back());
    EXPECT_EQ(handles.back(), nullptr);
    EXPECT_EQ(open_fds(), fds);
}

} // namespace
