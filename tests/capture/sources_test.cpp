// The source layer: which driver takes which address, and how many frames
// one poll of a source collects.
#include <gtest/gtest.h>

#include "camera.h"
#include "globals.h"
#include "harness.h"
#include "media.h"

TEST(Sources, DriverIsChosenByPrefixAndSchemeMark)
{
    ASSERT_EQ(sources_drivers_init(nullptr, nullptr), 1);
    camera cam{};
    cam.nr = 7;
    for (auto [uri, drv] : {std::pair{"/dev/video3", &v4l2_capture_drv}, {"v4l2:///dev/video3", &gst_capture},
                            {"rtsp://127.0.0.1:8554/x", &gst_capture}, {"clip.mp4", nullptr},
                            {" /dev/video3", nullptr}, {"/dev/VIDEO3", nullptr}, {"", nullptr}}) {
        media_source src{};
        src.cam = &cam;
        src.index = 1;
        EXPECT_EQ(source_init(&src, uri), drv != nullptr) << uri;
        EXPECT_TRUE(src.drv == drv && (src.handle != nullptr) == (drv != nullptr)) << uri;
        EXPECT_STREQ(src.log.prefix, drv ? "cam[7.1]" : "") << uri;
        source_free(&src);
        EXPECT_EQ(src.handle, nullptr);
    }
    EXPECT_EQ(source_init(nullptr, "/dev/video0"), 0);
}

// A poll collects frames up to the first empty poll or failure, which it
// passes on.
TEST(Sources, PollStopsAtTheFirstEmptyOrFailedPoll)
{
    testsupport::FakeStream stream;
    media_source src{};
    src.drv = &testsupport::scripted_drv;
    src.handle = &stream;
    const struct {
        std::deque<int> script;
        int count, result;
        size_t left;
    } cases[] = {{{1, 1, 0}, 3, 2, 0}, {{1, -3, 1}, 3, -3, 1}, {{0, 1}, 3, 0, 1},
                 {{1, 1, 1, 1}, 3, 3, 1}, {{-2}, 1, -2, 0},    {{1}, 0, 0, 1}};
    for (const auto &c : cases) {
        media_frame frames[3]{};
        stream.polls = c.script;
        EXPECT_EQ(source_poll(&src, 1, frames, c.count, 9, 0), c.result) << c.count;
        EXPECT_EQ(stream.polls.size(), c.left);
    }
}
