/* Camera pictures: one YUV overlay per shown source, each frame copied into
 * it (exchanging the chroma planes when the frame's order is not the
 * overlay's) and scaled by SDL into the window's video rectangle, or, for
 * a software overlay sized to its window, scaled into it first and
 * converted by us (overlay_fit.cpp). */
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <unistd.h>

#include "camera.h"
#include "conf.h"
#include "vout/draw_util.h"
#include "vout/sdl_private.h"

/* One read of a device frame (a capture device hands over one picture per
 * read), retried only when interrupted. */
extern "C" ssize_t read_frame(int fd, uint8_t *dst, size_t size)
{
    ssize_t n;
    do
        n = read(fd, dst, size);
    while (n < 0 && errno == EINTR);
    return n;
}

/* A device keeps a few frames queued for a reader that fell behind (after
 * a slow tick, a layout switch): showing them one by one, oldest first,
 * would keep the picture that far behind.  Frames queued behind the one
 * read are read over it, so the newest is shown. */
extern "C" ssize_t read_newest_frame(int fd, uint8_t *dst, size_t size)
{
    ssize_t n = read_frame(fd, dst, size);
    pollfd p = {fd, POLLIN, 0};
    while (n == ssize_t(size) && poll(&p, 1, 0) == 1 && (p.revents & POLLIN)) {
        const ssize_t m = read_frame(fd, dst, size);
        if (m <= 0)
            break; /* nothing written: the frame read stays whole */
        n = m;
    }
    return n;
}

/* A failed read has its errno; a short one has no error of its own, only
 * the byte counts. */
extern "C" void log_short_read(media_source *src, ssize_t n, size_t wanted)
{
    if (n >= 0) {
        tirsklog_r(&src->log, 3, "read video device filed: %zd of %zu bytes\n",
                   n, wanted);
        return;
    }
    const int err = errno;
    char text[200];
    const char *msg = strerror_r(err, text, sizeof text);
    tirsklog_r(&src->log, 3, "read video device filed: #%d(%s)\n", err, msg);
}

