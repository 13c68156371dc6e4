// Start and end of the camera and window life cycle.
#include <string.h>

#include "conf.h"
#include "globals.h"
#include "vout.h"
#include "window.h"

extern "C" void init_wins(void)
{
    memset(windows, 0, sizeof windows);
}

extern "C" void free_cams_and_wins(void)
{
    if (!conf)
        return;
    const int ncams = conf->cams_count < 0         ? 0
                      : conf->cams_count > MAX_CAMS ? MAX_CAMS
                                                    : conf->cams_count;
    // Ask every stream to stop first, so that they wind down in parallel.
    for (int c = 0; c < ncams; c++) {
        camera *cam = &conf->cams[c];
        for (int i = 0; i < cam->nsrcs && i < CAM_MAX_SRCS; i++)
            if (cam->srcs[i].handle)
                source_stop(&cam->srcs[i]);
    }
    for (int c = 0; c < ncams; c++) {
        camera *cam = &conf->cams[c];
        for (int i = 0; i < cam->nsrcs && i < CAM_MAX_SRCS; i++) {
            media_source *src = &cam->srcs[i];
            source_stop_wait(src);
            if (src->overlay && vout && vout->free_playback_resources)
                vout->free_playback_resources(src);
            if (src->handle)
                source_free(src);
        }
        if (cam->win)
            win_unbind_cam(cam->win);
    }
}
