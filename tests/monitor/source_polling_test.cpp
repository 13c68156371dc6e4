// Polling window sources: first frames, failures, restarts, switches.
#include <climits>
#include <sys/stat.h>
#include <unistd.h>

#include "monitor_fixture.h"

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
        show_layout("WIDE_2_2", {cam1_, cam2_});
    }
    void TearDown() override
    {
        unsetenv("TIRSK_LOCK_DIR");
        MonitorTest::TearDown();
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

// A dead source is played again every reconnect time-out, never sooner,
// however its repeated failure report falls between.
TEST_F(Polling, DeadSourceRestartsEveryReconnectTimeOut)
{
    // no-signal s, reconnect ms, ticks of 100 ms after the failure: plays
    for (auto [no_signal, reconnect_ms, ticks, min_plays, max_plays] :
         {std::tuple{4u, 1000u, 5, 0, 0}, {4u, 1000u, 11, 1, 1}, {1u, 2000u, 60, 2, 3}}) {
        SCOPED_TRACE(std::to_string(reconnect_ms) + " ms, " + std::to_string(ticks) + " ticks");
        TearDown();
        SetUp();
        conf->no_signal = no_signal;
        conf->reconnect_timeout = reconnect_ms;
        stream(cam1_).polls = {1, POLL_ERROR};
        tick();
        tick(); // fails: stopped
        stream(cam1_).play_ok = false;
        const int plays = stream(cam1_).plays;
        for (int i = 0; i < ticks; i++)
            tick(100000);
        EXPECT_GE(stream(cam1_).plays - plays, min_plays);
        EXPECT_LE(stream(cam1_).plays - plays, max_plays);
    }
}

// Frames are taken as they come, but no camera is drawn more than
// `framerate` times a second however often it is polled or offers frames.
TEST_F(Polling, FrameRateLimitHoldsPerCamera)
{
    // framerate, tick: frames shown in one second
    for (auto [framerate, tick_us, min_shown, max_shown] :
         {std::tuple{25u, 10000, 24, 27}, {25u, 40000, 24, 26}, {5u, 25000, 5, 7}, {60u, 14000, 60, 72}}) {
        SCOPED_TRACE(std::to_string(framerate) + " fps, tick " + std::to_string(tick_us));
        TearDown();
        SetUp();
        conf->framerate = framerate;
        stream(cam1_).polls = std::deque<int>(1000, 1);
        tick();
        vout_calls.clear();
        for (int64_t t = 0; t < 1000000; t += tick_us)
            tick(tick_us);
        const int shown = count_calls("^show_frame w0$");
        EXPECT_TRUE(shown >= min_shown && shown <= max_shown) << shown;
    }
}

// The recording server runs when the lock file names a live process; the
// file is read only when it is a plain one (a FIFO would block for good).
TEST_F(Polling, CheckLocalServerReadsThePidOfAPlainLockFile)
{
    const std::string pid = std::to_string(getpid());
    testsupport::write_file(lockdir_.file("pid"), pid);
    const struct {
        const char *kind, *text;
        int cam;
        bool runs;
    } cases[] = {{"none", "", 7, false}, {"plain", pid.c_str(), 7, true}, {"plain", "1", 7, false},
                 {"plain", "99999999999999999999999", 7, false}, {"plain", "junk", 7, false},
                 {"plain", "2147483646", 7, false}, {"plain", pid.c_str(), 123, true}, {"fifo", "", 7, false},
                 {"link", "", 7, false}, {"device", "", 7, false}};
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.kind) + " " + c.text);
        const std::string lock = lockdir_.file(c.cam < 10 ? "DB:tirsk6_db..cam07" : "DB:tirsk6_db..cam123");
        unlink(lock.c_str());
        const std::string kind = c.kind;
        if (kind == "plain")
            testsupport::write_file(lock, c.text);
        else if (kind == "fifo")
            mkfifo(lock.c_str(), 0666);
        else if (kind != "none")
            symlink(kind == "link" ? lockdir_.file("pid").c_str() : "/dev/zero", lock.c_str());
        EXPECT_EQ(check_local_server("tirsk6_db", c.cam), c.runs);
    }
}

// Server failure, then the server is back while the device stays dark:
// the cause changes, which is no recovery.
TEST_F(Polling, ChangingTheFailureCauseIsNoRecovery)
{
    LogCapture log;
    set_src_fail_state(cam1_->win, "/dev/video1");
    testsupport::write_file(lockdir_.file("DB:tirsk6_db..cam01"), std::to_string(getpid()));
    set_src_fail_state(cam1_->win, "/dev/video1");
    EXPECT_EQ(cam1_->win->state & (WS_CF | WS_SF), WS_CF);
    EXPECT_TRUE(log.contains("server failure!") && log.contains("capture failed")) << log.text();
    EXPECT_FALSE(log.contains("restore surveillance")) << log.text();
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

// No overlay for a stream, or a frame the screen refuses: the program ends.
TEST_F(Polling, OverlayOrDisplayFailureEndsTheProgram)
{
    struct Restore {
        video_out saved = fake_vout;
        ~Restore() { fake_vout = saved; }
    } restore;
    fake_vout.alloc_playback_resources = [](media_source *) { return 0; };
    stream(cam1_).polls = {1};
    LogCapture log;
    EXPECT_EQ(tick(), -1);
    EXPECT_TRUE(log.contains("could not allocate video output resource\n")) << log.text();
    EXPECT_EQ(stream(cam1_).state, SRC_STATE_STOPPED);
    fake_vout = restore.saved;
    fake_vout.show_frame = [](window *, media_source *, media_frame *) { return 0; };
    stream(cam2_).polls = {1};
    EXPECT_EQ(tick(), -1);
}

// The read time-out handed to the driver is the no-signal time, whatever
// its size: a long one must not wrap into a short or disabled time-out.
TEST_F(Polling, ReadTimeoutIsTheNoSignalTimeWithoutWrapping)
{
    // 4294968 s x 1000 wraps 32 bits to 704; 3000000 s fits them but no int.
    for (auto [no_signal, ms] : {std::pair{4u, 4000}, {4294968u, INT_MAX}, {3000000u, INT_MAX}}) {
        conf->no_signal = no_signal;
        tick();
        EXPECT_EQ(stream(cam1_).last_timeout_ms, ms) << no_signal;
    }
}
