// Live pictures of simulated capture devices on a virtual display: every
// window shows its camera moving, grey devices in grey, the no-signal
// marker, stalled devices with their status label, and recovery.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>


#include <gtest/gtest.h>

#include "viewer.h"

using namespace testsupport;

namespace {

constexpr SDL_Color NAME_FG = {220, 220, 220, 0};
constexpr SDL_Color NAME_BG = {31, 31, 31, 0};
constexpr SDL_Color ALERT_BG = {64, 0, 0, 0};
constexpr SDL_Color RED = {255, 0, 0, 0};
constexpr SDL_Color BLACK = {0, 0, 0, 0};

const char *const NO_SIGNAL = " НЕТ СИГНАЛА  ";
const char *const SERVER_FAILURE = " СБОЙ СЕРВЕРА ";

class LiveVideo : public ViewerTest {
protected:
    void start(const std::string &catalogue, const std::string &cams,
               std::vector<std::string> options = {})
    {
        ViewerTest::start(catalogue, cams, std::move(options));
        ASSERT_FALSE(wins_.empty()) << run_->log();
    }
    // Share of a window's picture that changed between two pictures.
    double moved(const Image &a, const Image &b, int win)
    {
        const Box v = wins_.at(win).video.inner(4);
        return double(count_changed(a, b, v)) / (v.w * v.h);
    }
    bool label(const Image &img, int win, const char *text, SDL_Color fg, SDL_Color bg,
               Place place)
    {
        return label_mismatch(img, wins_.at(win).video, text, fg, bg, place) <= 0.02;
    }
    // Screenshots until two in a row satisfy pred (a later, b earlier).
    bool pair_until(const std::function<bool(const Image &, const Image &)> &pred)
    {
        Image prev;
        return shot_until([&](const Image &img) {
            const bool ok = prev.ok() && pred(prev, img);
            prev = img;
            return ok;
        });
    }
    double border_share(const Image &img, int win, int r, int g, int b)
    {
        return testsupport::border_share(img, wins_.at(win), {r, g, b});
    }
    // The simulated picture's camera number: white digits on a black box
    // in the middle of the window.
    bool number_box(const Image &img, int win)
    {
        const Box v = wins_.at(win).video;
        const Box mid = v.centre(v.w / 3, v.h / 2);
        const int all = mid.w * mid.h;
        const int dark = count_colour(img, mid, {16, 16, 16}, 14);
        const int light = count_colour(img, mid, {235, 235, 235}, 20);
        return dark > all / 5 && light > all / 10;
    }

};

const char *const QUAD = R"(camera 0 allow_local=1 video_src=yes geometry=352x288
camera 1-4 work=1 v4l_pipe={nr} text_left="Cam {nr}"
layout 0 L QUAD_4_4 "Hall" 1 2 3 4
)";

} // namespace

TEST_F(LiveVideo, EveryWindowShowsItsCameraWithNameBorderAndSignalMarker)
{
    start(QUAD,
          "video1 size=352x288 fps=25\n"
          "video2 size=352x288 fps=25 format=GREY\n"
          "video3 size=352x288 fps=25 nosignal=1\n"
          "video4 size=352x288 fps=25\n",
          {"--camname-timeout=0"});
    ASSERT_EQ(wins_.size(), 4u);
    ASSERT_TRUE(run_->wait_log("cam[04] src#0: playback started")) << run_->log();
    // Every window shows its camera and name; borders: window 1 is selected,
    // window 3 has lost its signal; a grey device is grey, a colour one is
    // not; no signal is the device's flat picture, standing still while the
    // others move.
    EXPECT_TRUE(pair_until([&](const Image &a, const Image &b) {
        bool ok = moved(a, b, 3) == 0.0 && max_tint(b, wins_.at(2).video) <= 4 &&
                  max_tint(b, wins_.at(1).video) > 40 &&
                  border_share(b, 1, 153, 102, 51) > 0.9 && border_share(b, 2, 51, 0, 0) > 0.9 &&
                  border_share(b, 3, 255, 0, 0) > 0.9 && border_share(b, 4, 51, 0, 0) > 0.9;
        for (int w = 1; w <= 4; w++)
            ok = ok && (w == 3 || moved(a, b, w) > 0.01) && number_box(b, w) &&
                 label(b, w, (" Cam " + std::to_string(w) + " ").c_str(), NAME_FG,
                       w == 3 ? ALERT_BG : NAME_BG, Place::bottom_left);
        return ok;
    }));

    // The signal returns: ordinary border, ordinary name, moving picture.
    ASSERT_TRUE(run_->cam_command("video3", "nosignal off"));
    EXPECT_TRUE(pair_until([&](const Image &c, const Image &d) {
        return border_share(d, 3, 51, 0, 0) > 0.9 && moved(c, d, 3) > 0.01 &&
               label(d, 3, " Cam 3 ", NAME_FG, NAME_BG, Place::bottom_left);
    }));
    // And goes again; the other windows keep theirs.
    ASSERT_TRUE(run_->cam_command("video3", "nosignal on"));
    EXPECT_TRUE(shot_until([&](const Image &e) {
        return border_share(e, 3, 255, 0, 0) > 0.9 && border_share(e, 4, 51, 0, 0) > 0.9 &&
               label(e, 3, " Cam 3 ", NAME_FG, ALERT_BG, Place::bottom_left);
    }));
    EXPECT_TRUE(run_->child()->running());
}

