/* The video output: the one path to the screen, keyboard and mouse. */
#ifndef TIRSK_VOUT_H
#define TIRSK_VOUT_H

#include <stdint.h>

#include "media.h"
#include "window.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Border request of update_win_border. */
typedef struct border_desc {
    int32_t top;
    int32_t left;
    int32_t bottom;
    int32_t right;
    int32_t corners;  /* 0 whole frame, else only corner marks */
    int32_t corner_w; /* horizontal arm / inset of top and bottom edges */
    int32_t corner_h; /* vertical arm / inset of left and right edges */
} border_desc;

/* Slot signatures.  Main thread only unless said otherwise. */
/* 1 screen open, 0 failure (logged). */
using vout_init_fn = int(int kind);
/* Always 1. */
using vout_fini_fn = int(void);
/* 1 if a test ran, 0 for any other mode. */
using vout_test_fn = int(int mode);
/* Events handled (>= 0), -1 when the queue cannot be read; may set quit. */
using vout_poll_events_fn = int(int64_t now);
/* Any thread.  0 queued, -1 not queued. */
using vout_push_event_fn = int(uint8_t type, int code, void *data1,
                               void *data2);
/* The new cursor_state. */
using vout_show_cursor_fn = int(int on);
/* Show a popup (flags: size bits 0x1/0x2/0x4, 0x200 whole screen). */
using vout_popup_text_fn = void(uint32_t flags, const char *text);
/* 1 if a popup was closed, 0 if none was open. */
using vout_popup_close_fn = int(void);
/* 1 src has an overlay of its width x height, 0 failure. */
using vout_alloc_playback_resources_fn = int(media_source *src);
/* src's overlay is gone. */
using vout_free_playback_resources_fn = void(media_source *src);
/* 1 shown (or skipped under a popup), 0 failure. */
using vout_show_frame_fn = int(window *win, media_source *src,
                               media_frame *frame);
/* fmt_w_h: the new frame's {format, width, height}.  Always 0 (allocate). */
using vout_check_playback_resources_fn = int(media_source *src,
                                             const uint32_t *fmt_w_h);
using vout_redisplay_win_fn = void(window *win);
using vout_draw_win_fn = void(window *win);
/* win null: the whole screen. */
using vout_fill_win_fn = void(window *win, uint8_t r, uint8_t g, uint8_t b);
using vout_draw_border_fn = void(window *win, uint8_t r, uint8_t g, uint8_t b,
                                 const border_desc *border);
using vout_win_pause_fn = void(window *win, int on);
/* 1 done or skipped, 0 nothing to show. */
using vout_win_alarm_fn = int(window *win, int on);
using vout_win_caption_fn = void(window *win, int on);
using vout_win_status_fn = void(window *win);
using vout_free_win_surfaces_fn = void(window *win);
/* 1 flipped, 0 not double-buffered, negative on failure. */
using vout_flip_fn = int(void);
/* 1 written, 0 failure. */
using vout_win_snapshot_fn = int(window *win, const char *path);
using vout_screen_snapshot_fn = int(const char *path);
/* Any thread.  1 queued, 0 failure. */
using vout_push_rctrl_event_fn = int(uint32_t code, void *data1, void *data2);

typedef struct video_out {
    const char *name;
    int32_t width;  /* screen size, valid after a successful init */
    int32_t height;
    vout_init_fn *init;
    vout_fini_fn *fini;
    vout_test_fn *test;
    vout_poll_events_fn *poll_events;
    vout_push_event_fn *push_event;
    vout_show_cursor_fn *show_cursor;
    vout_popup_text_fn *popup_text;
    vout_popup_close_fn *popup_close;
    vout_alloc_playback_resources_fn *alloc_playback_resources;
    vout_free_playback_resources_fn *free_playback_resources;
    vout_show_frame_fn *show_frame;
    vout_check_playback_resources_fn *check_playback_resources;
    vout_redisplay_win_fn *redisplay_win;
    vout_draw_win_fn *draw_win;
    vout_fill_win_fn *fill_win;
    vout_draw_border_fn *draw_border;
    vout_win_pause_fn *win_pause;
    vout_win_alarm_fn *win_alarm;
    vout_win_caption_fn *win_caption;
    vout_win_status_fn *win_status;
    vout_free_win_surfaces_fn *free_win_surfaces;
    vout_flip_fn *flip;
    vout_win_snapshot_fn *win_snapshot;
    vout_screen_snapshot_fn *screen_snapshot;
    vout_push_rctrl_event_fn *push_rctrl_event;
} video_out;

extern video_out vout_sdl;
extern video_out *vout; /* null until vout_init */

/* Mouse-cursor timer state (set by vout_init, mouse motion, timers). */
extern int32_t cursor_shown;
extern int64_t cursor_since;

int vout_init(int kind);
int vout_fini(void);
int vout_test(int mode);

#ifdef __cplusplus
}
#endif

#endif
