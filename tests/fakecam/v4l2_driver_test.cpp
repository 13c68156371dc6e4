// The viewer's own V4L2 driver against the simulated devices: the
// emulation must be good enough for the real code path, from play to the
// renderer's single read() of a whole frame, and for its failure handling.
#include <cstring>

#include "fakecam_client.h"
#include "media.h"

namespace {

using fk::Child;

constexpr size_t W = 64, H = 48, I420 = W * H * 3 / 2;

// Polls the way the frame tick does (a new tick value each time) until the
// driver answers something other than "nothing yet", at most limit_ms.
// The first poll comes a frame period after the call, as after a play: the
// driver counts its read time-out before the first frame from tick 0.
int poll_until(void *h, media_frame *frame, int timeout_ms, int limit_ms = 3000)
{
    usleep(60000);
    int64_t end = fk::now_us() + limit_ms * 1000;
    int r = POLL_NOTHING;
    while (fk::now_us() < end) {
        *frame = media_frame{};
        r = v4l2_capture_drv.poll(h, 1, frame, fk::now_us(), timeout_ms);
        if (r != POLL_NOTHING)
            return r;
        usleep(5000);
    }
    return r;
}

TEST(FakecamWithDriver, DriverShowsFramesAndNoticesEveryFailure)
{
    // One buffer: a single read below is enough to drop what came before.
    Child c("video3 format=I420 size=64x48 fps=25 cam=3 buffers=1\n"
            "video9 format=YUYV size=64x48\n"
            "video4 format=GREY size=64x48 fail=nocapture\n");
    if (c.parent()) {
        EXPECT_EQ(c.result.status, 0) << c.result.out;
        return;
    }
    ASSERT_EQ(v4l_init(), 1);
    log_ctx parent{};
    std::strcpy(parent.prefix, "cam[03.0]");
    void *h = v4l2_capture_drv.create(&parent, "/dev/video3");
    ASSERT_NE(h, nullptr);
    ASSERT_EQ(v4l2_capture_drv.play(h), 1);
    EXPECT_EQ(v4l2_capture_drv.get_state(h), SRC_STATE_PLAYING);

    // A frame names the descriptor; one read takes the whole picture.
    media_frame f{};
    ASSERT_EQ(poll_until(h, &f, 4000), POLL_FRAME);
    EXPECT_EQ(f.format, uint32_t(MEDIA_FMT_I420));
    EXPECT_EQ(f.width, W);
    EXPECT_EQ(f.height, H);
    EXPECT_EQ(f.size, I420);
    EXPECT_EQ(f.data, nullptr);
    std::vector<uint8_t> pic(f.size);
    ASSERT_EQ(read(f.fd, pic.data(), f.size), ssize_t(I420));
    EXPECT_TRUE(pic[0] & 0x02);
    ASSERT_EQ(fk::ctl("video3", "nosignal on"), 0);
    read(f.fd, pic.data(), f.size); // may be a frame made before
    ASSERT_EQ(poll_until(h, &f, 4000), POLL_FRAME);
    ASSERT_EQ(read(f.fd, pic.data(), f.size), ssize_t(I420));
    EXPECT_FALSE(pic[0] & 0x02);

    // A hang-up ends the stream; playing again brings the pictures back.
    ASSERT_EQ(fk::ctl("video3", "hangup"), 0);
    EXPECT_EQ(poll_until(h, &f, 4000), POLL_ERROR);
    EXPECT_EQ(v4l2_capture_drv.get_state(h), SRC_STATE_STOPPED);
    ASSERT_EQ(v4l2_capture_drv.play(h), 1);
    ASSERT_EQ(poll_until(h, &f, 4000), POLL_FRAME);
    ASSERT_EQ(read(f.fd, pic.data(), f.size), ssize_t(I420));

    // A stalled device runs into the read time-out.
    ASSERT_EQ(fk::ctl("video3", "stall"), 0);
    read(f.fd, pic.data(), f.size);
    EXPECT_EQ(poll_until(h, &f, 300), POLL_READ_TIMEOUT);
    ASSERT_EQ(fk::ctl("video3", "resume"), 0);

    // An unplugged device cannot be played until it is back.
    ASSERT_EQ(fk::ctl("video3", "vanish"), 0);
    EXPECT_EQ(v4l2_capture_drv.play(h), 0);
    ASSERT_EQ(fk::ctl("video3", "back"), 0);
    EXPECT_EQ(v4l2_capture_drv.play(h), 1);
    v4l2_capture_drv.destroy(&h);
    EXPECT_EQ(h, nullptr);

    // Devices the viewer refuses: a packed format and no capture interface.
    for (const char *path : {"/dev/video9", "/dev/video4"}) {
        SCOPED_TRACE(path);
        void *r = v4l2_capture_drv.create(&parent, path);
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(v4l2_capture_drv.play(r), 0);
        EXPECT_EQ(v4l2_capture_drv.get_state(r), SRC_STATE_STOPPED);
        v4l2_capture_drv.destroy(&r);
    }
    v4l_fini();
}

} // namespace
