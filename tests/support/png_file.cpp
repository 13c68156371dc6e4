#include "png_file.h"

#include <stdio.h>

#include <algorithm>

#include <png.h>

namespace testsupport {

PngFile decode_png(const std::string &path)
{
    PngFile out;
    // The header is read by hand so that the stored colour type is seen,
    // not the one the decoder converts to.
    FILE *f = fopen(path.c_str(), "rb");
    if (!f) {
        out.error = "cannot open " + path;
        return out;
    }
    uint8_t head[29] = {};
    const size_t n = fread(head, 1, sizeof head, f);
    fclose(f);
    static const uint8_t sig[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    if (n < sizeof head || !std::equal(sig, sig + 8, head) ||
        std::string(reinterpret_cast<char *>(head + 12), 4) != "IHDR") {
        out.error = "not a PNG file: " + path;
        return out;
    }
    out.bit_depth = head[24];
    out.color_type = head[25];

    png_image image = {};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        out.error = image.message;
        return out;
    }
    image.format = PNG_FORMAT_RGBA;
    out.width = image.width;
    out.height = image.height;
    out.rgba.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, out.rgba.data(), 0, nullptr)) {
        out.error = image.message;
        png_image_free(&image);
        return out;
    }
    out.ok = true;
    return out;
}

} // namespace testsupport