namespace {

/* Largest overlay side: keeps SDL's own size arithmetic in range. */
constexpr int OVERLAY_MAX_SIDE = 16384;

/* Chroma planes of a device frame are swapped through this buffer, piece by
 * piece, so any plane size works. */
constexpr size_t EXCHANGE_SIZE = 4096000;
uint8_t exchange_buf[EXCHANGE_SIZE];

/* Device frames that cannot be read straight into the overlay go through
 * here; grown on demand and kept. */
uint8_t *read_buf;
size_t read_buf_size;

/* One plane of a packed frame. */
struct plane_view {
    size_t offset; /* from the start of the picture */
    size_t pitch;
    size_t rows;
};

/* A frame in the packed layout of the source records: luma pitch = width,
 * each chroma plane ((width+1)/2) x ((height+1)/2) bytes, so that the last
 * column and row of an odd-sized picture keep their colour. */
struct frame_layout {
    int nplanes;
    plane_view planes[3];
    size_t total;
};

frame_layout layout_of(const media_frame &f)
{
    const size_t w = f.width, h = f.height;
    const size_t cw = (w + 1) / 2, ch = (h + 1) / 2;
    const size_t s = w * h, q = cw * ch;
    frame_layout l{};
    l.planes[0] = {0, w, h};
    if (f.format == MEDIA_FMT_GREY) {
        l.nplanes = 1;
        l.total = s;
        return l;
    }
    l.nplanes = 3;
    l.planes[1] = {s, cw, ch};
    l.planes[2] = {s + q, cw, ch};
    l.total = s + 2 * q;
    return l;
}

/* Overlays have even sides: SDL's own 4:2:0 conversion walks the planes in
 * 2x2 blocks and skews an odd-sized picture.  A frame of odd size goes into
 * the next even size, its last column and row repeated. */
uint32_t overlay_side(uint32_t frame_side)
{
    return frame_side + (frame_side & 1);
}

bool needs_exchange(uint32_t frame_format)
{
    return (frame_format == MEDIA_FMT_I420 && overlay_format != SDL_IYUV_OVERLAY) ||
           (frame_format == MEDIA_FMT_YV12 && overlay_format != SDL_YV12_OVERLAY);
}

/* True when the overlay's three planes lie back to back in exactly the
 * packed layout of a frame of its size, so a frame can go in in one piece.
 * Hardware overlays often pad their pitches; those are copied plane by
 * plane. */
bool overlay_is_packed(const SDL_Overlay *o)
{
    if (o->planes != 3 || (o->w & 1) || (o->h & 1))
        return false;
    const size_t s = size_t(o->w) * o->h, q = s / 4;
    return o->pitches[0] == o->w && o->pitches[1] == o->w / 2 &&
           o->pitches[2] == o->w / 2 && o->pixels[1] == o->pixels[0] + s &&
           o->pixels[2] == o->pixels[1] + q;
}

size_t overlay_plane_rows(const SDL_Overlay *o, int p)
{
    return p == 0 ? size_t(o->h) : size_t(o->h) / 2;
}

/* Copy a picture of `avail` bytes laid out as `l` into the overlay, rows
 * clipped to both sides so that neither is overrun whatever the sizes. */
void copy_planes(SDL_Overlay *o, const uint8_t *data, size_t avail,
                 const frame_layout &l, bool exchange)
{
    for (int p = 0; p < l.nplanes; ++p) {
        const int dst_p = (exchange && p > 0) ? 3 - p : p;
        if (dst_p >= o->planes)
            continue;
        const plane_view &pv = l.planes[p];
        const size_t dst_pitch = o->pitches[dst_p];
        const size_t row_bytes = std::min(pv.pitch, dst_pitch);
        const size_t rows = std::min(pv.rows, overlay_plane_rows(o, dst_p));
        for (size_t r = 0; r < rows; ++r) {
            const size_t from = pv.offset + r * pv.pitch;
            if (from >= avail)
                break;
            std::memcpy(o->pixels[dst_p] + r * dst_pitch, data + from,
                        std::min(row_bytes, avail - from));
        }
    }
}

/* The fast path of a packed overlay with the frame's own size. */
void copy_packed(SDL_Overlay *o, const uint8_t *data, size_t avail,
                 const frame_layout &l, bool exchange)
{
    if (!exchange) {
        std::memcpy(o->pixels[0], data, std::min(avail, l.total));
        return;
    }
    const size_t s = l.planes[1].offset, q = l.planes[2].offset - s;
    auto part = [&](uint8_t *dst, size_t from, size_t n) {
        if (from < avail)
            std::memcpy(dst, data + from, std::min(n, avail - from));
    };
    part(o->pixels[0], 0, s);
    part(o->pixels[1], s + q, q);
    part(o->pixels[2], s, q);
}

/* Repeat the last luma column and row of a w x h picture into the padding
 * of its even-sized overlay (its chroma planes fit exactly). */
void pad_luma(SDL_Overlay *o, uint32_t w, uint32_t h)
{
    uint8_t *y = o->pixels[0];
    const size_t pitch = o->pitches[0];
    if (w < uint32_t(o->w) && w > 0)
        for (uint32_t r = 0; r < h; ++r)
            y[r * pitch + w] = y[r * pitch + w - 1];
    if (h < uint32_t(o->h) && h > 0)
        std::memcpy(y + h * pitch, y + (h - 1) * pitch, pitch);
}

void swap_planes(uint8_t *a, uint8_t *b, size_t n)
{
    for (size_t done = 0; done < n;) {
        const size_t k = std::min(n - done, EXCHANGE_SIZE);
        std::memcpy(exchange_buf, a + done, k);
        std::memcpy(a + done, b + done, k);
        std::memcpy(b + done, exchange_buf, k);
        done += k;
    }
}

/* A frame whose size does not match its overlay is copied clipped; say so
 * once per source and size rather than on every frame. */
void note_size_mismatch(media_source *src, const media_frame &f,
                        const SDL_Overlay *o)
{
    static const media_source *last_src;
    static uint32_t last_w, last_h;
    if (last_src == src && last_w == f.width && last_h == f.height)
        return;
    last_src = src;
    last_w = f.width;
    last_h = f.height;
    tirsklog_r(&src->log, 4, "frame %ux%u does not fit the %dx%d overlay, clipped\n",
               f.width, f.height, o->w, o->h);
}

/* Put the frame's picture into the locked overlay. */
void fill_overlay(media_source *src, SDL_Overlay *o, const media_frame &f)
{
    const frame_layout l = layout_of(f);
    const bool exchange = needs_exchange(f.format);
    const bool fits = int64_t(overlay_side(f.width)) == o->w &&
                      int64_t(overlay_side(f.height)) == o->h;
    const bool packed = int64_t(f.width) == o->w && int64_t(f.height) == o->h &&
                        overlay_is_packed(o);
    if (!fits)
        note_size_mismatch(src, f, o);

    if (f.data) {
        if (packed)
            copy_packed(o, f.data, f.size, l, exchange);
        else
            copy_planes(o, f.data, f.size, l, exchange);
        if (fits)
            pad_luma(o, f.width, f.height);
        return;
    }

    /* Read from the device: straight into the overlay when it has the
     * frame's layout and room for it, else through a buffer. */
    if (packed && f.size <= l.total) {
        ssize_t n = read_newest_frame(f.fd, o->pixels[0], f.size);
        if (n != ssize_t(f.size))
            log_short_read(src, n, f.size);
        if (exchange)
            swap_planes(o->pixels[1], o->pixels[2], l.planes[2].offset - l.planes[1].offset);
        return;
    }
    uint8_t *buf = buffer_room(&read_buf, &read_buf_size, f.size);
    if (!buf) {
        errno = ENOMEM;
        log_short_read(src, -1, f.size);
        return;
    }
    ssize_t n = read_newest_frame(f.fd, buf, f.size);
    if (n != ssize_t(f.size))
        log_short_read(src, n, f.size);
    copy_planes(o, buf, n > 0 ? size_t(n) : 0, l, exchange);
    if (fits)
        pad_luma(o, f.width, f.height);
}

/* Capture devices mark a lost signal by clearing bit 0x02 of the first luma
 * sample. */
void check_no_signal(window *win, media_source *src, uint8_t first_luma)
{
    if (src->uri[0] != '/')
        return;
    if (first_luma & 0x02) {
        src->no_signal = 0;
        if (win->state & WS_MO)
            winStateReset(win, WS_MO);
        return;
    }
    src->no_signal = 1;
    if (!(win->state & WS_DN))
        winStateSet(win, WS_DN);
    if (!(win->state & WS_MO))
        winStateSet(win, WS_MO);
}

} // namespace

