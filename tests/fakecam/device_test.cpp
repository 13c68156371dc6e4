// Emulated capture devices seen through open, ioctl, epoll and read.
#include <sys/epoll.h>

#include "fakecam_client.h"

// The checked entry points that _FORTIFY_SOURCE builds call instead.
extern "C" {
ssize_t __read_chk(int fd, void *buf, size_t nbytes, size_t buflen);
int __open_2(const char *path, int flags);
int __open64_2(const char *path, int flags);
int __openat_2(int dirfd, const char *path, int flags);
}

namespace {

using fk::Child;

constexpr const char *THREE_FORMATS = R"(# three devices
video3 format=I420 size=704x576 fps=25 cam=3
video4 format=GREY size=33x17 fps=25
video5 format=YUYV size=35x9 fps=25 cam=12
)";

TEST(FakecamDevice, CapabilitiesAndFormatsDescribeEachDevice)
{
    Child c(THREE_FORMATS);
    if (c.parent()) {
        EXPECT_EQ(c.result.status, 0) << c.result.out;
        return;
    }
    struct Expect {
        const char *path;
        uint32_t fmt;
        unsigned w, h, bpl, size;
    };
    const Expect expect[] = {
        {"/dev/video3", V4L2_PIX_FMT_YUV420, 704, 576, 704, 704 * 576 * 3 / 2},
        {"/dev/video4", V4L2_PIX_FMT_GREY, 33, 17, 33, 33 * 17},
        // Odd widths round up to whole pixel pairs.
        {"/dev/video5", V4L2_PIX_FMT_YUYV, 35, 9, 72, 72 * 9},
    };
    for (const Expect &e : expect) {
        SCOPED_TRACE(e.path);
        int fd = open(e.path, O_RDWR);
        ASSERT_GE(fd, 0) << strerror(errno);

        v4l2_capability cap{};
        ASSERT_EQ(ioctl(fd, VIDIOC_QUERYCAP, &cap), 0);
        EXPECT_STREQ(reinterpret_cast<char *>(cap.driver), "fakecam");
        const uint32_t want =
            V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_READWRITE | V4L2_CAP_STREAMING;
        EXPECT_EQ(cap.capabilities & want, want);
        EXPECT_EQ(cap.device_caps & want, want);

        for (unsigned long req : {VIDIOC_G_FMT, VIDIOC_TRY_FMT}) {
            v4l2_format f{};
            f.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            f.fmt.pix.pixelformat =
                V4L2_PIX_FMT_RGB24; // asks for another format
            f.fmt.pix.width = 1;
            ASSERT_EQ(ioctl(fd, req, &f), 0);
            EXPECT_EQ(f.fmt.pix.pixelformat, e.fmt);
            EXPECT_EQ(f.fmt.pix.width, e.w);
            EXPECT_EQ(f.fmt.pix.height, e.h);
            EXPECT_EQ(f.fmt.pix.bytesperline, e.bpl);
            EXPECT_EQ(f.fmt.pix.sizeimage, e.size);
        }
        v4l2_format f{};
        f.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        errno = 0;
        EXPECT_EQ(ioctl(fd, VIDIOC_S_FMT, &f), -1);
        EXPECT_EQ(errno, EBUSY);
        f.type = V4L2_BUF_TYPE_VIDEO_OUTPUT;
        EXPECT_EQ(ioctl(fd, VIDIOC_G_FMT, &f), -1);
        EXPECT_EQ(errno, EINVAL);
        v4l2_requestbuffers rb{};
        EXPECT_EQ(ioctl(fd, VIDIOC_REQBUFS, &rb), -1);
        EXPECT_EQ(errno, ENOTTY);
        EXPECT_EQ(ioctl(fd, VIDIOC_QUERYCAP, nullptr), -1);
        EXPECT_EQ(errno, EFAULT);
        EXPECT_EQ(close(fd), 0);
    }
}

