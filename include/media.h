/* Media sources: frame and source records, the driver operations table and
 * the dispatch layer through which the viewer drives every stream. */
#ifndef TIRSK_MEDIA_H
#define TIRSK_MEDIA_H

#include <stddef.h>
#include <stdint.h>

#include "tirskconf.h"

#ifdef __cplusplus
extern "C" {
#endif

struct camera;

/* Pixel-format codes of frames and sources. */
enum {
    MEDIA_FMT_NONE = 0,
    MEDIA_FMT_GREY = 1, /* one 8-bit luma plane */
    MEDIA_FMT_I420 = 2, /* Y, U, V planes ("IYUV" in logs) */
    MEDIA_FMT_YV12 = 3, /* Y, V, U planes */
};

/* Driver state codes (get_state). */
enum {
    SRC_STATE_STOPPED = 0,
    SRC_STATE_STARTING = 1,
    SRC_STATE_PAUSED = 2,
    SRC_STATE_PLAYING = 3,
};

/* Poll codes. */
enum {
    POLL_FRAME = 1,
    POLL_NOTHING = 0,
    POLL_ERROR = -1,
    POLL_OPEN_TIMEOUT = -2,
    POLL_READ_TIMEOUT = -3,
};

#define MEDIA_NO_TIME UINT64_MAX

/* One decoded picture, planar and packed (luma pitch = width, each chroma
 * plane ((width+1)/2) x ((height+1)/2) bytes, directly after the previous
 * plane).  Owned by the caller; filled by a driver's poll. */
typedef struct media_frame {
    uint32_t media_type; /* 1 = video (framework driver only) */
    uint32_t format;     /* MEDIA_FMT_* */
    uint32_t width;
    uint32_t height;
    uint8_t *data;   /* whole picture, or null: read `size` bytes from fd */
    uint32_t size;   /* picture size in bytes */
    int32_t fd;      /* descriptor to read the picture from when data is null */
    uint64_t pts;      /* ns, MEDIA_NO_TIME = none */
    uint64_t duration; /* ns, MEDIA_NO_TIME = none */
    void *drv_buf;     /* driver's reference on the buffer, or null */
    void *drv_map;     /* driver's read mapping of that buffer, or null */
} media_frame;

struct capture_drv;

/* One stream of a camera.  Times are monotonic microseconds of the tick
 * clock (g_monotime_microsec). */
typedef struct media_source {
    struct camera *cam; /* owning camera; its first field is the number */
    int32_t index;      /* 0 layout stream, 1 fullscreen stream */
    log_ctx log;
    uint32_t format; /* MEDIA_FMT_* of the current stream, 0 = none yet */
    uint32_t width;
    uint32_t height;
    uint32_t aspect_w; /* width:height reduced by calc_aspect */
    uint32_t aspect_h;
    uint32_t hx2;       /* catalogue value, unused by the source layer */
    uint32_t started;   /* 1 once the first frame of this run was accepted */
    uint32_t no_signal; /* capture device reports no signal (rendering) */
    char uri[512];
    const struct capture_drv *drv;
    void *handle; /* driver's opaque handle, null = none */
    uint64_t t_play;
    uint64_t t_started;
    uint64_t t_stop;
    uint64_t t_fail;
    void *overlay; /* video output's picture resource, null = none */
} media_source;

/* Slot signatures of a capture driver.  Every slot runs on the main thread. */
/* State code SRC_STATE_*. */
using drv_get_state_fn = int(void *handle);
/* Stream geometry within timeout_ms into out[0..2] = format, width, height;
 * 1 ok, 0 unknown.  Optional. */
using drv_probe_fn = int(void *handle, int timeout_ms, uint32_t *out);
/* Start the stream: 1 started, 0 failed (logged). */
using drv_play_fn = int(void *handle);
/* Pause: 1. */
using drv_pause_fn = int(void *handle);
/* Stop the stream; the handle stays usable for another play. */
using drv_stop_fn = void(void *handle);
/* Stop and wait until stopped: 1.  Optional (null = stops at once). */
using drv_stop_wait_fn = int(void *handle);
/* Never blocks: POLL_* code; on POLL_FRAME the frame is filled.  mode 1
 * measures the read time-out from the last frame. */
using drv_poll_fn = int(void *handle, int mode, media_frame *frame,
                        int64_t now, int timeout_ms);
/* Give back what poll handed out in frame.  Optional. */
using drv_frame_release_fn = void(void *handle, media_frame *frame);
/* New handle for uri, or null when the driver refuses it (errno set). */
using drv_create_fn = void *(const log_ctx *parent, const char *uri);
/* Free *handle (stopping it first) and set *handle to null: 1. */
using drv_destroy_fn = int(void **handle);

typedef struct capture_drv {
    const char *name;
    drv_get_state_fn *get_state;
    drv_probe_fn *probe;
    drv_play_fn *play;
    drv_pause_fn *pause;
    drv_stop_fn *stop;
    drv_stop_wait_fn *stop_wait;
    drv_poll_fn *poll;
    drv_frame_release_fn *frame_release;
    drv_create_fn *create;
    drv_destroy_fn *destroy;
} capture_drv;

/* The two drivers. */
extern const capture_drv gst_capture;      /* "gst": any URI with "://" */
extern const capture_drv v4l2_capture_drv; /* "v4l2": "/dev/video..." */

/* Driver-wide set-up and tear-down. */
int gstreamer_init(int *argc, char ***argv);
void gstreamer_fini(void);
int v4l_init(void);
void v4l_fini(void);

/* The driver serving uri, or null when no driver takes it. */
const capture_drv *source_driver_for_uri(const char *uri);

/* Dispatch layer; main thread only. */
int sources_drivers_init(int *argc, char ***argv);
void sources_drivers_fini(void);
int source_init(media_source *src, const char *uri);
void source_free(media_source *src);
int source_probe(media_source *src);
int source_play(media_source *src);
int is_source_playing(media_source *src);
int is_source_stopped(media_source *src);
void source_stop(media_source *src);
int source_stop_wait(media_source *src);
int sorce_stop_and_wait(media_source *src);
void cam_stop(struct camera *cam, int except_index,
              const media_source *except_src);
void cam_stop_wait(struct camera *cam, int except_index,
                   const media_source *except_src);
int source_poll(media_source *src, int mode, media_frame *frames, int count,
                int64_t now, int timeout_ms);
void source_frames_release(media_source *src, media_frame *frames, int count);

#ifdef __cplusplus
}
#endif

#endif
