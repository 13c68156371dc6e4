// The simulated capture devices, as the viewer sees them through open, ioctl,
// epoll and read, under every command the live tests give them.  Each case
// runs in a child with the library preloaded.
#include <errno.h>
#include <fcntl.h>
#include <linux/videodev2.h>
#include <poll.h>
#include <string.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "harness.h"

using namespace testsupport;

namespace {

constexpr int W = 64, H = 48, I420 = W * H * 3 / 2;

struct Device {
    int fd;
    std::string config;
    // Reads the newest frame (the queue drained first); its size or -errno.
    int frame(std::vector<uint8_t> *data, int timeout_ms, bool drain)
    {
        std::vector<uint8_t> buf(1 << 20);
        while (drain && read(fd, buf.data(), buf.size()) > 0) {
        }
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, timeout_ms) != 1)
            return -EAGAIN;
        const ssize_t n = read(fd, buf.data(), buf.size());
        if (data)
            *data = std::vector<uint8_t>(buf.begin(), buf.begin() + std::max<ssize_t>(n, 0));
        return n < 0 ? -errno : int(n);
    }
    short revents() { pollfd p{fd, POLLIN, 0}; return poll(&p, 1, 0) == 1 ? p.revents : 0; }
    bool ctl(const std::string &cmd) { return fakecamctl(config, "video3", cmd) == 0; }
};

uint32_t g_fmt(int fd, unsigned long req = VIDIOC_G_FMT, uint32_t *size = nullptr)
{
    v4l2_format f{};
    f.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (ioctl(fd, req, &f) != 0)
        return 0;
    if (size)
        *size = f.fmt.pix.sizeimage;
    return f.fmt.pix.pixelformat;
}

TEST(Fakecam, DevicesFollowTheirConfigurationAndCommands)
{
    TempDir dir;
    const std::string conf = dir.file("cams.conf");
    write_file(conf, "video3 format=I420 size=64x48 fps=25 cam=3\nvideo4 format=GREY size=33x17\n"
                     "video5 format=YUYV size=35x9 fail=open\n");
    RunResult r;
    if (run_preloaded(fakecam_library(), {"FAKECAM_CONFIG=" + conf}, &r)) {
        EXPECT_EQ(r.status, 0) << r.out;
        return;
    }
    Device d{open("/dev/video3", O_RDWR | O_NONBLOCK), getenv("FAKECAM_CONFIG")};
    ASSERT_GE(d.fd, 0) << strerror(errno);
    v4l2_capability cap{};
    ASSERT_EQ(ioctl(d.fd, VIDIOC_QUERYCAP, &cap), 0);
    EXPECT_STREQ(reinterpret_cast<char *>(cap.driver), "fakecam");
    uint32_t size = 0;
    EXPECT_EQ(g_fmt(d.fd, VIDIOC_G_FMT, &size), uint32_t(V4L2_PIX_FMT_YUV420));
    EXPECT_EQ(size, uint32_t(I420));
    const int grey = open("/dev/video4", O_RDWR);
    EXPECT_EQ(g_fmt(grey, VIDIOC_TRY_FMT, &size), uint32_t(V4L2_PIX_FMT_GREY));
    EXPECT_EQ(size, 33u * 17);
    close(grey);
    EXPECT_EQ(open("/dev/video5", O_RDWR), -1);
    EXPECT_EQ(open("/dev/video9", O_RDWR), -1) << "only configured devices exist";

    // A frame: the picture, a trailer with the camera number, the signal bit.
    std::vector<uint8_t> f;
    ASSERT_EQ(d.frame(&f, 2000, true), I420);
    const uint8_t *t = f.data() + W * H - 20;
    EXPECT_EQ(memcmp(t, "FCAM", 4), 0);
    EXPECT_EQ(t[8], 3);
    EXPECT_TRUE(f[0] & 0x02);

    struct Case {
        const char *command;
        int frame;             // what the next read gives (-errno)
        short revents;         // poll at once afterwards (-1: do not check)
        bool signal = true;    // bit 0x02 of the first luma byte
        bool reopens = true;   // a new open works
    };
    const Case cases[] = {
        {"nosignal on", I420, -1, false},
        {"nosignal off", I420, -1},
        {"shortread 100", 100, -1},
        {"stall", -EAGAIN, 0},
        {"resume", I420, -1},
        {"hangup", -EIO, POLLERR | POLLHUP},
        {"vanish", -ENODEV, POLLERR | POLLHUP, true, false},
        {"back", -ENODEV, -1}, // old descriptors stay dead, new ones work
        {"format YUYV", W * H * 2, -1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.command);
        ASSERT_TRUE(d.ctl(c.command));
        const short ev = d.revents();
        const int n = d.frame(&f, c.frame == -EAGAIN ? 300 : 2000, c.frame != 100);
        EXPECT_EQ(n, c.frame);
        if (c.revents >= 0) {
            EXPECT_EQ(ev & (POLLERR | POLLHUP), c.revents);
        }
        if (n > 0) {
            EXPECT_EQ(bool(f[0] & 0x02), c.signal);
        }
        int again = open("/dev/video3", O_RDWR | O_NONBLOCK);
        EXPECT_EQ(again >= 0, c.reopens);
        if (again >= 0 && c.frame < 0 && c.frame != -EAGAIN)
            std::swap(again, d.fd);
        if (again >= 0)
            close(again);
    }
    EXPECT_EQ(g_fmt(d.fd), uint32_t(V4L2_PIX_FMT_YUYV));

    // Everything else passes through untouched.
    const std::string plain = std::string(getenv("FAKECAM_CONFIG")) + ".copy";
    write_file(plain, "plain");
    EXPECT_EQ(read_file(plain), "plain");
    close(d.fd);
}

} // namespace