TEST(FakecamDevice, FramesCarryPictureCameraNumberAndSignalBit)
{
    Child c(R"(video3 format=I420 size=704x576 cam=3
video7 format=I420 size=704x576 cam=7
video4 format=GREY size=33x17 cam=4
video6 format=I420 size=5x3
video8 format=I420 size=64x48 nosignal=1 cam=8
)");
    if (c.parent()) {
        EXPECT_EQ(c.result.status, 0) << c.result.out;
        return;
    }
    const size_t d1 = 704 * 576;
    int fd3 = open("/dev/video3", O_RDWR);
    int fd7 = open("/dev/video7", O_RDWR);
    ASSERT_GE(fd3, 0);
    ASSERT_GE(fd7, 0);
    // A buffer larger than the frame gets exactly one frame.
    int64_t before = fk::now_us();
    fk::Frame f3 = fk::read_frame(fd3, d1 * 2, d1);
    fk::Frame f7 = fk::read_frame(fd7, d1 * 3 / 2, d1);
    ASSERT_EQ(f3.n, ssize_t(d1 * 3 / 2)) << strerror(f3.err);
    ASSERT_EQ(f7.n, ssize_t(d1 * 3 / 2));
    EXPECT_TRUE(f3.trailer);
    EXPECT_EQ(f3.cam, 3u);
    EXPECT_EQ(f7.cam, 7u);
    EXPECT_GE(f3.seq, 1u);
    EXPECT_LE(f3.ready_us, fk::now_us());
    EXPECT_GT(f3.ready_us, before - 1000000);
    EXPECT_TRUE(f3.data[0] & 0x02)
        << "a device with a signal sets bit 0x02 of the first luma byte";

    // The number sits in a dark box in the middle: the centre rows hold
    // both black box and white digit pixels.
    int dark = 0, bright = 0;
    for (size_t y = 250; y < 330; ++y)
        for (size_t x = 200; x < 500; ++x) {
            uint8_t v = f3.data[y * 704 + x];
            dark += v == 16;
            bright += v == 235;
        }
    EXPECT_GT(dark, 1000);
    EXPECT_GT(bright, 1000);
    // Cameras differ in colour: their first chroma rows differ (compared
    // over the whole row, since the sweeping bar has neutral chroma).
    int differing = 0;
    for (size_t x = 0; x < 704 / 2; ++x)
        differing += f3.data[d1 + x] != f7.data[d1 + x] ||
                     f3.data[d1 + d1 / 4 + x] != f7.data[d1 + d1 / 4 + x];
    EXPECT_GT(differing, 100);

    // GREY: luma only.
    int fd4 = open("/dev/video4", O_RDWR);
    fk::Frame f4 = fk::read_frame(fd4, 4096, 33 * 17);
    EXPECT_EQ(f4.n, 33 * 17);
    EXPECT_TRUE(f4.trailer);
    EXPECT_EQ(f4.cam, 4u);

    // A tiny odd-sized picture: Y 5x3, chroma planes 3x2; no room for the
    // trailer, the signal bit is still there.
    int fd6 = open("/dev/video6", O_RDWR);
    fk::Frame f6 = fk::read_frame(fd6, 100, 15);
    EXPECT_EQ(f6.n, 15 + 2 * 3 * 2);
    EXPECT_FALSE(f6.trailer);
    ASSERT_GT(f6.n, 0);
    EXPECT_TRUE(f6.data[0] & 0x02);

    // A device without a signal clears the bit but still delivers frames.
    int fd8 = open("/dev/video8", O_RDWR);
    fk::Frame f8 = fk::read_frame(fd8, 64 * 48 * 3 / 2, 64 * 48);
    ASSERT_EQ(f8.n, 64 * 48 * 3 / 2);
    EXPECT_FALSE(f8.data[0] & 0x02);
    EXPECT_EQ(f8.cam, 8u);

    // A smaller buffer gets what fits.
    fk::Frame part = fk::read_frame(fd3, 1000, d1);
    EXPECT_EQ(part.n, 1000);
    for (int fd : {fd3, fd7, fd4, fd6, fd8})
        EXPECT_EQ(close(fd), 0);
}

