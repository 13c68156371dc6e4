/* Camera and configured-layout records of the catalogue. */
#ifndef TIRSK_CAMERA_H
#define TIRSK_CAMERA_H

#include <stdint.h>

#include "layouts.h"
#include "media.h"
#include "tirskconf.h"
#include "window.h"

#ifdef __cplusplus
extern "C" {
#endif

#define MAX_CAMS 300
#define MAX_LAYOUTS 50
#define CAM_MAX_SRCS 3

typedef struct camera {
    int32_t nr;     /* CAM_NR; must stay the first field */
    char name[61];  /* " CAM %d " or " %s " with text_left */
    log_ctx log;    /* "cam[%2.2d]" */
    window *win;    /* window showing the camera now, or null */
    media_source srcs[CAM_MAX_SRCS]; /* 0 layout stream, 1 fullscreen */
    int32_t nsrcs;
    uint32_t alarm;      /* 0 none, 2 raised by remote control */
    uint32_t alarm_code; /* index into alarm_msgs */
    tv64 alarm_tv;       /* when the current alarm was first raised */
} camera;

typedef struct local_layout {
    const layout_def *def; /* null = no usable layout with this number */
    char name[33];
    log_ctx log; /* "%c[%d]" */
    camera *cams[MAX_WINS]; /* window 1 first; null = empty window */
    int32_t ncams;
} local_layout;

/* Initialise the next free source of cam with uri; null when no driver
 * takes it (logged). */
media_source *add_source(camera *cam, const char *uri);

#ifdef __cplusplus
}
#endif

#endif
