// Dispatch layer between the viewer and the capture drivers: the driver
// choice for a URI and the thin wrappers the window logic calls.  Every
// wrapper tolerates a source without driver or handle (a source whose
// creation failed), so a half-built catalogue can never crash the viewer.
#include <cstddef>
#include <string_view>

#include "camera.h"
#include "globals.h"
#include "layouts.h"
#include "media.h"
#include "vout.h"

// Drivers fill the table by slot name; the order is the one the drivers of
// the installation were written against.
static_assert(offsetof(capture_drv, name) == 0);
static_assert(offsetof(capture_drv, get_state) < offsetof(capture_drv, probe));
static_assert(offsetof(capture_drv, probe) < offsetof(capture_drv, play));
static_assert(offsetof(capture_drv, play) < offsetof(capture_drv, pause));
static_assert(offsetof(capture_drv, pause) < offsetof(capture_drv, stop));
static_assert(offsetof(capture_drv, stop) < offsetof(capture_drv, stop_wait));
static_assert(offsetof(capture_drv, stop_wait) < offsetof(capture_drv, poll));
static_assert(offsetof(capture_drv, poll) < offsetof(capture_drv, frame_release));
static_assert(offsetof(capture_drv, frame_release) <
              offsetof(capture_drv, create));
static_assert(offsetof(capture_drv, create) < offsetof(capture_drv, destroy));
static_assert(sizeof(capture_drv) == 11 * sizeof(void *));
static_assert(sizeof(media_source{}.uri) == 512);

namespace {

constexpr std::string_view device_prefix = "/dev/video";
constexpr std::string_view scheme_mark = "://";

// Read time-out handed to a driver's probe.
constexpr int probe_timeout_ms = 100;

bool has_handle(const media_source *src)
{
    return src && src->drv && src->handle;
}

// The camera's sources in use, bounded by the array it holds.
int cam_source_count(const camera *cam)
{
    if (cam->nsrcs < 0)
        return 0;
    return cam->nsrcs < CAM_MAX_SRCS ? cam->nsrcs : CAM_MAX_SRCS;
}

bool is_excluded(const media_source *src, int except_index,
                 const media_source *except_src)
{
    return (except_index >= 0 && src->index == except_index) ||
           src == except_src;
}

} // namespace

extern "C" {

const capture_drv *source_driver_for_uri(const char *uri)
{
    if (!uri)
        return nullptr;
    const std::string_view text(uri);
    if (text.starts_with(device_prefix))
        return &v4l2_capture_drv;
    if (text.find(scheme_mark) != std::string_view::npos)
        return &gst_capture;
    return nullptr;
}

int sources_drivers_init(int *argc, char ***argv)
{
    if (!gstreamer_init(argc, argv))
        return 0;
    return v4l_init();
}

void sources_drivers_fini(void)
{
    gstreamer_fini();
    v4l_fini();
}

int source_init(media_source *src, const char *uri)
{
    if (!src)
        return 0;
    const capture_drv *drv = source_driver_for_uri(uri);
    if (!drv || !drv->create)
        return 0;
    src->drv = drv;
    tirsklog_set_context_r(&src->log, nullptr, -1, 0, "cam[%d.%d]",
                           src->cam ? src->cam->nr : -1, src->index);
    src->handle = drv->create(&src->log, uri);
    return src->handle != nullptr;
}

void source_free(media_source *src)
{
    if (!has_handle(src))
        return;
    if (src->drv->destroy)
        src->drv->destroy(&src->handle);
    // The handle belongs to the driver: never keep a pointer it may have
    // freed, even from a driver without destroy.
    src->handle = nullptr;
}

int source_probe(media_source *src)
{
    if (!has_handle(src) || !src->drv->probe)
        return 0;
    uint32_t geometry[3] = {src->format, src->width, src->height};
    if (!src->drv->probe(src->handle, probe_timeout_ms, geometry) ||
        geometry[0] == MEDIA_FMT_NONE)
        return 0;
    src->format = geometry[0];
    src->width = geometry[1];
    src->height = geometry[2];
    aspect_pair aspect{};
    calc_aspect(src->width, src->height, &aspect);
    src->aspect_w = aspect.num;
    src->aspect_h = aspect.den;
    return 1;
}

int source_play(media_source *src)
{
    if (!src)
        return 0;
    src->t_play = static_cast<uint64_t>(g_monotime_microsec);
    if (!has_handle(src) || !src->drv->play)
        return 0;
    return src->drv->play(src->handle);
}

int is_source_playing(media_source *src)
{
    if (!has_handle(src) || !src->drv->get_state)
        return 0;
    return src->drv->get_state(src->handle) == SRC_STATE_PLAYING;
}

int is_source_stopped(media_source *src)
{
    if (!has_handle(src) || !src->drv->get_state)
        return 1;
    return src->drv->get_state(src->handle) == SRC_STATE_STOPPED;
}

void source_stop(media_source *src)
{
    if (!src)
        return;
    if (has_handle(src) && src->drv->stop)
        src->drv->stop(src->handle);
    if (vout && vout->free_playback_resources)
        vout->free_playback_resources(src);
    src->format = MEDIA_FMT_NONE;
    src->width = 0;
    src->height = 0;
    src->started = 0;
    src->t_stop = static_cast<uint64_t>(g_monotime_microsec);
}

int source_stop_wait(media_source *src)
{
    if (!has_handle(src) || !src->drv->stop_wait)
        return 1;
    return src->drv->stop_wait(src->handle);
}

int sorce_stop_and_wait(media_source *src)
{
    source_stop(src);
    return source_stop_wait(src);
}

void cam_stop(camera *cam, int except_index, const media_source *except_src)
{
    if (!cam)
        return;
    const int n = cam_source_count(cam);
    for (int i = 0; i < n; i++) {
        media_source *src = &cam->srcs[i];
        if (!is_excluded(src, except_index, except_src))
            source_stop(src);
    }
}

void cam_stop_wait(camera *cam, int except_index,
                   const media_source *except_src)
{
    if (!cam)
        return;
    const int n = cam_source_count(cam);
    for (int i = 0; i < n; i++) {
        media_source *src = &cam->srcs[i];
        if (is_excluded(src, except_index, except_src))
            continue;
        if (has_handle(src) && src->drv->stop_wait)
            src->drv->stop_wait(src->handle);
    }
}

int source_poll(media_source *src, int mode, media_frame *frames, int count,
                int64_t now, int timeout_ms)
{
    if (count <= 0 || !frames || !has_handle(src) || !src->drv->poll)
        return 0;
    for (int i = 0; i < count; i++) {
        const int r =
            src->drv->poll(src->handle, mode, &frames[i], now, timeout_ms);
        if (r < 0)
            return r;
        if (r == 0)
            return i;
    }
    return count;
}

void source_frames_release(media_source *src, media_frame *frames, int count)
{
    if (count <= 0 || !frames || !has_handle(src) ||
        !src->drv->frame_release)
        return;
    for (int i = 0; i < count; i++)
        src->drv->frame_release(src->handle, &frames[i]);
}

} // extern "C"
