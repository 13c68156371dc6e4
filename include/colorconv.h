/* Colour conversion of planar YUV 4:2:0 and grey frames to 24-bit BGR. */
#ifndef TIRSK_COLORCONV_H
#define TIRSK_COLORCONV_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct conv_image {
    uint32_t width;
    uint32_t height;
    uint32_t pitch; /* bytes per destination row */
    uint8_t *pixels;
} conv_image;

void color_yuv2rgb_init(void);
void yuv420p_to_rgb24(conv_image *dst, const conv_image *src);
void a_yuv420p_to_rgb24(conv_image *dst, const conv_image *src);
void grey_to_tgb24(conv_image *dst, const conv_image *src);

#ifdef __cplusplus
}
#endif

#endif
