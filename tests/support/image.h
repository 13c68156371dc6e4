// Pictures read back: PNG files and screenshots as 8-bit RGBA, and the pixel
// measures the tests use on them.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

struct SDL_Surface;

namespace testsupport {

struct Box {
    int x = 0, y = 0, w = 0, h = 0;
    Box inner(int margin) const { return {x + margin, y + margin, w - 2 * margin, h - 2 * margin}; }
    Box centre(int cw, int ch) const { return {x + (w - cw) / 2, y + (h - ch) / 2, cw, ch}; }
    bool operator==(const Box &) const = default;
};

struct Rgb {
    int r = 0, g = 0, b = 0, a = 255;
    bool operator==(const Rgb &) const = default;
};

struct Image {
    int width = 0, height = 0;
    bool rgb8 = false; // a PNG file stored as 8-bit RGB: no alpha, palette or 16-bit channels
    std::vector<uint8_t> rgba;           // 4 bytes a pixel, rows top to bottom
    bool ok() const { return width > 0; }
    const uint8_t *at(int x, int y) const { return &rgba[(size_t(y) * width + x) * 4]; }
    Rgb pixel(int x, int y) const { const uint8_t *p = at(x, y); return {p[0], p[1], p[2], p[3]}; }
};

// Reads a PNG file; an empty image (ok() false) when it is not one.
Image read_png(const std::string &path);
// The pixels of an SDL software surface (e.g. the in-process screen).
Image from_surface(const SDL_Surface *s);

bool near(Rgb a, Rgb b, int tol = 3);
// Pixels of box (clipped to the image) near colour c.
int count_colour(const Image &img, const Box &box, Rgb c, int tol = 3);
// Pixels of box that differ between two pictures.
int count_changed(const Image &a, const Image &b, const Box &box);
Rgb average(const Image &img, const Box &box);
// Largest difference between the channels of any pixel of box (0: grey).
int max_tint(const Image &img, const Box &box);
// Bounding box of the pixels of box near c (others: of those not near c);
// w 0 when there are none.
Box bounds(const Image &img, const Box &box, Rgb c, int tol = 3, bool others = false);
// Does `small' equal img at (ox, oy), within tol a channel?  Pixels that differ.
int mismatches(const Image &small, const Image &img, int ox, int oy, int tol = 3);

} // namespace testsupport
