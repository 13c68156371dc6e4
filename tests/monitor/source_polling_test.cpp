// Polling window sources: first frames, failures, restarts, switches.
#include <climits>
#include <unistd.h>

#include "harness.h"
#include "monitor_fixture.h"
#include "process.h"

using namespace monitortest;

namespace {

class Polling : public MonitorTest {
protected:
    void SetUp() override
    {
        MonitorTest::SetUp();
        setenv("TIRSK_LOCK_DIR", lockdir_.path().c_str(), 1);
        cam1_ = add_camera(1);
        cam2_ = add_camera(2, true);
        add_layout(0, "WIDE_2_2", {cam1_, cam2_});
        cur_layout = 0;
        ASSERT_EQ(apply_layout(&conf->layouts[0]), 1);
    }
    void TearDown() override
    {
        unsetenv("TIRSK_LOCK_DIR");
        MonitorTest::TearDown();
    }
    void lock_file(int cam, const std::string &text)
    {
        testsupport::write_file(lockdir_.file("DB:tirsk6_db..cam" +
                                              std::string(cam < 10 ? "0" : "") +
                                              std::to_string(cam)),
                                text);
    }
    int tick(int64_t advance_us = 40000)
    {
        g_monotime_microsec += advance_us;
        return poll_wins_sources(g_monotime_microsec);
    }

    testsupport::TempDir lockdir_;
    camera *cam1_ = nullptr, *cam2_ = nullptr;
};

} // namespace

TEST_F(Polling, FirstFrameAdoptsTheSourceAndShowsIt)
{
    window *w = cam1_->win;
    stream(cam1_).polls = {1, 1, 0};
    EXPECT_GT(tick(), 0);
    EXPECT_EQ(w->cur_src, 0);
    EXPECT_EQ(w->target_src, -1);
    EXPECT_FALSE(w->state & (WS_WT | WS_CF | WS_SF));
    EXPECT_EQ(cam1_->srcs[0].started, 1u);
    EXPECT_EQ(cam1_->srcs[0].format, uint32_t(MEDIA_FMT_I420));
    EXPECT_EQ(cam1_->srcs[0].aspect_w, 11u);
    EXPECT_EQ(count_calls("^alloc"), 1);
    EXPECT_EQ(count_calls("^show_frame"), 1);
    tick();
    EXPECT_EQ(count_calls("^alloc"), 1) << "overlay kept for the run";
    EXPECT_EQ(count_calls("^show_frame"), 2);
}

TEST_F(Polling, DeadSourceRestartsAfterReconnectAndReportsEveryNoSignal)
{
    window *w = cam1_->win;
    stream(cam1_).polls = {1, POLL_ERROR};
    tick();
    tick(); // fails: stopped, t_fail = now
    stream(cam1_).play_ok = false;
    const int plays = stream(cam1_).plays;
    tick(500000);
    EXPECT_EQ(stream(cam1_).plays, plays) << "not before the reconnect time-out";
    tick(600000);
    EXPECT_EQ(stream(cam1_).plays, plays + 1);
    // More than no-signal (4 s) after the failure: reported again.
    winStateReset(w, WS_SF | WS_CF);
    tick(3000000);
    EXPECT_TRUE(w->state & (WS_SF | WS_CF));
}

// The repeated failure report must not put the restart off: with a
// no-signal time not longer than the reconnect time-out, a dead source is
// still played again every reconnect time-out.
TEST_F(Polling, DeadSourceRestartsEvenWhenNoSignalIsNotLongerThanReconnect)
{
    conf->no_signal = 1;
    conf->reconnect_timeout = 2000;
    stream(cam1_).polls = {1, POLL_ERROR};
    tick();
    tick(); // fails: stopped, t_fail = now
    stream(cam1_).play_ok = false;
    const int plays = stream(cam1_).plays;
    for (int i = 0; i < 60; i++) // 6 s in 100 ms ticks
        tick(100000);
    EXPECT_GE(stream(cam1_).plays, plays + 2);
    EXPECT_LE(stream(cam1_).plays, plays + 3);
}

