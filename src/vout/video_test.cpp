// The video test mode: how fast this display scales a picture, by software
// stretching (mode 1) and through a YUV overlay (mode 2).  Figures go to
// standard output, failures to standard error: this runs instead of the
// viewer, for a person at a terminal.
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "vout/sdl_private.h"

namespace {

constexpr float scales[] = {0.5f, 0.7f, 1.0f, 1.3f, 1.5f,
                            1.8f, 2.0f, 2.2f, 2.5f, 3.0f, 0.0f};
constexpr int DRAWS = 200;
constexpr int BMP_W = 480;
constexpr int BMP_H = 360;

struct timing {
    unsigned ms;
    int fps;
};

// 200 draws finishing within one tick are reported as taking 1 ms.
timing finish(Uint32 start)
{
    const unsigned ms = SDL_GetTicks() - start;
    return {ms, int(DRAWS * 1000 / std::max(ms, 1u))};
}

timing time_stretch(SDL_Surface *screen, SDL_Surface *pic, SDL_Rect r)
{
    const Uint32 start = SDL_GetTicks();
    for (int i = 0; i < DRAWS; i++) {
        SDL_Rect dst = r; // the library may write to it
        if (SDL_SoftStretch(pic, nullptr, screen, &dst) < 0) {
            std::fprintf(stderr, "SDL_BlitSurface(to [%d,%d] with %dx%d) "
                                 "failed: %s\n",
                         r.x, r.y, r.w, r.h, SDL_GetError());
            break;
        }
        SDL_UpdateRect(screen, r.x, r.y, r.w, r.h);
        if (screen->flags & SDL_DOUBLEBUF)
            SDL_Flip(screen);
    }
    return finish(start);
}

timing time_overlay(SDL_Overlay *ov, SDL_Rect r)
{
    const Uint32 start = SDL_GetTicks();
    for (int i = 0; i < DRAWS; i++) {
        SDL_Rect dst = r;
        if (SDL_DisplayYUVOverlay(ov, &dst) != 0) {
            std::fprintf(stderr, "SDL_DisplayYUVOverlay(to [%d,%d] with %dx%d) "
                                 "failed: %s\n",
                         r.x, r.y, r.w, r.h, SDL_GetError());
            break;
        }
    }
    return finish(start);
}

SDL_Rect centred(const SDL_Surface *screen, int w, int h)
{
    return {Sint16((screen->w - w) / 2), Sint16((screen->h - h) / 2),
            Uint16(w), Uint16(h)};
}

int fill_blue(SDL_Surface *screen)
{
    const Uint32 blue = SDL_MapRGB(screen->format, _blue.r, _blue.g, _blue.b);
    if (SDL_FillRect(screen, nullptr, blue) < 0) {
        std::fprintf(stderr, "SDL_FillRect() failed with: %s\n",
                     SDL_GetError());
        return 0;
    }
    SDL_UpdateRect(screen, 0, 0, 0, 0);
    return 1;
}

Uint8 to_byte(double v)
{
    return Uint8(std::clamp(v, 0.0, 255.0));
}

// Writes pic (bytes R, G, B per pixel) into a planar overlay; the chroma
// planes go where the overlay's format wants them (YV12: V first).
void rgb_to_overlay(SDL_Surface *pic, SDL_Overlay *ov)
{
    const bool v_first = ov->format == SDL_YV12_OVERLAY;
    Uint8 *u_plane = ov->pixels[v_first ? 2 : 1];
    Uint8 *v_plane = ov->pixels[v_first ? 1 : 2];
    const int u_pitch = ov->pitches[v_first ? 2 : 1];
    const int v_pitch = ov->pitches[v_first ? 1 : 2];
    const int rows = std::min(pic->h, ov->h), cols = std::min(pic->w, ov->w);
    for (int y = 0; y < rows; y++) {
        const Uint8 *p = static_cast<const Uint8 *>(pic->pixels) +
                         y * pic->pitch;
        for (int x = 0; x < cols; x++, p += pic->format->BytesPerPixel) {
            const double r = p[0], g = p[1], b = p[2];
            const double luma = 0.299 * r + 0.587 * g + 0.114 * b;
            ov->pixels[0][y * ov->pitches[0] + x] = to_byte(luma);
            if (y % 2 == 0 && x % 2 == 0) {
                u_plane[y / 2 * u_pitch + x / 2] =
                    to_byte((b - luma) * 0.565 + 128);
                v_plane[y / 2 * v_pitch + x / 2] =
                    to_byte((r - luma) * 0.713 + 128);
            }
        }
    }
}

// A picture in R, G, B byte order whatever the file held (BMPs come in
// B, G, R order, or with a palette).
SDL_Surface *load_rgb_picture(const char *path)
{
    SDL_Surface *bmp = SDL_LoadBMP_RW(SDL_RWFromFile(path, "rb"), 1);
    if (bmp == nullptr)
        return nullptr;
    SDL_PixelFormat rgb = {};
    rgb.BitsPerPixel = 24;
    rgb.BytesPerPixel = 3;
    if (SDL_BYTEORDER == SDL_LIL_ENDIAN) {
        rgb.Rmask = 0x0000FF, rgb.Gmask = 0x00FF00, rgb.Bmask = 0xFF0000;
        rgb.Rshift = 0, rgb.Gshift = 8, rgb.Bshift = 16;
    } else {
        rgb.Rmask = 0xFF0000, rgb.Gmask = 0x00FF00, rgb.Bmask = 0x0000FF;
        rgb.Rshift = 16, rgb.Gshift = 8, rgb.Bshift = 0;
    }
    rgb.alpha = 255;
    SDL_Surface *pic = SDL_ConvertSurface(bmp, &rgb, SDL_SWSURFACE);
    SDL_FreeSurface(bmp);
    return pic;
}

} // namespace

