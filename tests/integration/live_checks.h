// Checks of what the viewer shows: where its windows are (from its own
// debug log), which pixels of a window moved, which colour a border has,
// and whether a label shows a given text, rendered here the same way.
#pragma once

#include <SDL/SDL_ttf.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "e2e.h"
#include "vout/text_util.h"

namespace livecheck {

using testsupport::Image;

struct Box {
    int x = 0, y = 0, w = 0, h = 0;
    Box inner(int margin) const { return {x + margin, y + margin, w - 2 * margin, h - 2 * margin}; }
    Box centre(int cw, int ch) const { return {x + (w - cw) / 2, y + (h - ch) / 2, cw, ch}; }
};

struct WinBoxes {
    Box rect;  // the window's cell, border included
    Box video; // where its picture goes
};

// Window geometry from the "create new win with rect(...) and video_rect(...)"
// debug lines (verbose 3), by window number (1..60); the last layout wins.
inline std::map<int, WinBoxes> window_boxes(const std::string &log)
{
    static const std::regex line(
        R"(win\[(\d+)\]: create new win with rect\((-?\d+),(-?\d+),(\d+),(\d+)\) and video_rect\((-?\d+),(-?\d+),(\d+),(\d+)\))");
    std::map<int, WinBoxes> out;
    for (auto it = std::sregex_iterator(log.begin(), log.end(), line);
         it != std::sregex_iterator(); ++it) {
        const std::smatch &m = *it;
        auto n = [&](int i) { return atoi(m[i].str().c_str()); };
        out[n(1)] = {{n(2), n(3), n(4), n(5)}, {n(6), n(7), n(8), n(9)}};
    }
    return out;
}

inline bool near(const uint8_t *p, int r, int g, int b, int tol)
{
    return abs(p[0] - r) <= tol && abs(p[1] - g) <= tol && abs(p[2] - b) <= tol;
}

// Pixels of a box near the colour (r, g, b).
inline int count_colour(const Image &img, const Box &box, int r, int g, int b, int tol = 3)
{
    int n = 0;
    for (int y = box.y; y < box.y + box.h && y < img.height; y++)
        for (int x = box.x; x < box.x + box.w && x < img.width; x++)
            n += near(img.at(x, y), r, g, b, tol);
    return n;
}

// Pixels of a box that differ between two pictures.
inline int count_changed(const Image &a, const Image &b, const Box &box)
{
    int n = 0;
    for (int y = box.y; y < box.y + box.h && y < a.height && y < b.height; y++)
        for (int x = box.x; x < box.x + box.w && x < a.width && x < b.width; x++)
            n += memcmp(a.at(x, y), b.at(x, y), 3) != 0;
    return n;
}

// Largest difference between the colour channels of any pixel of a box:
// 0 for a grey picture.
inline int max_tint(const Image &img, const Box &box)
{
    int worst = 0;
    for (int y = box.y; y < box.y + box.h && y < img.height; y++)
        for (int x = box.x; x < box.x + box.w && x < img.width; x++) {
            const uint8_t *p = img.at(x, y);
            const int lo = std::min({p[0], p[1], p[2]}), hi = std::max({p[0], p[1], p[2]});
            worst = std::max(worst, hi - lo);
        }
    return worst;
}

// Pixels of the one-pixel frame just outside the video box (the border the
// viewer draws around a window's picture) near the colour.
inline int border_pixels(const Image &img, const WinBoxes &w, int r, int g, int b)
{
    const Box &v = w.video;
    int n = 0;
    for (int x = v.x; x < v.x + v.w; x++)
        n += near(img.at(x, v.y - 1), r, g, b, 3) + near(img.at(x, v.y + v.h), r, g, b, 3);
    for (int y = v.y; y < v.y + v.h; y++)
        n += near(img.at(v.x - 1, y), r, g, b, 3) + near(img.at(v.x + v.w, y), r, g, b, 3);
    return n;
}
inline int border_length(const WinBoxes &w) { return 2 * (w.video.w + w.video.h); }

// Label placement in a window's video box.
enum class Place { bottom_left, centre };

// Does the screen show text as a label of a window: rendered with the
// viewer's font at the size it picks for the box's height, in the colours
// given, at the place given, cut to the label's size limits?  Returns the
// share of label pixels that differ (0 = exact, 1 = nothing alike).
inline double label_mismatch(const Image &img, const Box &area, const char *text,
                             SDL_Color fg, SDL_Color bg, Place place)
{
    if (!TTF_WasInit() && TTF_Init() != 0)
        return 1;
    // The viewer's sizes: 10, 12, ... 28 points, the smallest not below
    // a 25th of the area's height.
    const int target = area.h / 25;
    int pt = 10;
    while (pt < target && pt < 28)
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
    if (place == Place::centre) {
        x0 = area.x + (area.w - w) / 2;
        y0 = area.y + (area.h - h) / 2;
    }
    int bad = 0;
    SDL_LockSurface(s);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            const uint8_t index = static_cast<const uint8_t *>(s->pixels)[y * s->pitch + x];
            const SDL_Color c = s->format->palette->colors[index];
            if (x0 + x >= img.width || y0 + y >= img.height ||
                !near(img.at(x0 + x, y0 + y), c.r, c.g, c.b, 6))
                bad++;
        }
    SDL_UnlockSurface(s);
    SDL_FreeSurface(s);
    return w > 0 && h > 0 ? double(bad) / (w * h) : 1;
}

inline void pause_ms(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// A private 800x600 display and one viewer run on it.
class ViewerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        display_ = std::make_unique<testsupport::Display>(800, 600);
        // Without a display nothing here can run: fail rather than skip,
        // a skipped test would hide a fault.
        ASSERT_TRUE(display_->ok()) << "could not start Xvfb";
    }
    void TearDown() override
    {
        run_.reset();
        display_.reset();
    }
    // Starts the viewer at verbose level 3, which logs the window geometry.
    void start(const std::string &catalogue, const std::string &cams,
               std::vector<std::string> options = {})
    {
        run_ = std::make_unique<testsupport::ViewerRun>(catalogue, cams);
        options.insert(options.begin(), "--verbose=3");
        ASSERT_TRUE(run_->start(*display_, options)) << run_->log();
        wins_ = window_boxes(run_->log());
    }
    Image shot(const std::string &name)
    {
        return testsupport::screenshot(*display_, run_->dir().file(name));
    }

    std::unique_ptr<testsupport::Display> display_;
    std::unique_ptr<testsupport::ViewerRun> run_;
    std::map<int, WinBoxes> wins_;
};

} // namespace livecheck
