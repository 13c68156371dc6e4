#include "image.h"

#include <stdlib.h>
#include <string.h>

#include <algorithm>

#include <SDL.h>
#include <png.h>

namespace testsupport {

Image read_png(const std::string &path)
{
    Image img;
    png_image png = {};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str()))
        return img;
    img.rgb8 = png.format == PNG_FORMAT_RGB; // as stored, before the conversion
    png.format = PNG_FORMAT_RGBA;
    std::vector<uint8_t> buf(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, buf.data(), 0, nullptr)) {
        png_image_free(&png);
        return {};
    }
    img.width = int(png.width), img.height = int(png.height), img.rgba = std::move(buf);
    return img;
}

Image from_surface(const SDL_Surface *s)
{
    Image img;
    if (!s || !s->pixels)
        return img;
    img.width = s->w;
    img.height = s->h;
    img.rgba.resize(size_t(s->w) * s->h * 4);
    const int bpp = s->format->BytesPerPixel;
    uint8_t *out = img.rgba.data();
    for (int y = 0; y < s->h; y++)
        for (int x = 0; x < s->w; x++, out += 4) {
            Uint32 v = 0;
            memcpy(&v, static_cast<const uint8_t *>(s->pixels) + y * s->pitch + x * bpp, bpp);
            SDL_GetRGB(v, s->format, &out[0], &out[1], &out[2]);
            out[3] = 255;
        }
    return img;
}

bool near(Rgb a, Rgb b, int tol)
{
    return abs(a.r - b.r) <= tol && abs(a.g - b.g) <= tol && abs(a.b - b.b) <= tol;
}

namespace {
// Calls f(x, y) for the pixels of box inside the image.
template <typename F> void each(const Image &img, const Box &box, F f)
{
    for (int y = std::max(box.y, 0); y < box.y + box.h && y < img.height; y++)
        for (int x = std::max(box.x, 0); x < box.x + box.w && x < img.width; x++)
            f(x, y);
}
} // namespace

int count_colour(const Image &img, const Box &box, Rgb c, int tol)
{
    int n = 0;
    each(img, box, [&](int x, int y) { n += near(img.pixel(x, y), c, tol); });
    return n;
}

int count_changed(const Image &a, const Image &b, const Box &box)
{
    int n = 0;
    each(a, box, [&](int x, int y) {
        n += x >= b.width || y >= b.height || memcmp(a.at(x, y), b.at(x, y), 3) != 0;
    });
    return n;
}

Box bounds(const Image &img, const Box &box, Rgb c, int tol, bool others)
{
    int x0 = INT32_MAX, y0 = INT32_MAX, x1 = -1, y1 = -1;
    each(img, box, [&](int x, int y) {
        if (near(img.pixel(x, y), c, tol) != others)
            x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x), y1 = std::max(y1, y);
    });
    return x1 < 0 ? Box{} : Box{x0, y0, x1 - x0 + 1, y1 - y0 + 1};
}

Rgb average(const Image &img, const Box &box)
{
    long r = 0, g = 0, b = 0, n = 0;
    each(img, box, [&](int x, int y) {
        const uint8_t *p = img.at(x, y);
        r += p[0], g += p[1], b += p[2], n++;
    });
    return n ? Rgb{int(r / n), int(g / n), int(b / n)} : Rgb{};
}

int max_tint(const Image &img, const Box &box)
{
    int worst = 0;
    each(img, box, [&](int x, int y) {
        const uint8_t *p = img.at(x, y);
        worst = std::max(worst, std::max({p[0], p[1], p[2]}) - std::min({p[0], p[1], p[2]}));
    });
    return worst;
}

int mismatches(const Image &small, const Image &img, int ox, int oy, int tol)
{
    int bad = 0;
    for (int y = 0; y < small.height; y++)
        for (int x = 0; x < small.width; x++)
            bad += ox + x >= img.width || oy + y >= img.height ||
                   !near(small.pixel(x, y), img.pixel(ox + x, oy + y), tol);
    return bad;
}

} // namespace testsupport
