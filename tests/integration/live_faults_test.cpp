// Devices that misbehave, and a screen full of windows: the viewer logs,
// recovers and keeps drawing; it neither crashes nor hangs.
#include <unistd.h>

#include <memory>

#include <gtest/gtest.h>

#include "viewer.h"

using namespace testsupport;

namespace {


const char *const PAIR = R"(camera 0 allow_local=1 video_src=yes geometry=352x288
camera 1-2 work=1 v4l_pipe={nr} text_left="Cam {nr}"
layout 0 L WIDE_2_2 "Pair" 1 2
)";
const char *const PAIR_CAMS = "video1 size=352x288\nvideo2 size=352x288\n";

class LiveFaults : public ViewerTest {
protected:
    size_t plays(int dev) { return run_->log_count("+++ PLAY /dev/video" + std::to_string(dev) + " +++"); }
    // Ends the viewer as the operator's system would; it must end in order.
    void stop_in_order()
    {
        const RunResult r = run_->stop(10000);
        EXPECT_FALSE(r.timed_out) << "hung";
        EXPECT_EQ(r.signal, 0) << "crashed";
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find("(D) finished, ret = 0"), std::string::npos);
    }
};

} // namespace

TEST_F(LiveFaults, ShortReadIsLoggedAndThePictureGoesOn)
{
    start(PAIR, PAIR_CAMS);
    ASSERT_TRUE(run_->wait_log("cam[01] src#0: playback started")) << run_->log();
    ASSERT_TRUE(run_->cam_command("video1", "shortread"));
    ASSERT_TRUE(run_->cam_command("video1", "shortread 10"));
    // A short read has no errno of its own: the byte counts tell it.
    ASSERT_TRUE(run_->wait_log("read video device filed: 10 of ")) << run_->log();
    EXPECT_TRUE(moving(1));
    EXPECT_EQ(plays(1), 1u) << "a short read is no reason to restart";
    stop_in_order();
}

TEST_F(LiveFaults, HangUpClosesTheDeviceAndItIsOpenedAgain)
{
    start(PAIR, PAIR_CAMS, {"--reconnect-timeout=1"});
    ASSERT_TRUE(run_->wait_log("cam[01] src#0: playback started")) << run_->log();
    for (int round = 1; round <= 3; round++) {
        SCOPED_TRACE("hang-up " + std::to_string(round));
        const size_t before = plays(1);
        ASSERT_TRUE(run_->cam_command("video1", "hangup"));
        ASSERT_TRUE(wait_until(8000, [&] { return plays(1) > before; })) << run_->log();
        ASSERT_TRUE(wait_until(8000, [&] {
            return run_->log_count("cam[01] src#0: cur. playback started") >= size_t(round);
        })) << run_->log();
    }
    const std::string log = run_->log();
    EXPECT_NE(log.find("cam[01] src#0 <-- v4l2: device \"/dev/video1\" reported an error and hung up"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("cam[01] src#0: cur. playback stopped by error"), std::string::npos);
    EXPECT_TRUE(moving(1));
    EXPECT_TRUE(moving(2));
    stop_in_order();
}

TEST_F(LiveFaults, VanishedDeviceFailsUntilItIsBack)
{
    start(PAIR, PAIR_CAMS, {"--reconnect-timeout=1", "--no-signal=2"});
    ASSERT_TRUE(run_->wait_log("cam[01] src#0: playback started")) << run_->log();
    ASSERT_TRUE(run_->cam_command("video1", "vanish"));
    const std::string gone = "could not open device \"/dev/video1\" -> #2(No such file or directory)";
    ASSERT_TRUE(wait_until(10000, [&] { return run_->log_count(gone) >= 3; })) << run_->log();
    EXPECT_TRUE(shot_until([&](const Image &img) {
        return label_mismatch(img, wins_.at(1).video, " СБОЙ СЕРВЕРА ", {255, 0, 0, 0},
                              {0, 0, 0, 0}, Place::centre) < 0.02;
    }));
    EXPECT_TRUE(moving(2)) << "the other camera goes on";

    ASSERT_TRUE(run_->cam_command("video1", "back"));
    ASSERT_TRUE(run_->wait_log("cam[01] src#0: cur. playback started", 8000)) << run_->log();
    EXPECT_TRUE(moving(1));
    stop_in_order();
}

// Sixty windows on a small screen, with devices that fail to open, to
// query, lose their signal and hang up among them.
TEST_F(LiveFaults, SixtyWindowsOnASmallScreen)
{
    std::string cams;
    for (int i = 1; i <= 60; i++) {
        cams += "video" + std::to_string(i) + " size=176x144 fps=10";
        if (i % 10 == 3)
            cams += " fail=open";
        else if (i % 10 == 5)
            cams += " nosignal=1";
        else if (i % 10 == 7)
            cams += " fail=querycap";
        cams += "\n";
    }
    std::string layout = "layout 0 L WIDE_60_60 \"All\"";
    for (int i = 1; i <= 60; i++)
        layout += " " + std::to_string(i);
    start("camera 0 allow_local=1 video_src=yes geometry=176x144\n"
          "camera 1-60 work=1 v4l_pipe={nr}\n" + layout + "\n",
          cams, {"-g", "640x480", "--reconnect-timeout=1", "--no-signal=1"});
    ASSERT_EQ(wins_.size(), 60u);
    ASSERT_TRUE(wait_until(15000, [&] {
        return run_->log_count("src#0: playback started") >= 48;
    })) << run_->log();
    ASSERT_TRUE(run_->cam_command("video1", "hangup"));
    ASSERT_TRUE(run_->cam_command("video2", "stall"));
    // Both faults caught, the screen still drawn.
    ASSERT_TRUE(run_->wait_log("cam[01] src#0 <-- v4l2: device \"/dev/video1\" reported an error and hung up")) << run_->log();
    ASSERT_TRUE(run_->wait_log("/dev/video2 -> read timeout")) << run_->log();
    EXPECT_TRUE(run_->child()->running());
    const auto lit = [&](const Image &img) {
        int n = 0;
        for (int w = 1; w <= 60; w++) {
            const Rgb avg = average(img, wins_.at(w).video.inner(2));
            n += avg.r + avg.g + avg.b > 60;
        }
        return n;
    };
    Image img;
    EXPECT_TRUE(shot_until([&](const Image &i) { return lit(i) >= 48; }, &img))
        << "playing windows show their pictures: " << lit(img);
    // Every window inside the 640x480 view, none overlapping the next.
    for (const auto &[n, w] : wins_) {
        EXPECT_GE(w.rect.x, 0);
        EXPECT_LE(w.rect.x + w.rect.w, 640) << n;
        EXPECT_LE(w.rect.y + w.rect.h, 480) << n;
    }
    EXPECT_EQ(run_->log_count("cam[03] src#0: playback started"), 0u);
    stop_in_order();
    EXPECT_EQ(run_->log_count("+++ DESTROY +++"), 60u);
}
