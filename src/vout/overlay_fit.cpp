/* Pictures converted to RGB by us.  SDL converts a software overlay at its
 * own size with plain C code and then stretches the result to the window,
 * so a stream shown in a smaller window is converted whole and mostly
 * thrown away, and a larger one is stretched pixel by pixel.  On a 32-bit
 * screen a software overlay is therefore sized to its window's video
 * rectangle, each frame is scaled into it (bilinear filtering, SIMD) and
 * converted straight into the screen (SIMD, the same full-range colours as
 * SDL's).  Hardware overlays, and screens of other depths, keep the
 * stream's size and SDL's own path: there the display scales for nothing. */
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <unordered_map>

#include <libyuv/convert_argb.h>
#include <libyuv/scale.h>

#include "vout/draw_util.h"
#include "vout/sdl_private.h"

namespace {

/* The last picture of a scaled source, in the packed frame layout, so that
 * a window that changes size between two frames (a paused one for good) is
 * scaled again from the whole picture rather than from its old overlay. */
struct picture_store {
    uint8_t *buf = nullptr;
    size_t cap = 0;
    uint32_t format = 0, width = 0, height = 0;
    bool valid = false;
};

std::unordered_map<const media_source *, picture_store> stores;

uint32_t even_up(uint32_t v)
{
    return v + (v & 1);
}

/* libyuv's converter into the screen's byte order; null for a screen SDL
 * must convert for (other depths, unusual masks). */
using to_rgb_fn = int (*)(const uint8_t *, int, const uint8_t *, int, const uint8_t *, int,
                          uint8_t *, int, int, int);

to_rgb_fn screen_converter()
{
    if (!screen || screen->format->BytesPerPixel != 4 || screen->format->Gmask != 0xFF00)
        return nullptr;
    const SDL_PixelFormat *f = screen->format;
    if (f->Rmask == 0xFF0000 && f->Bmask == 0xFF)
        return libyuv::J420ToARGB;
    if (f->Rmask == 0xFF && f->Bmask == 0xFF0000)
        return libyuv::J420ToABGR;
    return nullptr;
}

bool converted_by_us(const SDL_Overlay *o)
{
    return o && !o->hw_overlay && o->planes == 3 && screen_converter();
}

/* A picture side that exceeds its window's by at most one pixel or 1/64 is
 * shown unscaled, its middle cut to the window: a fullscreen window a few
 * pixels short of the stream loses a border too thin to notice, where a
 * resample would blur the whole picture and cost more than the rest of
 * showing it. */
bool cut_to_fit(int64_t picture, int64_t window)
{
    return picture >= window && (picture - window <= 1 || (picture - window) * 64 <= picture);
}

/* Plane pointers and strides of a picture to scale from. */
struct planes_in {
    const uint8_t *p[3];
    int stride[3];
    int w, h;
    bool grey;
};

planes_in packed_planes(const uint8_t *data, uint32_t format, uint32_t w, uint32_t h)
{
    const size_t s = size_t(w) * h, cw = (w + 1) / 2, q = cw * ((h + 1) / 2);
    planes_in in{};
    in.w = int(w);
    in.h = int(h);
    in.grey = format == MEDIA_FMT_GREY;
    in.p[0] = data;
    in.stride[0] = int(w);
    if (!in.grey) {
        /* Chroma in U, V order whatever the frame's order. */
        const bool yv12 = format == MEDIA_FMT_YV12;
        in.p[1] = data + s + (yv12 ? q : 0);
        in.p[2] = data + s + (yv12 ? 0 : q);
        in.stride[1] = in.stride[2] = int(cw);
    }
    return in;
}

size_t packed_size(uint32_t format, uint32_t w, uint32_t h)
{
    const size_t s = size_t(w) * h;
    return format == MEDIA_FMT_GREY ? s : s + 2 * ((w + 1) / 2) * size_t((h + 1) / 2);
}

/* The overlay's planes as U, V order. */
void overlay_uv(SDL_Overlay *o, uint8_t *&u, int &us, uint8_t *&v, int &vs)
{
    const bool yv12 = o->format == SDL_YV12_OVERLAY;
    u = o->pixels[yv12 ? 2 : 1];
    v = o->pixels[yv12 ? 1 : 2];
    us = o->pitches[yv12 ? 2 : 1];
    vs = o->pitches[yv12 ? 1 : 2];
}

/* Scale into the locked overlay.  Bilinear: smoother than SDL's nearest
 * pixel, and at the factors of camera grids (2 to 3) about half the cost of
 * averaging every covered pixel. */
void scale_into(SDL_Overlay *o, const planes_in &in)
{
    if (o->planes < 3 || in.w <= 0 || in.h <= 0)
        return;
    uint8_t *u, *v;
    int us, vs;
    overlay_uv(o, u, us, v, vs);
    if (in.grey) {
        libyuv::ScalePlane(in.p[0], in.stride[0], in.w, in.h, o->pixels[0], o->pitches[0],
                           o->w, o->h, libyuv::kFilterBilinear);
        /* Neutral chroma: a grey picture stays grey whatever was shown before. */
        std::memset(u, 128, size_t(us) * (o->h / 2));
        std::memset(v, 128, size_t(vs) * (o->h / 2));
        return;
    }
    libyuv::I420Scale(in.p[0], in.stride[0], in.p[1], in.stride[1], in.p[2], in.stride[2],
                      in.w, in.h, o->pixels[0], o->pitches[0], u, us, v, vs, o->w, o->h,
                      libyuv::kFilterBilinear);
}

/* Size the overlay of src should have to be shown in rect: the window's
 * (even) size for a software overlay on a screen whose pixels we convert
 * into, unless the window is barely smaller than the stream; else the
 * stream's (even) size. */
void overlay_wanted_size(const media_source *src, const SDL_Overlay *cur,
                         const win_rect *rect, int *w, int *h)
{
    *w = int(even_up(src->width));
    *h = int(even_up(src->height));
    if (!converted_by_us(cur) || !rect || rect->w <= 0 || rect->h <= 0)
        return;
    if (cut_to_fit(*w, rect->w) && cut_to_fit(*h, rect->h))
        return;
    /* Even sides, as every overlay: an odd window shows all but the
     * overlay's last column or row. */
    *w = int(even_up(uint32_t(rect->w)));
    *h = int(even_up(uint32_t(rect->h)));
}

} // namespace

