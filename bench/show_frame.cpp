// Cost of putting one frame on the screen: show_frame for frames in memory
// and from a descriptor, split into copying and SDL_DisplayYUVOverlay.
// Prints figures only.  Needs an X display (run it under xvfb-run).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

#include "camera.h"
#include "conf.h"
#include "vout/sdl_private.h"

namespace {

using clock_type = std::chrono::steady_clock;

double usec_since(clock_type::time_point t0, int n)
{
    return std::chrono::duration<double, std::micro>(clock_type::now() - t0).count() / n;
}

struct Setup {
    camera *cam;
    window *win;
    media_source *src;
};

std::vector<uint8_t> picture(int w, int h)
{
    std::vector<uint8_t> pic(size_t(w) * h * 3 / 2);
    for (size_t i = 0; i < pic.size(); ++i)
        pic[i] = uint8_t(i * 7);
    return pic;
}

void run(const Setup &s, const char *label, uint32_t ovl_format, int w, int h,
         bool from_fd, int frames)
{
    overlay_format = ovl_format;
    s.src->width = uint32_t(w);
    s.src->height = uint32_t(h);
    free_playback_resources(s.src);
    if (!alloc_playback_resources(s.src)) {
        std::printf("%-44s overlay failed: %s\n", label, SDL_GetError());
        return;
    }
    auto pic = picture(w, h);
    media_frame f{};
    f.format = MEDIA_FMT_I420;
    f.width = uint32_t(w);
    f.height = uint32_t(h);
    f.size = uint32_t(pic.size());
    f.data = pic.data();
    f.fd = -1;
    int mfd = -1;
    if (from_fd) {
        mfd = memfd_create("frame", 0);
        if (mfd < 0 || write(mfd, pic.data(), pic.size()) != ssize_t(pic.size()))
            return;
        f.data = nullptr;
        f.fd = mfd;
    }

    auto *ovl = static_cast<SDL_Overlay *>(s.src->overlay);
    const win_rect rect = s.win->video_rect;
    SDL_Rect dst = {Sint16(rect.x), Sint16(rect.y), Uint16(rect.w), Uint16(rect.h)};

    /* Best of three batches: the machine is shared. */
    auto best = [&](auto &&one) {
        double b = 1e30;
        for (int batch = 0; batch < 3; ++batch) {
            auto t0 = clock_type::now();
            for (int i = 0; i < frames; ++i)
                one();
            b = std::min(b, usec_since(t0, frames));
        }
        return b;
    };
    auto shown = [&] {
        if (mfd >= 0)
            lseek(mfd, 0, SEEK_SET);
        show_frame(s.win, s.src, &f);
    };
    shown(); // warm up
    const double total = best(shown);
    /* With an empty destination show_frame skips the display: what is left
     * is locking, copying (or reading) and unlocking. */
    s.win->video_rect = {0, 0, 0, 0};
    const double copy = best(shown);
    s.win->video_rect = rect;
    const double display = best([&] { SDL_DisplayYUVOverlay(ovl, &dst); });
    std::printf("%-44s %7.0f us/frame   copy %6.0f us (%4.1f%%)   display %7.0f us (%4.1f%%)\n",
                label, total, copy, 100.0 * copy / (copy + display), display,
                100.0 * display / (copy + display));
    if (mfd >= 0)
        close(mfd);
}

} // namespace

int main()
{
    if (!std::getenv("DISPLAY") || !*std::getenv("DISPLAY")) {
        std::fprintf(stderr, "no DISPLAY: run under xvfb-run -a -s '-screen 0 1920x1080x24'\n");
        return 1;
    }
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_NOPARACHUTE) != 0)
        return 1;
    screen = SDL_SetVideoMode(1920, 1080, 32, SDL_SWSURFACE);
    if (!screen) {
        std::fprintf(stderr, "SDL_SetVideoMode: %s\n", SDL_GetError());
        return 1;
    }
    conf = static_cast<CONF *>(std::calloc(1, sizeof(CONF)));
    conf->quiet = 1;
    conf->font_factor = 1.0;
    cursor_state = 1;

    Setup s;
    s.cam = &conf->cams[0];
    s.cam->nr = 1;
    s.src = &s.cam->srcs[0];
    s.src->cam = s.cam;
    std::strcpy(s.src->uri, "rtsp://127.0.0.1/bench");
    s.win = &windows[0];
    s.win->cam = s.cam;
    s.cam->win = s.win;
    s.win->cur_src = 0;

    std::printf("show_frame on a %dx%d software screen (%s)\n", screen->w, screen->h,
                SDL_VideoDriverName(static_cast<char *>(std::calloc(1, 64)), 64));
    for (auto [rw, rh] : {std::pair{960, 540}, {1920, 1080}}) {
        s.win->video_rect = {0, 0, uint32_t(rw), uint32_t(rh)};
        std::printf("-- into a %dx%d video_rect\n", rw, rh);
        run(s, "704x576 I420 -> YV12 overlay (exchange)", SDL_YV12_OVERLAY, 704, 576, false, 300);
        run(s, "704x576 I420 -> IYUV overlay (straight)", SDL_IYUV_OVERLAY, 704, 576, false, 300);
        run(s, "704x576 I420 fd -> YV12 overlay (read+swap)", SDL_YV12_OVERLAY, 704, 576, true, 300);
        run(s, "1920x1080 I420 -> YV12 overlay (exchange)", SDL_YV12_OVERLAY, 1920, 1080, false, 100);
        run(s, "1920x1080 I420 -> IYUV overlay (straight)", SDL_IYUV_OVERLAY, 1920, 1080, false, 100);
    }
    free_playback_resources(s.src);
    SDL_Quit();
    std::free(conf);
    return 0;
}