extern "C" uint8_t *buffer_room(uint8_t **buf, size_t *cap, size_t size)
{
    if (size > *cap) {
        auto *p = static_cast<uint8_t *>(std::realloc(*buf, size));
        if (!p)
            return nullptr;
        *buf = p;
        *cap = size;
    }
    return *buf;
}

extern "C" const char *overlay_format_name(Uint32 format)
{
    switch (format) {
    case SDL_YV12_OVERLAY: return "YV12";
    case SDL_IYUV_OVERLAY: return "IYUV";
    case SDL_YUY2_OVERLAY: return "YUY2";
    case SDL_UYVY_OVERLAY: return "UYVY";
    case SDL_YVYU_OVERLAY: return "YVYU";
    default: return "Unknown";
    }
}

extern "C" {

SDL_Overlay *create_black_overlay(media_source *src, int w, int h)
{
    SDL_Overlay *ovl = nullptr;
    if (!screen)
        SDL_SetError("no screen");
    else if (w <= 0 || h <= 0 || w > OVERLAY_MAX_SIDE || h > OVERLAY_MAX_SIDE)
        SDL_SetError("unsupported overlay size");
    else
        ovl = SDL_CreateYUVOverlay(w, h, overlay_format, screen);
    if (!ovl) {
        tirsklog_r(&src->log, 3, "SDL_CreateYUVOverlay(%dx%d, SDL_IYUV_OVERLAY) failed: %s\n",
                   w, h, SDL_GetError());
        return nullptr;
    }
    if (verbose_at(1)) {
        tirsklog_r(&src->log, 6, "create %dx%dx%d %s %s overlay\n", ovl->w, ovl->h,
                   ovl->planes, ovl->hw_overlay ? "hardware" : "software",
                   overlay_format_name(ovl->format));
        if (verbose_at(2))
            for (int i = 0; i < ovl->planes; ++i)
                tirsklog_r(nullptr, 7, "(D) \tplane %d: pitch=%d\n", i, ovl->pitches[i]);
    }
    if (SDL_LockYUVOverlay(ovl) != 0) {
        tirsklog_r(&src->log, 3, "SDL_LockYUVOverlay() failed with: %s\n", SDL_GetError());
        SDL_FreeYUVOverlay(ovl);
        return nullptr;
    }
    /* Black: luma 0, neutral chroma.  A grey-scale frame later fills only
     * the luma plane and so shows in grey tones. */
    std::memset(ovl->pixels[0], 0, size_t(ovl->pitches[0]) * ovl->h);
    for (int p = 1; p < ovl->planes && p < 3; ++p)
        std::memset(ovl->pixels[p], 128, size_t(ovl->pitches[p]) * ((ovl->h + 1) / 2));
    SDL_UnlockYUVOverlay(ovl);
    return ovl;
}

int alloc_playback_resources(media_source *src)
{
    if (!src)
        return 0;
    auto *ovl = static_cast<SDL_Overlay *>(src->overlay);
    if (verbose_at(1))
        tirsklog_r(&src->log, 7, "alloc_playback_resources(%p)\n", src->overlay);
    const uint32_t w = overlay_side(src->width), h = overlay_side(src->height);
    /* An overlay sized to its window (overlay_fit.cpp) is fitted again when
     * a frame is shown. */
    if (ovl && ((int64_t(w) == ovl->w && int64_t(h) == ovl->h) || overlay_sized_to_window(ovl)))
        return 1;
    if (ovl)
        free_playback_resources(src);
    ovl = create_black_overlay(src, int(w > OVERLAY_MAX_SIDE ? 0 : w),
                               int(h > OVERLAY_MAX_SIDE ? 0 : h));
    if (!ovl)
        return 0;
    src->overlay = ovl;
    return 1;
}

void free_playback_resources(media_source *src)
{
    if (!src)
        return;
    if (verbose_at(1))
        tirsklog_r(&src->log, 7, "free_playback_resources(%p)\n", src->overlay);
    if (src->overlay) {
        SDL_FreeYUVOverlay(static_cast<SDL_Overlay *>(src->overlay));
        src->overlay = nullptr;
    }
    forget_source_picture(src);
}

int check_playback_resources(media_source *, const uint32_t *)
{
    return 0;
}

int show_frame(window *win, media_source *src, media_frame *frame)
{
    if (popup_win_bg)
        return 1;
    if (!win || !src || !frame)
        return 0;
    auto *ovl = fit_overlay(win, src);
    if (!ovl) {
        tirsklog_r(&src->log, 3, "show_frame without an overlay\n");
        return 0;
    }
    SDL_Rect dst = sdl_rect_of(win->video_rect);
    if (SDL_LockYUVOverlay(ovl) != 0) {
        tirsklog_r(&src->log, 3, "SDL_LockYUVOverlay() failed with: %s\n", SDL_GetError());
        return 0;
    }
    /* The signal bit is read from the picture as the device gave it: a
     * scaled sample is a mix of several. */
    uint8_t first_luma = 0;
    if (overlay_is_scaled(src, ovl)) {
        if (!scale_frame(src, ovl, frame, &first_luma)) {
            SDL_UnlockYUVOverlay(ovl);
            return 0;
        }
    } else {
        fill_overlay(src, ovl, *frame);
        first_luma = ovl->pixels[0][0];
    }
    SDL_UnlockYUVOverlay(ovl);
    if (show_overlay(ovl, dst) != 0) {
        tirsklog_r(&src->log, 3, "SDL_DisplayYUVOverlay() failed with: %s\n",
                   SDL_GetError());
        return 0;
    }
    win_labels_covered(win);
    check_no_signal(win, src, first_luma);

    /* The picture covers the labels inside the video area: put them back. */
    if (cursor_state == 0 || (win->state & WS_DN))
        win_caption(win, 1);
    if (win->cam && win->cam->alarm && !popup_win_bg)
        sdl_win_alarm(win, 1);
    if (win->state & WS_WT)
        win_status(win);
    return 1;
}

void redisplay_win(window *win)
{
    if (!win || !win->cam || win->cur_src < 0 || win->cur_src >= CAM_MAX_SRCS)
        return;
    auto *ovl = fit_overlay(win, &win->cam->srcs[win->cur_src]);
    if (!ovl)
        return;
    SDL_Rect dst = sdl_rect_of(win->video_rect);
    if (show_overlay(ovl, dst) != 0)
        tirsklog_r(&win->log, 3, "SDL_DisplayYUVOverlay(to [%d,%d] with %dx%d) failed: %s\n",
                   dst.x, dst.y, dst.w, dst.h, SDL_GetError());
    win_labels_covered(win);
}

} // extern "C"
