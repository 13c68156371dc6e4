// Whole-screen and camera-window snapshots as PNG files.
#include <syslog.h>

#include <memory>

#include "sdl_private.h"

namespace {

struct surface_free {
    void operator()(SDL_Surface *s) const { SDL_FreeSurface(s); }
};
using surface_ptr = std::unique_ptr<SDL_Surface, surface_free>;

// The prepared surface is the screen itself or a converted copy.  The
// library never frees its display surface through SDL_FreeSurface, so the
// extra reference on it is dropped here by hand.
void release_prepared(SDL_Surface *s)
{
    if (s && s == SDL_GetVideoSurface()) {
        if (s->refcount > 1)
            s->refcount--;
        return;
    }
    SDL_FreeSurface(s);
}

int save_png(SDL_Surface *s, const char *path)
{
    return SDL_SavePNG_RW(s, SDL_RWFromFile(path, "wb"), 1);
}

} // namespace

extern "C" int screen_snapshot(const char *path)
{
    SDL_Surface *shot = SDL_PNGFormatAlpha(screen);
    if (!shot)
        return 0;
    const int r = save_png(shot, path);
    if (r < 0)
        tirsklog_r(nullptr, LOG_ERR, "SDL_SaveBMP(screen, %s) failed: %s\n",
                   path, SDL_GetError());
    release_prepared(shot);
    return r == 0 ? 1 : 0;
}

extern "C" int win_snapshot(window *win, const char *path)
{
    if (!win || !screen)
        return 0;
    SDL_Rect from = {Sint16(win->video_rect.x), Sint16(win->video_rect.y),
                     Uint16(win->video_rect.w), Uint16(win->video_rect.h)};
    // Red first in memory: the window shot is always plain RGB.
    surface_ptr shot(SDL_CreateRGBSurface(SDL_SWSURFACE, from.w, from.h, 24,
                                          0xFF, 0xFF00, 0xFF0000, 0));
    if (!shot) {
        tirsklog_r(nullptr, LOG_ERR, "CreateRGBSurface(camshot) failed: %s\n",
                   SDL_GetError());
        return 0;
    }
    if (SDL_BlitSurface(screen, &from, shot.get(), nullptr) < 0) {
        tirsklog_r(nullptr, LOG_ERR, "SDL_BlitSurface(camshot) failed: %s\n",
                   SDL_GetError());
        return 0;
    }
    if (save_png(shot.get(), path) < 0) {
        tirsklog_r(nullptr, LOG_ERR, "SDL_SaveBMP(camshot, %s) failed: %s\n",
                   path, SDL_GetError());
        return 0;
    }
    return 1;
}
