// Frames into overlays, whole-window drawing, borders and screen clearing,
// read back from the real SDL screen.
#include <fcntl.h>
#include <sys/mman.h>

#include "sdl_screen_fixture.h"

using namespace sdltest;

namespace {

/* A uniform picture in the packed layout of frame records. */
std::vector<uint8_t> make_picture(uint32_t fmt, int w, int h, int y, int u, int v)
{
    const size_t s = size_t(w) * h, q = size_t((w + 1) / 2) * ((h + 1) / 2);
    if (fmt == MEDIA_FMT_GREY)
        return std::vector<uint8_t>(s, uint8_t(y));
    std::vector<uint8_t> pic(s + 2 * q, uint8_t(y));
    const int first = fmt == MEDIA_FMT_I420 ? u : v;
    const int second = fmt == MEDIA_FMT_I420 ? v : u;
    std::fill(pic.begin() + s, pic.begin() + s + q, uint8_t(first));
    std::fill(pic.begin() + s + q, pic.end(), uint8_t(second));
    return pic;
}

media_frame frame_of(std::vector<uint8_t> &pic, uint32_t fmt, int w, int h)
{
    media_frame f{};
    f.media_type = 1;
    f.format = fmt;
    f.width = uint32_t(w);
    f.height = uint32_t(h);
    f.data = pic.data();
    f.size = uint32_t(pic.size());
    f.fd = -1;
    return f;
}

/* What SDL's software conversion makes of Y 100, U 90, V 180 (no range
 * expansion), and of the same with U and V exchanged. */
constexpr Rgb COLOUR_RIGHT = {172, 76, 33};
constexpr Rgb COLOUR_SWAPPED = {47, 109, 192};
constexpr Rgb MARKER = {255, 0, 255};

struct FrameCase {
    uint32_t overlay;
    uint32_t frame_format;
};

class VoutRender : public SdlScreenFixture {};

std::string frame_case_name(const ::testing::TestParamInfo<FrameCase> &info)
{
    static const char *const frames[] = {"none", "GREY", "I420", "YV12"};
    return std::string(frames[info.param.frame_format]) + "_on_" +
           (info.param.overlay == SDL_YV12_OVERLAY ? "YV12" : "IYUV");
}

class VoutFrameColours : public SdlScreenFixture,
                     public ::testing::WithParamInterface<FrameCase> {};

} // namespace

// Every frame order on every overlay order lands with the right colours
// inside video_rect and nowhere else.
TEST_P(VoutFrameColours, LandInsideVideoRectWithTheRightColours)
{
    const FrameCase c = GetParam();
    overlay_format = c.overlay;
    fill_screen(MARKER);
    src->width = 64;
    src->height = 48;
    ASSERT_EQ(alloc_playback_resources(src), 1);
    auto pic = make_picture(c.frame_format, 64, 48, 100, 90, 180);
    media_frame f = frame_of(pic, c.frame_format, 64, 48);
    ASSERT_EQ(show_frame(win, src, &f), 1);

    const win_rect &v = win->video_rect;
    const Rgb want = c.frame_format == MEDIA_FMT_GREY ? Rgb{100, 100, 100} : COLOUR_RIGHT;
    for (int y : {v.y, v.y + int(v.h) / 2, v.y + int(v.h) - 1})
        for (int x : {v.x, v.x + int(v.w) / 2, v.x + int(v.w) - 1})
            EXPECT_TRUE(near(pixel(x, y), want)) << pixel(x, y) << " at " << x << "," << y;
    EXPECT_EQ(changed_box({0, 0, W, H}, MARKER).w, v.w);
    win_rect box = changed_box({0, 0, W, H}, MARKER);
    EXPECT_EQ(box.x, v.x);
    EXPECT_EQ(box.y, v.y);
    EXPECT_EQ(box.w, v.w);
    EXPECT_EQ(box.h, v.h);
}

