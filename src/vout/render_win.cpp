/* Whole-window drawing: full redraws, screen clearing, borders, and the
 * life of a window's label cache. */
#include <cstdlib>

#include "camera.h"
#include "conf.h"
#include "vout/draw_util.h"
#include "vout/sdl_private.h"

namespace {

/* The window's overlay, fitted to its present video rectangle. */
SDL_Overlay *win_overlay(window *win)
{
    if (win->cur_src < 0 || win->cur_src >= CAM_MAX_SRCS)
        return nullptr;
    return fit_overlay(win, &win->cam->srcs[win->cur_src]);
}

} // namespace

extern "C" {

void caption_block_discard(caption_block *block)
{
    if (!block)
        return;
    for (caption_surf &rec : block->rec) {
        SDL_FreeSurface(rec.front);
        SDL_FreeSurface(rec.back);
        rec.front = nullptr;
        rec.back = nullptr;
        rec.shown = 0;
    }
}

void win_labels_covered(window *win)
{
    if (!win || !win->surfaces)
        return;
    for (caption_surf &rec : static_cast<caption_block *>(win->surfaces)->rec)
        rec.shown = 0;
}

void free_win_surfaces(window *win)
{
    if (!win || !win->surfaces)
        return;
    auto *block = static_cast<caption_block *>(win->surfaces);
    caption_block_discard(block);
    std::free(block);
    win->surfaces = nullptr;
}

void draw_win(window *win)
{
    if (!win || !win->cam || !screen)
        return;
    camera *cam = win->cam;
    if (verbose_at(2))
        tirsklog_r(&win->log, 7, "(D) cam[%u]: %sdraw win, win->state 0x%X [%s]\n",
                   uint32_t(cam->nr), win->surfaces ? "  " : "re", win->state,
                   winStateStr(win));

    if (!win->surfaces) {
        win->surfaces = std::calloc(1, sizeof(caption_block));
        if (!win->surfaces) {
            tirsklog_r(&win->log, 3, "no memory for the caption block\n");
            return;
        }
    }
    /* Label fonts follow the window height and labels are clipped to its
     * width: a cache made for another size is of no use. */
    auto *block = static_cast<caption_block *>(win->surfaces);
    if (block->drawn_h != int32_t(win->video_rect.h) ||
        block->drawn_w != int32_t(win->video_rect.w)) {
        caption_block_discard(block);
        block->drawn_h = int32_t(win->video_rect.h);
        block->drawn_w = int32_t(win->video_rect.w);
    }

    if (SDL_Overlay *ovl = win_overlay(win)) {
        SDL_Rect dst = sdl_rect_of(win->video_rect);
        if (show_overlay(ovl, dst) != 0)
            tirsklog_r(&win->log, 3, "SDL_DisplayYUVOverlay() failed with: %s\n",
                       SDL_GetError());
        win_labels_covered(win);
    }
    if (cursor_state == 0 || (win->state & WS_DN))
        win_caption(win, 1);
    if (win->state & WS_PM)
        win_pause(win, 1);
    win_status(win);
    if (!popup_win_bg)
        sdl_win_alarm(win, cam->alarm ? 1 : 0);
    update_win_border(win);
}

void fill_win(window *win, uint8_t r, uint8_t g, uint8_t b)
{
    if (!screen)
        return;
    Uint32 colour = SDL_MapRGB(screen->format, r, g, b);
    SDL_Rect area;
    if (win) {
        area = sdl_rect_of(win->video_rect);
        SDL_SetClipRect(screen, &area);
        if (!clip_to_screen(area))
            return;
    } else {
        SDL_SetClipRect(screen, nullptr);
        area = sdl_rect_make(0, 0, screen->w, screen->h);
    }
    if (SDL_FillRect(screen, &area, colour) != 0)
        tirsklog_r(win ? &win->log : nullptr, 3, "SDL_FillRect() failed with: %s\n",
                   SDL_GetError());
    if (win) {
        screen_update(area);
        win_labels_covered(win);
    } else {
        SDL_UpdateRect(screen, 0, 0, 0, 0);
        for (window &w : windows)
            win_labels_covered(&w);
    }
}

void draw_border(window *win, uint8_t r, uint8_t g, uint8_t b,
                 const border_desc *d)
{
    if (!win || !d || !screen)
        return;
    Uint32 colour = SDL_MapRGB(screen->format, r, g, b);
    SDL_SetClipRect(screen, nullptr);

    const long X = win->rect.x, Y = win->rect.y;
    const long W = win->rect.w, H = win->rect.h;
    const long cw = d->corner_w, ch = d->corner_h;
    SDL_Rect rects[8];
    int n = 0;
    auto add = [&](long x, long y, long w, long h) {
        rects[n++] = sdl_rect_make(x, y, w, h);
    };
    if (d->corners == 0) {
        add(X + cw, Y, W - 2 * cw, d->top);
        add(X, Y + ch, d->left, H - 2 * ch);
        add(X + cw, Y + H - d->bottom, W - 2 * cw, d->bottom);
        add(X + W - d->right, Y + ch, d->right, H - 2 * ch);
    } else {
        add(X, Y, cw, d->top);
        add(X + W - cw, Y, cw, d->top);
        add(X, Y, d->left, ch);
        add(X, Y + H - ch, d->left, ch);
        add(X, Y + H - d->bottom, cw, d->bottom);
        add(X + W - cw, Y + H - d->bottom, cw, d->bottom);
        add(X + W - d->right, Y, d->right, ch);
        add(X + W - d->right, Y + H - ch, d->right, ch);
    }
    /* Pieces that come out empty (corner lengths beyond half the window)
     * are dropped rather than filled with a wrapped-around size. */
    SDL_Rect visible[8];
    int nv = 0;
    for (int i = n - 1; i >= 0; --i) {
        SDL_Rect c = rects[i];
        if (!clip_to_screen(c))
            continue;
        if (SDL_FillRect(screen, &c, colour) != 0)
            tirsklog_r(&win->log, 3, "SDL_FillRect() failed with: %s\n",
                       SDL_GetError());
        visible[nv++] = c;
    }
    if (nv)
        SDL_UpdateRects(screen, nv, visible);
}

} // extern "C"
