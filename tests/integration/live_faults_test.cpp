// Live pictures of simulated devices, some of which misbehave, and a screen
// full of windows: every window shows its camera with its name, border and
// signal marker; the viewer shows why a picture is missing, retries on its
// own, recovers, never crashes nor hangs, and ends in order on SIGTERM.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "viewer.h"

using namespace testsupport;

namespace {

class LiveFaults : public ViewerTest {
protected:
    size_t plays(int dev) { return run_->log_count("+++ PLAY /dev/video" + std::to_string(dev) + " +++"); }
    // SIGTERM: logged at error level, then the way down, every source
    // destroyed, status 1.
    void stop_in_order(size_t sources)
    {
        const RunResult r = run_->stop(10000);
        EXPECT_FALSE(r.timed_out) << "hung";
        EXPECT_EQ(r.signal, 0) << "crashed";
        EXPECT_EQ(r.status, 1);
        const std::string &log = r.err;
        const size_t sig = log.find("Got Terminated signal, terminate process.\n"),
                     down = log.find("tirsk-mon (L) exiting..."), destroy = log.find("+++ DESTROY +++"),
                     end = log.find("(D) finished, ret = 0");
        ASSERT_NE(sig, std::string::npos) << log;
        EXPECT_EQ(log.compare(log.rfind('\n', sig) + 1, 3, "<3>"), 0);
        EXPECT_TRUE(sig < down && down < destroy && destroy < end && end != std::string::npos) << log;
        EXPECT_EQ(size_t(occurrences(log, "+++ DESTROY +++")), sources);
    }
};

enum class Lock { none, dead, live }; // the recording server's lock file names...

// A fault of window 1's device: logged `times' times (the viewer retries on
// its own), whether the stream restarts, the window's label while it
// lasts, the command that ends it.
struct DeviceFault {
    const char *command, *logged;
    int times;
    bool restarts;
    Lock lock;
    const char *label, *restore;
};
const DeviceFault DEVICE_FAULTS[] = {
    // No errno of its own: the byte counts tell it; no reason to restart.
    {"shortread 10", "read video device filed: 10 of ", 1, false, Lock::none, nullptr, nullptr},
    {"hangup", "device \"/dev/video1\" reported an error and hung up", 1, true, Lock::none, nullptr, nullptr},
    {"vanish", "could not open device \"/dev/video1\" -> #2(No such file or directory)", 3, true, Lock::none,
     SERVER_FAILURE, "back"},
    {"stall", "/dev/video1 -> read timeout (2000 ms)", 2, true, Lock::dead, SERVER_FAILURE, "resume"},
    {"stall", "/dev/video1 -> read timeout (2000 ms)", 2, true, Lock::live, NO_SIGNAL, "resume"},
};

} // namespace

TEST_F(LiveFaults, DeviceFaultsAreShownRetriedAndRecovered)
{
    start(sim_catalogue(2, "layout 0 L WIDE_2_2 \"Pair\" 1 2\n"), sim_cams(2),
          {"--reconnect-timeout=1", "--no-signal=2"});
    ASSERT_TRUE(run_->wait_log("cam[02] src#0: playback started")) << run_->log();
    const std::string lock = run_->dir().file("locks/DB:tirsk6_db..cam01");
    for (const DeviceFault &f : DEVICE_FAULTS) {
        SCOPED_TRACE(f.command + std::string(" lock ") + std::to_string(int(f.lock)));
        pid_t holder = getpid();
        if (f.lock == Lock::dead && (holder = fork()) == 0)
            _exit(0);
        if (f.lock == Lock::dead)
            waitpid(holder, nullptr, 0);
        if (f.lock == Lock::none)
            unlink(lock.c_str());
        else
            write_file(lock, std::to_string(holder) + "\n");

        const size_t logged = run_->log_count(f.logged), before = plays(1),
                     restarts = run_->log_count("cam[01] src#0: cur. playback started");
        ASSERT_TRUE(run_->cam_command("video1", f.command));
        ASSERT_TRUE(wait_until(15000, [&] { return run_->log_count(f.logged) >= logged + f.times; }))
            << run_->log();
        EXPECT_TRUE(!f.label || shot_until([&](const Image &img) {
            return label(img, 1, f.label, RED, BLACK, Place::centre) &&
                   label_mismatch(img, wins_.at(2).video, f.label, RED, BLACK, Place::centre) > 0.5;
        }));
        ASSERT_TRUE(!f.restore || run_->cam_command("video1", f.restore));
        if (!f.restarts) {
            EXPECT_EQ(plays(1), before) << "restarted";
        } else {
            ASSERT_TRUE(wait_until(8000, [&] {
                return run_->log_count("cam[01] src#0: cur. playback started") > restarts;
            })) << run_->log();
        }
        // Moving again, no label, selected without alert.
        EXPECT_TRUE(pair_until([&](const Image &a, const Image &b) {
            return moved(a, b, 1) > 0.01 && border(b, 1, SELECTED) > 0.9 &&
                   label_mismatch(b, wins_.at(1).video, NO_SIGNAL, RED, BLACK, Place::centre) > 0.5 &&
                   label_mismatch(b, wins_.at(1).video, SERVER_FAILURE, RED, BLACK, Place::centre) > 0.5;
        }));
    }
    EXPECT_EQ(plays(2), 1u) << "camera 2 never restarted";
    EXPECT_TRUE(moving(2));
    stop_in_order(2);
}

