// Media-framework driver: every source URI with a scheme.  This file holds
// the framework's process-wide set-up and the life of a handle; streaming
// itself is not built yet, so playing a source fails cleanly and the window
// logic shows the failure instead of a picture.
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "conf.h"
#include "gst_capture.h"
#include "media.h"

namespace {

bool framework_finished = false;

// Framework states as the driver's state codes: only a pending or reached
// playing state counts as playing.
int state_code(const pipeline_ctx &ctx)
{
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
    tirsklog_r(nullptr, 3, "%s: media framework playback not available yet",
               h->uri);
    return 0;
}

int gst_pause(void *)
{
    if (verbose_at(2))
        tirsklog_r(nullptr, 7, "(D) +++ %s +++\n", "PAUSE");
    return 1;
}

void gst_stop(void *handle)
{
    auto *h = static_cast<gst_handle *>(handle);
    if (!h)
        return;
    if (verbose_at(2))
        tirsklog_r(nullptr, 7, "(D) +++ STOP (%p) %s +++\n", handle, h->uri);
}

int gst_poll(void *, int, media_frame *, int64_t, int)
{
    return POLL_NOTHING;
}

void gst_frame_release(void *, media_frame *)
{
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
    auto *h = static_cast<gst_handle *>(std::calloc(1, sizeof(gst_handle)));
    if (!h)
        return nullptr;
    if (!gst_uri_is_valid(uri)) {
        std::free(h);
        errno = EINVAL;
        return nullptr;
    }
    std::memcpy(h->uri, uri, std::strlen(uri) + 1);
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
    if (gst_init_check(argc, argv, &err))
        return 1;
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
