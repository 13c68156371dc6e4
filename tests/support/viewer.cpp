#include "viewer.h"

#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <regex>
#include <utility>

#include "vout/text_util.h"

namespace testsupport {

namespace {
// The address-sanitizer runtime of this process, or "": a preloaded library
// must come after it in LD_PRELOAD.
std::string sanitizer_runtime()
{
    std::ifstream maps("/proc/self/maps");
    for (std::string line; std::getline(maps, line);)
        if (const size_t at = line.find('/'); at != std::string::npos && line.find("/libasan.so", at) != std::string::npos)
            return line.substr(at);
    return {};
}
} // namespace

ViewerRun::ViewerRun(const std::string &catalogue, const std::string &cams)
{
    write_file(dir_.file("catalogue.txt"), catalogue);
    write_file(dir_.file("cams.conf"), cams);
    write_file(dir_.file("none.conf"), "");
    mkdir(dir_.file("locks").c_str(), 0755);
    const RunResult r = run({tool_path("tools/mkcatalog/mkcatalog"), "-o", dir_.file("tirsk6_db"),
                             dir_.file("catalogue.txt")});
    if (r.status != 0)
        ADD_FAILURE() << "mkcatalog failed: " << r.out << r.err;
}

ViewerRun::~ViewerRun() { stop(5000); }

bool ViewerRun::start(const std::string &display, const std::vector<std::string> &options,
                      int timeout_ms)
{
    display_ = display;
    std::vector<std::string> argv = {TIRSK_MON_BIN, "-c", dir_.file("none.conf"), "-T",
                                     "sqlite", "-H", dir_.path(), "-D", "tirsk6_db", "-v"};
    argv.insert(argv.end(), options.begin(), options.end());
    const std::string asan = sanitizer_runtime(); // a sanitizer build's runtime comes first
    std::vector<std::string> env = {
        "DISPLAY=" + display_,
        "LD_PRELOAD=" + (asan.empty() ? "" : asan + ":") + fakecam_library(),
        "FAKECAM_CONFIG=" + dir_.file("cams.conf"),
        "TIRSK_LOCK_DIR=" + dir_.file("locks"),
        "XDG_CONFIG_HOME=" + dir_.path(),
        "HOME=" + dir_.path(),
    };
    env.insert(env.end(), extra_env_.begin(), extra_env_.end());
    child_ = std::make_unique<Child>(argv, env, dir_.file("viewer.out"), dir_.file("viewer.log"));
    stopped_ = false;
    return wait_log(") started", timeout_ms);
}

bool ViewerRun::xdotool(const std::vector<std::string> &args)
{
    std::vector<std::string> argv = {"xdotool"};
    argv.insert(argv.end(), args.begin(), args.end());
    return run(argv, {"DISPLAY=" + display_, "LD_PRELOAD="}, 10000).status == 0;
}

RunResult ViewerRun::stop(int timeout_ms)
{
    if (!child_ || std::exchange(stopped_, true))
        return result_;
    child_->signal(SIGTERM);
    if (!child_->wait(timeout_ms, &result_)) {
        result_.timed_out = true;
        child_->signal(SIGKILL);
        child_->wait(5000, &result_);
    }
    result_.err = log();
    return result_;
}

pid_t ViewerRun::collector() const
{
    const std::string out = run({"pgrep", "-P", std::to_string(child_->pid())}).out;
    return out.empty() ? -1 : atoi(out.c_str());
}

std::string sim_catalogue(int n, const std::string &layouts)
{
    return "camera 0 allow_local=1 video_src=yes geometry=352x288\ncamera 1-" + std::to_string(n) +
           " work=1 v4l_pipe={nr} text_left=\"Cam {nr}\"\n" + layouts;
}

std::string sim_cams(int n, const std::string &options)
{
    std::string out;
    for (int i = 1; i <= n; i++)
        out += "video" + std::to_string(i) + " " + options + "\n";
    return out;
}

std::string collector_script(const std::string &events, const std::string &on_line)
{
    return "#!/bin/sh\nwhile IFS= read -r line; do\n  echo \"$line\" >> '" + events + "'\n" +
           on_line + "\ndone\n";
}

std::map<int, WinBoxes> window_boxes(const std::string &log)
{
    static const std::regex line(
        R"(win\[(\d+)\]: create new win with rect\((-?\d+),(-?\d+),(\d+),(\d+)\) and video_rect\((-?\d+),(-?\d+),(\d+),(\d+)\))");
    std::map<int, WinBoxes> out;
    for (auto it = std::sregex_iterator(log.begin(), log.end(), line);
         it != std::sregex_iterator(); ++it) {
        auto n = [&](int i) { return atoi((*it)[i].str().c_str()); };
        out[n(1)] = {{n(2), n(3), n(4), n(5)}, {n(6), n(7), n(8), n(9)}};
    }
    return out;
}

Box source_video(const std::string &log, int cam, int src)
{
    char prefix[32];
    snprintf(prefix, sizeof prefix, "cam[%02d] src#%d: ", cam, src);
    // "create" when the window already shows the source it is fitted to.
    const size_t up = log.rfind(prefix + std::string("update window rect(")),
                 cr = log.rfind(prefix + std::string("create window rect("));
    const size_t at = up == std::string::npos ? cr : cr == std::string::npos ? up : std::max(up, cr);
    Box b;
    if (at != std::string::npos)
        sscanf(log.c_str() + log.find("video_rect(", at), "video_rect(%d,%d %dx%d", &b.x, &b.y, &b.w, &b.h);
    return b;
}

double label_mismatch(const Image &img, const Box &area, const char *text, SDL_Color fg,
                      SDL_Color bg, Place place)
{
    if (!TTF_WasInit() && TTF_Init() != 0)
        return 1;
    // The viewer's sizes: 10, 12, ... 28 points, the smallest not below a
    // 25th of the area's height.
    int pt = 10;
    while (pt < area.h / 25 && pt < 28)
        pt += 2;
    TTF_Font *font = TTF_OpenFont("/usr/share/fonts/truetype/freefont/FreeSansBold.ttf", pt);
    if (!font)
        return 1;
    SDL_Surface *s = render_text_shaded(font, text, fg, bg);
    TTF_CloseFont(font);
    if (!s)
        return 1;
    const int max_w = place == Place::centre ? area.w - 20 : area.w / 2 - 10;
    const int w = std::min(s->w, max_w), h = std::min(s->h, area.h / 4);
    int x0 = area.x, y0 = area.y + area.h - h;
    if (place == Place::centre)
        x0 = area.x + (area.w - w) / 2, y0 = area.y + (area.h - h) / 2;
    int bad = 0;
    SDL_LockSurface(s);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            const uint8_t i = static_cast<const uint8_t *>(s->pixels)[y * s->pitch + x];
            const SDL_Color c = s->format->palette->colors[i];
            bad += x0 + x >= img.width || y0 + y >= img.height ||
                   !near(img.pixel(x0 + x, y0 + y), {c.r, c.g, c.b}, 6);
        }
    SDL_UnlockSurface(s);
    SDL_FreeSurface(s);
    return w > 0 && h > 0 ? double(bad) / (w * h) : 1;
}

