/* Labels inside camera windows: camera name, status, pause and alarm.  Each
 * is rendered once into the window's caption block and blitted from there;
 * pause and alarm keep the screen under them so they can be taken away
 * without redrawing the window. */
#include <algorithm>

#include "camera.h"
#include "conf.h"
#include "vout/draw_util.h"
#include "vout/sdl_private.h"
#include "vout/text_util.h"

namespace {

enum { POS_TOP_LEFT = 0, POS_TOP_RIGHT, POS_BOTTOM_LEFT, POS_BOTTOM_RIGHT, POS_CENTRE };

constexpr SDL_Color NAME_FG = {220, 220, 220, 0};
constexpr SDL_Color NAME_BG = {31, 31, 31, 0};
constexpr SDL_Color NAME_ALERT_BG = {64, 0, 0, 0};
constexpr SDL_Color BLACK = {0, 0, 0, 0};

constexpr const char TEXT_PAUSE[] = " ПАУЗА ";
constexpr const char TEXT_WAITING[] = "  ОЖИДАНИЕ  ";
constexpr const char TEXT_SERVER_FAIL[] = " СБОЙ СЕРВЕРА ";
constexpr const char TEXT_NO_SIGNAL[] = " НЕТ СИГНАЛА  ";

constexpr uint32_t ALERT_FLAGS = WS_AL | WS_MO | WS_CF | WS_SF | WS_WT;

void drop_front(caption_surf &rec)
{
    SDL_FreeSurface(rec.front);
    rec.front = nullptr;
}

/* The window's label cache when labels may be drawn on it: bound to a
 * camera that points back at it, with a cache, and no popup on top. */
caption_block *label_block(window *win)
{
    if (!win || !win->cam || win->cam->win != win || !win->surfaces ||
        !screen || popup_win_bg)
        return nullptr;
    return static_cast<caption_block *>(win->surfaces);
}

bool render_label(window *win, caption_surf &rec, const char *text,
                  SDL_Color fg, SDL_Color bg)
{
    if (rec.front)
        return true;
    TTF_Font *font = sdl_fonts_get(win->video_rect.h, 1.0f);
    rec.front = render_text_shaded(font, text, fg, bg);
    if (!rec.front && verbose_at(2))
        tirsklog_r(&win->log, 7, "(D) label \"%s\" not rendered: %s\n", text,
                   SDL_GetError());
    return rec.front != nullptr;
}

/* Show a label at pos; a label that cannot be shown drops its text so that
 * it is rendered afresh next time. */
int show_label(window *win, caption_surf &rec, int pos, int save_back)
{
    SDL_Rect area = sdl_rect_of(win->video_rect);
    if (caption_show(&rec, &area, pos, save_back))
        return 1;
    drop_front(rec);
    return 0;
}

} // namespace

