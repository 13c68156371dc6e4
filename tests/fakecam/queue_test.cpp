// Each descriptor keeps a few filled frames for a reader that is late, as a
// capture driver queues its buffers.
#include <sys/epoll.h>

#include "fakecam_client.h"

namespace {

using fk::Child;

constexpr size_t SIDE = 64, SIZE = SIDE * SIDE; // GREY frames

// Value of "key=N" in the statistics line of dev; -1 when absent.
long long stat_of(const std::string &stats, const std::string &dev,
                  const std::string &key)
{
    size_t line = stats.find(dev + " ");
    if (line == std::string::npos)
        return -1;
    size_t end = stats.find('\n', line);
    size_t at = stats.find(" " + key + "=", line);
    if (at == std::string::npos || at > end)
        return -1;
    return std::stoll(stats.substr(at + key.size() + 2));
}

// Reads every queued frame without waiting, checking after each read that
// the descriptor stays readable exactly while frames remain.
std::vector<fk::Frame> drain(int fd)
{
    std::vector<fk::Frame> out;
    int ep = epoll_create1(0);
    epoll_event reg{};
    reg.events = EPOLLIN; // level-triggered
    epoll_ctl(ep, EPOLL_CTL_ADD, fd, &reg);
    for (int i = 0; i < 64; ++i) {
        epoll_event ev{};
        bool ready = epoll_wait(ep, &ev, 1, 0) == 1;
        bool polled = fk::wait_ready(fd, 0) & POLLIN;
        EXPECT_EQ(ready, polled);
        fk::Frame f = fk::read_frame(fd, SIZE, SIZE, 0);
        if (f.n < 0) {
            EXPECT_EQ(f.err, EAGAIN);
            EXPECT_FALSE(ready) << "readable with nothing to read";
            break;
        }
        EXPECT_TRUE(ready) << "a queued frame must keep the descriptor "
                              "readable (frame "
                           << f.seq << ")";
        EXPECT_EQ(f.n, ssize_t(SIZE));
        out.push_back(f);
    }
    close(ep);
    return out;
}

// The frames follow one another, oldest first.
void expect_consecutive(const std::vector<fk::Frame> &q)
{
    for (size_t i = 1; i < q.size(); ++i) {
        EXPECT_EQ(q[i].seq, q[i - 1].seq + 1) << "at " << i;
        EXPECT_GT(q[i].ready_us, q[i - 1].ready_us)
            << "each frame keeps the time it was queued";
    }
}

// Lets the device make frames for a while, then stops it so that the
// queue holds a known set.
void fill_and_stall(const char *dev, int ms)
{
    ASSERT_EQ(fk::ctl(dev, "resume"), 0);
    usleep(unsigned(ms) * 1000);
    ASSERT_EQ(fk::ctl(dev, "stall"), 0);
}

TEST(FakecamQueue, LateReaderGetsConsecutiveFramesUpToTheDepth)
{
    Child c("video1 format=GREY size=64x64 fps=50\n"
            "video2 format=GREY size=64x64 fps=50 buffers=6\n");
    if (c.parent()) {
        ASSERT_EQ(c.result.status, 0) << c.result.out;
        // Every frame made was either read or overwritten in the queue.
        std::string s = c.stats();
        for (const char *dev : {"video1", "video2"}) {
            SCOPED_TRACE(dev);
            long long produced = stat_of(s, dev, "produced");
            EXPECT_GT(produced, 10) << s;
            EXPECT_EQ(stat_of(s, dev, "delivered") + stat_of(s, dev, "skipped"),
                      produced)
                << s;
        }
        EXPECT_EQ(stat_of(s, "video1", "buffers"), 4) << s;
        EXPECT_EQ(stat_of(s, "video2", "buffers"), 6) << s;
        return;
    }
    for (auto [dev, path, depth] :
         {std::tuple{"video1", "/dev/video1", 4u},
          std::tuple{"video2", "/dev/video2", 6u}}) {
        SCOPED_TRACE(dev);
        int fd = open(path, O_RDWR | O_NONBLOCK);
        ASSERT_GE(fd, 0);
        fk::Frame first = fk::read_frame(fd, SIZE, SIZE);
        ASSERT_EQ(first.n, ssize_t(SIZE));
        // About fifteen frames while nobody reads: the newest `depth` stay.
        fill_and_stall(dev, 300);
        std::vector<fk::Frame> q = drain(fd);
        ASSERT_EQ(q.size(), depth);
        expect_consecutive(q);
        EXPECT_GT(q[0].seq, first.seq + 1) << "older frames were dropped";
        // Once read empty, the next frame made is the next in order.
        ASSERT_EQ(fk::ctl(dev, "resume"), 0);
        fk::Frame next = fk::read_frame(fd, SIZE, SIZE);
        ASSERT_EQ(next.n, ssize_t(SIZE));
        EXPECT_EQ(next.seq, q.back().seq + 1);
        ASSERT_EQ(fk::ctl(dev, "stall"), 0);
        drain(fd);
        close(fd);
    }
}

TEST(FakecamQueue, EachDescriptorHasItsOwnQueue)
{
    Child c("video3 format=GREY size=64x64 fps=50 buffers=3\n");
    if (c.parent()) {
        EXPECT_EQ(c.result.status, 0) << c.result.out;
        return;
    }
    int a = open("/dev/video3", O_RDWR | O_NONBLOCK);
    int b = open("/dev/video3", O_RDWR | O_NONBLOCK);
    ASSERT_GE(a, 0);
    ASSERT_GE(b, 0);
    fill_and_stall("video3", 200);
    std::vector<fk::Frame> qa = drain(a);
    // Reading one descriptor empty leaves the other's frames in place.
    EXPECT_NE(fk::wait_ready(b, 0) & POLLIN, 0);
    std::vector<fk::Frame> qb = drain(b);
    ASSERT_EQ(qa.size(), 3u);
    ASSERT_EQ(qb.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(qa[i].seq, qb[i].seq);
        EXPECT_EQ(qa[i].data, qb[i].data) << "the same picture in both";
    }
    expect_consecutive(qa);
    // A descriptor opened after a change of depth gets the new one.
    ASSERT_EQ(fk::ctl("video3", "buffers 5"), 0);
    int later = open("/dev/video3", O_RDWR | O_NONBLOCK);
    ASSERT_GE(later, 0);
    fill_and_stall("video3", 300);
    EXPECT_EQ(drain(a).size(), 5u);
    EXPECT_EQ(drain(later).size(), 5u);
    close(later);
    close(a);
    close(b);
}

TEST(FakecamQueue, BuffersCommandResizesOpenQueues)
{
    Child c("video4 format=GREY size=64x64 fps=50\n"
            "video5 buffers=0\nvideo6 buffers=33\n");
    if (c.parent()) {
        ASSERT_EQ(c.result.status, 0) << c.result.out;
        const std::string &out = c.result.out;
        for (const char *bad : {":2: bad option \"buffers=0\"; line skipped",
                                ":3: bad option \"buffers=33\"; line skipped"})
            EXPECT_NE(out.find(bad), std::string::npos) << out;
        for (const char *bad : {"buffers 0", "buffers 33", "buffers four",
                                "buffers", "buffers 2 3"})
            EXPECT_NE(out.find("fakecam: video4: bad command \"" +
                               std::string(bad) + "\""),
                      std::string::npos)
                << bad << "\n"
                << out;
        std::string s = c.stats();
        EXPECT_EQ(stat_of(s, "video4", "delivered") +
                      stat_of(s, "video4", "skipped"),
                  stat_of(s, "video4", "produced"))
            << "frames dropped by a smaller queue count as skipped\n"
            << s;
        return;
    }
    EXPECT_EQ(open("/dev/video5", O_RDWR), -1) << "a bad line is skipped";
    int fd = open("/dev/video4", O_RDWR | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    fill_and_stall("video4", 200);
    ASSERT_EQ(fk::wait_ready(fd, 0) & POLLIN, POLLIN);
    // Shrinking keeps the newest frames and the readiness.
    ASSERT_EQ(fk::ctl("video4", "buffers 2"), 0);
    std::vector<fk::Frame> q = drain(fd);
    ASSERT_EQ(q.size(), 2u);
    expect_consecutive(q);

    // Bad depths change nothing.
    for (const char *bad :
         {"buffers 0", "buffers 33", "buffers four", "buffers", "buffers 2 3"})
        ASSERT_EQ(fk::ctl("video4", bad), 0) << bad;
    fill_and_stall("video4", 200);
    EXPECT_EQ(drain(fd).size(), 2u);

    ASSERT_EQ(fk::ctl("video4", "buffers 32"), 0);
    fill_and_stall("video4", 400);
    q = drain(fd);
    EXPECT_GE(q.size(), 10u);
    EXPECT_LE(q.size(), 32u);
    expect_consecutive(q);
    ASSERT_EQ(fk::ctl("video4", "buffers 1"), 0);
    fill_and_stall("video4", 200);
    EXPECT_EQ(drain(fd).size(), 1u);
    close(fd);
}

} // namespace
