// A small PNG writer on top of libpng that writes an SDL surface through an
// SDL read/write stream.
//
// libpng reports errors by longjmp back into the function that armed
// setjmp, so that function holds no object with a destructor: everything
// it owns is released by hand on both paths.
#include <setjmp.h>
#include <stdlib.h>

#include <png.h>

#include "sdl_private.h"

namespace {

constexpr Uint32 BGR_R = 0xFF0000, BGR_G = 0xFF00, BGR_B = 0xFF;

[[noreturn]] void png_error_to_sdl(png_structp png, png_const_charp msg)
{
    SDL_SetError("libpng: %s\n", msg);
    png_longjmp(png, 1);
}

// A short write would leave a cut file behind a success report.
void png_write_to_rw(png_structp png, png_bytep data, png_size_t length)
{
    auto *rw = static_cast<SDL_RWops *>(png_get_io_ptr(png));
    if (length && SDL_RWwrite(rw, data, 1, int(length)) != int(length))
        png_error(png, "write error");
}

bool needs_conversion(const SDL_Surface *s)
{
    const SDL_PixelFormat *f = s->format;
    if (f->palette)
        return false;
    // Without alpha the fourth byte is padding; 1- and 2-byte packed pixels
    // (565, 555, 332) are no PNG sample layout at all.
    return (f->BitsPerPixel > 24 && !f->Amask) || f->BytesPerPixel < 3;
}

// Write the info chunk for s; pixel layout follows the surface.
void write_header(png_structp png, png_infop info, const SDL_Surface *s)
{
    const SDL_PixelFormat *f = s->format;
    int color_type;
    if (f->palette && f->BytesPerPixel >= 1 && f->BytesPerPixel <= 8) {
        color_type = PNG_COLOR_TYPE_PALETTE;
        const int n = f->palette->ncolors < PNG_MAX_PALETTE_LENGTH
                          ? f->palette->ncolors
                          : PNG_MAX_PALETTE_LENGTH;
        png_color pal[PNG_MAX_PALETTE_LENGTH];
        for (int i = 0; i < n; i++) {
            pal[i].red = f->palette->colors[i].r;
            pal[i].green = f->palette->colors[i].g;
            pal[i].blue = f->palette->colors[i].b;
        }
        png_set_PLTE(png, info, pal, n);
    } else if (f->BytesPerPixel > 3 || f->Amask) {
        color_type = PNG_COLOR_TYPE_RGB_ALPHA;
    } else {
        color_type = PNG_COLOR_TYPE_RGB;
    }
    png_set_IHDR(png, info, png_uint_32(s->w), png_uint_32(s->h), 8,
                 color_type, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (f->Rmask == BGR_R && f->Gmask == BGR_G && f->Bmask == BGR_B)
        png_set_bgr(png);
    png_write_info(png, info);
}

} // namespace

extern "C" SDL_Surface *SDL_PNGFormatAlpha(SDL_Surface *src)
{
    if (!src)
        return nullptr;
    if (!needs_conversion(src)) {
        src->refcount++;
        return src;
    }
    const SDL_PixelFormat *f = src->format;
    Uint32 r = f->Rmask, g = f->Gmask, b = f->Bmask;
    if (f->BytesPerPixel < 3)
        r = BGR_R, g = BGR_G, b = BGR_B; // 16-bit masks do not fit 24 bits
    SDL_Surface *out = SDL_CreateRGBSurface(SDL_SWSURFACE, src->w, src->h, 24,
                                            r, g, b, 0);
    if (!out)
        return nullptr;
    SDL_Rect whole = {0, 0, Uint16(src->w), Uint16(src->h)};
    SDL_Rect to = whole;
    if (SDL_LowerBlit(src, &whole, out, &to) < 0) {
        SDL_FreeSurface(out);
        return nullptr;
    }
    return out;
}

extern "C" int SDL_SavePNG_RW(SDL_Surface *surface, SDL_RWops *dst,
                              int freedst)
{
    if (!dst) {
        SDL_SetError("Argument 2 to SDL_SavePNG_RW can't be NULL, expecting "
                     "SDL_RWops*\n");
        return -1;
    }
    if (!surface) {
        SDL_SetError("Argument 1 to SDL_SavePNG_RW can't be NULL, expecting "
                     "SDL_Surface*\n");
        if (freedst)
            SDL_RWclose(dst);
        return -1;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr,
                                              png_error_to_sdl, nullptr);
    if (!png) {
        SDL_SetError("Unable to png_create_write_struct on %s\n",
                     PNG_LIBPNG_VER_STRING);
        if (freedst)
            SDL_RWclose(dst);
        return -1;
    }
    png_infop info = png_create_info_struct(png);
    if (!info) {
        SDL_SetError("Unable to png_create_info_struct\n");
        png_destroy_write_struct(&png, nullptr);
        if (freedst)
            SDL_RWclose(dst);
        return -1;
    }

    // Set before setjmp and read after a longjmp: volatile.
    png_bytep *volatile rows = nullptr;
    volatile bool locked = false;
    if (setjmp(png_jmpbuf(png))) {
        free(rows);
        if (locked)
            SDL_UnlockSurface(surface);
        png_destroy_write_struct(&png, &info);
        if (freedst)
            SDL_RWclose(dst);
        return -1;
    }

    png_set_write_fn(png, dst, png_write_to_rw, nullptr);
    write_header(png, info, surface);

    if (SDL_MUSTLOCK(surface)) {
        if (SDL_LockSurface(surface) < 0)
            png_error(png, "cannot lock the surface");
        locked = true;
    }
    rows = static_cast<png_bytep *>(
        malloc(sizeof(png_bytep) * size_t(surface->h > 0 ? surface->h : 1)));
    if (!rows)
        png_error(png, "out of memory for the row table");
    for (int i = 0; i < surface->h; i++)
        rows[i] = static_cast<png_bytep>(surface->pixels) +
                  size_t(i) * surface->pitch;
    png_write_image(png, rows);
    free(rows);
    rows = nullptr;
    if (locked) {
        SDL_UnlockSurface(surface);
        locked = false;
    }
    png_write_end(png, nullptr);

    png_destroy_write_struct(&png, &info);
    if (freedst)
        SDL_RWclose(dst);
    return 0;
}