// Sixty windows on a small screen, with devices that fail to open, to
// query, lose their signal, hang up, lack capture or any way to read, or
// come in a format the viewer does not take among them.  A refusal is an
// error the first time; while a device keeps failing the same way, later
// retries log it at info level (the first retry still counts as news: the
// poll that reported the first refusal forgets it), and leak no descriptor.
TEST_F(LiveFaults, SixtyWindowsOnASmallScreen)
{
    std::string cams, layout = "layout 0 L WIDE_60_60 \"All\"";
    for (int i = 1; i <= 60; i++) {
        const char *fault[10] = {"",           "", " fail=nocapture", " fail=open",    " fail=noio",
                                 " nosignal=1", "", "",               " fail=querycap", " format=YUYV"};
        cams += "video" + std::to_string(i) + " size=176x144 fps=10" + fault[i % 10] + "\n";
        layout += " " + std::to_string(i);
    }
    start("camera 0 allow_local=1 video_src=yes geometry=176x144\ncamera 1-60 work=1 v4l_pipe={nr}\n" +
              layout + "\n",
          cams, {"-g", "640x480", "--reconnect-timeout=1", "--no-signal=1"});
    ASSERT_EQ(wins_.size(), 60u);
    ASSERT_TRUE(wait_until(15000, [&] { return run_->log_count("src#0: playback started") >= 30; }))
        << run_->log();
    ASSERT_TRUE(run_->cam_command("video1", "hangup"));
    ASSERT_TRUE(run_->cam_command("video6", "stall"));
    ASSERT_TRUE(run_->wait_log("device \"/dev/video1\" reported an error and hung up")) << run_->log();
    ASSERT_TRUE(run_->wait_log("/dev/video6 -> read timeout")) << run_->log();
    const auto lit = [&](const Image &img) {
        int n = 0;
        for (int w = 1; w <= 60; w++) {
            const Rgb avg = average(img, wins_.at(w).video.inner(2));
            n += avg.r + avg.g + avg.b > 60;
        }
        return n;
    };
    Image img;
    EXPECT_TRUE(shot_until([&](const Image &i) { return lit(i) >= 30; }, &img))
        << "playing windows show their pictures: " << lit(img);
    EXPECT_TRUE(label(img, 9, SERVER_FAILURE, RED, BLACK, Place::centre));
    for (const auto &[n, w] : wins_) { // inside the 640x480 view
        EXPECT_GE(w.rect.x, 0);
        EXPECT_LE(w.rect.x + w.rect.w, 640) << n;
        EXPECT_LE(w.rect.y + w.rect.h, 480) << n;
    }
    const std::string msg = "cam[09] src#0 <-- v4l2: unexpected pixelformat 0x56595559\n";
    const std::string fd_dir = "/proc/" + std::to_string(run_->child()->pid()) + "/fd";
    const auto fds = [&] { return std::distance(std::filesystem::directory_iterator(fd_dir), {}); };
    ASSERT_TRUE(wait_until(10000, [&] { return run_->log_count(msg) >= 4; })) << run_->log();
    const auto open_fds = fds();
    ASSERT_TRUE(wait_until(10000, [&] { return run_->log_count(msg) >= 8; })) << run_->log();
    EXPECT_LE(fds(), open_fds + 10) << "24 refusals a second, 4 seconds";
    const std::string log = run_->log();
    for (const std::string &m : std::vector<std::string>{msg, "device \"/dev/video2\" does not support CAPTURE interface\n",
                                "device \"/dev/video4\" does not support at least one STREAMING or READWRITE"}) {
        std::string levels;
        for (size_t at = log.find(m); at != std::string::npos; at = log.find(m, at + 1))
            levels += log.substr(log.rfind('\n', at) + 1, 3);
        EXPECT_EQ(levels.substr(0, 3), "<3>") << m;
        EXPECT_EQ(levels.find("<3>", 6), std::string::npos) << levels;
        EXPECT_EQ(levels.substr(levels.size() - 6), "<6><6>") << m << levels;
    }
    EXPECT_NE(log.find("start source playing failed with #22("), std::string::npos) << log;
    for (const char *cam : {"cam[03]", "cam[09]"})
        EXPECT_EQ(run_->log_count(cam + std::string(" src#0: playback started")) +
                      run_->log_count(cam + std::string(" src#0: cur. playback started")), 0u) << cam;
    stop_in_order(60);
}

