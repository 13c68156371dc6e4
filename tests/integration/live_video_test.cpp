// Live pictures of simulated capture devices on a virtual display: every
// window shows its camera with its name, border colour and signal marker.
#include <gtest/gtest.h>

#include "viewer.h"

using namespace testsupport;

namespace {

class LiveVideo : public ViewerTest {
protected:
    // The simulated picture's camera number: white digits on a black box
    // in the middle of the window.
    bool number_box(const Image &img, int w)
    {
        const Box mid = wins_.at(w).video.centre(wins_.at(w).video.w / 3, wins_.at(w).video.h / 2);
        const int all = mid.w * mid.h;
        return count_colour(img, mid, {16, 16, 16}, 14) > all / 5 &&
               count_colour(img, mid, {235, 235, 235}, 20) > all / 10;
    }
};

} // namespace

TEST_F(LiveVideo, EveryWindowShowsItsCameraWithNameBorderAndSignalMarker)
{
    start(sim_catalogue(4, "layout 0 L QUAD_4_4 \"Hall\" 1 2 3 4\n"),
          "video1 size=352x288\nvideo2 size=352x288 format=GREY\n"
          "video3 size=352x288 nosignal=1\nvideo4 size=352x288\n",
          {"--camname-timeout=0"});
    ASSERT_EQ(wins_.size(), 4u);
    ASSERT_TRUE(run_->wait_log("cam[04] src#0: playback started")) << run_->log();
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
