/* Layout types and window geometry. */
#ifndef TIRSK_LAYOUTS_H
#define TIRSK_LAYOUTS_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

struct media_source;
struct window;

/* One window of a layout type, in base cells. */
typedef struct layout_cell {
    uint32_t row;    /* grid row of the top-left base cell, 0-based */
    uint32_t col;    /* grid column of the top-left base cell */
    uint32_t height; /* base-cell rows covered */
    uint32_t width;  /* base-cell columns covered */
} layout_cell;

/* One row of layouts_defs. */
typedef struct layout_def {
    int32_t id;
    const char *name;
    int32_t wins;
    int32_t rows;
    int32_t cols;
    const layout_cell *cells; /* wins cells, window 1 first */
    int32_t major;            /* 1-based number of the major window */
} layout_def;

#define LAYOUT_DEFS_COUNT 45
#define LAYOUT_DEF_END_ID 999
#define MAX_WINS 60

/* The 45 types, then the terminator row (id 999). */
extern const layout_def layouts_defs[LAYOUT_DEFS_COUNT + 1];
/* The "ONECAM" row. */
extern const layout_def *onecam_layout_def;

/* First type whose name equals name ignoring case, or null. */
const layout_def *find_layout_def(const char *name);

/* Aspect ratio num:den; {0, 0} = no constraint.  Also used as a {w, h}
 * video size. */
typedef struct aspect_pair {
    uint32_t num;
    uint32_t den;
} aspect_pair;

/* Base cell of a layout on a screen. */
typedef struct base_cell {
    uint32_t cell_w; /* one base cell including both borders */
    uint32_t cell_h;
    uint32_t video_w; /* video area of one base cell */
    uint32_t video_h;
    aspect_pair aspect; /* the aspect the cell was computed for */
    uint32_t total_w;   /* cell_w * cols */
    uint32_t total_h;   /* cell_h * rows */
    uint32_t off_x;     /* where the layout starts on the screen */
    uint32_t off_y;
} base_cell;

/* Window rectangle, borders included (rect) or the video area (video_rect). */
typedef struct win_rect {
    int32_t x;
    int32_t y;
    uint32_t w;
    uint32_t h;
} win_rect;

/* Frame thickness around each window, set once by set_win_borders. */
extern int32_t borderTB;
extern int32_t borderLR;

/* borderTB/borderLR from the border-size option or the screen size. */
void set_win_borders(uint32_t screen_w, uint32_t screen_h);

void calc_aspect(uint32_t w, uint32_t h, aspect_pair *out);
void set_target_video_aspect(const struct media_source *src, aspect_pair *out);
int get_layout_base_cell_rects(const layout_def *layout, uint32_t screen_w,
                               uint32_t screen_h, uint32_t video_w,
                               uint32_t video_h, const aspect_pair *aspect,
                               base_cell *out);
int get_win_rects(const layout_cell *cell, const base_cell *base,
                  uint32_t video_w, uint32_t video_h,
                  const aspect_pair *src_aspect, int keep, win_rect *rect,
                  win_rect *video_rect);
/* expected: a {w, h} video size to check against, or null. */
void update_win_rects(struct window *win, const layout_cell *cell,
                      const base_cell *base, const aspect_pair *expected,
                      struct media_source *src);
int get_win_index_uder_cursor(int x, int y);
int getWinIdx(const struct window *win);
int is_win_visible(const struct window *win);

#ifdef __cplusplus
}
#endif

#endif