extern "C" {

int overlay_sized_to_window(const SDL_Overlay *o)
{
    return converted_by_us(o);
}

int overlay_is_scaled(const media_source *src, const SDL_Overlay *o)
{
    return o && (uint32_t(o->w) != even_up(src->width) || uint32_t(o->h) != even_up(src->height));
}

SDL_Overlay *fit_overlay(window *win, media_source *src)
{
    auto *old = static_cast<SDL_Overlay *>(src->overlay);
    if (!old)
        return nullptr;
    int w, h;
    overlay_wanted_size(src, old, &win->video_rect, &w, &h);
    if (old->w == w && old->h == h)
        return old;
    SDL_Overlay *o = create_black_overlay(src, w, h);
    if (!o)
        return old; /* SDL scales the old one: slower, still right */
    /* The new overlay shows the picture at once: from the stored whole
     * picture when there is one, else from the old overlay. */
    const auto it = stores.find(src);
    if (SDL_LockYUVOverlay(o) == 0) {
        if (it != stores.end() && it->second.valid && it->second.width == src->width &&
            it->second.height == src->height) {
            const picture_store &st = it->second;
            scale_into(o, packed_planes(st.buf, st.format, st.width, st.height));
        } else if (SDL_LockYUVOverlay(old) == 0) {
            planes_in in{};
            in.w = old->w;
            in.h = old->h;
            in.p[0] = old->pixels[0];
            in.stride[0] = old->pitches[0];
            uint8_t *u, *v;
            overlay_uv(old, u, in.stride[1], v, in.stride[2]);
            in.p[1] = u;
            in.p[2] = v;
            scale_into(o, in);
            SDL_UnlockYUVOverlay(old);
        }
        SDL_UnlockYUVOverlay(o);
    }
    SDL_FreeYUVOverlay(old);
    src->overlay = o;
    return o;
}

int scale_frame(media_source *src, SDL_Overlay *o, const media_frame *f,
                uint8_t *first_luma)
{
    const size_t need = packed_size(f->format, f->width, f->height);
    if (f->width == 0 || f->height == 0)
        return 1;
    const uint8_t *data = f->data;
    if (data && f->size >= need) {
        /* A network frame is scaled straight from the framework's buffer;
         * any whole picture kept before is now stale. */
        if (auto it = stores.find(src); it != stores.end())
            it->second.valid = false;
    } else {
        picture_store &st = stores[src];
        uint8_t *buf = buffer_room(&st.buf, &st.cap, std::max<size_t>(need, f->size));
        if (!buf) {
            tirsklog_r(&src->log, 3, "no memory for a %ux%u picture\n", f->width, f->height);
            return 0;
        }
        if (data) {
            std::memcpy(buf, data, f->size);
            std::memset(buf + f->size, 0, need - f->size);
        } else {
            const ssize_t n = read_newest_frame(f->fd, buf, f->size);
            if (n != ssize_t(f->size))
                log_short_read(src, n, f->size);
        }
        st.format = f->format;
        st.width = f->width;
        st.height = f->height;
        st.valid = true;
        data = buf;
    }
    *first_luma = data[0];
    scale_into(o, packed_planes(data, f->format, f->width, f->height));
    return 1;
}

int show_overlay(SDL_Overlay *o, SDL_Rect dst)
{
    const to_rgb_fn convert = screen_converter();
    if (!converted_by_us(o) || !cut_to_fit(o->w, dst.w) || !cut_to_fit(o->h, dst.h))
        return display_overlay(o, dst);
    SDL_Rect vis = dst;
    if (!clip_to_screen(vis))
        return 0;
    if (SDL_LockYUVOverlay(o) != 0)
        return -1;
    if (SDL_MUSTLOCK(screen) && SDL_LockSurface(screen) != 0) {
        SDL_UnlockYUVOverlay(o);
        return -1;
    }
    /* The middle of a larger picture, on even offsets: chroma rows and
     * columns stay paired with their luma. */
    const int ox = vis.x - dst.x + ((o->w - dst.w) / 2 & ~1), oy = vis.y - dst.y + ((o->h - dst.h) / 2 & ~1);
    uint8_t *u, *v;
    int us, vs;
    overlay_uv(o, u, us, v, vs);
    auto *px = static_cast<uint8_t *>(screen->pixels) + size_t(vis.y) * screen->pitch + vis.x * 4;
    convert(o->pixels[0] + size_t(oy) * o->pitches[0] + ox, o->pitches[0],
            u + size_t(oy / 2) * us + ox / 2, us, v + size_t(oy / 2) * vs + ox / 2, vs, px,
            screen->pitch, vis.w, vis.h);
    if (SDL_MUSTLOCK(screen))
        SDL_UnlockSurface(screen);
    SDL_UnlockYUVOverlay(o);
    screen_update_later(vis);
    return 0;
}

void forget_source_picture(const media_source *src)
{
    const auto it = stores.find(src);
    if (it == stores.end())
        return;
    std::free(it->second.buf);
    stores.erase(it);
}

} // extern "C"
