// Window geometry: from a layout type, the screen size and a stream size to
// the base cell of a layout and the rectangles of each window.
//
// Sizes are 32-bit unsigned like the rest of the video path; products that
// decide a comparison are formed in a wider type so that odd option values
// cannot overflow them.
#include <cstdint>

#include "conf.h"
#include "layouts.h"
#include "media.h"
#include "window.h"

constinit int32_t borderTB = 0;
constinit int32_t borderLR = 0;

namespace {

using wide = __int128; // exact for any product of three 32-bit values

bool fit2screen_set() { return conf && conf->fit2screen; }

} // namespace

void set_win_borders(uint32_t screen_w, uint32_t screen_h)
{
    if (conf && conf->border_size.tb > 0 && conf->border_size.lr > 0) {
        borderTB = int32_t(conf->border_size.tb);
        borderLR = int32_t(conf->border_size.lr);
    } else {
        // Top/bottom follows the screen width, left/right the height.
        borderTB = screen_w >= 400 ? int32_t(screen_w / 400) : 1;
        borderLR = screen_h >= 300 ? int32_t(screen_h / 300) : 1;
    }
    if (verbose_at(3))
        tirsklog_r(nullptr, 7, "(D) cam windows border TB:LR = %d:%d\n",
                   borderTB, borderLR);
}

// Reduces w:h by the largest common divisor below min(w, h).  min(w, h)
// itself is never used, so 100x100 stays 2:2 rather than 1:1 and 4x8 gives
// 2:4; the rest of the viewer relies on these values.
void calc_aspect(uint32_t w, uint32_t h, aspect_pair *out)
{
    if (!out)
        return;
    *out = {w, h};
    if (w == 0 || h == 0)
        return;
    const uint32_t m = w < h ? w : h;
    uint32_t a = w, b = h;
    while (b) {
        const uint32_t t = a % b;
        a = b;
        b = t;
    }
    uint32_t d = a; // gcd
    if (d == m) {
        // Every common divisor divides m; the largest one below m is m
        // divided by its smallest prime factor.
        uint32_t p = 2;
        while (uint64_t(p) * p <= m && m % p)
            p++;
        d = m % p == 0 ? m / p : 1;
    }
    if (d >= 2)
        *out = {w / d, h / d};
}

void set_target_video_aspect(const media_source *src, aspect_pair *out)
{
    if (!out)
        return;
    if (fit2screen_set())
        *out = {0, 0};
    else if (conf && conf->force_aspect.w && conf->force_aspect.h)
        *out = {conf->force_aspect.w, conf->force_aspect.h};
    else if (src)
        *out = {src->aspect_w, src->aspect_h};
    else
        *out = {0, 0};
}

namespace {

// Integer scaling of the cell video to 1/n or n times the stream size vw x vh.
// Shrinking always takes the next smaller fraction.
void smart_scale(uint32_t &video_w, uint32_t &video_h, uint32_t vw,
                 uint32_t vh, uint32_t an, uint32_t ad)
{
    const int64_t dw = int64_t(video_w) - vw;
    const int64_t dh = int64_t(video_h) - vh;
    if (dw == 0 && dh == 0)
        return;
    const wide p = wide(video_w) * vh - wide(vw) * video_h;
    // The divisor n is formed in 64 bits (vw / 1 + 1 wraps to 0 in 32), and
    // a scale that leaves nothing keeps the unscaled size.
    const uint32_t keep_w = video_w, keep_h = video_h;
    if (p < 0) {
        if (dw <= 0) {
            const uint64_t n = uint64_t(vw) / video_w + 1;
            video_w = uint32_t(((vw / n) / an) * an);
        } else {
            video_w = (video_w / vw) * vw;
        }
        video_h = uint32_t(uint64_t(ad) * video_w / an);
    } else {
        if (dh <= 0) {
            const uint64_t n = uint64_t(vh) / video_h + 1;
            video_h = uint32_t(((vh / n) / ad) * ad);
        } else {
            video_h = (video_h / vh) * vh;
        }
        video_w = uint32_t(uint64_t(an) * video_h / ad);
    }
    if (video_w == 0 || video_h == 0) {
        video_w = keep_w;
        video_h = keep_h;
    }
}

} // namespace

