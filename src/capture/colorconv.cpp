// Table-driven and floating-point conversion of planar YUV 4:2:0 and grey
// pictures to packed 24-bit colour (blue, green, red).
#include "colorconv.h"

#include <array>
#include <cmath>

namespace {

struct yuv_tables {
    std::array<int32_t, 256> luma, blue_u, red_v, green_v, green_u;
    std::array<uint8_t, 896> clamp; // a channel sum s maps to clamp[s + 320]
};

yuv_tables tables;
bool tables_ready;

uint8_t clamp_double(double v)
{
    if (v <= 0)
        return 0;
    if (v >= 255)
        return 255;
    return uint8_t(v); // truncated toward zero
}

} // namespace

extern "C" void color_yuv2rgb_init(void)
{
    if (tables_ready)
        return;
    // Three counters stepped together; every shift is arithmetic.
    int32_t down = 32768, up = -65536, gu = 10922;
    for (int i = 0; i < 256; i++) {
        tables.luma[i] = (32768 - down) >> 8;
        tables.green_v[i] = down >> 8;
        tables.blue_u[i] = up >> 8;
        tables.red_v[i] = up >> 8;
        tables.green_u[i] = gu >> 8;
        down -= 256;
        up += 512;
        gu -= 85;
    }
    for (int i = 0; i < 896; i++)
        tables.clamp[i] = i < 320 ? 0 : i < 576 ? uint8_t(i - 320) : 255;
    tables_ready = true;
}

extern "C" void yuv420p_to_rgb24(conv_image *dst, const conv_image *src)
{
    if (!dst || !src || !dst->pixels || !src->pixels)
        return;
    color_yuv2rgb_init();
    const uint32_t w = src->width, h = src->height;
    const size_t cw = (size_t(w) + 1) / 2, ch = (size_t(h) + 1) / 2;
    const uint8_t *y_row = src->pixels;
    const uint8_t *u_row = src->pixels + size_t(w) * h;
    const uint8_t *v_row = u_row + cw * ch;
    uint8_t *out_row = dst->pixels;
    const auto &t = tables;
    for (uint32_t r = 0; r < h; r++) {
        uint8_t *o = out_row;
        for (uint32_t c = 0; c < w; c += 2) {
            const int u = u_row[c / 2], v = v_row[c / 2];
            for (uint32_t k = 0; k < 2 && c + k < w; k++) {
                const int y = t.luma[y_row[c + k]];
                *o++ = t.clamp[y + t.blue_u[u] + 320];
                *o++ = t.clamp[y + t.green_v[v] + t.green_u[u] + 320];
                *o++ = t.clamp[y + t.red_v[v] + 320];
            }
        }
        y_row += w;
        if (r & 1) { // one chroma row serves two luma rows
            u_row += cw;
            v_row += cw;
        }
        out_row += dst->pitch;
    }
}

extern "C" void a_yuv420p_to_rgb24(conv_image *dst, const conv_image *src)
{
    if (!dst || !src || !dst->pixels || !src->pixels)
        return;
    const uint32_t w = src->width, h = src->height;
    const size_t cw = (size_t(w) + 1) / 2, ch = (size_t(h) + 1) / 2;
    const uint8_t *y_row = src->pixels;
    const uint8_t *u_row = src->pixels + size_t(w) * h;
    const uint8_t *v_row = u_row + cw * ch;
    uint8_t *o = dst->pixels;
    for (uint32_t r = 0; r < h; r++) {
        for (uint32_t c = 0; c < w; c++) {
            const double y = 1.164 * (y_row[c] - 16);
            const double u = u_row[c / 2] - 128.0, v = v_row[c / 2] - 128.0;
            *o++ = clamp_double(std::trunc(y + 2.018 * u));
            *o++ = clamp_double(std::trunc(y - 0.813 * v - 0.391 * u));
            *o++ = clamp_double(std::trunc(y + 1.596 * v));
        }
        y_row += w;
        if (r & 1) {
            u_row += cw;
            v_row += cw;
        }
    }
}

extern "C" void grey_to_tgb24(conv_image *dst, const conv_image *src)
{
    if (!dst || !src || !dst->pixels || !src->pixels)
        return;
    const size_t n = size_t(src->width) * src->height;
    uint8_t *o = dst->pixels;
    for (size_t i = 0; i < n; i++) {
        *o++ = src->pixels[i];
        *o++ = src->pixels[i];
        *o++ = src->pixels[i];
    }
}