INSTANTIATE_TEST_SUITE_P(
    AllOrders, VoutFrameColours,
    ::testing::Values(FrameCase{SDL_YV12_OVERLAY, MEDIA_FMT_I420},
                      FrameCase{SDL_YV12_OVERLAY, MEDIA_FMT_YV12},
                      FrameCase{SDL_YV12_OVERLAY, MEDIA_FMT_GREY},
                      FrameCase{SDL_IYUV_OVERLAY, MEDIA_FMT_I420},
                      FrameCase{SDL_IYUV_OVERLAY, MEDIA_FMT_YV12},
                      FrameCase{SDL_IYUV_OVERLAY, MEDIA_FMT_GREY}),
    frame_case_name);

TEST_F(VoutRender, OverlayOfNoOrAbsurdSizeIsRefused)
{
    for (auto [w, h] : {std::pair{0u, 48u}, {64u, 0u}, {100000u, 48u}}) {
        src->width = w;
        src->height = h;
        EXPECT_EQ(alloc_playback_resources(src), 0);
        EXPECT_EQ(src->overlay, nullptr);
    }
}

// Frames a device hands over by descriptor: a whole one from a memfd
// (exchanged through the swap buffer), then a short one from a pipe, which is
// logged and shown as far as it came.
TEST_F(VoutRender, FramesReadFromADescriptor)
{
    src->width = 64;
    src->height = 48;
    ASSERT_EQ(alloc_playback_resources(src), 1);
    auto pic = make_picture(MEDIA_FMT_I420, 64, 48, 100, 90, 180);
    int mfd = memfd_create("frame", 0);
    ASSERT_GE(mfd, 0);
    ASSERT_EQ(write(mfd, pic.data(), pic.size()), ssize_t(pic.size()));
    lseek(mfd, 0, SEEK_SET);
    media_frame f = frame_of(pic, MEDIA_FMT_I420, 64, 48);
    f.data = nullptr;
    f.fd = mfd;
    ASSERT_EQ(show_frame(win, src, &f), 1);
    const win_rect &v = win->video_rect;
    EXPECT_TRUE(near(pixel(v.x + 5, v.y + 5), COLOUR_RIGHT)) << pixel(v.x + 5, v.y + 5);
    close(mfd);

    // Short read: only the top half of the luma plane arrives.
    free_playback_resources(src);
    ASSERT_EQ(alloc_playback_resources(src), 1);
    auto grey = make_picture(MEDIA_FMT_I420, 64, 48, 100, 128, 128);
    int p[2];
    ASSERT_EQ(pipe(p), 0);
    ASSERT_EQ(write(p[1], grey.data(), 64 * 24), 64 * 24);
    close(p[1]);
    f.fd = p[0];
    EXPECT_EQ(show_frame(win, src, &f), 1);
    EXPECT_TRUE(near(pixel(v.x + 5, v.y + 5), {100, 100, 100})) << pixel(v.x + 5, v.y + 5);
    EXPECT_TRUE(near(pixel(v.x + 5, v.y + int(v.h) - 5), {0, 0, 0}));
    // End of file and a closed descriptor: still no crash, still shown.
    EXPECT_EQ(show_frame(win, src, &f), 1);
    close(p[0]);
    f.fd = -1;
    EXPECT_EQ(show_frame(win, src, &f), 1);
}