int get_layout_base_cell_rects(const layout_def *layout, uint32_t screen_w,
                               uint32_t screen_h, uint32_t video_w,
                               uint32_t video_h, const aspect_pair *aspect,
                               base_cell *out)
{
    if (!layout || !screen_w || !screen_h || !aspect || !out)
        return 0;
    *out = {};
    out->aspect = *aspect;
    if (layout->rows <= 0 || layout->cols <= 0)
        return 0;
    const uint32_t rows = uint32_t(layout->rows), cols = uint32_t(layout->cols);
    const uint32_t an = aspect->num, ad = aspect->den;
    // Borders are set from positive values; treat anything else as none.
    const uint64_t lr2 = borderLR > 0 ? 2 * uint64_t(borderLR) : 0;
    const uint64_t tb2 = borderTB > 0 ? 2 * uint64_t(borderTB) : 0;
    uint32_t vid_w, vid_h;

    if (fit2screen_set() || an == 0 || ad == 0) {
        // A screen too small for the borders leaves no video area.
        if (screen_w / cols <= lr2 || screen_h / rows <= tb2)
            return 0;
        vid_w = uint32_t(screen_w / cols - lr2);
        vid_h = uint32_t(screen_h / rows - tb2);
    } else {
        // Space left for video; none at all ends in the error below.
        const uint64_t bw = lr2 * cols, bh = tb2 * rows;
        const uint32_t avail_w = screen_w > bw ? uint32_t(screen_w - bw) : 0;
        const uint32_t avail_h = screen_h > bh ? uint32_t(screen_h - bh) : 0;
        const wide d = wide(rows) * ad * avail_w - wide(cols) * an * avail_h;
        uint32_t k;
        if (d > 0) { // the height limits
            const uint32_t cell_h_avail = avail_h / rows;
            if (ad > cell_h_avail) {
                tirsklog_r(nullptr, 3,
                           "cell_h_avail(%u) < target_video_aspect->den(%u)\n",
                           cell_h_avail, ad);
                return 0;
            }
            k = cell_h_avail / ad;
        } else { // the width limits
            const uint32_t cell_w_avail = avail_w / cols;
            if (an > cell_w_avail) {
                tirsklog_r(nullptr, 3,
                           "cell_w_avail(%u) < target_video_aspect->num(%u)\n",
                           cell_w_avail, an);
                return 0;
            }
            k = cell_w_avail / an;
        }
        vid_w = an * k;
        vid_h = ad * k;
        // Without a known stream size there is nothing to scale to; the
        // cell keeps the size that fills it.
        if (conf && conf->smart_scale && video_w && video_h)
            smart_scale(vid_w, vid_h, video_w, video_h, an, ad);
    }

    out->video_w = vid_w;
    out->video_h = vid_h;
    out->cell_w = vid_w + uint32_t(lr2);
    out->cell_h = vid_h + uint32_t(tb2);
    out->total_w = out->cell_w * cols;
    out->total_h = out->cell_h * rows;
    out->off_x = (screen_w - out->total_w) >> 1;
    out->off_y = (screen_h - out->total_h) >> 1;
    return 1;
}

int get_win_rects(const layout_cell *cell, const base_cell *base,
                  uint32_t video_w, uint32_t video_h,
                  const aspect_pair *src_aspect, int keep, win_rect *rect,
                  win_rect *video_rect)
{
    if (!cell || !base || !src_aspect || !rect || !video_rect)
        return 0;
    rect->x = int32_t(base->cell_w * cell->col + base->off_x);
    rect->y = int32_t(base->cell_h * cell->row + base->off_y);
    rect->w = cell->width * base->cell_w;
    rect->h = cell->height * base->cell_h;

    const bool single = cell->height == 1 && cell->width == 1;
    const bool same_aspect = src_aspect->num == base->aspect.num &&
                             src_aspect->den == base->aspect.den;
    if (single && (!keep || same_aspect)) {
        *video_rect = {rect->x + borderLR, rect->y + borderTB, base->video_w,
                       base->video_h};
        return 1;
    }
    // A multi-cell window, or a window keeping a stream aspect other than the
    // layout's: fit the video into the window as if it were a screen of its
    // own.  It is centred vertically only; it starts at the left border.  A
    // window too small for that gets an empty video area.
    base_cell own{};
    get_layout_base_cell_rects(onecam_layout_def, rect->w, rect->h, video_w,
                               video_h, keep ? src_aspect : &base->aspect,
                               &own);
    *video_rect = {rect->x + borderLR, int32_t(rect->y + borderTB + own.off_y),
                   own.video_w, own.video_h};
    return 1;
}

void update_win_rects(window *win, const layout_cell *cell,
                      const base_cell *base, const aspect_pair *expected,
                      media_source *src)
{
    if (!win || !src)
        return;
    const bool fit2screen = fit2screen_set();
    int keep = 0;
    if (conf && conf->keep_aspect)
        keep = 1;
    else if (win->state & WS_FS) // fullscreen keeps the stream's own aspect
        keep = 1;

    win->rect = {};
    win->video_rect = {};
    const aspect_pair src_aspect{src->aspect_w, src->aspect_h};
    get_win_rects(cell, base, src->width, src->height, &src_aspect, keep,
                  &win->rect, &win->video_rect);

    const win_rect &r = win->rect, &v = win->video_rect;
    if (verbose_at(2))
        tirsklog_r(&src->log, 7,
                   "%s window rect(%d,%d %ux%u), video_rect(%d,%d %ux%u)\n",
                   win->cur_src == src->index ? "create" : "update", r.x, r.y,
                   r.w, r.h, v.x, v.y, v.w, v.h);

    if (expected && !(fit2screen && !keep) &&
        uint64_t(v.w) * expected->den != uint64_t(v.h) * expected->num)
        tirsklog_r(&src->log, 4,
                   "win video aspect %dx%d != %dx%d target video source "
                   "aspect\n",
                   int(v.w), int(v.h), int(expected->num), int(expected->den));
}

int get_win_index_uder_cursor(int x, int y)
{
    for (int i = 0; i < WINDOWS_COUNT; i++) {
        const window &w = windows[i];
        if (!w.cam)
            continue;
        // Strict on every edge: a point on a left or top edge is outside.
        if (w.rect.x < x && int64_t(x) < int64_t(w.rect.x) + w.rect.w &&
            w.rect.y < y && int64_t(y) < int64_t(w.rect.y) + w.rect.h)
            return i;
    }
    return -1;
}

int getWinIdx(const window *win)
{
    const auto p = reinterpret_cast<uintptr_t>(win);
    const auto first = reinterpret_cast<uintptr_t>(&windows[0]);
    if (!win || p < first)
        return -1;
    const uintptr_t off = p - first;
    if (off % sizeof(window) != 0 || off / sizeof(window) >= WINDOWS_COUNT)
        return -1;
    return int(off / sizeof(window));
}

int is_win_visible(const window *win)
{
    if (!win || !win->cam)
        return 0;
    if (g_fsWinIdx >= 0)
        return getWinIdx(win) == g_fsWinIdx;
    return 1;
}
