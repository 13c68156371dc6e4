// What the emulator leaves alone, and how it copes with bad set-ups.
#include <sys/wait.h>

#include "fakecam_client.h"

namespace {

using fk::Child;

TEST(FakecamPassThrough, OrdinaryFilesPipesAndOtherDevicesAreUntouched)
{
    Child c("video3 format=GREY size=32x32\nvideo5 missing=1\n");
    if (c.parent()) {
        EXPECT_EQ(c.result.status, 0) << c.result.out;
        return;
    }
    // Unlisted and missing devices do not exist.
    for (const char *p :
         {"/dev/video99", "/dev/video5", "/dev/video", "/dev/video3x"}) {
        errno = 0;
        EXPECT_EQ(open(p, O_RDWR), -1) << p;
        EXPECT_EQ(errno, ENOENT) << p;
    }
    // Other device nodes are the real ones.
    int null = open("/dev/null", O_RDWR);
    ASSERT_GE(null, 0);
    char buf[64];
    EXPECT_EQ(read(null, buf, sizeof buf), 0);
    EXPECT_EQ(ioctl(null, VIDIOC_QUERYCAP, buf), -1);
    EXPECT_EQ(errno, ENOTTY);
    EXPECT_EQ(close(null), 0);

    // A file: create with a mode, write, read back through open and openat.
    std::string path =
        std::filesystem::path(fk::config_path()).parent_path() / "plain.bin";
    int fd = open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0640);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "hello", 5), 5);
    EXPECT_EQ(close(fd), 0);
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    int dir = open(std::filesystem::path(path).parent_path().c_str(),
                   O_RDONLY | O_DIRECTORY);
    fd = openat(dir, "plain.bin", O_RDONLY);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(read(fd, buf, sizeof buf), 5);
    EXPECT_EQ(std::string(buf, 5), "hello");
    close(fd);
    close(dir);
    FILE *f = fopen(path.c_str(), "r");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(fgetc(f), 'h');
    fclose(f);

    // Pipes keep their own ioctls and reads while a device is open.
    int cam = open("/dev/video3", O_RDWR);
    ASSERT_GE(cam, 0);
    int p[2];
    ASSERT_EQ(pipe(p), 0);
    ASSERT_EQ(write(p[1], "abc", 3), 3);
    int avail = 0;
    EXPECT_EQ(ioctl(p[0], FIONREAD, &avail), 0);
    EXPECT_EQ(avail, 3);
    EXPECT_EQ(read(p[0], buf, sizeof buf), 3);
    close(p[0]);
    close(p[1]);
    EXPECT_EQ(close(cam), 0);
    EXPECT_EQ(close(cam), -1) << "closing twice is the real EBADF";
    EXPECT_EQ(errno, EBADF);
}

TEST(FakecamPassThrough, BadConfigurationLinesAreReportedAndSkipped)
{
    Child c(R"(video1 format=GREY size=16x16
bogus format=I420
video2 format=RGB3
video3 size=0x10
video4 size=100000x2
video5 fps=0
video6 colour=red
video7 nosignal
video1 format=I420
video8 size=8x8 # a comment after the options
)");
    if (c.parent()) {
        EXPECT_EQ(c.result.status, 0) << c.result.out;
        const std::string &out = c.result.out;
        for (const char *msg :
             {":2: device name \"bogus\" is not of the form videoN",
              ":3: bad option \"format=RGB3\"", ":4: bad option \"size=0x10\"",
              ":5: bad option \"size=100000x2\"", ":6: bad option \"fps=0\"",
              ":7: unknown option \"colour=red\"",
              ":8: bad option \"nosignal\"", ":9: device video1 listed twice"})
            EXPECT_NE(out.find(msg), std::string::npos) << msg << "\n" << out;
        EXPECT_EQ(out.find(":1:"), std::string::npos);
        EXPECT_EQ(out.find(":10:"), std::string::npos);
        return;
    }
    int fd = open("/dev/video1", O_RDWR);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(fk::get_format(fd).fmt.pix.pixelformat,
              uint32_t(V4L2_PIX_FMT_GREY))
        << "the first of two lines of a device counts";
    close(fd);
    fd = open("/dev/video8", O_RDWR);
    ASSERT_GE(fd, 0);
    close(fd);
    for (const char *p : {"/dev/video2", "/dev/video3", "/dev/video7"}) {
        EXPECT_EQ(open(p, O_RDWR), -1);
        EXPECT_EQ(errno, ENOENT);
    }
}

TEST(FakecamPassThrough, UnreadableConfigurationMeansNoDevices)
{
    Child c("", {"FAKECAM_CONFIG=/nonexistent/cams.conf"});
    if (c.parent()) {
        EXPECT_EQ(c.result.status, 0) << c.result.out;
        EXPECT_NE(c.result.out.find("fakecam: cannot read configuration "
                                       "\"/nonexistent/cams.conf\""),
                  std::string::npos)
            << c.result.out;
        return;
    }
    EXPECT_EQ(open("/dev/video0", O_RDWR), -1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_GE(close(open("/dev/null", O_RDONLY)), 0);
}

TEST(FakecamPassThrough, ForkedChildKeepsWorking)
{
    Child c("video3 format=GREY size=32x32 fps=100\n");
    if (c.parent()) {
        EXPECT_EQ(c.result.status, 0) << c.result.out;
        return;
    }
    int fd = open("/dev/video3", O_RDWR | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    // Forks while the generator is busy must not leave its locks held in
    // the child: the child closes the inherited device, opens its own and
    // reads from it.
    for (int i = 0; i < 20; ++i) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            close(fd);
            int own = open("/dev/video3", O_RDWR);
            char buf[1024];
            short ready = own >= 0 ? fk::wait_ready(own, 2000) : 0;
            ssize_t n = ready ? read(own, buf, sizeof buf) : -2;
            bool ok = n == 1024;
            if (!ok)
                fprintf(stderr, "child: fd %d ready %x read %zd: %s\n", own,
                        ready, n, strerror(errno));
            _exit(ok ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << "child " << i;
        usleep(3000);
    }
    EXPECT_EQ(fk::read_frame(fd, 1024, 1024).n, 1024);
    close(fd);
}

} // namespace
