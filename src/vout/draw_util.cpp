#include "vout/draw_util.h"

#include <algorithm>
#include <iterator>

#include "vout/sdl_private.h"

SDL_Rect sdl_rect_make(long x, long y, long w, long h)
{
    SDL_Rect r;
    r.x = static_cast<Sint16>(std::clamp<long>(x, INT16_MIN, INT16_MAX));
    r.y = static_cast<Sint16>(std::clamp<long>(y, INT16_MIN, INT16_MAX));
    r.w = static_cast<Uint16>(std::clamp<long>(w, 0, UINT16_MAX));
    r.h = static_cast<Uint16>(std::clamp<long>(h, 0, UINT16_MAX));
    return r;
}

SDL_Rect sdl_rect_of(const win_rect &rect)
{
    return sdl_rect_make(rect.x, rect.y, rect.w, rect.h);
}

bool clip_to_screen(SDL_Rect &r)
{
    if (!screen)
        return false;
    long x0 = std::max<long>(r.x, 0);
    long y0 = std::max<long>(r.y, 0);
    long x1 = std::min<long>(long(r.x) + r.w, screen->w);
    long y1 = std::min<long>(long(r.y) + r.h, screen->h);
    if (x1 <= x0 || y1 <= y0) {
        r.w = r.h = 0;
        return false;
    }
    r = sdl_rect_make(x0, y0, x1 - x0, y1 - y0);
    return true;
}

void screen_update(const SDL_Rect &r)
{
    SDL_Rect c = r;
    if (clip_to_screen(c))
        SDL_UpdateRect(screen, c.x, c.y, c.w, c.h);
}

namespace {

/* Pictures waiting to reach the display; flushed together. */
SDL_Rect pending[64];
int npending;

} // namespace

void screen_update_later(const SDL_Rect &r)
{
    if (npending == int(std::size(pending)))
        screen_updates_flush();
    pending[npending++] = r;
}

void screen_updates_flush()
{
    int n = 0;
    for (int i = 0; i < npending; ++i)
        if (clip_to_screen(pending[i]))
            pending[n++] = pending[i];
    npending = 0;
    if (n)
        SDL_UpdateRects(screen, n, pending);
}

int display_overlay(SDL_Overlay *ovl, SDL_Rect dst)
{
    SDL_Rect visible = dst;
    if (!clip_to_screen(visible))
        return 0;
    return SDL_DisplayYUVOverlay(ovl, &dst);
}

SDL_Surface *create_back_surface(int w, int h)
{
    SDL_Surface *s = SDL_CreateRGBSurface(SDL_SWSURFACE, w, h, 32, 0x000000FF,
                                          0x0000FF00, 0x00FF0000, 0xFF000000);
    /* Without SDL_SRCALPHA the copy goes back unblended, whatever alpha the
     * screen-to-surface blit left in it. */
    if (s)
        SDL_SetAlpha(s, 0, SDL_ALPHA_OPAQUE);
    return s;
}
