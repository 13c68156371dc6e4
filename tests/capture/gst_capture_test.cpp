// Media-framework driver: what end-to-end runs cannot reach — the life of a
// handle, option tokens, the time-out arithmetic, the frame-rate cap and
// the conversion of padded and odd-sized samples into packed frames.
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>

#include <gst/gst.h>
#include <gst/video/video.h>
#include <gtest/gtest.h>

#include "capture/gstreamer/gst_capture.h"
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
        EXPECT_EQ(gst_capture.get_state(h), SRC_STATE_STOPPED);
        media_frame frame{};
        EXPECT_EQ(gst_capture.poll(h, 1, &frame, 0, 4000), POLL_NOTHING);
        gst_capture.stop(h);
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

int64_t property(GstElement *e, const char *name)
{
    GValue v = G_VALUE_INIT;
    g_object_get_property(G_OBJECT(e), name, &v);
    int64_t out = 0;
    switch (G_TYPE_FUNDAMENTAL(G_VALUE_TYPE(&v))) {
    case G_TYPE_BOOLEAN: out = g_value_get_boolean(&v); break;
    case G_TYPE_ENUM: out = g_value_get_enum(&v); break;
    case G_TYPE_FLAGS: out = g_value_get_flags(&v); break;
    case G_TYPE_INT: out = g_value_get_int(&v); break;
    case G_TYPE_UINT: out = g_value_get_uint(&v); break;
    case G_TYPE_INT64: out = g_value_get_int64(&v); break;
    case G_TYPE_UINT64: out = int64_t(g_value_get_uint64(&v)); break;
    default: ADD_FAILURE() << name;
    }
    g_value_unset(&v);
    return out;
}

TEST_F(GstCapture, OptionTokensSetPropertiesOrAreRefusedOneByOne)
{
    struct Row {
        const char *element, *opts, *prop;
        int64_t value;
        int sets, warnings;
        const char *warning;
    } rows[] = {
        {"rtspsrc", "latency=100 timeout=3000000 tcp-timeout=5000000", "tcp-timeout", 5000000, 3, 0, ""},
        {"rtspsrc", "protocols=tcp", "protocols", 4, 1, 0, ""},
        {"rtspsrc", "protocols=udp+TCP", "protocols", 5, 1, 0, ""},
        {"rtspsrc", "buffer-mode=autor  nat-method=dummy", "buffer-mode", 3, 2, 0, ""},
        {"rtspsrc", "buffer-mode=synced", "buffer-mode", 4, 1, 0, ""},
        {"rtspsrc", "retry=0x10", "retry", 16, 1, 0, ""},
        {"rtspsrc", "do-rtsp-keep-alive=no", "do-rtsp-keep-alive", 0, 1, 0, ""},
        {"rtspsrc", "do-rtsp-keep-alive=off", "do-rtsp-keep-alive", 1, 1, 0, ""},
        {"rtspsrc", "latency", "latency", 2000, 0, 1, "unexpected par=val pair \"latency\""},
        {"rtspsrc", "latency=", "latency", 2000, 0, 1, "unexpected value \"\" of \"latency\""},
        {"rtspsrc", "latency=abc", "latency", 2000, 0, 1, "unexpected value \"abc\" of \"latency\""},
        {"rtspsrc", "latency=99999999999", "latency", 2000, 0, 1, "unexpected value"},
        {"rtspsrc", "latency = 100", "latency", 2000, 0, 3, "unexpected"},
        {"rtspsrc", "bogus=1 latency=7", "latency", 7, 1, 1, "unexpected param \"bogus\""},
        {"rtspsrc", "protocols=tcp+carrier-pigeon", "protocols", 7, 0, 1,
         "unexpected \"protocols\"=\"tcp+carrier-pigeon\" param and/or value"},
        {"rtspsrc", "buffer-mode=auto", "buffer-mode", 3, 0, 1, "param and/or value"},
        {"v4l2src", "io-mode=mmap", "io-mode", 2, 1, 0, ""},
        {"v4l2src", "io-mode=1", "io-mode", 1, 1, 0, ""},
        {"v4l2src", "io-mode=3", "io-mode", 0, 0, 1, "param and/or value"},
    };
    for (const Row &r : rows) {
        GstElement *e = gst_element_factory_make(r.element, nullptr);
        ASSERT_NE(e, nullptr) << r.element;
        gst_object_ref_sink(e);
        set_source_opts(e, r.element, r.opts);
        EXPECT_EQ(property(e, r.prop), r.value) << r.opts;
        int sets = 0, warnings = 0;
        for (const logged_line &l : log_taken()) {
            const bool set = l.text.find("setup-source(): set \"") != std::string::npos;
            sets += set && l.level == 6;
            warnings += l.level == 4;
            if (l.level == 4) {
                EXPECT_NE(l.text.find(r.warning), std::string::npos) << l.text;
            }
            EXPECT_EQ(l.text.rfind(std::string(r.element) + ": ", 0), 0u) << l.text;
        }
        EXPECT_EQ(sets, r.sets) << r.opts;
        EXPECT_EQ(warnings, r.warnings) << r.opts;
        gst_object_unref(e);
    }
}

