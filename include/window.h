/* Window records and their state flags. */
#ifndef TIRSK_WINDOW_H
#define TIRSK_WINDOW_H

#include <stdint.h>

#include "layouts.h"
#include "tirskconf.h"

#ifdef __cplusplus
extern "C" {
#endif

struct camera;

/* State flags; the short names appear in log lines. */
enum {
    WS_PM = 0x1,       /* paused by the user */
    WS_PA = 0x2,       /* passive: hidden, not drawn */
    WS_FS = 0x4,       /* the fullscreen window */
    WS_SE = 0x8,       /* selected */
    WS_DN = 0x10,      /* camera name shown */
    WS_AL = 0x100,     /* alarm label shown */
    WS_MO = 0x200,     /* device reports no video signal */
    WS_CF = 0x1000,    /* capture failed */
    WS_SF = 0x2000,    /* server failure */
    WS_WT = 0x4000,    /* waiting for the first frame */
    WS_RC = 0x8000000, /* named only */
};

typedef struct tv64 {
    int64_t tv_sec;
    int64_t tv_usec;
} tv64;

typedef struct window {
    log_ctx log;          /* "win[%2.2d]", child of the camera's context */
    win_rect rect;        /* borders included */
    win_rect video_rect;  /* where the video goes */
    uint32_t state;       /* WS_* */
    tv64 state_tv[32];    /* wall clock of the last change, per bit */
    uint64_t state_mono[32]; /* g_monotime_microsec of the last change */
    struct camera *cam;   /* null = window not in use */
    int32_t cur_src;      /* source shown, -1 none */
    int32_t target_src;   /* source being switched to, -1 none */
    void *surfaces;       /* video output's caption block */
} window;

#define WINDOWS_COUNT 60

extern window windows[WINDOWS_COUNT];
extern int32_t g_fsWinIdx;
extern int32_t g_selectetWinIdx;
extern int32_t sel_row;
extern int32_t sel_col;

/* {bit, name} table of the flags, ended by {0, null}. */
extern const tirskconf_flag_row win_state_flags[];

void winStateSet(window *win, uint32_t mask);
void winStateReset(window *win, uint32_t mask);
const char *winStateStr(const window *win);
tv64 *when_win_state_changed(window *win, uint32_t mask);
uint64_t *when_win_state_changed_mono(window *win, uint32_t mask);
void update_win_border(window *win);
int win_bind_cam(window *win, struct camera *cam);
int win_unbind_cam(window *win);
void select_win(int index);

#ifdef __cplusplus
}
#endif

#endif