TEST_F(Polling, CheckLocalServerReadsThePidFromTheLockFile)
{
    EXPECT_EQ(check_local_server("tirsk6_db", 7), 0) << "no lock file";
    lock_file(7, std::to_string(getpid()));
    EXPECT_EQ(check_local_server("tirsk6_db", 7), 1);
    lock_file(7, "1");
    EXPECT_EQ(check_local_server("tirsk6_db", 7), 0) << "pid below 2";
    lock_file(7, "99999999999999999999999");
    EXPECT_EQ(check_local_server("tirsk6_db", 7), 0) << "overflow";
    lock_file(7, "junk");
    EXPECT_EQ(check_local_server("tirsk6_db", 7), 0);
    lock_file(7, "2147483646");
    EXPECT_EQ(check_local_server("tirsk6_db", 7), 0) << "no such process";
    lock_file(123, std::to_string(getpid()));
    EXPECT_EQ(check_local_server("tirsk6_db", 123), 1) << "three digits";
}

TEST_F(Polling, FullscreenSwitchKeepsTheLayoutStreamUntilTheFirstFrame)
{
    window *w = cam2_->win;
    stream(cam2_).polls = {1};
    tick();
    ASSERT_EQ(w->cur_src, 0);
    layout_to_fullscreen(int(w - windows));
    EXPECT_EQ(g_fsWinIdx, int(w - windows));
    EXPECT_EQ(w->target_src, 1);
    EXPECT_EQ(stream(cam2_, 1).plays, 1);
    EXPECT_EQ(stream(cam2_).stops, 0) << "layout stream still shown";
    stream(cam2_).polls = {1};
    stream(cam2_, 1).polls = {0, 1};
    tick();
    EXPECT_EQ(w->cur_src, 0);
    tick();
    EXPECT_EQ(w->cur_src, 1);
    EXPECT_EQ(w->target_src, -1);
    EXPECT_EQ(stream(cam2_).state, SRC_STATE_STOPPED) << "previous stopped";
}

TEST_F(Polling, FullscreenStreamFailingBeforeItsFirstFrameFailsTheWindow)
{
    window *w = cam2_->win;
    stream(cam2_).polls = {1};
    tick();
    layout_to_fullscreen(int(w - windows));
    stream(cam2_, 1).polls = {POLL_OPEN_TIMEOUT};
    tick();
    EXPECT_EQ(w->cur_src, 1);
    EXPECT_EQ(w->target_src, -1);
    EXPECT_EQ(stream(cam2_).state, SRC_STATE_STOPPED);
    EXPECT_TRUE(w->state & WS_CF) << "network stream: capture failure";
}

// Back to the layout before the fullscreen stream showed anything: its
// first frame finds nobody wanting it, and it is stopped.
TEST_F(Polling, StreamNobodyWantsIsStoppedAtItsFirstFrame)
{
    window *w = cam2_->win;
    stream(cam2_).polls = {1};
    tick();
    layout_to_fullscreen(int(w - windows));
    fullscreen_to_layout();
    ASSERT_EQ(w->cur_src, 0);
    vout_calls.clear();
    testsupport::LogCapture log;
    stream(cam2_, 1).polls = {1};
    EXPECT_EQ(tick(), 1);
    EXPECT_TRUE(log.contains("stop unused source #1 (cur/target = 0/0)"))
        << log.text();
    EXPECT_EQ(stream(cam2_, 1).state, SRC_STATE_STOPPED);
    EXPECT_EQ(count_calls("^alloc"), 0);
    EXPECT_EQ(count_calls("^show_frame"), 0);
    EXPECT_EQ(w->cur_src, 0);
}

