// Run-time control of the emulated devices through fakecamctl.
#include <sys/epoll.h>

#include "fakecam_client.h"

namespace {

using fk::Child;

constexpr size_t W = 64, H = 48, LUMA = W * H, I420 = LUMA * 3 / 2;

// Drops the frames queued before the last command, then returns the next
// one.
fk::Frame next_frame(int fd, size_t size = I420, size_t luma = LUMA)
{
    for (int i = 0; i < 64 && fk::read_frame(fd, size, luma, 0).n >= 0; ++i) {
    }
    return fk::read_frame(fd, size, luma, 2000);
}

// Events epoll reports for fd within timeout_ms (0 for none).
uint32_t epoll_events(int fd, int timeout_ms)
{
    int ep = epoll_create1(0);
    epoll_event reg{};
    reg.events = EPOLLIN;
    epoll_ctl(ep, EPOLL_CTL_ADD, fd, &reg);
    epoll_event ev{};
    int n = epoll_wait(ep, &ev, 1, timeout_ms);
    close(ep);
    return n == 1 ? ev.events : 0;
}

TEST(FakecamControl, NoSignalStallAndResume)
{
    Child c("video3 format=I420 size=64x48 fps=25\n");
    if (c.parent()) {
        EXPECT_EQ(c.result.status, 0) << c.result.out;
        return;
    }
    int fd = open("/dev/video3", O_RDWR | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    EXPECT_TRUE(next_frame(fd).data.at(0) & 0x02);

    ASSERT_EQ(fk::ctl("video3", "nosignal on"), 0);
    fk::Frame f = next_frame(fd);
    ASSERT_EQ(f.n, ssize_t(I420));
    EXPECT_FALSE(f.data[0] & 0x02);
    ASSERT_EQ(fk::ctl("/dev/video3", "nosignal off"), 0);
    EXPECT_TRUE(next_frame(fd).data.at(0) & 0x02);

    // A stalled device is open and well but never readable.
    ASSERT_EQ(fk::ctl("video3", "stall"), 0);
    fk::read_frame(fd, I420, LUMA, 0);
    EXPECT_EQ(epoll_events(fd, 300), 0u);
    EXPECT_EQ(fk::read_frame(fd, I420, LUMA, 0).err, EAGAIN);
    ASSERT_EQ(fk::ctl("video3", "resume"), 0);
    EXPECT_EQ(epoll_events(fd, 1000), uint32_t(EPOLLIN));
    EXPECT_EQ(next_frame(fd).n, ssize_t(I420));
    close(fd);
}

TEST(FakecamControl, HangupReportsErrorAndHangupUntilClosed)
{
    Child c("video3 format=I420 size=64x48 fps=25\n");
    if (c.parent()) {
        EXPECT_EQ(c.result.status, 0) << c.result.out;
        EXPECT_NE(c.stats().find("hangups=1"), std::string::npos) << c.stats();
        return;
    }
    int fd = open("/dev/video3", O_RDWR | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(next_frame(fd).n, ssize_t(I420));
    ASSERT_EQ(fk::ctl("video3", "hangup"), 0);

    uint32_t ev = epoll_events(fd, 0);
    EXPECT_EQ(ev & (EPOLLERR | EPOLLHUP), uint32_t(EPOLLERR | EPOLLHUP))
        << std::hex << ev;
    fk::Frame f = fk::read_frame(fd, I420, LUMA, 0);
    EXPECT_EQ(f.n, -1);
    EXPECT_EQ(f.err, EIO);
    // Level-triggered: the failed read leaves the error visible.
    ev = epoll_events(fd, 0);
    EXPECT_EQ(ev & (EPOLLERR | EPOLLHUP), uint32_t(EPOLLERR | EPOLLHUP));
    // The device itself is fine: ioctls still answer and a new open works.
    v4l2_capability cap{};
    EXPECT_EQ(ioctl(fd, VIDIOC_QUERYCAP, &cap), 0);
    EXPECT_EQ(close(fd), 0);
    fd = open("/dev/video3", O_RDWR | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(next_frame(fd).n, ssize_t(I420));
    EXPECT_EQ(epoll_events(fd, 0) & (EPOLLERR | EPOLLHUP), 0u);
    close(fd);
}

TEST(FakecamControl, VanishedDeviceIsGoneUntilItComesBack)
{
    Child c("video3 format=I420 size=64x48 fps=25\nvideo4 format=GREY "
            "size=64x48\n");
    if (c.parent()) {
        EXPECT_EQ(c.result.status, 0) << c.result.out;
        return;
    }
    int fd = open("/dev/video3", O_RDWR | O_NONBLOCK);
    int other = open("/dev/video4", O_RDWR | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    ASSERT_GE(other, 0);
    ASSERT_EQ(fk::ctl("video3", "vanish"), 0);

    EXPECT_EQ(open("/dev/video3", O_RDWR), -1);
    EXPECT_EQ(errno, ENOENT);
    uint32_t ev = epoll_events(fd, 0);
    EXPECT_EQ(ev & (EPOLLERR | EPOLLHUP), uint32_t(EPOLLERR | EPOLLHUP));
    EXPECT_EQ(fk::read_frame(fd, I420, LUMA, 0).err, ENODEV);
    v4l2_capability cap{};
    EXPECT_EQ(ioctl(fd, VIDIOC_QUERYCAP, &cap), -1);
    EXPECT_EQ(errno, ENODEV);
    // Other devices are not concerned.
    EXPECT_EQ(next_frame(other, LUMA, LUMA).n, ssize_t(LUMA));

    ASSERT_EQ(fk::ctl("video3", "back"), 0);
    EXPECT_EQ(fk::read_frame(fd, I420, LUMA, 0).err, ENODEV)
        << "old descriptors stay dead";
    EXPECT_EQ(close(fd), 0);
    fd = open("/dev/video3", O_RDWR | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(next_frame(fd).n, ssize_t(I420));
    close(fd);
    close(other);
}

TEST(FakecamControl, ShortReadFormatSizeAndFailureModes)
{
    Child c("video3 format=I420 size=64x48 fps=25 fail=querycap\n");
    if (c.parent()) {
        EXPECT_EQ(c.result.status, 0) << c.result.out;
        return;
    }
    int fd = open("/dev/video3", O_RDWR | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    v4l2_capability cap{};
    EXPECT_EQ(ioctl(fd, VIDIOC_QUERYCAP, &cap), -1);
    EXPECT_EQ(errno, EIO);

    // The next read that delivers a frame is short, and only that one.
    ASSERT_EQ(fk::ctl("video3", "shortread 100"), 0);
    EXPECT_EQ(fk::read_frame(fd, I420, LUMA).n, 100);
    EXPECT_EQ(fk::read_frame(fd, I420, LUMA).n, ssize_t(I420));
    ASSERT_EQ(fk::ctl("video3", "shortread"), 0);
    EXPECT_EQ(fk::read_frame(fd, I420, LUMA).n, ssize_t(I420 / 2));

    // Format and size changes show in G_FMT and in the frames.
    ASSERT_EQ(fk::ctl("video3", "format YUYV"), 0);
    v4l2_format f = fk::get_format(fd);
    EXPECT_EQ(f.fmt.pix.pixelformat, uint32_t(V4L2_PIX_FMT_YUYV));
    EXPECT_EQ(f.fmt.pix.sizeimage, W * H * 2);
    fk::Frame y = next_frame(fd, W * H * 2, W * H * 2);
    EXPECT_EQ(y.n, ssize_t(W * H * 2));
    EXPECT_TRUE(y.trailer);
    ASSERT_EQ(fk::ctl("video3", "size 32x16"), 0);
    EXPECT_EQ(fk::get_format(fd, VIDIOC_TRY_FMT).fmt.pix.sizeimage,
              32u * 16 * 2);
    EXPECT_EQ(next_frame(fd, 4096, 32 * 16 * 2).n, 32 * 16 * 2);

    struct Mode {
        const char *cmd;
        unsigned long req; // 0: open fails
        int err;
        uint32_t caps_missing;
    };
    const Mode modes[] = {
        {"fail open", 0, EIO, 0},
        {"fail nocapture", VIDIOC_QUERYCAP, 0, V4L2_CAP_VIDEO_CAPTURE},
        {"fail noio", VIDIOC_QUERYCAP, 0,
         V4L2_CAP_READWRITE | V4L2_CAP_STREAMING},
        {"fail gfmt", VIDIOC_G_FMT, EINVAL, 0},
        {"fail tryfmt", VIDIOC_TRY_FMT, EINVAL, 0},
    };
    for (const Mode &m : modes) {
        SCOPED_TRACE(m.cmd);
        ASSERT_EQ(fk::ctl("video3", m.cmd), 0);
        int fd2 = open("/dev/video3", O_RDWR);
        if (!m.req) {
            EXPECT_EQ(fd2, -1);
            EXPECT_EQ(errno, m.err);
            continue;
        }
        ASSERT_GE(fd2, 0);
        if (m.req == VIDIOC_QUERYCAP) {
            ASSERT_EQ(ioctl(fd2, VIDIOC_QUERYCAP, &cap), 0);
            EXPECT_EQ(cap.capabilities & m.caps_missing, 0u);
            const uint32_t all = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_READWRITE |
                                 V4L2_CAP_STREAMING;
            EXPECT_EQ(cap.capabilities & all, all & ~m.caps_missing);
        } else {
            v4l2_format g{};
            g.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            EXPECT_EQ(ioctl(fd2, m.req, &g), -1);
            EXPECT_EQ(errno, m.err);
        }
        close(fd2);
    }
    ASSERT_EQ(fk::ctl("video3", "fail none"), 0);
    EXPECT_EQ(ioctl(fd, VIDIOC_QUERYCAP, &cap), 0);
    close(fd);
}

TEST(FakecamControl, BadCommandsAreReportedAndChangeNothing)
{
    Child c("video3 format=GREY size=64x48 fps=25\n");
    if (c.parent()) {
        EXPECT_EQ(c.result.status, 0) << c.result.out;
        const std::string &out = c.result.out;
        EXPECT_NE(out.find("fakecam: video3: unknown command \"jump\""),
                  std::string::npos)
            << out;
        EXPECT_NE(out.find("fakecam: video3: bad command \"nosignal maybe\""),
                  std::string::npos);
        EXPECT_NE(out.find("fakecam: video3: bad command \"size 0x10\""),
                  std::string::npos);
        EXPECT_NE(
            out.find("fakecam: control file for unknown device \"video77\""),
            std::string::npos);
        return;
    }
    int fd = open("/dev/video3", O_RDWR | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    for (const char *bad :
         {"jump", "nosignal maybe", "size 0x10", "format RGB3", "stall now"})
        EXPECT_EQ(fk::ctl("video3", bad), 0) << bad;
    EXPECT_EQ(fk::ctl("video77", "stall"), 0);
    EXPECT_EQ(fk::get_format(fd).fmt.pix.pixelformat,
              uint32_t(V4L2_PIX_FMT_GREY));
    fk::Frame f = next_frame(fd, LUMA, LUMA);
    EXPECT_EQ(f.n, ssize_t(LUMA));
    EXPECT_TRUE(f.data.at(0) & 0x02);

    // A file of several commands for every device at once, with a comment
    // and a bad line among them.
    std::string ctl =
        fk::config_path().substr(0, fk::config_path().rfind('/')) + "/ctl";
    std::ofstream(ctl + "/.all.tmp")
        << "# two changes\nnosignal on\nbogus\nformat I420\n";
    ASSERT_EQ(rename((ctl + "/.all.tmp").c_str(), (ctl + "/all.1").c_str()), 0);
    for (int i = 0; i < 200 && std::filesystem::exists(ctl + "/all.1"); ++i)
        usleep(10000);
    EXPECT_EQ(fk::get_format(fd).fmt.pix.pixelformat,
              uint32_t(V4L2_PIX_FMT_YUV420));
    f = next_frame(fd, I420, LUMA);
    EXPECT_EQ(f.n, ssize_t(I420));
    EXPECT_FALSE(f.data.at(0) & 0x02);
    close(fd);
}

TEST(FakecamControl, ControlToolWithoutListenerOrArguments)
{
    // Runs in this process only: no library is listening.
    char tmpl[] = "/tmp/fakecam-ctl-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    std::string dir = tmpl, out;
    EXPECT_EQ(
        run_program({fk::CTL, "-d", dir, "-t", "0.3", "video3", "stall"}, &out),
        3);
    EXPECT_NE(out.find("nobody picked up"), std::string::npos) << out;
    // The unclaimed command does not linger for a later process.
    EXPECT_TRUE(std::filesystem::is_empty(dir));
    EXPECT_EQ(run_program({fk::CTL, "-d", dir, "video3"}, &out), 2);
    EXPECT_NE(out.find("usage:"), std::string::npos);
    EXPECT_EQ(run_program({fk::CTL, "-d", dir, "../x", "stall"}, &out), 2);
    EXPECT_EQ(run_program({fk::CTL, "video3", "stall"}, &out), 2)
        << "no directory known";
    EXPECT_EQ(run_program({fk::CTL, "-d", dir, "-n", "video3", "stall"}, &out),
              0);
    std::filesystem::remove_all(dir);
}

} // namespace
