// The simulated capture devices, as the viewer sees them through open, ioctl,
// poll and read, under each command the live tests give them.  Runs in a
// child with the library preloaded.
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

// Pixel format and image size the device reports, 0 when it refuses.
std::pair<uint32_t, uint32_t> format(int fd, unsigned long req = VIDIOC_G_FMT)
{
    v4l2_format f{};
    f.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    return ioctl(fd, req, &f) == 0 ? std::pair(f.fmt.pix.pixelformat, f.fmt.pix.sizeimage) : std::pair(0u, 0u);
}

// The newest frame (the queue drained first unless told): its size or -errno.
int frame(int fd, std::vector<uint8_t> *data, int timeout_ms, bool drain = true)
{
    data->assign(1 << 20, 0);
    while (drain && read(fd, data->data(), data->size()) > 0) {
    }
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, timeout_ms) != 1)
        return -EAGAIN;
    const ssize_t n = read(fd, data->data(), data->size());
    return n < 0 ? -errno : int(n);
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
    int fd = open("/dev/video3", O_RDWR | O_NONBLOCK);
    ASSERT_GE(fd, 0) << strerror(errno);
    v4l2_capability cap{};
    ASSERT_EQ(ioctl(fd, VIDIOC_QUERYCAP, &cap), 0);
    EXPECT_STREQ(reinterpret_cast<char *>(cap.driver), "fakecam");
    EXPECT_EQ(format(fd), std::pair(uint32_t(V4L2_PIX_FMT_YUV420), uint32_t(I420)));
    const int grey = open("/dev/video4", O_RDWR);
    EXPECT_EQ(format(grey, VIDIOC_TRY_FMT), std::pair(uint32_t(V4L2_PIX_FMT_GREY), 33u * 17));
    close(grey);
    EXPECT_EQ(open("/dev/video5", O_RDWR), -1);
    EXPECT_EQ(open("/dev/video9", O_RDWR), -1) << "only configured devices exist";

    // A frame: the picture, a trailer with the camera number, the signal bit.
    std::vector<uint8_t> f;
    ASSERT_EQ(frame(fd, &f, 2000), I420);
    EXPECT_EQ(memcmp(f.data() + W * H - 20, "FCAM", 4), 0);
    EXPECT_EQ(f[W * H - 12], 3);
    EXPECT_TRUE(f[0] & 0x02);

    const struct {
        const char *command;
        int frame;           // what the next read gives (-errno)
        short revents;       // poll at once afterwards (-1: not checked)
        bool signal = true;  // bit 0x02 of the first luma byte
        bool reopens = true; // a new open works
    } cases[] = {
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
    for (const auto &c : cases) {
        SCOPED_TRACE(c.command);
        ASSERT_EQ(fakecamctl(getenv("FAKECAM_CONFIG"), "video3", c.command), 0);
        pollfd p{fd, POLLIN, 0};
        const short ev = poll(&p, 1, 0) == 1 ? p.revents : 0;
        const int n = frame(fd, &f, c.frame == -EAGAIN ? 300 : 2000, c.frame != 100);
        EXPECT_EQ(n, c.frame);
        EXPECT_TRUE(c.revents < 0 || (ev & (POLLERR | POLLHUP)) == c.revents) << ev;
        EXPECT_TRUE(n <= 0 || bool(f[0] & 0x02) == c.signal);
        int again = open("/dev/video3", O_RDWR | O_NONBLOCK);
        EXPECT_EQ(again >= 0, c.reopens);
        if (again >= 0 && c.frame < 0 && c.frame != -EAGAIN)
            std::swap(again, fd);
        if (again >= 0)
            close(again);
    }
    EXPECT_EQ(format(fd).first, uint32_t(V4L2_PIX_FMT_YUYV));

    // Everything else passes through untouched.
    const std::string plain = std::string(getenv("FAKECAM_CONFIG")) + ".copy";
    write_file(plain, "plain");
    EXPECT_EQ(read_file(plain), "plain");
    close(fd);
}

} // namespace