TEST(FakecamDevice, NonBlockingReadsFollowEpollAtTheConfiguredRate)
{
    Child c("video2 format=GREY size=160x120 fps=20\n");
    if (c.parent()) {
        EXPECT_EQ(c.result.status, 0) << c.result.out;
        // Every delivered frame appears in the statistics with its latency.
        std::string s = c.stats();
        EXPECT_NE(s.find("video2 cam=2 format=GREY size=160x120"),
                  std::string::npos)
            << s;
        EXPECT_NE(s.find("lat_hist_us="), std::string::npos) << s;
        return;
    }
    const size_t size = 160 * 120;
    int fd = open("/dev/video2", O_RDWR); // blocking, as the viewer opens
    ASSERT_GE(fd, 0);
    ASSERT_EQ(fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK), 0);
    int ep = epoll_create1(0);
    epoll_event reg{};
    reg.events = EPOLLIN;
    reg.data.fd = fd;
    ASSERT_EQ(epoll_ctl(ep, EPOLL_CTL_ADD, fd, &reg), 0);

    std::vector<uint8_t> buf(size);
    int frames = 0, eagain = 0;
    uint32_t last_seq = 0;
    int64_t end = fk::now_us() + 1000000;
    while (fk::now_us() < end) {
        epoll_event ev{};
        int n = epoll_wait(ep, &ev, 1, 5);
        if (n == 0)
            continue;
        ASSERT_EQ(n, 1);
        ASSERT_EQ(ev.events & (EPOLLERR | EPOLLHUP), 0u);
        ASSERT_EQ(read(fd, buf.data(), size), ssize_t(size));
        uint32_t seq = uint32_t(fk::get_le(&buf[size - 16], 4));
        EXPECT_GT(seq, last_seq);
        last_seq = seq;
        ++frames;
        // The read consumed the readiness: nothing until the next frame.
        epoll_event again{};
        EXPECT_EQ(epoll_wait(ep, &again, 1, 0), 0);
        if (read(fd, buf.data(), size) < 0 && errno == EAGAIN)
            ++eagain;
    }
    // 20 frames a second, with room for a loaded machine.
    EXPECT_GE(frames, 10);
    EXPECT_LE(frames, 25);
    EXPECT_EQ(eagain, frames);
    close(ep);
    close(fd);
}

TEST(FakecamDevice, OneBufferKeepsOnlyTheLatestFrame)
{
    Child c("video1 format=GREY size=64x64 fps=50 buffers=1\n");
    if (c.parent()) {
        EXPECT_EQ(c.result.status, 0) << c.result.out;
        std::string s = c.stats();
        EXPECT_NE(s.find("delivered=2 "), std::string::npos) << s;
        EXPECT_EQ(s.find("skipped=0 "), std::string::npos) << s;
        return;
    }
    int fd = open("/dev/video1", O_RDWR | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    fk::Frame a = fk::read_frame(fd, 4096, 4096);
    ASSERT_EQ(a.n, 4096);
    usleep(300000);
    fk::Frame b = fk::read_frame(fd, 4096, 4096, 0);
    ASSERT_EQ(b.n, 4096);
    EXPECT_GE(b.seq, a.seq + 8) << "frames made while nobody read are dropped";
    EXPECT_GT(b.ready_us, a.ready_us + 250000)
        << "the frame read is a recent one";
    fk::Frame none = fk::read_frame(fd, 4096, 4096, 0);
    EXPECT_EQ(none.n, -1);
    EXPECT_EQ(none.err, EAGAIN);
    close(fd);
}

TEST(FakecamDevice, EveryOpenVariantAndFortifiedReadReachTheDevice)
{
    Child c("video9 format=GREY size=16x16\n");
    if (c.parent()) {
        EXPECT_EQ(c.result.status, 0) << c.result.out;
        return;
    }
    const char *p = "/dev/video9";
    const int fds[] = {open(p, O_RDWR),
                       open64(p, O_RDWR),
                       openat(AT_FDCWD, p, O_RDWR),
                       openat64(AT_FDCWD, p, O_RDWR),
                       __open_2(p, O_RDWR),
                       __open64_2(p, O_RDWR),
                       __openat_2(AT_FDCWD, p, O_RDWR)};
    for (int fd : fds) {
        ASSERT_GE(fd, 0);
        v4l2_capability cap{};
        EXPECT_EQ(ioctl(fd, VIDIOC_QUERYCAP, &cap), 0);
        EXPECT_STREQ(reinterpret_cast<char *>(cap.driver), "fakecam");
    }
    // Each open descriptor gets every frame on its own.
    uint8_t buf[256];
    for (int fd : fds) {
        ASSERT_NE(fk::wait_ready(fd, 2000), 0);
        EXPECT_EQ(__read_chk(fd, buf, sizeof buf, sizeof buf), 256);
        EXPECT_TRUE(buf[0] & 0x02);
        EXPECT_EQ(close(fd), 0);
    }
    // A closed descriptor is no longer the device's.
    EXPECT_EQ(ioctl(fds[0], VIDIOC_QUERYCAP, buf), -1);
    EXPECT_EQ(errno, EBADF);
}

} // namespace
