// Frames into overlays, scaling, and borders, read back from the screen.
#include <fcntl.h>
#include <sys/mman.h>

#include "vout_fixture.h"

namespace {

// A uniform picture in the packed layout of frame records.
std::vector<uint8_t> make_picture(uint32_t fmt, int w, int h, int y, int u, int v)
{
    const size_t s = size_t(w) * h, q = size_t((w + 1) / 2) * ((h + 1) / 2);
    if (fmt == MEDIA_FMT_GREY)
        return std::vector<uint8_t>(s, uint8_t(y));
    std::vector<uint8_t> pic(s + 2 * q, uint8_t(y));
    std::fill(pic.begin() + s, pic.begin() + s + q, uint8_t(fmt == MEDIA_FMT_I420 ? u : v));
    std::fill(pic.begin() + s + q, pic.end(), uint8_t(fmt == MEDIA_FMT_I420 ? v : u));
    return pic;
}

media_frame frame_of(std::vector<uint8_t> &pic, uint32_t fmt, int w, int h)
{
    media_frame f{};
    f.media_type = 1, f.format = fmt, f.width = uint32_t(w), f.height = uint32_t(h);
    f.data = pic.data(), f.size = uint32_t(pic.size()), f.fd = -1;
    return f;
}

// What SDL's software conversion makes of Y 100, U 90, V 180 (no range expansion).
constexpr Rgb COLOUR = {172, 76, 33}, GREY = {100, 100, 100}, BLACK = {0, 0, 0}, MARKER = {255, 0, 255};

class VoutRender : public SdlScreen {
protected:
    // Shows the frame; from a descriptor holding the picture when from_fd.
    int show(media_frame f, bool from_fd)
    {
        if (!from_fd)
            return show_frame(win, src, &f);
        const int fd = memfd_create("frame", 0);
        EXPECT_EQ(pwrite(fd, f.data, f.size, 0), ssize_t(f.size));
        f.data = nullptr, f.fd = fd;
        const int r = show_frame(win, src, &f);
        close(fd);
        return r;
    }
    void stream_size(int w, int h)
    {
        free_playback_resources(src);
        src->width = uint32_t(w), src->height = uint32_t(h);
        ASSERT_EQ(alloc_playback_resources(src), 1);
    }
};

} // namespace

// Every frame order on every overlay order, in memory or from a device, at
// even and odd sizes (chroma planes ((w+1)/2) x ((h+1)/2)), lands inside
// video_rect only, upright: a picture dark left, bright right keeps its
// split and colours.
TEST_F(VoutRender, FramesLandInsideVideoRectUprightWithTheRightColours)
{
    const struct {
        uint32_t overlay, fmt;
        int w, h;
        bool from_fd;
    } cases[] = {
        {SDL_YV12_OVERLAY, MEDIA_FMT_I420, 64, 48, false}, {SDL_YV12_OVERLAY, MEDIA_FMT_YV12, 64, 48, true},
        {SDL_YV12_OVERLAY, MEDIA_FMT_GREY, 64, 48, false}, {SDL_IYUV_OVERLAY, MEDIA_FMT_I420, 64, 48, true},
        {SDL_IYUV_OVERLAY, MEDIA_FMT_YV12, 64, 48, false}, {SDL_IYUV_OVERLAY, MEDIA_FMT_GREY, 64, 48, true},
        {SDL_YV12_OVERLAY, MEDIA_FMT_I420, 33, 17, true},  {SDL_IYUV_OVERLAY, MEDIA_FMT_YV12, 35, 19, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::to_string(c.fmt) + " on " + std::to_string(c.overlay) + " " + std::to_string(c.w) +
                     (c.from_fd ? " from a device" : ""));
        overlay_format = c.overlay;
        fill_screen(MARKER);
        stream_size(c.w, c.h);
        auto pic = make_picture(c.fmt, c.w, c.h, 200, 90, 180);
        for (int y = 0; y < c.h; ++y)
            std::fill_n(pic.begin() + y * c.w, c.w / 2, 100);
        ASSERT_EQ(show(frame_of(pic, c.fmt, c.w, c.h), c.from_fd), 1);
        const Image img = shot();
        const Box v = box(win->video_rect);
        EXPECT_EQ(testsupport::bounds(img, {0, 0, W, H}, MARKER, 2, true), v);
        const Rgb left = c.fmt == MEDIA_FMT_GREY ? GREY : COLOUR;
        const int xl = v.x + v.w / 4, xr = v.x + v.w * 3 / 4;
        for (int y : {v.y + 4, v.y + v.h - 5}) {
            EXPECT_TRUE(near(img.pixel(xl, y), left, 6)) << img.pixel(xl, y);
            EXPECT_TRUE(img.pixel(xr, y) == img.pixel(xr, v.y + 4) && !near(img.pixel(xr, y), left, 30));
        }
    }
}