// The fullscreen stream's first frame completes the switch: the screen is
// cleared and the window refitted to the new stream's shape.
TEST_F(Polling, FullscreenFirstFrameRefitsTheWindowToTheNewStream)
{
    window *w = cam2_->win;
    stream(cam2_).polls = {1};
    tick();
    layout_to_fullscreen(int(w - windows));
    winStateSet(w, WS_MO);
    stream(cam2_, 1).width = 1280;
    stream(cam2_, 1).height = 720;
    stream(cam2_, 1).polls = {1};
    vout_calls.clear();
    tick();
    EXPECT_EQ(w->cur_src, 1);
    EXPECT_EQ(cam2_->srcs[1].aspect_w * 1000 + cam2_->srcs[1].aspect_h, 16009u);
    EXPECT_EQ(uint64_t(w->video_rect.w) * 9, uint64_t(w->video_rect.h) * 16);
    EXPECT_GT(w->video_rect.w, 1000u);
    EXPECT_FALSE(w->state & (WS_MO | WS_WT | WS_CF | WS_SF));
    const std::vector<std::string> want = {"alloc", "free", "fill", "draw_win",
                                           "show_frame"};
    EXPECT_EQ(slots(), want);
}

// A fullscreen stream whose picture cannot be fitted to the screen costs
// that stream, not the viewer: back to the layout with the error popup.
TEST_F(Polling, FullscreenStreamThatCannotBeFittedGoesBackToTheLayout)
{
    window *w = cam2_->win;
    stream(cam2_).polls = {1};
    tick();
    layout_to_fullscreen(int(w - windows));
    stream(cam2_, 1).width = 2;
    stream(cam2_, 1).height = 4000; // 1:2000, taller than the screen
    stream(cam2_, 1).polls = {1};
    vout_calls.clear();
    EXPECT_GE(tick(), 0);
    EXPECT_EQ(g_fsWinIdx, -1);
    EXPECT_EQ(w->target_src, 0);
    EXPECT_EQ(stream(cam2_, 1).state, SRC_STATE_STOPPED);
    EXPECT_EQ(count_calls("^show_frame"), 0);
    EXPECT_EQ(count_calls("Ошибка переключения\nв полноэкранный"), 1);
}

// A plain error of a stream that never delivered a frame ends the switch
// but leaves the window's flags alone; a time-out of it fails the window.
TEST_F(Polling, ErrorOfANeverStartedTargetLeavesTheFlags)
{
    window *w = cam2_->win;
    stream(cam2_).polls = {1};
    tick();
    layout_to_fullscreen(int(w - windows));
    stream(cam2_, 1).polls = {POLL_ERROR};
    tick();
    EXPECT_EQ(w->cur_src, 1);
    EXPECT_EQ(w->target_src, -1);
    EXPECT_EQ(w->state & (WS_WT | WS_CF | WS_SF), uint32_t(WS_WT));
    EXPECT_EQ(stream(cam2_).state, SRC_STATE_STOPPED);
}

// No overlay for a stream, or a frame the screen refuses: the program ends.
TEST_F(Polling, OverlayOrDisplayFailureEndsTheProgram)
{
    auto *alloc = fake_vout.alloc_playback_resources;
    auto *show = fake_vout.show_frame;
    fake_vout.alloc_playback_resources = [](media_source *) { return 0; };
    stream(cam1_).polls = {1};
    testsupport::LogCapture log;
    EXPECT_EQ(tick(), -1);
    EXPECT_TRUE(log.contains("could not allocate video output resource\n"))
        << log.text();
    EXPECT_EQ(stream(cam1_).state, SRC_STATE_STOPPED);
    fake_vout.alloc_playback_resources = alloc;

    fake_vout.show_frame = [](window *, media_source *, media_frame *) { return 0; };
    stream(cam2_).polls = {1};
    EXPECT_EQ(tick(), -1);
    fake_vout.show_frame = show;
}

// The read time-out handed to the driver is the no-signal time, whatever
// its size: a long one must not wrap into a short or disabled time-out.
TEST_F(Polling, ReadTimeoutIsTheNoSignalTimeWithoutWrapping)
{
    tick();
    EXPECT_EQ(stream(cam1_).last_timeout_ms, 4000);
    conf->no_signal = 4294968; // x 1000 wraps 32 bits to 704
    tick();
    EXPECT_EQ(stream(cam1_).last_timeout_ms, INT_MAX);
    conf->no_signal = 3000000; // x 1000 fits 32 unsigned bits, not an int
    tick();
    EXPECT_EQ(stream(cam1_).last_timeout_ms, INT_MAX);
}