TEST_F(GstCapture, TimeOutsAreMeasuredInSixtyFourBits)
{
    constexpr uint64_t s = 1000000000;
    EXPECT_FALSE(clock_exceeds(5 * s, 0, 5000));
    EXPECT_TRUE(clock_exceeds(5 * s + 1, 0, 5000));
    EXPECT_FALSE(clock_exceeds(100 * s, 100 * s + 1, 0)); // clock behind the start
    EXPECT_FALSE(clock_exceeds(uint64_t(INT_MAX) * 1000000, 0, INT_MAX));
    EXPECT_TRUE(clock_exceeds(uint64_t(INT_MAX) * 1000000 + 1, 0, INT_MAX));

    // A start that reached ready but not playing: open time-out.
    void *handle = gst_capture.create(nullptr, "rtsp://127.0.0.1:9/x");
    auto *h = static_cast<gst_handle *>(handle);
    h->ctx.clock = gst_system_clock_obtain();
    h->ctx.state = GST_STATE_READY;
    h->ctx.pending = GST_STATE_PLAYING;
    EXPECT_EQ(gst_capture.get_state(handle), SRC_STATE_PLAYING);
    const uint64_t now = gst_clock_get_time(h->ctx.clock);
    media_frame frame{};
    for (auto [start, timeout, want] : {std::tuple{now - 6 * s, 5000, POLL_OPEN_TIMEOUT},
                                        {now - 6 * s, 0, POLL_NOTHING},
                                        {now - 1 * s, 5000, POLL_NOTHING},
                                        {gst_no_time, 5000, POLL_NOTHING}}) {
        h->ctx.start_clock = start;
        EXPECT_EQ(gst_capture.poll(handle, 1, &frame, 0, timeout), want);
    }
    // An ended stream is reported once, and counts as not stopped until then.
    h->ctx.state = GST_STATE_NULL;
    h->ctx.pending = 0;
    h->ctx.stop_reason = 4;
    EXPECT_EQ(gst_capture.get_state(handle), SRC_STATE_STARTING);
    EXPECT_EQ(gst_capture.poll(handle, 1, &frame, 0, 5000), POLL_ERROR);
    EXPECT_EQ(gst_capture.poll(handle, 1, &frame, 0, 5000), POLL_NOTHING);
    EXPECT_EQ(gst_capture.get_state(handle), SRC_STATE_STOPPED);
    gst_object_unref(h->ctx.clock);
    h->ctx.clock = nullptr;
    gst_capture.destroy(&handle);
}

TEST_F(GstCapture, RateCapKeepsOneFrameASlotWhateverTheCaps)
{
    constexpr int64_t ms = 1000000;
    struct Row {
        int64_t step_us, jitter_us;
        int frames, kept;
    } rows[] = {
        {40000, 0, 50, 50},    // 25 fps at a cap of 25: all
        {40000, 8000, 50, 50}, // jitter of a fifth of a period: all
        {33333, 0, 60, 50},    // 30 fps: 25 a second
        {20000, 0, 100, 50},   // 50 fps: every other
    };
    for (const Row &r : rows) {
        hook_ctx h{};
        h.period = 40 * ms;
        h.base = INT64_MIN;
        int kept = 0;
        for (int i = 0; i < r.frames; i++) {
            const int64_t jitter = (i % 2 ? r.jitter_us : -r.jitter_us) * 1000;
            kept += rate_cap_keep(&h, uint64_t(1000 * ms + i * r.step_us * 1000 + jitter));
        }
        EXPECT_NEAR(kept, r.kept, 1) << r.step_us;
        EXPECT_TRUE(rate_cap_keep(&h, 0)); // a stream that starts again
        EXPECT_TRUE(rate_cap_keep(&h, gst_no_time));
    }
}

