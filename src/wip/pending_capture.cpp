#include "media.h"
#include "colorconv.h"
#include "weak.h"
extern "C" {
extern WEAK const capture_drv gst_capture = {};
extern WEAK const capture_drv v4l2_capture_drv = {};
WEAK int gstreamer_init(int *, char ***) { return 1; }
WEAK void gstreamer_fini(void) {}
WEAK int v4l_init(void) { return 1; }
WEAK void v4l_fini(void) {}
extern WEAK const capture_drv *source_driver_for_uri(const char *) { return nullptr; }
WEAK int sources_drivers_init(int *, char ***) { return 1; }
WEAK void sources_drivers_fini(void) {}
WEAK int source_init(media_source *, const char *) { return 0; }
WEAK void source_free(media_source *) {}
WEAK int source_probe(media_source *) { return 0; }
WEAK int source_play(media_source *) { return 0; }
WEAK int is_source_playing(media_source *) { return 0; }
WEAK int is_source_stopped(media_source *) { return 1; }
WEAK void source_stop(media_source *) {}
WEAK int source_stop_wait(media_source *) { return 1; }
WEAK int sorce_stop_and_wait(media_source *) { return 1; }
WEAK void cam_stop(camera *, int, const media_source *) {}
WEAK void cam_stop_wait(camera *, int, const media_source *) {}
WEAK int source_poll(media_source *, int, media_frame *, int, int64_t, int) { return 0; }
WEAK void source_frames_release(media_source *, media_frame *, int) {}
WEAK void color_yuv2rgb_init(void) {}
}