TEST_F(LiveFaults, EveryWindowShowsItsCameraWithNameBorderAndSignalMarker)
{
    start(sim_catalogue(4, "layout 0 L QUAD_4_4 \"Hall\" 1 2 3 4\n"),
          "video1 size=352x288\nvideo2 size=352x288 format=GREY\n"
          "video3 size=352x288 nosignal=1\nvideo4 size=352x288\n",
          {"--camname-timeout=0"});
    ASSERT_EQ(wins_.size(), 4u);
    ASSERT_TRUE(run_->wait_log("cam[04] src#0: playback started")) << run_->log();
    const auto number_box = [&](const Image &img, int w) { // white digits on a black box in the middle
        const Box mid = wins_.at(w).video.centre(wins_.at(w).video.w / 3, wins_.at(w).video.h / 2);
        return count_colour(img, mid, {16, 16, 16}, 14) > mid.w * mid.h / 5 &&
               count_colour(img, mid, {235, 235, 235}, 20) > mid.w * mid.h / 10;
    };
    // Window 1 is selected, window 3 has lost its signal: its device's flat
    // picture stands still while the others move; a grey device is grey.
    EXPECT_TRUE(pair_until([&](const Image &a, const Image &b) {
        bool ok = moved(a, b, 3) == 0.0 && max_tint(b, wins_.at(2).video) <= 4 &&
                  max_tint(b, wins_.at(1).video) > 40 && border(b, 1, SELECTED) > 0.9 &&
                  border(b, 2, UNSELECTED) > 0.9 && border(b, 3, NO_SIGNAL_BORDER) > 0.9 &&
                  border(b, 4, UNSELECTED) > 0.9;
        for (int w = 1; w <= 4; w++)
            ok = ok && (w == 3 || moved(a, b, w) > 0.01) && number_box(b, w) &&
                 label(b, w, (" Cam " + std::to_string(w) + " ").c_str(), NAME_FG,
                       w == 3 ? ALERT_BG : NAME_BG, Place::bottom_left);
        return ok;
    }));

    // The signal returns and goes again; the other windows keep theirs.
    ASSERT_TRUE(run_->cam_command("video3", "nosignal off"));
    EXPECT_TRUE(pair_until([&](const Image &c, const Image &d) {
        return border(d, 3, UNSELECTED) > 0.9 && moved(c, d, 3) > 0.01 &&
               label(d, 3, " Cam 3 ", NAME_FG, NAME_BG, Place::bottom_left);
    }));
    ASSERT_TRUE(run_->cam_command("video3", "nosignal on"));
    EXPECT_TRUE(shot_until([&](const Image &e) {
        return border(e, 3, NO_SIGNAL_BORDER) > 0.9 && border(e, 4, UNSELECTED) > 0.9 &&
               label(e, 3, " Cam 3 ", NAME_FG, ALERT_BG, Place::bottom_left);
    }));
}