// Frames whose size does not match the overlay are clipped on both sides
// (the sanitizer build checks that nothing is overrun), and odd sizes, whose
// planes are not packed, still get the right colours.
TEST_F(VoutRender, MismatchedAndOddSizesStayInBounds)
{
    src->width = 64;
    src->height = 48;
    ASSERT_EQ(alloc_playback_resources(src), 1);
    const win_rect &v = win->video_rect;

    auto small = make_picture(MEDIA_FMT_I420, 32, 24, 100, 90, 180);
    media_frame f = frame_of(small, MEDIA_FMT_I420, 32, 24);
    ASSERT_EQ(show_frame(win, src, &f), 1);
    EXPECT_TRUE(near(pixel(v.x + 5, v.y + 5), COLOUR_RIGHT));
    EXPECT_TRUE(near(pixel(v.x + int(v.w) - 5, v.y + int(v.h) - 5), {0, 0, 0}));

    auto big = make_picture(MEDIA_FMT_YV12, 128, 96, 100, 90, 180);
    f = frame_of(big, MEDIA_FMT_YV12, 128, 96);
    ASSERT_EQ(show_frame(win, src, &f), 1);
    f.size = 100; // a size that claims less than the picture
    ASSERT_EQ(show_frame(win, src, &f), 1);
    // A device frame larger than the overlay.
    int mfd = memfd_create("big", 0);
    ASSERT_EQ(write(mfd, big.data(), big.size()), ssize_t(big.size()));
    lseek(mfd, 0, SEEK_SET);
    f.data = nullptr;
    f.fd = mfd;
    f.size = uint32_t(big.size());
    ASSERT_EQ(show_frame(win, src, &f), 1);
    close(mfd);

    free_playback_resources(src);
    src->width = 62;
    src->height = 46;
    ASSERT_EQ(alloc_playback_resources(src), 1);
    auto odd = make_picture(MEDIA_FMT_I420, 62, 46, 100, 90, 180);
    f = frame_of(odd, MEDIA_FMT_I420, 62, 46);
    ASSERT_EQ(show_frame(win, src, &f), 1);
    EXPECT_TRUE(near(pixel(v.x + int(v.w) / 2, v.y + int(v.h) / 2), COLOUR_RIGHT));
}

TEST_F(VoutRender, OverlayOutsideTheScreenIsSkippedSafely)
{
    src->width = 64;
    src->height = 48;
    ASSERT_EQ(alloc_playback_resources(src), 1);
    auto pic = make_picture(MEDIA_FMT_I420, 64, 48, 100, 90, 180);
    media_frame f = frame_of(pic, MEDIA_FMT_I420, 64, 48);
    fill_screen(MARKER);
    for (win_rect r : {win_rect{W + 10, 10, 100, 100}, win_rect{-50, -40, 100, 100},
                       win_rect{10, 10, 0, 0}, win_rect{W - 50, H - 50, 100, 100}}) {
        win->video_rect = r;
        EXPECT_EQ(show_frame(win, src, &f), 1);
        redisplay_win(win);
    }
    EXPECT_TRUE(near(pixel(W - 10, H - 10), COLOUR_RIGHT)); // the visible part
    EXPECT_TRUE(near(pixel(W / 2, H / 2), MARKER));
}

// The border pieces for the whole frame, the frame between corner lengths,
// and the corner marks; nothing inside video_rect is touched.
TEST_F(VoutRender, BorderPieces)
{
    set_rects(100, 100, 300, 200, 6);
    const Rgb red = {255, 0, 0};
    border_desc whole = {6, 6, 6, 6, 0, 0, 0};
    draw_border(win, 255, 0, 0, &whole);
    for (auto [x, y] : {std::pair{100, 100}, {399, 100}, {100, 299}, {399, 299},
                        {250, 102}, {102, 200}, {250, 297}, {397, 200}})
        EXPECT_TRUE(near(pixel(x, y), red)) << x << "," << y;
    EXPECT_EQ(changed_box(win->video_rect, {0, 0, 0}).w, 0u);
    EXPECT_EQ(changed_box({0, 0, W, 100}, {0, 0, 0}).w, 0u);
    EXPECT_EQ(changed_box({400, 0, W - 400, H}, {0, 0, 0}).w, 0u);

    fill_screen({0, 0, 0});
    border_desc sides = {6, 6, 6, 6, 0, 50, 40};
    draw_border(win, 0, 255, 0, &sides);
    EXPECT_TRUE(near(pixel(250, 100), {0, 255, 0}));
    EXPECT_TRUE(near(pixel(100, 200), {0, 255, 0}));
    EXPECT_TRUE(near(pixel(120, 100), {0, 0, 0})); // inside the corner length
    EXPECT_TRUE(near(pixel(100, 120), {0, 0, 0}));

    fill_screen({0, 0, 0});
    border_desc marks = {6, 6, 6, 6, 1, 50, 40};
    draw_border(win, 0, 0, 255, &marks);
    for (auto [x, y] : {std::pair{120, 100}, {100, 120}, {380, 299}, {399, 280},
                        {380, 100}, {100, 280}})
        EXPECT_TRUE(near(pixel(x, y), {0, 0, 255})) << x << "," << y;
    EXPECT_TRUE(near(pixel(250, 100), {0, 0, 0}));
    EXPECT_TRUE(near(pixel(100, 200), {0, 0, 0}));
}