// Frames that do not fit their overlay stay in bounds (the sanitizer build
// checks that nothing is overrun) and show what they can: no or absurd
// overlay sizes are refused; frames smaller or larger than the overlay, a
// size claiming less than the picture, a window off the screen.
TEST_F(VoutRender, FramesThatDoNotFitStayInBounds)
{
    for (auto [w, h] : {std::pair{0u, 48u}, {64u, 0u}, {100000u, 48u}}) {
        src->width = w, src->height = h;
        EXPECT_EQ(alloc_playback_resources(src), 0);
        EXPECT_EQ(src->overlay, nullptr);
    }
    stream_size(64, 48);
    const Box v = box(win->video_rect);
    auto small = make_picture(MEDIA_FMT_I420, 32, 24, 100, 90, 180);
    ASSERT_EQ(show(frame_of(small, MEDIA_FMT_I420, 32, 24), false), 1);
    // Scaled to the window like any frame of a window-sized overlay.
    EXPECT_TRUE(near(shot().pixel(v.x + 5, v.y + 5), COLOUR, 6));
    EXPECT_TRUE(near(shot().pixel(v.x + v.w - 5, v.y + v.h - 5), COLOUR, 6));
    auto big = make_picture(MEDIA_FMT_YV12, 128, 96, 100, 90, 180);
    media_frame f = frame_of(big, MEDIA_FMT_YV12, 128, 96);
    EXPECT_EQ(show(f, false), 1);
    EXPECT_EQ(show(f, true), 1);
    f.size = 100;
    EXPECT_EQ(show(f, false), 1);

    auto pic = make_picture(MEDIA_FMT_I420, 64, 48, 100, 90, 180);
    fill_screen(MARKER);
    for (win_rect r : {win_rect{W + 10, 10, 100, 100}, win_rect{-50, -40, 100, 100}, win_rect{10, 10, 0, 0},
                       win_rect{W - 50, H - 50, 100, 100}}) {
        win->video_rect = r;
        EXPECT_EQ(show(frame_of(pic, MEDIA_FMT_I420, 64, 48), false), 1);
        redisplay_win(win);
    }
    EXPECT_TRUE(near(shot().pixel(W - 10, H - 10), COLOUR, 6)); // the visible part
    EXPECT_TRUE(near(shot().pixel(W / 2, H / 2), MARKER));
}