extern "C" int sdl_test_BMPBLIT(SDL_Surface *screen)
{
    std::fprintf(stderr, "Screen resolutions [ %d x %d ]\n", screen->w,
                 screen->h);
    if (!fill_blue(screen))
        return 1;
    const SDL_PixelFormat *f = screen->format;
    SDL_Surface *made = SDL_CreateRGBSurface(SDL_SWSURFACE, BMP_W, BMP_H, 16,
                                             f->Rmask, f->Gmask, f->Bmask,
                                             f->Amask);
    if (made == nullptr) {
        std::fprintf(stderr, "CreateRGBSurface failed: %s\n", SDL_GetError());
        return 1;
    }
    // Stretching needs both surfaces in one format; a 16-bit picture only
    // matches a 16-bit screen, so it is drawn in the screen's own format.
    SDL_Surface *pic = made;
    if (made->format->BitsPerPixel != f->BitsPerPixel) {
        pic = SDL_ConvertSurface(made, screen->format, SDL_SWSURFACE);
        SDL_FreeSurface(made);
        if (pic == nullptr) {
            std::fprintf(stderr, "CreateRGBSurface failed: %s\n",
                         SDL_GetError());
            return 1;
        }
    }
    SDL_FillRect(pic, nullptr,
                 SDL_MapRGB(pic->format, _red.r, _red.g, _red.b));
    std::printf("\nDisplay bmp %dx%d\n", BMP_W, BMP_H);
    for (const float *s = scales; *s != 0.0f; s++) {
        const int w = int(BMP_W * *s), h = int(BMP_H * *s);
        if (w > screen->w)
            break;
        const timing t = time_stretch(screen, pic, centred(screen, w, h));
        std::printf("\tscale x %1.1f [ %4d x %4d ], time %5u ms, fps %4d \n",
                    double(*s), w, h, t.ms, t.fps);
    }
    const timing t = time_stretch(screen, pic, centred(screen, screen->w,
                                                       screen->h));
    std::printf("\tscale x fs  [ %4d x %4d ], time %5u ms, fps %4d \n",
                screen->w, screen->h, t.ms, t.fps);
    std::fflush(stdout);
    SDL_FreeSurface(pic);
    return 0;
}

extern "C" int sdl_test_overlay(SDL_Surface *screen, Uint32 format)
{
    if (!fill_blue(screen))
        return 1;
    SDL_Surface *pic = load_rgb_picture("test.bmp");
    if (pic == nullptr) {
        std::fprintf(stderr, "CreateRGBSurface failed: %s\n", SDL_GetError());
        return 1;
    }
    const int pic_w = pic->w, pic_h = pic->h;
    SDL_Overlay *ov = SDL_CreateYUVOverlay(pic_w, pic_h, format, screen);
    if (ov == nullptr) {
        std::fprintf(stderr, "Couldn't create overlay: %s\n", SDL_GetError());
        SDL_FreeSurface(pic);
        // Close the output first so that a fullscreen mode is undone.
        vout_fini();
        std::exit(1);
    }
    std::printf("\nCreated %dx%dx%d %s %s overlay\n", ov->w, ov->h, ov->planes,
                ov->hw_overlay ? "hardware" : "software",
                overlay_format_name(ov->format));
    for (int i = 0; i < ov->planes; i++)
        std::printf("\tplane %d: pitch=%d (%p)\n", i, ov->pitches[i],
                    static_cast<void *>(ov->pixels[i]));

    SDL_LockSurface(pic);
    SDL_LockYUVOverlay(ov);
    if (ov->planes == 3)
        rgb_to_overlay(pic, ov);
    SDL_UnlockYUVOverlay(ov);
    SDL_UnlockSurface(pic);
    SDL_FreeSurface(pic);
    std::printf("\nDisplay overlay %dx%d\n", pic_w, pic_h);

    for (const float *s = scales; *s != 0.0f; s++) {
        const int w = int(pic_w * *s), h = int(pic_h * *s);
        if (w > screen->w)
            break;
        const timing t = time_overlay(ov, centred(screen, w, h));
        std::printf("\tscale x %1.1f [%.4dx%4.4d], time %5u ms, fps %4d \n",
                    double(*s), w, h, t.ms, t.fps);
    }
    const timing t = time_overlay(ov, centred(screen, screen->w, screen->h));
    std::printf("\tscale x fs  [%.4dx%4.4d], time %5u ms, fps %4d \n",
                screen->w, screen->h, t.ms, t.fps);
    std::fflush(stdout);
    SDL_FreeYUVOverlay(ov);
    return 0;
}

extern "C" int sdl_test(int mode)
{
    if (screen == nullptr)
        return 0; // the screen never opened: nothing to measure
    switch (mode) {
    case 1:
        sdl_test_BMPBLIT(screen);
        return 1;
    case 2:
        sdl_test_overlay(screen, overlay_format);
        return 1;
    default:
        return 0;
    }
}
