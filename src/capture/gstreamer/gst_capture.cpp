// Media-framework driver: every source URI with a scheme (RTSP, file, HTTP,
// v4l2://...).  Each source gets a decoding pipeline whose sink keeps the
// last decoded picture; every poll of the frame tick takes that picture
// without copying it (unless its rows must be repacked) and judges the open
// and read time-outs against the pipeline's clock.  The slots run on the
// main thread and never wait for the framework.
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "conf.h"
#include "gst_capture.h"
#include "media.h"

namespace {

bool framework_finished = false;

// Framework states as the driver's state codes: only a pending or reached
// playing state counts as playing.  A stream that ended or failed counts as
// starting until a poll has reported it, so that the caller learns why it
// stopped rather than finding it merely stopped.
int state_code(const pipeline_ctx &ctx)
{
    if (ctx.state == GST_STATE_NULL && !ctx.pending && ctx.stop_reason)
        return SRC_STATE_STARTING;
    switch (ctx.pending ? ctx.pending : ctx.state) {
    case GST_STATE_PLAYING:
        return SRC_STATE_PLAYING;
    case GST_STATE_PAUSED:
        return SRC_STATE_PAUSED;
    case GST_STATE_READY:
        return SRC_STATE_STARTING;
    default:
        return SRC_STATE_STOPPED;
    }
}

int gst_get_state(void *handle)
{
    auto *h = static_cast<gst_handle *>(handle);
    return h ? state_code(h->ctx) : SRC_STATE_STOPPED;
}

int gst_probe(void *, int, uint32_t *)
{
    if (verbose_at(2))
        tirsklog_r(nullptr, 7, "(D) +++ %s +++\n", "PROBE (unimplemented)");
    return 0;
}

int gst_play(void *handle)
{
    auto *h = static_cast<gst_handle *>(handle);
    if (!h)
        return 0;
    if (verbose_at(2))
        tirsklog_r(nullptr, 7, "(D) +++ PLAY (%p %d|%d|%d) %s +++\n", handle,
                   h->ctx.state, h->ctx.old_state, h->ctx.pending, h->uri);
    if (!create_pipeline(h))
        return 0;
    // Live and network sources change state on their own threads; the
    // outcome arrives on the bus.
    gst_element_set_state(h->ctx.pipeline, GST_STATE_PLAYING);
    return 1;
}

int gst_pause(void *handle)
{
    if (verbose_at(2))
        tirsklog_r(nullptr, 7, "(D) +++ %s +++\n", "PAUSE");
    auto *h = static_cast<gst_handle *>(handle);
    if (h && h->ctx.pipeline)
        gst_element_set_state(h->ctx.pipeline, GST_STATE_PAUSED);
    return 1;
}

void gst_stop(void *handle)
{
    auto *h = static_cast<gst_handle *>(handle);
    if (!h)
        return;
    if (verbose_at(2))
        tirsklog_r(nullptr, 7, "(D) +++ STOP (%p) %s +++\n", handle, h->uri);
    free_pipeline(&h->ctx);
}

// No new frame: has the stream been silent for longer than timeout_ms?
int open_check(const pipeline_ctx &ctx, int timeout_ms)
{
    if (timeout_ms == 0 || ctx.start_clock == gst_no_time || !ctx.clock)
        return POLL_NOTHING;
    return clock_exceeds(gst_clock_get_time(ctx.clock), ctx.start_clock, timeout_ms)
               ? POLL_OPEN_TIMEOUT
               : POLL_NOTHING;
}

} // namespace

// PTS count from the pipeline's running time, which starts at the base time
// set on going to playing, not at null -> ready: the set-up between the two
// must not shorten the read time-out.  Before the first frame, or in the
// other mode, the stream's start is the reference.
uint64_t read_reference(const pipeline_ctx &ctx, uint64_t base_time, int mode)
{
    if (mode == 1 && ctx.last_pts != gst_no_time && base_time != gst_no_time)
        return base_time + ctx.last_pts;
    return ctx.start_clock;
}

