// Whole-screen and camera-window snapshots as PNG files.
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>

#include <memory>
#include <string>

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

// Writes the picture to a new temporary file beside path, checks every
// write, the flush to disk and the close (a full disk or a size limit shows
// only there), then gives it the name path, which must not exist: an
// existing file or link is never written through or replaced.  Owner and
// group may read the picture, nobody else.  0, or -1 with the SDL error set.
int save_png(SDL_Surface *s, const char *path)
{
    std::string tmp = std::string(path) + ".XXXXXX";
    const int fd = mkostemp(tmp.data(), O_CLOEXEC);
    if (fd < 0) {
        SDL_SetError("%s", strerror(errno));
        return -1;
    }
    FILE *f = fdopen(fd, "wb");
    if (!f)
        close(fd);
    SDL_RWops *rw = f ? SDL_RWFromFP(f, 0) : nullptr;
    int err = rw ? 0 : errno;
    bool ok = rw != nullptr;
    if (ok && fchmod(fd, 0640) != 0)
        ok = false, err = errno;
    if (rw && ok)
        ok = SDL_SavePNG_RW(s, rw, 1) == 0; // frees rw; sets the SDL error
    else if (rw)
        SDL_FreeRW(rw);
    if (f) {
        if (ok && (fflush(f) != 0 || fsync(fd) != 0))
            ok = false, err = errno;
        if (fclose(f) != 0 && ok)
            ok = false, err = errno;
    }
    if (ok && link(tmp.c_str(), path) != 0)
        ok = false, err = errno;
    unlink(tmp.c_str());
    if (!ok && err)
        SDL_SetError("%s", strerror(err));
    return ok ? 0 : -1;
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
