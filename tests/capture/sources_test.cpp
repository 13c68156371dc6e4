// The source layer: which driver takes which address, and how many frames
// one poll of a source collects.
#include <gtest/gtest.h>

#include "camera.h"
#include "globals.h"
#include "harness.h"
#include "media.h"

namespace {

TEST(Sources, DriverIsChosenByPrefixAndSchemeMark)
{
    ASSERT_EQ(sources_drivers_init(nullptr, nullptr), 1);
    camera cam{};
    cam.nr = 7;
    const struct {
        const char *uri;
        const capture_drv *drv;
    } cases[] = {{"/dev/video3", &v4l2_capture_drv},  {"v4l2:///dev/video3", &gst_capture},
                 {"rtsp://127.0.0.1:8554/x", &gst_capture}, {"clip.mp4", nullptr},
                 {" /dev/video3", nullptr},            {"/dev/VIDEO3", nullptr},
                 {"", nullptr}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.uri);
        media_source src{};
        src.cam = &cam;
        src.index = 1;
        EXPECT_EQ(source_init(&src, c.uri), c.drv != nullptr);
        EXPECT_EQ(src.drv, c.drv);
        EXPECT_EQ(src.handle != nullptr, c.drv != nullptr);
        if (c.drv) {
            EXPECT_STREQ(src.log.prefix, "cam[7.1]");
        }
        source_free(&src);
        EXPECT_EQ(src.handle, nullptr);
    }
    EXPECT_EQ(source_driver_for_uri(nullptr), nullptr);
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
    media_source bare{};
    media_frame frame{};
    EXPECT_EQ(source_poll(&bare, 1, &frame, 1, 1, 1000), 0);
}

} // namespace
