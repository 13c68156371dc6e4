// Cameras whose fullscreen stream comes from a network server (tools/rtspcam)
// and whose layout stream is a simulated capture device: the viewer switches
// between the two, survives the server's faults and never stops answering.
#include <gtest/gtest.h>

#include "rtsp_server.h"
#include "viewer.h"

using namespace testsupport;

namespace {

class LiveRtsp : public ViewerTest {
protected:
    // Server (640x360, pink, over TCP only) first: the catalogue names its URLs.
    void start_with(std::vector<std::string> options)
    {
        server_ = std::make_unique<RtspServer>(server_dir_.path(), "640x360", "c02080", true);
        ASSERT_TRUE(server_->ok()) << server_->output();
        options.insert(options.end(), {"--no-signal=2", "--reconnect-timeout=1"});
        start(sim_catalogue(3, "camera 1 mon_fs_uri=" + server_->url("mjpeg") + "\n"
                               "camera 2 mon_fs_uri=" + server_->url("h264") + "\n"
                               "camera 3 mon_fs_uri=" + server_->url("vp8") + "\n"
                               "layout 0 L QUAD_4_4 \"Quad\" 1 2 3 0\n"),
              sim_cams(3), options);
    }
    Box fs_video(int cam) { return source_video(run_->log(), cam, 1); }
    // The server's picture (its lower half: background and the small ball).
    bool server_picture(const Box &b)
    {
        const Rgb c = average(shot("fs.png"), {b.x, b.y + b.h / 2, b.w, b.h / 2});
        return b.w > 0 && std::abs(c.r - 0xc0) + std::abs(c.g - 0x20) + std::abs(c.b - 0x80) < 60;
    }
    // Camera n's network picture fullscreen at the stream's own size.
    void fullscreen_shows_server(int n)
    {
        ASSERT_TRUE(wait_until(15000, [&] { return server_picture(fs_video(n)); })) << run_->log();
        EXPECT_EQ(fs_video(n).w * 1000 + fs_video(n).h, 640360) << "its own size, 640x360";
    }
    void back_to_moving_layout(int n)
    {
        const size_t before = run_->log_count("fullscreen -> layout");
        ASSERT_TRUE(key("Escape"));
        // At once, whatever the server does: its own time-outs are seconds.
        ASSERT_TRUE(wait_until(1500, [&] { return run_->log_count("fullscreen -> layout") > before; }));
        for (int w = 1; w <= 3; w++)
            EXPECT_TRUE(moving(w)) << "window " << w << " after leaving camera " << n;
    }
    TempDir server_dir_;
    std::unique_ptr<RtspServer> server_;
};

// Per codec (windows 1 2 / 3): keys that select it, how the server behaves
// when Enter is pressed, and the command that makes it answer again.
struct EnterCase {
    int cam;
    const char *keys[2];
    const char *silence, *answer;
};
constexpr EnterCase ENTER_CASES[] = {
    {1, {}, nullptr, nullptr},
    {2, {"Right"}, "stall", "resume"},   // session set up, no frames
    {3, {"Left", "Down"}, "hang", "up"}, // connection accepted, never answered
};

} // namespace

// Fullscreen shows the layout stream until the first network frame and
// Esc always works at once; then faults of the server whose stream is
// shown: each is caught, the window says so, and the picture comes back
// when the server does.  Over TCP, against a server that offers nothing
// else, as the options ask: they are set one by one, a bad one is told and
// skipped.
TEST_F(LiveRtsp, FullscreenShowsLayoutStreamUntilFirstNetworkFrameEscAlwaysWorksFaultsAreShown)
{
    start_with({"--gst-rtspsrc-opts=latency=100 latency bogus=1 latency=abc protocols=tcp+pigeon protocols=tcp"});
    // A band of the enlarged 11:9 picture above the still number box, which
    // the simulated device's sweeping bar crosses.
    const Box band = {40, 20, 560, 100};
    for (const EnterCase &c : ENTER_CASES) {
        SCOPED_TRACE(c.cam);
        for (const char *k : c.keys)
            ASSERT_TRUE(!k || key(k));
        const std::string win = "win[0" + std::to_string(c.cam) + "]: ";
        if (c.silence) {
            ASSERT_TRUE(server_->command(c.silence));
            ASSERT_TRUE(key("Return"));
            ASSERT_TRUE(run_->wait_log(win + "layout -> fullscreen"));
            EXPECT_TRUE(moving(band)) << "the layout stream goes on, enlarged";
            back_to_moving_layout(c.cam);
            // The stream that never delivered is stopped on the way back,
            // before the server answers, so Enter starts it anew.
            ASSERT_TRUE(run_->wait_log(win + "stop unused source #1", 1500));
            ASSERT_TRUE(server_->command(c.answer));
        }
        ASSERT_TRUE(key("Return"));
        fullscreen_shows_server(c.cam);
        EXPECT_TRUE(moving(fs_video(c.cam)));
        back_to_moving_layout(c.cam);
    }
    for (const char *told : {"set \"latency\" option to \"100\"", "unexpected par=val pair \"latency\"",
                             "unexpected param \"bogus\"", "unexpected value \"abc\" of \"latency\"",
                             "unexpected \"protocols\"=\"tcp+pigeon\" param and/or value",
                             "set \"protocols\" option to \"tcp\""})
        EXPECT_NE(run_->log().find(told), std::string::npos) << told;

    ASSERT_TRUE(key("Up")); // camera 1 again
    ASSERT_TRUE(key("Return"));
    fullscreen_shows_server(1);
    // A killed server is caught at once (end of stream, or over TCP at times
    // the read time-out); a stalled one when no frame came for no-signal
    // seconds after the last one was due.
    for (const bool kill : {true, false}) {
        SCOPED_TRACE(kill ? "kill" : "stall");
        const std::string caught = kill ? "cam[01] src#1: cur. playback stopped by "
                                        : "cam[01] src#1: cur. playback stopped by read timeout";
        const size_t failed = run_->log_count("capture failed"),
                     restored = run_->log_count("restore surveillance"), stops = run_->log_count(caught);
        const auto t0 = std::chrono::steady_clock::now();
        if (kill)
            server_->kill();
        ASSERT_TRUE(kill || server_->command("stall"));
        ASSERT_TRUE(wait_until(15000, [&] { return run_->log_count(caught) > stops; })) << run_->log();
        EXPECT_TRUE(kill || std::chrono::steady_clock::now() - t0 >= std::chrono::milliseconds(1500));
        EXPECT_TRUE(shot_until([&](const Image &img) {
            return label_mismatch(img, fs_video(1), NO_SIGNAL, RED, BLACK, Place::centre) < 0.02;
        }));
        // Restarts every reconnect-timeout go on; the failure is reported once.
        const std::string play = "+++ PLAY ("; // only this stream is a network one
        const size_t plays = run_->log_count(play);
        ASSERT_TRUE(wait_until(15000, [&] { return run_->log_count(play) >= plays + 2; }));
        EXPECT_EQ(run_->log_count("capture failed"), failed + 1) << run_->log();
        ASSERT_TRUE(kill ? server_->start() : server_->command("resume"));
        ASSERT_TRUE(wait_until(20000, [&] { return run_->log_count("restore surveillance") > restored; }));
        fullscreen_shows_server(1);
    }
}