void ViewerTest::SetUp()
{
    display_ = std::make_unique<Display>(800, 600);
    ASSERT_TRUE(display_->ok()) << "could not start Xvfb";
}

void ViewerTest::start(const std::string &catalogue, const std::string &cams,
                       std::vector<std::string> options)
{
    run_ = std::make_unique<ViewerRun>(catalogue, cams);
    options.insert(options.begin(), "--verbose=3");
    ASSERT_TRUE(run_->start(display_->name(), options)) << run_->log();
    ASSERT_TRUE(run_->xdotool({"mousemove", "300", "250"}));
    wins_ = window_boxes(run_->log());
}

Image ViewerTest::shot(const std::string &name)
{
    return screenshot(display_->name(), run_->dir().file(name));
}

bool ViewerTest::shot_until(const std::function<bool(const Image &)> &pred, Image *last,
                            int timeout_ms)
{
    Image img;
    const bool ok = wait_until(timeout_ms, [&] {
        img = shot("shot.png");
        return img.ok() && pred(img);
    });
    if (last)
        *last = std::move(img);
    return ok;
}

bool ViewerTest::pair_until(const std::function<bool(const Image &, const Image &)> &pred,
                            int timeout_ms)
{
    Image prev;
    return shot_until(
        [&](const Image &img) {
            const bool ok = prev.ok() && pred(prev, img);
            prev = img;
            return ok;
        },
        nullptr, timeout_ms);
}

bool ViewerTest::moving(const Box &b, int timeout_ms)
{
    return pair_until([&](const Image &a, const Image &c) { return count_changed(a, c, b) > b.w * b.h / 100; },
                      timeout_ms);
}

double ViewerTest::moved(const Image &a, const Image &b, int w)
{
    const Box v = wins_.at(w).video.inner(4);
    return double(count_changed(a, b, v)) / (v.w * v.h);
}

} // namespace testsupport