namespace {

int gst_poll(void *handle, int mode, media_frame *frame, int64_t, int timeout_ms)
{
    auto *h = static_cast<gst_handle *>(handle);
    if (!h || !frame)
        return POLL_NOTHING;
    pipeline_ctx &ctx = h->ctx;
    if (ctx.state == GST_STATE_VOID_PENDING)
        return POLL_NOTHING;
    if (ctx.state == GST_STATE_NULL && ctx.pending == 0) {
        if (!ctx.stop_reason)
            return POLL_NOTHING;
        ctx.stop_reason = 0; // reported once
        return POLL_ERROR;
    }
    if (ctx.pending == GST_STATE_PLAYING)
        return open_check(ctx, timeout_ms);
    if (ctx.state != GST_STATE_PLAYING || ctx.pending != 0 || !ctx.sink)
        return POLL_NOTHING;

    GstSample *sample = nullptr;
    g_object_get(ctx.sink, "last-sample", &sample, nullptr);
    if (!sample)
        return POLL_NOTHING;
    const int r = sample2frame(&ctx, sample, frame, h->log);
    gst_sample_unref(sample);
    if (r < 0)
        return POLL_ERROR;
    if (r > 0) {
        h->last_error[0] = 0;
        return POLL_FRAME;
    }
    if (timeout_ms == 0 || ctx.start_clock == gst_no_time || !ctx.clock)
        return POLL_NOTHING;
    const uint64_t ref = read_reference(ctx, gst_element_get_base_time(ctx.pipeline), mode);
    return clock_exceeds(gst_clock_get_time(ctx.clock), ref, timeout_ms) ? POLL_READ_TIMEOUT
                                                                         : POLL_NOTHING;
}

void gst_frame_release(void *, media_frame *frame)
{
    release_frame(frame);
}

void *gst_create(const log_ctx *parent, const char *uri)
{
    if (!uri) {
        errno = EINVAL;
        return nullptr;
    }
    // A cut URI would name another stream: refuse it rather than play the
    // wrong one.
    if (strnlen(uri, gst_uri_size) >= gst_uri_size) {
        tirsklog_r(parent, 3, "uri too long (%zu bytes, at most %zu): %.64s...",
                   strlen(uri), gst_uri_size - 1, uri);
        errno = ENAMETOOLONG;
        return nullptr;
    }
    if (!gst_uri_is_valid(uri)) {
        errno = EINVAL;
        return nullptr;
    }
    auto *h = static_cast<gst_handle *>(std::calloc(1, sizeof(gst_handle)));
    if (!h)
        return nullptr;
    std::memcpy(h->uri, uri, std::strlen(uri) + 1);
    h->log = parent;
    h->ctx.start_clock = gst_no_time;
    h->ctx.last_pts = gst_no_time;
    if (verbose_at(2))
        tirsklog_r(nullptr, 7, "(D) +++ NEW (%p) %s +++\n",
                   static_cast<void *>(h), h->uri);
    return h;
}

int gst_destroy(void **handle)
{
    if (!handle || !*handle)
        return 1;
    auto *h = static_cast<gst_handle *>(*handle);
    free_pipeline(&h->ctx);
    if (verbose_at(2))
        tirsklog_r(nullptr, 7, "(D) +++ DESTROY (%p) %s +++\n",
                   static_cast<void *>(h), h->uri);
    std::free(h);
    *handle = nullptr;
    return 1;
}

} // namespace

extern "C" {

int gstreamer_init(int *argc, char ***argv)
{
    // The framework cannot start again once finished, and it still calls
    // itself initialised then.
    if (framework_finished) {
        tirsklog_r(nullptr, 3, "gstreamer init failed: %s\n",
                   "the framework was already finished in this process");
        return 0;
    }
    if (gst_is_initialized())
        return 1;
    GError *err = nullptr;
    if (gst_init_check(argc, argv, &err)) {
        install_log_bridge();
        return 1;
    }
    tirsklog_r(nullptr, 3, "gstreamer init failed: %s\n",
               err && err->message ? err->message : "unknown error");
    if (err)
        g_error_free(err);
    return 0;
}

void gstreamer_fini(void)
{
    // A second deinit aborts the process.
    if (framework_finished || !gst_is_initialized())
        return;
    // Pipelines still going to null on the reaper thread must be gone
    // before the framework is; one that hangs is left to the process end.
    if (!pipeline_reaper_drain(3000)) {
        tirsklog_r(nullptr, 4, "media framework: a pipeline is still stopping, not finished\n");
        return;
    }
    gst_deinit();
    framework_finished = true;
}

extern const capture_drv gst_capture;
constinit const capture_drv gst_capture = {
    .name = "gst",
    .get_state = gst_get_state,
    .probe = gst_probe,
    .play = gst_play,
    .pause = gst_pause,
    .stop = gst_stop,
    .stop_wait = nullptr,
    .poll = gst_poll,
    .frame_release = gst_frame_release,
    .create = gst_create,
    .destroy = gst_destroy,
};

} // extern "C"
