// Fullscreen streams by URI in the real viewer: shown from their first frame
// at their own aspect, or ended by their time-out; Esc brings the layout
// stream back moving.
#include <sstream>

#include <gtest/gtest.h>

#include "viewer.h"

using namespace testsupport;

namespace {

// Lit channels of the seven test bars.
constexpr bool BARS[7][3] = {{1, 1, 1}, {1, 1, 0}, {0, 1, 1}, {0, 1, 0}, {1, 0, 1}, {1, 0, 0}, {0, 0, 1}};

class FullscreenStream : public ViewerTest {
protected:
    std::string clip(const std::string &name, const std::string &pipeline)
    {
        std::vector<std::string> argv = {"gst-launch-1.0", "-q", "filesink", "name=out",
                                         "location=" + clips_.file(name)};
        std::istringstream words(pipeline + " ! out.");
        for (std::string w; words >> w;)
            argv.push_back(w);
        EXPECT_EQ(run(argv).status, 0) << pipeline;
        return clips_.file(name);
    }
    TempDir clips_;
};

} // namespace

TEST_F(FullscreenStream, FullscreenStreamsShowOrFailAndEscReturnsToTheMovingLayout)
{
    const std::string bars = "videotestsrc num-buffers=50 pattern=smpte ! video/x-raw,format=I420,";
    const std::string avi = clip("bars.avi", bars + "width=320,height=240,framerate=25/1 ! jpegenc ! avimux");
    const std::string webm = clip("odd.webm", bars + "width=350,height=240,framerate=25/1 ! vp8enc "
                                  "deadline=1 ! webmmux name=m audiotestsrc num-buffers=90 ! vorbisenc ! m. m.");
    const struct {
        std::string uri, option;
        std::vector<std::string> expect;
        int w, h; // picture size, 0 = never shows
        std::string failure;
    } rows[] = {
        {"file://" + webm, "", {"cam[01] src#1: playback started 350x240 "}, 350, 240, ""},
        // A decoder kept out leaves a stream that no plugin decodes.
        {"file://" + avi, "--gst-blacklist=jpegdec", {"have no plugin to decode media: image/jpeg"}, 0, 0,
         "open timeout"},
        // Another simulated device, grey, read or memory-mapped; source options
        // are set one by one, a bad one is told and skipped.
        {"v4l2:///dev/video3", "", {"v4l2src: setup-source(): set \"io-mode\" option to \"rw\""}, 320, 240, ""},
        {"v4l2:///dev/video3", "--gst-v4l2src-opts=io-mode=mmap io-mode=3",
         {"\"io-mode\" option to \"mmap\"", "unexpected \"io-mode\"=\"3\""}, 320, 240, ""},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.uri + " " + r.option);
        start(sim_catalogue(2, "camera 1 mon_fs_uri=" + r.uri + "\nlayout 0 L WIDE_2_2 \"Hall\" 1 2\n"),
              sim_cams(2) + "video3 size=320x240 format=GREY\n",
              {"--no-signal=2", r.option.empty() ? "--no-signal=2" : r.option});
        ASSERT_TRUE(key("Return"));
        for (const std::string &e : r.expect)
            ASSERT_TRUE(run_->wait_log(e)) << run_->log();
        if (r.w) {
            // Fitted just after its first frame.
            ASSERT_TRUE(wait_until(5000, [&] { return source_video(run_->log(), 1, 1).w > 0; })) << run_->log();
            const std::string log = run_->log();
            const size_t shown = log.find("cam[01] src#1: playback started");
            EXPECT_LT(log.find("layout -> fullscreen"), shown);
            EXPECT_LT(shown, log.find("stop previous source #0"));
            const Box v = source_video(log, 1, 1);
            EXPECT_NEAR(double(v.w) / v.h, double(r.w) / r.h, 0.01);
            const bool device = r.uri.starts_with("v4l2");
            EXPECT_TRUE(shot_until([&](const Image &img) {
                if (device) // its grey picture, not the camera's tinted one
                    return max_tint(img, v.inner(4)) <= 4 && average(img, v).r > 40;
                int wrong = 0; // bar colours on three rows: a sheared picture moves them
                for (int b = 0; b < 21; b++) {
                    const uint8_t *p = img.at(v.x + v.w * (2 * (b % 7) + 1) / 14, v.y + v.h * (1 + b / 7 * 2) / 8);
                    for (int c = 0; c < 3; c++)
                        wrong += BARS[b % 7][c] ? p[c] <= 120 : p[c] >= 70;
                }
                return wrong == 0;
            }, nullptr, 3000));
            if (!device) { // the clip ends: reported once, and it starts again
                ASSERT_TRUE(run_->wait_log("cam[01] src#1: cur. playback started")) << run_->log();
                EXPECT_EQ(run_->log_count("src#1: end of stream"), 1u);
                EXPECT_EQ(run_->log_count("src#1: cur. playback stopped by error"), 1u);
            }
        } else {
            EXPECT_TRUE(run_->wait_log("src#1: cur. playback failed by " + r.failure, 15000));
            EXPECT_TRUE(run_->wait_log("win[01]: capture failed")) << run_->log();
            if (r.option.starts_with("--gst-blacklist")) { // said once, not at every restart
                EXPECT_TRUE(wait_until(15000, [&] { return run_->log_count(r.failure) >= 2; }));
                EXPECT_EQ(run_->log_count("Error: " + r.expect[0]), 1u) << run_->log();
                EXPECT_EQ(run_->log_count("No decoder available"), 1u) << run_->log();
            }
        }
        ASSERT_TRUE(key("Escape"));
        ASSERT_TRUE(run_->wait_log("fullscreen -> layout")) << run_->log();
        EXPECT_TRUE(moving(1, 10000)) << "layout stream moving again\n" << run_->log();
        run_->stop();
    }
}
