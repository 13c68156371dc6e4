/* Overlays sized to the picture they show.  A software overlay is converted
 * to RGB by SDL at its own size and then stretched to the window, so a
 * stream shown in a smaller window would be converted whole and mostly
 * thrown away.  Such a window gets an overlay of its video rectangle's size
 * instead, and each frame is scaled into it (bilinear filtering, SIMD)
 * before SDL converts only the pixels that are shown.  Hardware overlays,
 * and windows as large as the stream or not much smaller, keep the
 * stream's size: there the display scales for nothing, or for less. */
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <unordered_map>

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

uint8_t *store_room(picture_store &st, size_t size)
{
    if (size > st.cap) {
        auto *p = static_cast<uint8_t *>(std::realloc(st.buf, size));
        if (!p)
            return nullptr;
        st.buf = p;
        st.cap = size;
    }
    return st.buf;
}

} // namespace

extern "C" {

void overlay_wanted_size(const media_source *src, const SDL_Overlay *cur,
                         const win_rect *rect, int *w, int *h)
{
    const uint32_t sw = even_up(src->width), sh = even_up(src->height);
    *w = int(sw);
    *h = int(sh);
    if (!cur || cur->hw_overlay || !rect || rect->w <= 0 || rect->h <= 0)
        return;
    /* Even sides, as every overlay; SDL converts straight onto the screen
     * only at the overlay's own size, so the odd column or row left over is
     * filled by show_overlay rather than stretched to. */
    const uint32_t rw = uint32_t(rect->w) & ~1u, rh = uint32_t(rect->h) & ~1u;
    /* A window nearly the stream's size gains less from converting fewer
     * pixels than a scaling pass costs: SDL's stretch is cheaper there. */
    if (rw > 0 && rh > 0 && rw <= sw && rh <= sh && 3 * uint64_t(rw) * rh < 2 * uint64_t(sw) * sh) {
        *w = int(rw);
        *h = int(rh);
    }
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
        uint8_t *buf = store_room(st, std::max<size_t>(need, f->size));
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
    const bool col = o->w == dst.w - 1, row = o->h == dst.h - 1;
    if (!(col && o->h <= dst.h) && !(row && o->w <= dst.w))
        return display_overlay(o, dst);
    SDL_Rect inner = {dst.x, dst.y, Uint16(o->w), Uint16(o->h)};
    const int r = display_overlay(o, inner);
    if (r != 0)
        return r;
    /* The last column and row once more, from the screen itself. */
    SDL_SetClipRect(screen, nullptr);
    SDL_Rect strips[2];
    int n = 0;
    if (col) {
        SDL_Rect from = {Sint16(dst.x + o->w - 1), dst.y, 1, Uint16(o->h)};
        strips[n] = {Sint16(dst.x + o->w), dst.y, 1, Uint16(o->h)};
        SDL_BlitSurface(screen, &from, screen, &strips[n]);
        ++n;
    }
    if (row) {
        SDL_Rect from = {dst.x, Sint16(dst.y + o->h - 1), dst.w, 1};
        strips[n] = {dst.x, Sint16(dst.y + o->h), dst.w, 1};
        SDL_BlitSurface(screen, &from, screen, &strips[n]);
        ++n;
    }
    /* One update for both: each is a round trip to the X server. */
    int shown = 0;
    for (int i = 0; i < n; ++i)
        if (clip_to_screen(strips[i]))
            strips[shown++] = strips[i];
    if (shown)
        SDL_UpdateRects(screen, shown, strips);
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