// A stalled device of a camera whose recording server runs (its lock file
// names a live process) has no signal; without a running server the
// server has failed.  The viewer retries on its own and recovers.
TEST_F(LiveVideo, StalledDeviceShowsWhyAndRecoversByItself)
{
    start(R"(camera 0 allow_local=1 video_src=yes geometry=352x288
camera 1-2 work=1 v4l_pipe={nr} text_left="Cam {nr}"
layout 0 L WIDE_2_2 "Pair" 1 2
)",
          "video1 size=352x288 fps=25\nvideo2 size=352x288 fps=25\n",
          {"--no-signal=2", "--reconnect-timeout=1", "--camname-timeout=0"});
    ASSERT_TRUE(run_->wait_log("cam[02] src#0: playback started")) << run_->log();
    const std::string lock = run_->lock_dir() + "/DB:tirsk6_db..cam01";

    // No lock file at all.
    ASSERT_TRUE(run_->cam_command("video1", "stall"));
    ASSERT_TRUE(run_->wait_log("/dev/video1 -> read timeout (2000 ms)")) << run_->log();
    EXPECT_TRUE(shot_until([&](const Image &img) {
        return label(img, 1, SERVER_FAILURE, RED, BLACK, Place::centre) &&
               label_mismatch(img, wins_.at(2).video, SERVER_FAILURE, RED, BLACK, Place::centre) >
                   0.5; // only in the stalled window
    }));

    // A lock file naming a process that has ended: still a server failure.
    pid_t dead = fork();
    if (dead == 0)
        _exit(0);
    waitpid(dead, nullptr, 0);
    write_file(lock, std::to_string(dead) + "\n");
    size_t timeouts = run_->log_count("read timeout (2000 ms)");
    ASSERT_TRUE(wait_until(10000, [&] {
        return run_->log_count("read timeout (2000 ms)") > timeouts;
    }));
    EXPECT_TRUE(shot_until([&](const Image &img) {
        return label(img, 1, SERVER_FAILURE, RED, BLACK, Place::centre);
    }));

    // The server runs (this test's process): no signal.
    write_file(lock, std::to_string(getpid()));
    timeouts = run_->log_count("read timeout (2000 ms)");
    ASSERT_TRUE(wait_until(10000, [&] {
        return run_->log_count("read timeout (2000 ms)") > timeouts;
    }));
    EXPECT_TRUE(shot_until([&](const Image &img) {
        return label(img, 1, NO_SIGNAL, RED, BLACK, Place::centre);
    }));
    EXPECT_TRUE(moving(2)) << "the other camera goes on";

    // Retries: restarted after each stop, each failure logged (their
    // spacing is the polling unit test's).
    const std::string failed = "cam[01] src#0: cur. playback ";
    ASSERT_TRUE(wait_until(15000, [&] {
        return run_->log_count("+++ PLAY /dev/video1 +++") >= 4 &&
               run_->log_count(failed + "stopped by read timeout") +
                       run_->log_count(failed + "failed by read timeout") >= 3;
    })) << run_->log();
    EXPECT_EQ(run_->log_count("+++ PLAY /dev/video2 +++"), 1u) << "camera 2 never restarted";

    // The device delivers again: the picture comes back by itself.
    const size_t starts = run_->log_count("cam[01] src#0: cur. playback started");
    ASSERT_TRUE(run_->cam_command("video1", "resume"));
    ASSERT_TRUE(wait_until(8000, [&] {
        return run_->log_count("cam[01] src#0: cur. playback started") > starts;
    })) << run_->log();
    // Moving, its number, no label, selected again without alert.
    EXPECT_TRUE(pair_until([&](const Image &r1, const Image &r2) {
        return moved(r1, r2, 1) > 0.01 && number_box(r2, 1) &&
               label_mismatch(r2, wins_.at(1).video, NO_SIGNAL, RED, BLACK, Place::centre) > 0.5 &&
               border_share(r2, 1, 153, 102, 51) > 0.9;
    }));
}

// A device in a format the viewer does not take is refused with an error;
// while it keeps failing the same way, every retry logs it at info level.
// (The first retry still counts as news: the poll that reported the first
// refusal forgets it.)
TEST_F(LiveVideo, UnsupportedFormatIsRefusedLoudlyThenQuietly)
{
    start(QUAD,
          "video1 size=352x288 format=YUYV\nvideo2 size=352x288\n"
          "video3 size=352x288\nvideo4 size=352x288\n",
          {"--reconnect-timeout=1", "--no-signal=1"});
    const std::string msg = "cam[01] src#0 <-- v4l2: unexpected pixelformat 0x56595559\n";
    ASSERT_TRUE(wait_until(10000, [&] { return run_->log_count(msg) >= 5; })) << run_->log();
    const std::string log = run_->log();
    std::string levels;
    for (size_t at = log.find(msg); at != std::string::npos; at = log.find(msg, at + 1))
        levels += log.substr(log.rfind('\n', at) + 1, 3);
    EXPECT_EQ(levels.substr(0, 3), "<3>");
    EXPECT_EQ(levels.find("<3>", 6), std::string::npos) << levels;
    EXPECT_EQ(levels.substr(levels.size() - 9), "<6><6><6>") << levels;
    EXPECT_TRUE(log.find("start source playing failed with #22(") != std::string::npos) << log;
    // The refused camera shows its failure; the others play.
    EXPECT_EQ(run_->log_count("cam[01] src#0: playback started"), 0u);
    EXPECT_EQ(run_->log_count("cam[01] src#0: cur. playback started"), 0u);
    EXPECT_EQ(run_->log_count("cam[04] src#0: playback started"), 1u);
    EXPECT_TRUE(shot_until([&](const Image &img) {
        return label(img, 1, SERVER_FAILURE, RED, BLACK, Place::centre) && number_box(img, 4);
    }));
}