TEST_F(VoutRender, BorderDegenerateRequestsDrawNothingWrong)
{
    fill_screen({0, 0, 0});
    set_rects(100, 100, 60, 40, 2);
    border_desc huge = {2, 2, 2, 2, 0, 100, 100}; // lengths beyond half the window
    draw_border(win, 255, 0, 0, &huge);
    EXPECT_EQ(changed_box({0, 0, W, H}, {0, 0, 0}).w, 0u);
    draw_border(win, 255, 0, 0, nullptr);
    draw_border(nullptr, 255, 0, 0, &huge);

    set_rects(W - 20, H - 20, 100, 100, 2); // mostly off the screen
    border_desc whole = {2, 2, 2, 2, 0, 0, 0};
    draw_border(win, 255, 0, 0, &whole);
    win_rect box = changed_box({0, 0, W, H}, {0, 0, 0});
    EXPECT_EQ(box.x, W - 20);
    EXPECT_EQ(box.y, H - 20);
}

// Odd sizes (chroma planes ((w+1)/2) x ((h+1)/2)), in memory or from a device,
// are shown upright: a picture dark left, bright right keeps split and colours.
TEST_F(VoutRender, OddSizedFramesAreShownUpright)
{
    for (auto [w, h, fmt] : {std::tuple{33, 17, MEDIA_FMT_I420}, {35, 19, MEDIA_FMT_YV12}})
        for (bool from_fd : {false, true}) {
            src->width = uint32_t(w), src->height = uint32_t(h);
            ASSERT_EQ(alloc_playback_resources(src), 1);
            auto pic = make_picture(fmt, w, h, 200, 90, 180);
            for (int y = 0; y < h; ++y)
                std::fill_n(pic.begin() + y * w, w / 2, 100);
            media_frame f = frame_of(pic, fmt, w, h);
            if (from_fd) {
                f.data = nullptr, f.fd = memfd_create("odd", 0);
                ASSERT_EQ(pwrite(f.fd, pic.data(), pic.size(), 0), ssize_t(pic.size()));
            }
            ASSERT_EQ(show_frame(win, src, &f), 1);
            close(f.fd);
            const win_rect &v = win->video_rect;
            const int xl = v.x + int(v.w) / 4, xr = v.x + int(v.w) * 3 / 4;
            for (int y : {v.y + 4, v.y + int(v.h) - 5}) {
                EXPECT_TRUE(near(pixel(xl, y), COLOUR_RIGHT)) << w << " " << from_fd << pixel(xl, y);
                EXPECT_TRUE(near(pixel(xr, y), pixel(xr, v.y + 4)) && !near(pixel(xr, y), COLOUR_RIGHT, 30));
            }
        }
}

namespace {

/* A 704x576 camera picture: smooth luma and chroma ramps (where a picture
 * misplaced by a row or a plane shows) and a sharp-edged box in the middle. */
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

/* What SDL's own scaling shows of pic in r: a stream-sized overlay. */
std::vector<Rgb> sdl_scaled(const std::vector<uint8_t> &pic, uint32_t fmt, const win_rect &r,
                            std::vector<Rgb> (*read)(const win_rect &))
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
    return read(r);
}

struct ScaleCase {
    uint32_t frame_format, overlay;
    bool from_fd;
    win_rect first, then; // then.w 0: no second size
};

