// Pictures of odd width or height (chroma planes of ((w+1)/2) x ((h+1)/2))
// are shown upright with the right colours, whether handed over in memory
// or read from a device.
#include <sys/mman.h>

#include "sdl_screen_fixture.h"

using namespace sdltest;

namespace {

class VoutOddSize : public SdlScreenFixture {};

/* Left half of the luma Y 100, right half Y 200; U 90 and V 180 all over. */
std::vector<uint8_t> split_picture(uint32_t fmt, int w, int h)
{
    const size_t cq = size_t((w + 1) / 2) * ((h + 1) / 2), s = size_t(w) * h;
    std::vector<uint8_t> pic(s + 2 * cq);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            pic[size_t(y) * w + x] = x < w / 2 ? 100 : 200;
    const bool i420 = fmt == MEDIA_FMT_I420;
    std::fill(pic.begin() + s, pic.begin() + s + cq, i420 ? 90 : 180);
    std::fill(pic.begin() + s + cq, pic.end(), i420 ? 180 : 90);
    return pic;
}

} // namespace

TEST_F(VoutOddSize, OddSizedFramesAreShownUpright)
{
    const Rgb left = {172, 76, 33}; // Y 100, U 90, V 180
    for (auto [w, h] : {std::pair{33, 17}, {35, 19}})
        for (uint32_t fmt : {MEDIA_FMT_I420, MEDIA_FMT_YV12})
            for (bool from_fd : {false, true}) {
                SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h) + " format " +
                             std::to_string(fmt) + (from_fd ? " from a descriptor" : ""));
                free_playback_resources(src);
                src->width = uint32_t(w);
                src->height = uint32_t(h);
                ASSERT_EQ(alloc_playback_resources(src), 1);
                auto pic = split_picture(fmt, w, h);
                media_frame f{};
                f.format = fmt;
                f.width = uint32_t(w);
                f.height = uint32_t(h);
                f.size = uint32_t(pic.size());
                f.data = pic.data();
                f.fd = -1;
                if (from_fd) {
                    f.data = nullptr;
                    f.fd = memfd_create("odd", 0);
                    ASSERT_EQ(write(f.fd, pic.data(), pic.size()), ssize_t(pic.size()));
                    lseek(f.fd, 0, SEEK_SET);
                }
                ASSERT_EQ(show_frame(win, src, &f), 1);
                if (from_fd)
                    close(f.fd);
                const win_rect &v = win->video_rect;
                const int xl = v.x + int(v.w) / 4, xr = v.x + int(v.w) * 3 / 4;
                const int top = v.y + 4, bottom = v.y + int(v.h) - 5;
                // The split stays vertical: no row is shifted against another.
                EXPECT_TRUE(near(pixel(xl, top), left)) << pixel(xl, top);
                EXPECT_TRUE(near(pixel(xl, bottom), left)) << pixel(xl, bottom);
                EXPECT_FALSE(near(pixel(xr, top), left, 30)) << pixel(xr, top);
                EXPECT_TRUE(near(pixel(xr, bottom), pixel(xr, top))) << pixel(xr, bottom);
                EXPECT_TRUE(near(pixel(v.x + int(v.w) - 1, bottom), pixel(xr, top)));
            }
}