extern "C" {

int caption_show(caption_surf *rec, const SDL_Rect *area, int position,
                 int save_back)
{
    if (!rec || !area || !rec->front || !screen)
        return 0;
    if (rec->back)
        save_back = 1; /* a label that kept its background goes on keeping it */
    /* Corner labels keep to half the width so that the two of one edge
     * never overlap; the centred status shares its rows with no other
     * label and may take the whole width less a margin on either side, so
     * that a narrow window still shows it whole. */
    const int max_w = position == POS_CENTRE ? int(area->w) - 20 : int(area->w) / 2 - 10;
    const int w = std::min(rec->front->w, max_w);
    const int h = std::min(rec->front->h, int(area->h) / 4);
    long x = rec->at.x, y = rec->at.y;
    switch (position) {
    case POS_TOP_LEFT: x = area->x; y = area->y; break;
    case POS_TOP_RIGHT: x = long(area->x) + area->w - w; y = area->y; break;
    case POS_BOTTOM_LEFT: x = area->x; y = long(area->y) + area->h - h; break;
    case POS_BOTTOM_RIGHT:
        x = long(area->x) + area->w - w;
        y = long(area->y) + area->h - h;
        break;
    case POS_CENTRE:
        x = long(area->x) + (long(area->w) - w) / 2;
        y = long(area->y) + (long(area->h) - h) / 2;
        break;
    default: break;
    }
    /* An area too small for any label (a window a few pixels high or wide)
     * shows none; there is nothing under it to keep either. */
    if (w <= 0 || h <= 0) {
        if (rec->shown && rec->back)
            caption_hide(rec);
        rec->at = sdl_rect_make(x, y, 0, 0);
        SDL_FreeSurface(rec->back);
        rec->back = nullptr;
        rec->shown = 0;
        return 1;
    }
    const SDL_Rect at = sdl_rect_make(x, y, w, h);
    /* Shown again where it is and nothing drawn beneath since: the saved
     * background is still what the label covers; refreshing it now would
     * save the label itself and leave it behind when hidden. */
    const bool keep_back = rec->shown && rec->at.x == at.x && rec->at.y == at.y &&
                           rec->at.w == at.w && rec->at.h == at.h;
    if (rec->shown && !keep_back && rec->back)
        caption_hide(rec); /* moved: give back the old place first */
    rec->at = at;

    /* A saved background of another size cannot be reused. */
    if (rec->back && (rec->back->w != w || rec->back->h != h)) {
        SDL_FreeSurface(rec->back);
        rec->back = nullptr;
    }
    if (save_back && !rec->back) {
        rec->back = create_back_surface(w, h);
        if (!rec->back) {
            tirsklog_r(nullptr, 3, "CreateRGBSurface(back) failed: %s\n",
                       SDL_GetError());
            return 0;
        }
    }
    SDL_SetClipRect(screen, &rec->at);
    if (rec->back && !keep_back) {
        SDL_Rect from = rec->at;
        if (SDL_BlitSurface(screen, &from, rec->back, nullptr) != 0) {
            tirsklog_r(nullptr, 3, "SDL_BlitSurface(back) failed: %s\n",
                       SDL_GetError());
            SDL_FreeSurface(rec->back);
            rec->back = nullptr;
            return 0;
        }
    }
    SDL_Rect to = rec->at;
    if (SDL_BlitSurface(rec->front, nullptr, screen, &to) != 0) {
        tirsklog_r(nullptr, 3, "SDL_BlitSurface(front) failed: %s\n",
                   SDL_GetError());
        SDL_FreeSurface(rec->back);
        rec->back = nullptr;
        rec->shown = 0;
        return 0;
    }
    rec->shown = 1;
    screen_update(rec->at);
    return 1;
}

void caption_hide(caption_surf *rec)
{
    if (!rec || !rec->back || !screen)
        return;
    SDL_SetClipRect(screen, &rec->at);
    SDL_Rect to = rec->at;
    if (SDL_BlitSurface(rec->back, nullptr, screen, &to) != 0)
        tirsklog_r(nullptr, 3, "SDL_BlitSurface(front) failed: %s\n",
                   SDL_GetError());
    screen_update(rec->at);
    SDL_FreeSurface(rec->back);
    rec->back = nullptr;
    rec->shown = 0;
}

void win_caption(window *win, int on)
{
    caption_block *block = label_block(win);
    if (!block || !on || (win->state & WS_PA))
        return;
    const bool alert = win->state & ALERT_FLAGS;
    caption_surf &rec = block->rec[alert ? CAP_NAME_ALERT : CAP_NAME];
    if (!render_label(win, rec, win->cam->name, NAME_FG,
                      alert ? NAME_ALERT_BG : NAME_BG))
        return;
    show_label(win, rec, POS_BOTTOM_LEFT, 0);
}

void win_status(window *win)
{
    caption_block *block = label_block(win);
    if (!block || (win->state & WS_PA))
        return;
    int index;
    const char *text;
    if (win->state & WS_SF) {
        index = CAP_SERVER_FAIL;
        text = TEXT_SERVER_FAIL;
    } else if (win->state & WS_CF) {
        index = CAP_NO_SIGNAL;
        text = TEXT_NO_SIGNAL;
    } else if (win->state & WS_WT) {
        index = CAP_WAIT;
        text = TEXT_WAITING;
    } else {
        return;
    }
    caption_surf &rec = block->rec[index];
    /* The colour is fixed when the text is rendered and cached with it. */
    SDL_Color fg = (win->state & WS_WT) ? _white : _red;
    if (!render_label(win, rec, text, fg, BLACK))
        return;
    show_label(win, rec, POS_CENTRE, 0);
}

void win_pause(window *win, int on)
{
    caption_block *block = label_block(win);
    if (!block)
        return;
    caption_surf &rec = block->rec[CAP_PAUSE];
    if (on) {
        if (render_label(win, rec, TEXT_PAUSE, _white, _red))
            show_label(win, rec, POS_TOP_LEFT, rec.back == nullptr);
    } else if (rec.back) {
        caption_hide(&rec);
    }
}

int win_alarm(window *win, int on)
{
    if (popup_win_bg)
        return 1;
    return sdl_win_alarm(win, on);
}

int sdl_win_alarm(window *win, int on)
{
    if (!win || !win->surfaces || !win->cam || !screen)
        return 0;
    camera *cam = win->cam;
    auto *block = static_cast<caption_block *>(win->surfaces);
    caption_surf &rec = block->rec[CAP_ALARM];
    const uint32_t code = cam->alarm_code;
    if (verbose_at(2))
        tirsklog_r(&win->log, 7, "(D) cam[%d] sdl_win_alarm(%d) for alarm_code %u\n",
                   cam->nr, on, code);

    /* Taking the label away does not depend on the current code: the one
     * shown may have been raised under another. */
    if (!on) {
        if (rec.back)
            caption_hide(&rec);
        return 1;
    }
    const bool has_msg = conf && code < ALARM_MSGS_MAX && conf->alarm_msgs[code][0];
    if (rec.front && (!has_msg || rec.code != int32_t(code))) {
        /* the text on screen belongs to another code: remove it */
        drop_front(rec);
        caption_hide(&rec);
    }
    if (!has_msg)
        return 0;
    if (!rec.front) {
        if (!render_label(win, rec, conf->alarm_msgs[code], _white, _red))
            return 0;
        rec.code = int32_t(code);
    }
    if (!show_label(win, rec, POS_TOP_RIGHT, rec.back == nullptr))
        return 0;
    if (verbose_at(2))
        tirsklog_r(&win->log, 7, "(D) AlarmSurfs[%u] (%dx%d), win (%ux%u)\n", code,
                   rec.front->w, rec.front->h, win->video_rect.w,
                   win->video_rect.h);
    return 1;
}

} // extern "C"