TEST_F(GstCapture, SamplesBecomePackedFramesWhateverTheirStrides)
{
    struct Row {
        const char *format;
        int width, height;
        bool meta; // padded strides given by a video meta, else the caps' layout
        bool zero_copy;
    } rows[] = {
        {"YV12", 350, 17, true, false},
        {"I420", 351, 17, false, false},
        {"I420", 352, 288, false, true},
    };
    for (const Row &r : rows) {
        GstVideoInfo info;
        gst_video_info_set_format(&info, gst_video_format_from_string(r.format), r.width, r.height);
        gsize offsets[4] = {0};
        gint strides[4] = {0};
        gsize size = info.size;
        for (int p = 0; p < 3; p++) {
            strides[p] = r.meta ? GST_VIDEO_INFO_PLANE_STRIDE(&info, p) + 8 : info.stride[p];
            offsets[p] = r.meta ? (p ? offsets[p - 1] + strides[p - 1] * (p == 1 ? r.height : (r.height + 1) / 2) : 0)
                                : info.offset[p];
        }
        if (r.meta)
            size = offsets[2] + strides[2] * ((r.height + 1) / 2);
        GstBuffer *buf = gst_buffer_new_allocate(nullptr, size, nullptr);
        GstMapInfo map;
        gst_buffer_map(buf, &map, GST_MAP_WRITE);
        const int cw = (r.width + 1) / 2, ch = (r.height + 1) / 2;
        auto sample_at = [](int p, int y, int x) { return uint8_t(p * 61 + y * 7 + x); };
        for (int p = 0; p < 3; p++)
            for (int y = 0; y < (p ? ch : r.height); y++)
                for (int x = 0; x < (p ? cw : r.width); x++)
                    map.data[offsets[p] + y * strides[p] + x] = sample_at(p, y, x);
        gst_buffer_unmap(buf, &map);
        if (r.meta)
            gst_buffer_add_video_meta_full(buf, GST_VIDEO_FRAME_FLAG_NONE, GST_VIDEO_INFO_FORMAT(&info),
                                           r.width, r.height, 3, offsets, strides);
        GST_BUFFER_PTS(buf) = 40 * GST_MSECOND;
        GstCaps *caps = gst_video_info_to_caps(&info);
        GstSample *sample = gst_sample_new(buf, caps, nullptr, nullptr);
        pipeline_ctx ctx{};
        ctx.last_pts = gst_no_time;
        media_frame f{};
        ASSERT_EQ(sample2frame(&ctx, sample, &f, nullptr), 1) << r.width;
        EXPECT_EQ(sample2frame(&ctx, sample, &f, nullptr), 0); // the same sample again
        EXPECT_EQ(f.format, uint32_t(r.format[0] == 'Y' ? MEDIA_FMT_YV12 : MEDIA_FMT_I420));
        ASSERT_EQ(f.size, uint32_t(r.width * r.height + 2 * cw * ch));
        gst_buffer_map(buf, &map, GST_MAP_READ);
        EXPECT_EQ(f.data == map.data, r.zero_copy) << r.width;
        gst_buffer_unmap(buf, &map);
        size_t at = 0, bad = 0;
        for (int p = 0; p < 3; p++)
            for (int y = 0; y < (p ? ch : r.height); y++)
                for (int x = 0; x < (p ? cw : r.width); x++)
                    bad += f.data[at++] != sample_at(p, y, x);
        EXPECT_EQ(bad, 0u) << r.width << "x" << r.height;
        gst_capture.frame_release(nullptr, &f);
        EXPECT_EQ(f.drv_buf, nullptr);
        gst_sample_unref(sample);
        gst_caps_unref(caps);
        gst_buffer_unref(buf);
    }
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
