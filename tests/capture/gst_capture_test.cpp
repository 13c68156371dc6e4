// Media-framework driver: time-outs, the rate cap and padded or odd-sized
// samples turned into packed frames.
#include <climits>
#include <string>
#include <tuple>
#include <utility>

#include <gst/gst.h>
#include <gst/video/video.h>
#include <gtest/gtest.h>

#include "capture/gstreamer/gst_capture.h"
#include "media.h"

namespace {

class GstCapture : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(gstreamer_init(nullptr, nullptr), 1); }
};

TEST_F(GstCapture, TimeOutsAreMeasuredInSixtyFourBits)
{
    constexpr uint64_t s = 1000000000;
    void *handle = gst_capture.create(nullptr, "rtsp://127.0.0.1:9/x");
    pipeline_ctx &ctx = static_cast<gst_handle *>(handle)->ctx;
    ctx.clock = gst_system_clock_obtain();
    ctx.state = GST_STATE_READY;
    ctx.pending = GST_STATE_PLAYING;
    const uint64_t now = gst_clock_get_time(ctx.clock);
    media_frame f{};
    for (auto [start, timeout, want] : {std::tuple{now - 6 * s, 5000, POLL_OPEN_TIMEOUT},
                                        {now - 6 * s, 0, POLL_NOTHING},
                                        {now - 1 * s, 5000, POLL_NOTHING},
                                        {now - 6 * s, INT_MAX, POLL_NOTHING},
                                        {gst_no_time, 5000, POLL_NOTHING}}) {
        ctx.start_clock = start;
        EXPECT_EQ(gst_capture.poll(handle, 1, &f, 0, timeout), want);
    }
    // Read time-out: a frame with PTS p was due at base time + p, whatever the
    // set-up took between null -> ready (start) and playing (base time).
    // {mode, last PTS, base time, reference}
    ctx.start_clock = now - 3 * s;
    for (auto [mode, pts, base, want] : {std::tuple{1, 1 * s, now - 2 * s, now - 1 * s},
                                         {1, gst_no_time, now - 2 * s, now - 3 * s},
                                         {1, 1 * s, gst_no_time, now - 3 * s},
                                         {0, 1 * s, now - 2 * s, now - 3 * s}}) {
        ctx.last_pts = pts;
        EXPECT_EQ(read_reference(ctx, base, mode), want) << mode;
    }
    ctx.last_pts = gst_no_time;
    // An ended stream is reported once, and counts as not stopped until then
    // (the viewer's own handling hides a repeat: no end-to-end run sees it).
    ctx.state = GST_STATE_NULL;
    ctx.pending = 0;
    ctx.stop_reason = 4;
    EXPECT_EQ(gst_capture.get_state(handle), SRC_STATE_STARTING);
    EXPECT_EQ(gst_capture.poll(handle, 1, &f, 0, 5000), POLL_ERROR);
    EXPECT_EQ(gst_capture.poll(handle, 1, &f, 0, 5000), POLL_NOTHING);
    EXPECT_EQ(gst_capture.get_state(handle), SRC_STATE_STOPPED);
    gst_object_unref(std::exchange(ctx.clock, nullptr));
    gst_capture.destroy(&handle);
}

TEST_F(GstCapture, RateCapKeepsOneFrameASlotWhateverTheCaps)
{
    // {frame step, alternating jitter (us), frames, kept} at a cap of 25 a second.
    for (auto [step, jitter, frames, kept] : {std::tuple{40000, 0, 50, 50}, {40000, 8000, 50, 50},
                                              {33333, 0, 60, 50}, {20000, 0, 100, 50}}) {
        hook_ctx h{};
        h.period = 40000000, h.base = INT64_MIN;
        int n = 0;
        for (int i = 0; i < frames; i++)
            n += rate_cap_keep(&h, uint64_t(1000000000 + (i * step + (i % 2 ? jitter : -jitter)) * 1000LL));
        EXPECT_NEAR(n, kept, 1) << step;
        EXPECT_TRUE(rate_cap_keep(&h, 0) && rate_cap_keep(&h, gst_no_time)); // a new start
    }
}

TEST_F(GstCapture, SamplesBecomePackedFramesWhateverTheirStrides)
{
    // {format, size, rows padded in a video meta (else caps layout), no copy}
    for (auto [format, w, h, meta, zero_copy] : {std::tuple{"YV12", 350, 17, true, false},
                                                 {"I420", 351, 17, false, false},
                                                 {"I420", 352, 288, false, true}}) {
        GstVideoInfo info;
        gst_video_info_set_format(&info, gst_video_format_from_string(format), w, h);
        GstVideoAlignment align;
        gst_video_alignment_reset(&align);
        for (int p = 0; p < 3; p++)
            align.stride_align[p] = meta ? 31 : 0;
        gst_video_info_align(&info, &align);
        GstBuffer *buf = gst_buffer_new_allocate(nullptr, info.size, nullptr);
        GstMapInfo map;
        gst_buffer_map(buf, &map, GST_MAP_WRITE);
        const int cw = (w + 1) / 2, ch = (h + 1) / 2;
        auto each = [&](auto &&fn) {
            for (int p = 0; p < 3; p++)
                for (int y = 0; y < (p ? ch : h); y++)
                    for (int x = 0; x < (p ? cw : w); x++)
                        fn(p, y, x, uint8_t(p * 61 + y * 7 + x));
        };
        each([&](int p, int y, int x, uint8_t v) { map.data[info.offset[p] + y * info.stride[p] + x] = v; });
        gst_buffer_unmap(buf, &map);
        if (meta)
            gst_buffer_add_video_meta_full(buf, GST_VIDEO_FRAME_FLAG_NONE, GST_VIDEO_INFO_FORMAT(&info),
                                           w, h, 3, info.offset, info.stride);
        GST_BUFFER_PTS(buf) = 40 * GST_MSECOND;
        GstCaps *caps = gst_video_info_to_caps(&info);
        GstSample *sample = gst_sample_new(buf, caps, nullptr, nullptr);
        pipeline_ctx ctx{};
        ctx.last_pts = gst_no_time;
        media_frame f{};
        ASSERT_EQ(sample2frame(&ctx, sample, &f, nullptr), 1) << w;
        EXPECT_EQ(sample2frame(&ctx, sample, &f, nullptr), 0); // the same sample again
        EXPECT_EQ(f.format, uint32_t(format[0] == 'Y' ? MEDIA_FMT_YV12 : MEDIA_FMT_I420));
        ASSERT_EQ(f.size, uint32_t(w * h + 2 * cw * ch));
        gst_buffer_map(buf, &map, GST_MAP_READ);
        EXPECT_EQ(f.data == map.data, zero_copy) << w;
        size_t at = 0, bad = 0;
        each([&](int, int, int, uint8_t v) { bad += f.data[at++] != v; });
        EXPECT_EQ(bad, 0u) << w << "x" << h;
        gst_capture.frame_release(nullptr, &f);
        gst_buffer_unmap(buf, &map);
        gst_sample_unref(sample);
        gst_caps_unref(caps);
        gst_buffer_unref(buf);
    }
}

} // namespace
