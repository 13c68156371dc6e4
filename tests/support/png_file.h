// Reading PNG files back in tests: header facts and RGBA pixels.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

namespace testsupport {

struct PngFile {
    bool ok = false;
    std::string error;
    uint32_t width = 0;
    uint32_t height = 0;
    int color_type = -1; // as stored in the header: 2 RGB, 3 palette, 6 RGBA
    int bit_depth = -1;
    std::vector<uint8_t> rgba; // decoded, 4 bytes per pixel, row by row

    struct Rgba {
        uint8_t r, g, b, a;
    };
    Rgba at(uint32_t x, uint32_t y) const
    {
        const uint8_t *p = &rgba[(size_t(y) * width + x) * 4];
        return {p[0], p[1], p[2], p[3]};
    }
};

// Decodes path with libpng; ok false and error set when it cannot.
PngFile decode_png(const std::string &path);

} // namespace testsupport
