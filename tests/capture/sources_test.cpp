// The source layer: which driver takes which address.
#include <gtest/gtest.h>

#include "camera.h"
#include "globals.h"
#include "harness.h"
#include "media.h"

// Names too long for a driver are refused whole, never cut into another
// device's or stream's name; only they are told (one error each).
TEST(Sources, DriverIsChosenByPrefixAndSchemeMarkAndTakesWholeNamesOnly)
{
    ASSERT_EQ(sources_drivers_init(nullptr, nullptr), 1);
    const std::string dev = "/dev/video" + std::string(1013, '9'), rtsp = "rtsp://127.0.0.1:8554/" + std::string(1001, 'a');
    const std::string too_long_dev = dev + "9", too_long_rtsp = rtsp + "b";
    camera cam{};
    cam.nr = 7;
    testsupport::LogCapture log(3);
    for (auto [uri, drv, taken] : {std::tuple{"/dev/video3", &v4l2_capture_drv, true}, {dev.c_str(), &v4l2_capture_drv, true},
                                   {too_long_dev.c_str(), &v4l2_capture_drv, false}, {"v4l2:///dev/video3", &gst_capture, true},
                                   {rtsp.c_str(), &gst_capture, true}, {too_long_rtsp.c_str(), &gst_capture, false},
                                   {"1rtsp://host/x", &gst_capture, false}, {"clip.mp4", nullptr, false},
                                   {" /dev/video3", nullptr, false}, {"/dev/VIDEO3", nullptr, false}, {"", nullptr, false},
                                   {nullptr, nullptr, false}}) {
        SCOPED_TRACE(uri ? std::string(uri).substr(0, 30) : "null");
        media_source src{};
        src.cam = &cam;
        src.index = 1;
        EXPECT_EQ(source_init(&src, uri), taken);
        EXPECT_TRUE(src.drv == drv && (src.handle != nullptr) == taken);
        EXPECT_STREQ(src.log.prefix, drv ? "cam[7.1]" : "");
        source_free(&src);
        EXPECT_EQ(src.handle, nullptr);
    }
    EXPECT_EQ(log.count("<3>"), 2) << log.text();
    EXPECT_EQ(source_init(nullptr, "/dev/video0"), 0);
}