// The border pieces (the whole frame, the sides between the corner lengths,
// the corner marks) inside rect and outside video_rect; lengths beyond half
// the window draw nothing; a window mostly off the screen is clipped.
TEST_F(VoutRender, BorderPieces)
{
    using points = std::vector<std::pair<int, int>>;
    const struct {
        Box rect;
        int b;
        border_desc d;
        points on, off;
    } cases[] = {
        {{100, 100, 300, 200}, 6, {6, 6, 6, 6, 0, 0, 0},
         {{100, 100}, {399, 100}, {100, 299}, {399, 299}, {250, 102}, {102, 200}, {250, 297}, {397, 200}}, {}},
        {{100, 100, 300, 200}, 6, {6, 6, 6, 6, 0, 50, 40}, {{250, 100}, {100, 200}}, {{120, 100}, {100, 120}}},
        {{100, 100, 300, 200}, 6, {6, 6, 6, 6, 1, 50, 40},
         {{120, 100}, {100, 120}, {380, 299}, {399, 280}, {380, 100}, {100, 280}}, {{250, 100}, {100, 200}}},
        {{100, 100, 60, 40}, 2, {2, 2, 2, 2, 0, 100, 100}, {}, {{100, 100}, {130, 100}}},
        {{W - 20, H - 20, 100, 100}, 2, {2, 2, 2, 2, 0, 0, 0}, {{W - 20, H - 20}, {W - 1, H - 20}}, {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::to_string(c.rect.w) + " " + std::to_string(c.d.corners) + " " + std::to_string(c.d.corner_w));
        fill_screen(BLACK);
        set_rects(c.rect.x, c.rect.y, c.rect.w, c.rect.h, c.b);
        draw_border(win, 0, 255, 0, &c.d);
        const Image img = shot();
        for (auto [x, y] : c.on)
            EXPECT_TRUE(near(img.pixel(x, y), {0, 255, 0})) << x << "," << y;
        for (auto [x, y] : c.off)
            EXPECT_TRUE(near(img.pixel(x, y), BLACK)) << x << "," << y;
        const Box drawn = testsupport::bounds(img, {0, 0, W, H}, BLACK, 2, true);
        EXPECT_TRUE(drawn.w == 0 || (drawn.x >= c.rect.x && drawn.y >= c.rect.y &&
                                     drawn.x + drawn.w <= c.rect.x + c.rect.w &&
                                     drawn.y + drawn.h <= c.rect.y + c.rect.h)) << drawn;
        EXPECT_EQ(count_colour(img, box(win->video_rect), BLACK), count_colour(img, box(win->video_rect), BLACK, 255));
    }
    draw_border(win, 255, 0, 0, nullptr);
    draw_border(nullptr, 255, 0, 0, &cases[0].d);
}

namespace {

// A 704x576 camera picture: smooth luma and chroma ramps (where a picture
// misplaced by a row or a plane shows) and a sharp-edged box in the middle.
std::vector<uint8_t> camera_picture(uint32_t fmt)
{
    constexpr int w = 704, h = 576;
    auto pic = make_picture(fmt, w, h, 0, 128, 128);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const bool box = x >= 300 && x < 400 && y >= 250 && y < 330;
            pic[size_t(y) * w + x] = uint8_t(box ? 235 : 30 + (x + y) * 150 / (w + h));
        }
    if (fmt != MEDIA_FMT_GREY)
        for (int y = 0; y < h / 2; ++y)
            for (int x = 0; x < w / 2; ++x) {
                pic[w * h + y * w / 2 + x] = uint8_t(60 + x * 120 / (w / 2));
                pic[w * h * 5 / 4 + y * w / 2 + x] = uint8_t(60 + y * 120 / (h / 2));
            }
    return pic;
}

// What SDL's own scaling shows of pic in r: a stream-sized overlay.
Image sdl_scaled(const std::vector<uint8_t> &pic, uint32_t fmt, const win_rect &r)
{
    SDL_Overlay *o = SDL_CreateYUVOverlay(704, 576, SDL_IYUV_OVERLAY, screen);
    SDL_LockYUVOverlay(o);
    const size_t s = 704 * 576, q = s / 4;
    std::memcpy(o->pixels[0], pic.data(), s);
    for (int p = 1; p < 3; ++p)
        if (fmt == MEDIA_FMT_GREY)
            std::memset(o->pixels[p], 128, q);
        else
            std::memcpy(o->pixels[p], pic.data() + s + ((fmt == MEDIA_FMT_YV12) == (p == 1) ? q : 0), q);
    SDL_UnlockYUVOverlay(o);
    SDL_Rect d = {Sint16(r.x), Sint16(r.y), Uint16(r.w), Uint16(r.h)};
    SDL_DisplayYUVOverlay(o, &d);
    SDL_FreeYUVOverlay(o);
    return testsupport::from_surface(screen);
}

// The shown rectangle against SDL's own scaling of the same picture: close
// on average, and nearly everywhere but at the box's edges, where the
// filtered picture is smoother than SDL's pick of the nearest pixel.
void expect_like_sdl(const std::vector<uint8_t> &pic, uint32_t fmt, const win_rect &r)
{
    const Image shown = testsupport::from_surface(screen), ref = sdl_scaled(pic, fmt, r);
    double sum = 0;
    int far = 0;
    for (int y = r.y; y < r.y + int(r.h); ++y)
        for (int x = r.x; x < r.x + int(r.w); ++x) {
            const Rgb a = shown.pixel(x, y), b = ref.pixel(x, y);
            const int d = std::max({std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)});
            sum += d;
            far += d > 24;
        }
    const double n = double(r.w) * r.h;
    EXPECT_LT(sum / n, 4.0) << r.w << "x" << r.h;
    EXPECT_LT(far / n, 0.02) << r.w << "x" << r.h;
}

} // namespace

// A window of another size than the stream gets an overlay of its own size on a
// display without hardware overlays, and still shows what SDL's scaling
// showed; a later change of size (a paused window going fullscreen) scales
// again from the whole picture.
TEST_F(VoutRender, ScaledPictureMatchesSdlScaling)
{
    const struct {
        uint32_t fmt, overlay;
        bool from_fd;
        win_rect first, then; // then.w 0: no second size
    } cases[] = {
        {MEDIA_FMT_I420, SDL_YV12_OVERLAY, true, {10, 10, 236, 192}, {10, 10, 780, 700}},
        {MEDIA_FMT_I420, SDL_IYUV_OVERLAY, true, {20, 30, 175, 143}, {0, 0, 640, 522}},
        {MEDIA_FMT_YV12, SDL_YV12_OVERLAY, false, {5, 7, 469, 383}, {}},
        {MEDIA_FMT_GREY, SDL_IYUV_OVERLAY, true, {40, 40, 352, 288}, {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.first.w);
        overlay_format = c.overlay;
        std::strcpy(src->uri, c.from_fd ? "/dev/video1" : "rtsp://127.0.0.1/cam1");
        stream_size(704, 576);
        win->video_rect = c.first;
        winStateReset(win, WS_MO);
        auto pic = camera_picture(c.fmt);
        pic[0] = 0xFF; // the device's signal bit
        ASSERT_EQ(show(frame_of(pic, c.fmt, 704, 576), c.from_fd), 1);
        EXPECT_EQ(static_cast<SDL_Overlay *>(src->overlay)->w, int((c.first.w + 1) & ~1u));
        EXPECT_FALSE(win->state & WS_MO) << "signal bit taken from a filtered sample";
        expect_like_sdl(pic, c.fmt, c.first);
        if (c.then.w) {
            win->video_rect = c.then;
            redisplay_win(win);
            expect_like_sdl(pic, c.fmt, c.then);
        }
    }
}
