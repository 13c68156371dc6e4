// The least work that shows N capture devices on the screen: each frame is
// read from its device straight into its overlay and the overlay displayed
// in the camera's cell, as soon as the device is readable.  Run beside the
// viewer by bench_live_video with the same devices, screen and cells, it
// tells how much of the viewer's cost is its own.
//
//   bench_reference_overlay LAYOUT_TYPE WIDTHxHEIGHT FRAME_WxH SECONDS
//
// Prints "frames N" at the end.  Devices are /dev/video1 ... /dev/videoN for
// the layout's N windows.
#include <SDL/SDL.h>
#include <errno.h>
#include <fcntl.h>
#include <linux/videodev2.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/epoll.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "layouts.h"

namespace {

struct Cam {
    int fd = -1;
    size_t size = 0;
    SDL_Overlay *overlay = nullptr;
    SDL_Rect cell{};
};

double now_s()
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + t.tv_nsec / 1e9;
}

} // namespace

int main(int argc, char **argv)
{
    unsigned sw, sh, fw, fh;
    if (argc != 5 || sscanf(argv[2], "%ux%u", &sw, &sh) != 2 ||
        sscanf(argv[3], "%ux%u", &fw, &fh) != 2) {
        fprintf(stderr, "usage: %s LAYOUT_TYPE WxH FRAME_WxH SECONDS\n", argv[0]);
        return 2;
    }
    const layout_def *def = find_layout_def(argv[1]);
    const double seconds = atof(argv[4]);
    if (!def || seconds <= 0) {
        fprintf(stderr, "unknown layout type or bad time\n");
        return 2;
    }

    // The viewer's cells for this layout, screen and stream size.
    set_win_borders(sw, sh);
    aspect_pair aspect;
    calc_aspect(fw, fh, &aspect);
    base_cell base;
    if (!get_layout_base_cell_rects(def, sw, sh, fw, fh, &aspect, &base)) {
        fprintf(stderr, "no geometry\n");
        return 1;
    }

    if (SDL_Init(SDL_INIT_VIDEO) != 0)
        return 1;
    SDL_Surface *screen = SDL_SetVideoMode(int(sw), int(sh), 0, SDL_SWSURFACE);
    if (!screen) {
        fprintf(stderr, "SDL_SetVideoMode: %s\n", SDL_GetError());
        return 1;
    }

    const int ep = epoll_create1(0);
    std::vector<Cam> cams(size_t(def->wins));
    for (int i = 0; i < def->wins; i++) {
        Cam &c = cams[size_t(i)];
        win_rect rect, video;
        get_win_rects(&def->cells[i], &base, fw, fh, &aspect, 0, &rect, &video);
        c.cell = {int16_t(video.x), int16_t(video.y), uint16_t(video.w), uint16_t(video.h)};
        const std::string dev = "/dev/video" + std::to_string(i + 1);
        c.fd = open(dev.c_str(), O_RDWR | O_NONBLOCK);
        v4l2_format fmt{};
        fmt.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (c.fd < 0 || ioctl(c.fd, VIDIOC_G_FMT, &fmt) != 0) {
            fprintf(stderr, "%s: cannot open\n", dev.c_str());
            return 1;
        }
        c.size = fmt.fmt.pix.sizeimage;
        // An overlay of the device's own plane order: one read fills it.
        c.overlay = SDL_CreateYUVOverlay(int(fw), int(fh), SDL_IYUV_OVERLAY, screen);
        if (!c.overlay)
            return 1;
        epoll_event ev{};
        ev.events = EPOLLIN;
        ev.data.u32 = uint32_t(i);
        epoll_ctl(ep, EPOLL_CTL_ADD, c.fd, &ev);
    }

    long frames = 0;
    const double end = now_s() + seconds;
    epoll_event events[64];
    while (now_s() < end) {
        const int n = epoll_wait(ep, events, 64, 100);
        for (int k = 0; k < n; k++) {
            Cam &c = cams[events[k].data.u32];
            SDL_LockYUVOverlay(c.overlay);
            const ssize_t got = read(c.fd, c.overlay->pixels[0], c.size);
            SDL_UnlockYUVOverlay(c.overlay);
            if (got <= 0)
                continue;
            SDL_DisplayYUVOverlay(c.overlay, &c.cell);
            frames++;
        }
        SDL_PumpEvents();
    }
    printf("frames %ld\n", frames);
    for (Cam &c : cams) {
        SDL_FreeYUVOverlay(c.overlay);
        close(c.fd);
    }
    SDL_Quit();
    return 0;
}
