// Decoded samples as frame records.  The viewer's frames are planar and
// packed (luma pitch = width, chroma planes ((width+1)/2) x ((height+1)/2)
// bytes directly after each other) and carry no pitches, while the
// framework pads rows of narrow or odd sizes (a 350-pixel YV12 row has a
// 352-byte stride) and rounds plane heights up.  A packed buffer is handed
// out as it is; any other is repacked into a buffer of the frame's own.
#include <cstdlib>
#include <cstring>

#include <gst/video/video.h>

#include "conf.h"
#include "gst_capture.h"

namespace {

// What frame_release gives back: the read mapping and, for a repacked
// picture, the packed copy.
struct frame_map {
    GstMapInfo map;
    uint8_t *packed;
};

struct plane_geo {
    size_t offset;
    size_t stride;
    size_t row_bytes;
    size_t rows;
};

// The framework's layout of the three planes: the buffer's video meta when
// it has one, else the default layout of the caps.
bool framework_planes(GstBuffer *buf, const GstVideoInfo &info, plane_geo out[3])
{
    const GstVideoMeta *meta = gst_buffer_get_video_meta(buf);
    if (meta && meta->n_planes < 3)
        return false;
    const size_t w = GST_VIDEO_INFO_WIDTH(&info), h = GST_VIDEO_INFO_HEIGHT(&info);
    for (int p = 0; p < 3; p++) {
        const size_t off = meta ? meta->offset[p] : GST_VIDEO_INFO_PLANE_OFFSET(&info, p);
        const gint stride = meta ? meta->stride[p] : GST_VIDEO_INFO_PLANE_STRIDE(&info, p);
        if (stride <= 0)
            return false;
        out[p] = {off, size_t(stride), p ? (w + 1) / 2 : w, p ? (h + 1) / 2 : h};
    }
    return true;
}

bool planes_fit(const plane_geo planes[3], size_t size)
{
    for (int p = 0; p < 3; p++) {
        const plane_geo &g = planes[p];
        if (g.rows == 0 || g.row_bytes > g.stride)
            return false;
        const size_t end = g.offset + g.stride * (g.rows - 1) + g.row_bytes;
        if (end < g.offset || end > size)
            return false;
    }
    return true;
}

bool is_packed(const plane_geo planes[3])
{
    size_t next = 0;
    for (int p = 0; p < 3; p++) {
        if (planes[p].offset != next || planes[p].stride != planes[p].row_bytes)
            return false;
        next += planes[p].row_bytes * planes[p].rows;
    }
    return true;
}

uint8_t *repack(const uint8_t *src, const plane_geo planes[3], size_t total)
{
    auto *out = static_cast<uint8_t *>(std::malloc(total));
    if (!out)
        return nullptr;
    uint8_t *d = out;
    for (int p = 0; p < 3; p++) {
        const plane_geo &g = planes[p];
        for (size_t r = 0; r < g.rows; r++, d += g.row_bytes)
            std::memcpy(d, src + g.offset + r * g.stride, g.row_bytes);
    }
    return out;
}

} // namespace

bool clock_exceeds(uint64_t now, uint64_t ref, int timeout_ms)
{
    const int64_t diff = int64_t(now - ref);
    return diff > int64_t(timeout_ms) * 1000000;
}

int sample2frame(pipeline_ctx *ctx, GstSample *sample, media_frame *frame,
                 const log_ctx *log)
{
    GstBuffer *buf = gst_sample_get_buffer(sample);
    if (!buf)
        return -1;
    const GstClockTime pts = GST_BUFFER_PTS(buf);
    if (GST_CLOCK_TIME_IS_VALID(pts)) {
        if (pts == ctx->last_pts)
            return 0; // the sink still holds the sample already shown
        ctx->last_pts = pts;
    }
    GstCaps *caps = gst_sample_get_caps(sample);
    const GstStructure *st = caps && gst_caps_get_size(caps) ? gst_caps_get_structure(caps, 0)
                                                              : nullptr;
    if (!st || !gst_structure_has_name(st, "video/x-raw"))
        return 0;
    frame->media_type = 1;
    if (GST_BUFFER_FLAG_IS_SET(buf, GST_BUFFER_FLAG_CORRUPTED)) {
        if (ctx->corrupt_bufs++ == 0)
            tirsklog_r(log, 4, "Warning: corrupted %s buf(s)\n", "video");
        return 0;
    }
    gint width = 0, height = 0;
    if (!gst_structure_get_int(st, "width", &width) ||
        !gst_structure_get_int(st, "height", &height) || width <= 0 || height <= 0)
        return -1;
    const char *fmt = gst_structure_get_string(st, "format");
    uint32_t code;
    if (fmt && !std::strcmp(fmt, "YV12"))
        code = MEDIA_FMT_YV12;
    else if (fmt && !std::strcmp(fmt, "I420"))
        code = MEDIA_FMT_I420;
    else {
        tirsklog_r(log, 4, "Warning: unexpected pixel format %s\n", fmt ? fmt : "(none)");
        return -1;
    }
    GstVideoInfo info;
    plane_geo planes[3];
    if (!gst_video_info_from_caps(&info, caps) || !framework_planes(buf, info, planes))
        return -1;

    auto *m = static_cast<frame_map *>(std::calloc(1, sizeof(frame_map)));
    if (!m)
        return -1;
    if (!gst_buffer_map(buf, &m->map, GST_MAP_READ)) {
        std::free(m);
        return -1;
    }
    const size_t total = planes[0].row_bytes * planes[0].rows +
                         2 * planes[1].row_bytes * planes[1].rows;
    uint8_t *data = m->map.data;
    if (!planes_fit(planes, m->map.size) || total > UINT32_MAX ||
        (!is_packed(planes) && !(data = m->packed = repack(m->map.data, planes, total)))) {
        gst_buffer_unmap(buf, &m->map);
        std::free(m);
        return -1;
    }
    frame->format = code;
    frame->width = uint32_t(width);
    frame->height = uint32_t(height);
    frame->drv_buf = gst_buffer_ref(buf);
    frame->drv_map = m;
    frame->data = data;
    frame->size = uint32_t(total);
    frame->fd = -1;
    frame->pts = GST_CLOCK_TIME_IS_VALID(pts) ? pts : MEDIA_NO_TIME;
    const GstClockTime dur = GST_BUFFER_DURATION(buf);
    frame->duration = GST_CLOCK_TIME_IS_VALID(dur) ? dur : MEDIA_NO_TIME;
    return 1;
}

void release_frame(media_frame *frame)
{
    if (!frame || !frame->drv_buf)
        return;
    auto *buf = static_cast<GstBuffer *>(frame->drv_buf);
    if (auto *m = static_cast<frame_map *>(frame->drv_map)) {
        gst_buffer_unmap(buf, &m->map);
        std::free(m->packed);
        std::free(m);
    }
    gst_buffer_unref(buf);
    frame->drv_buf = nullptr;
    frame->drv_map = nullptr;
    frame->data = nullptr;
}
