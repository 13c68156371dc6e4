// Media-framework driver: framework set-up and the life of a handle.
#include <cerrno>
#include <cstdlib>
#include <string>

#include <gst/gst.h>
#include <gtest/gtest.h>

#include "log_recorder.h"
#include "media.h"

namespace {

class GstCapture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(gstreamer_init(nullptr, nullptr), 1);
        log_clear();
    }
};

TEST_F(GstCapture, CreateTakesValidUrisOnlyAndWhole)
{
    const std::string head = "rtsp://127.0.0.1:8554/";
    const std::string longest = head + std::string(1023 - head.size(), 'a');
    for (const std::string &uri : {std::string("v4l2:///dev/video3"),
                                   std::string("file:///tmp/clip.webm"), longest}) {
        void *h = gst_capture.create(nullptr, uri.c_str());
        ASSERT_NE(h, nullptr) << uri;
        EXPECT_EQ(gst_capture.destroy(&h), 1);
        EXPECT_EQ(h, nullptr);
    }
    EXPECT_TRUE(log_taken().empty());
    for (const char *uri : {"://x", "1rtsp://host/x", "no uri", "",
                            static_cast<const char *>(nullptr)}) {
        errno = 0;
        EXPECT_EQ(gst_capture.create(nullptr, uri), nullptr);
        EXPECT_EQ(errno, EINVAL);
    }
    // Refused rather than cut into another stream's name, and said so.
    EXPECT_EQ(gst_capture.create(nullptr, (longest + "b").c_str()), nullptr);
    EXPECT_EQ(errno, ENAMETOOLONG);
    const auto lines = log_taken();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].level, 3);
    void *none = nullptr;
    EXPECT_EQ(gst_capture.destroy(&none), 1);
}

TEST_F(GstCapture, OperationsOfAHandleWithoutPipelineAreHarmless)
{
    void *h = gst_capture.create(nullptr, "rtsp://127.0.0.1:8554/x");
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(gst_capture.get_state(h), SRC_STATE_STOPPED);
    uint32_t geometry[3] = {};
    EXPECT_EQ(gst_capture.probe(h, 100, geometry), 0);

    media_frame frame{};
    EXPECT_EQ(gst_capture.poll(h, 1, &frame, 1, 4000), POLL_NOTHING);
    gst_capture.frame_release(h, &frame);
    EXPECT_EQ(gst_capture.pause(h), 1);
    gst_capture.stop(h);
    gst_capture.stop(h);
    EXPECT_EQ(gst_capture.get_state(h), SRC_STATE_STOPPED);
    gst_capture.destroy(&h);
}

TEST(GstCaptureSetUp, InitIsIdempotentAndFiniEndsTheFramework)
{
    ASSERT_EQ(gstreamer_init(nullptr, nullptr), 1);
    EXPECT_EQ(gstreamer_init(nullptr, nullptr), 1);
    // Once finished, the framework cannot start again in this process
    // (and a second deinit would abort it): check the end in a child.
    EXPECT_EXIT(
        {
            sources_drivers_fini();
            sources_drivers_fini();
            log_clear();
            const int again = sources_drivers_init(nullptr, nullptr);
            const auto lines = log_taken();
            std::exit(again == 0 && lines.size() == 1 && lines[0].level == 3 &&
                              lines[0].text.starts_with("gstreamer init failed: ")
                          ? 0
                          : 1);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_TRUE(gst_is_initialized());
}

} // namespace