class VoutScaledPicture : public SdlScreenFixture,
                          public ::testing::WithParamInterface<ScaleCase> {
  protected:
    static std::vector<Rgb> read(const win_rect &r)
    {
        std::vector<Rgb> out;
        for (int y = r.y; y < r.y + int(r.h); ++y)
            for (int x = r.x; x < r.x + int(r.w); ++x)
                out.push_back(pixel(x, y));
        return out;
    }

    /* The shown rectangle against SDL's own scaling of the same picture:
     * close on average, and nearly everywhere but at the box's edges, where
     * the filtered picture is smoother than SDL's pick of the nearest pixel. */
    void expect_like_sdl(const std::vector<uint8_t> &pic, uint32_t fmt, const win_rect &r)
    {
        const std::vector<Rgb> shown = read(r), ref = sdl_scaled(pic, fmt, r, read);
        double sum = 0;
        size_t far = 0;
        for (size_t i = 0; i < shown.size(); ++i) {
            const int d = std::max({std::abs(shown[i].r - ref[i].r),
                                    std::abs(shown[i].g - ref[i].g), std::abs(shown[i].b - ref[i].b)});
            sum += d;
            far += d > 24;
        }
        EXPECT_LT(sum / double(shown.size()), 4.0) << r.w << "x" << r.h;
        EXPECT_LT(double(far) / double(shown.size()), 0.02) << r.w << "x" << r.h;
    }
};

} // namespace

// A window smaller than the stream gets an overlay of its own size on a
// display without hardware overlays, and still shows what SDL's scaling
// showed; a later change of size (a paused window going fullscreen) scales
// again from the whole picture.
TEST_P(VoutScaledPicture, MatchesSdlScaling)
{
    const ScaleCase c = GetParam();
    overlay_format = c.overlay;
    std::strcpy(src->uri, c.from_fd ? "/dev/video1" : "rtsp://127.0.0.1/cam1");
    src->width = 704, src->height = 576;
    ASSERT_EQ(alloc_playback_resources(src), 1);
    win->video_rect = c.first;
    auto pic = camera_picture(c.frame_format);
    pic[0] = 0xFF; // the device's signal bit
    media_frame f = frame_of(pic, c.frame_format, 704, 576);
    if (c.from_fd) {
        f.data = nullptr, f.fd = memfd_create("cam", 0);
        ASSERT_EQ(pwrite(f.fd, pic.data(), pic.size(), 0), ssize_t(pic.size()));
    }
    ASSERT_EQ(show_frame(win, src, &f), 1);
    if (c.from_fd)
        close(f.fd);
    auto *o = static_cast<SDL_Overlay *>(src->overlay);
    EXPECT_EQ(o->w, int(c.first.w + (c.first.w & 1)));
    EXPECT_FALSE(win->state & WS_MO) << "signal bit taken from a filtered sample";
    expect_like_sdl(pic, c.frame_format, c.first);
    if (c.then.w) {
        win->video_rect = c.then;
        redisplay_win(win);
        expect_like_sdl(pic, c.frame_format, c.then);
    }
}

INSTANTIATE_TEST_SUITE_P(
    FormatsAndSizes, VoutScaledPicture,
    ::testing::Values(ScaleCase{MEDIA_FMT_I420, SDL_YV12_OVERLAY, true, {10, 10, 236, 192}, {10, 10, 780, 700}},
                      ScaleCase{MEDIA_FMT_I420, SDL_IYUV_OVERLAY, true, {20, 30, 175, 143}, {0, 0, 640, 522}},
                      ScaleCase{MEDIA_FMT_YV12, SDL_YV12_OVERLAY, false, {5, 7, 469, 383}, {}},
                      ScaleCase{MEDIA_FMT_GREY, SDL_IYUV_OVERLAY, true, {40, 40, 352, 288}, {}}),
    [](const ::testing::TestParamInfo<ScaleCase> &i) {
        return std::to_string(i.index) + (i.param.from_fd ? "_device" : "_network");
    });
