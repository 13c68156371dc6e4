/* State and functions shared by the files of the SDL video output.  Only
 * src/vout includes this; everything else goes through the vout table. */
#ifndef TIRSK_VOUT_SDL_PRIVATE_H
#define TIRSK_VOUT_SDL_PRIVATE_H

#include <sys/types.h>

#include <SDL.h>
#include <SDL_ttf.h>

#include "vout.h"

#ifdef __cplusplus
extern "C" {
#endif

#define TIRSK_FONT_PATH "/usr/share/fonts/truetype/freefont/FreeSansBold.ttf"
#define TIRSK_ICON_PATH "/usr/share/pixmaps/tirsk-mon.xpm"
#define POPUP_MAX_LINES 50

/* Module state (one instance each). */
extern SDL_Surface *screen;
extern uint32_t overlay_format; /* SDL_YV12_OVERLAY or SDL_IYUV_OVERLAY */
extern SDL_Surface *icon;
extern SDL_Cursor *cursor;
extern int32_t cursor_state; /* what SDL_ShowCursor returned last */
extern SDL_Surface *popup_win_bg; /* screen under the open popup; null = none */
extern SDL_Rect popup_rect;
extern SDL_Surface *popup_lines[POPUP_MAX_LINES + 1];
extern char flags_text[200];

extern const char *const cursor_xpm[];

/* {flag, name, description} rows, ended by the row with flag 0. */
typedef struct sdl_flag_row {
    uint32_t flag;
    char name[12];
    char description[64];
} sdl_flag_row;
extern const sdl_flag_row sdl_surface_flags[];
char *SDL_flags_to_str(uint32_t flags);

/* Label cache of one window. */
typedef struct caption_surf {
    SDL_Surface *front; /* rendered text, null = not rendered yet */
    SDL_Surface *back;  /* screen under the label where it was last drawn */
    SDL_Rect at;        /* where the label was last drawn */
    int32_t code;       /* alarm record: code the text was rendered for */
    int32_t shown;      /* front is on screen at `at`, back holds what it covers */
} caption_surf;

enum {
    CAP_PAUSE = 0,
    CAP_NAME = 1,
    CAP_NAME_ALERT = 2,
    CAP_WAIT = 3,
    CAP_SERVER_FAIL = 4,
    CAP_NO_SIGNAL = 5,
    CAP_ALARM = 6,
    CAP_COUNT = 7,
};

typedef struct caption_block {
    caption_surf rec[CAP_COUNT];
    int32_t drawn_h; /* window height the surfaces were made for, 0 = none */
    int32_t drawn_w; /* and its width: labels are clipped to it */
} caption_block;

/* Free front and back of every record (at, code and drawn_h stay). */
void caption_block_discard(caption_block *block);
/* The window's picture was drawn over its labels: the next show saves the
 * new screen under them.  Null windows and blocks are ignored. */
void win_labels_covered(window *win);

/* Font provider. */
typedef struct font_provider {
    int (*init)(int screen_height);
    void (*fini)(void);
    TTF_Font *(*get)(uint32_t area_height, float factor);
} font_provider;
extern const font_provider Fonts;
int sdl_fonts_init(int screen_height);
TTF_Font *sdl_fonts_get(uint32_t area_height, float factor);
extern uint32_t fonts_count;

extern const SDL_Color _red;
extern const SDL_Color _blue;
extern const SDL_Color _white;

int caption_show(caption_surf *rec, const SDL_Rect *area, int position,
                 int save_back);
void caption_hide(caption_surf *rec);
int sdl_win_alarm(window *win, int on);

/* Slot implementations, defined in the files of src/vout. */
int sdl_init(int kind);
int sdl_fini(void);
int sdl_test(int mode);
int poll_events(int64_t now);
int push_event(uint8_t type, int code, void *data1, void *data2);
int show_cursor(int on);
void popup_text(uint32_t flags, const char *text);
int popup_close(void);
int alloc_playback_resources(media_source *src);
void free_playback_resources(media_source *src);
int show_frame(window *win, media_source *src, media_frame *frame);
int check_playback_resources(media_source *src, const uint32_t *fmt_w_h);
void redisplay_win(window *win);
void draw_win(window *win);
void fill_win(window *win, uint8_t r, uint8_t g, uint8_t b);
void draw_border(window *win, uint8_t r, uint8_t g, uint8_t b,
                 const border_desc *border);
void win_pause(window *win, int on);
int win_alarm(window *win, int on);
void win_caption(window *win, int on);
void win_status(window *win);
void free_win_surfaces(window *win);
int flip(void);
int win_snapshot(window *win, const char *path);
int screen_snapshot(const char *path);
int push_rctrl_event(uint32_t code, void *data1, void *data2);

/* ---- Overlays and the frames put into them --------------------------- */

/* A new overlay of w x h in overlay_format, painted black; logged, null on
 * failure. */
SDL_Overlay *create_black_overlay(media_source *src, int w, int h);
/* *buf grown (realloc) to hold size bytes, *cap its size; null when there
 * is no memory (the old buffer kept). */
uint8_t *buffer_room(uint8_t **buf, size_t *cap, size_t size);
/* One read of a device picture, retried when interrupted. */
ssize_t read_frame(int fd, uint8_t *dst, size_t size);
/* read_frame, then over it every whole frame queued behind: the newest. */
ssize_t read_newest_frame(int fd, uint8_t *dst, size_t size);
/* "read video device filed: ..." for a failed (n < 0) or short read. */
void log_short_read(media_source *src, ssize_t n, size_t wanted);

/* True when o is a software overlay kept at its window's size. */
int overlay_sized_to_window(const SDL_Overlay *o);
/* True when o has not src's stream size: frames are scaled into it. */
int overlay_is_scaled(const media_source *src, const SDL_Overlay *o);
/* src's overlay, replaced first by one of the wanted size for win's video
 * rectangle (showing the same picture) when its size is not that.  Keeps
 * the old overlay when a new one cannot be made; null without one. */
SDL_Overlay *fit_overlay(window *win, media_source *src);
/* Scale frame f into the locked, scaled overlay o: a device picture is read
 * once into src's stored picture, a framework picture is read in place.
 * *first_luma gets the picture's own top-left luma sample.  0 on failure. */
int scale_frame(media_source *src, SDL_Overlay *o, const media_frame *f,
                uint8_t *first_luma);
/* Display o in dst: a window-sized software overlay is converted straight
 * into the screen, any other goes through display_overlay. */
int show_overlay(SDL_Overlay *o, SDL_Rect dst);
/* Drop src's stored picture (its stream stopped). */
void forget_source_picture(const media_source *src);

/* "YV12", "IYUV", "YUY2", "UYVY", "YVYU" or "Unknown". */
const char *overlay_format_name(Uint32 format);

/* Snapshots: PNG writer on an SDL stream. */
SDL_Surface *SDL_PNGFormatAlpha(SDL_Surface *surface);
int SDL_SavePNG_RW(SDL_Surface *surface, SDL_RWops *dst, int freedst);

/* ---- Screen set-up, cursor and event dispatch ------------------------- */

/* Fill data and mask (one bit per pixel, 4 bytes a row, leftmost pixel in
 * the most significant bit) from a 32x32 XPM with the characters "X" black,
 * "." white and blank transparent, and read its hot spot ("%d,%d" in the row
 * after the pixels; 0,0 when missing).  Short rows are padded with blanks. */
void cursor_bits_from_xpm(const char *const xpm[], uint8_t data[128],
                          uint8_t mask[128], int *hot_x, int *hot_y);
/* The pointer drawn from cursor_xpm; null (SDL error set) on failure. */
SDL_Cursor *create_arrow_cursor(void);

/* The handlers poll_events hands events to.  They default to the monitor
 * control's and remote control's functions; a test may replace entries to
 * watch the dispatch and must restore vout_default_event_handlers after. */
typedef struct event_handlers {
    int (*have_keydown)(uint32_t mod, uint32_t key);
    void (*mouse_motion)(int x, int y);
    void (*mouse_press_left)(int x, int y);
    void (*mouse_press_right)(int x, int y);
    int (*redraw_wins)(void);
    void (*hide_restore_application)(int gained);
    int (*get_rctrl_evt_sync)(uint32_t code, void *data1, void *data2);
    int (*popup_close)(void);
} event_handlers;
extern event_handlers vout_event_handlers;
extern const event_handlers vout_default_event_handlers;

/* The font provider that init and fini use: &Fonts unless a test put a
 * stand-in there. */
extern const font_provider *vout_fonts;

#define VOUT_EVENT_BATCH 128

/* Video test mode: scaling speed of the display, printed on standard output
 * (failures on standard error).  0 when measured, 1 when it could not start. */
int sdl_test_BMPBLIT(SDL_Surface *screen);
int sdl_test_overlay(SDL_Surface *screen, Uint32 format); /* needs test.bmp */

#ifdef __cplusplus
}
#endif

#endif
