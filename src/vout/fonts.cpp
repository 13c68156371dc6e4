/* The font provider: one TrueType face opened once in ten sizes, chosen by
 * the height of the area the text goes into. */
#include <array>
#include <cmath>

#include "conf.h"
#include "vout/sdl_private.h"

namespace {

constexpr int FONT_SIZES = 10;
constexpr int font_points(int index) { return 10 + 2 * index; }

std::array<TTF_Font *, FONT_SIZES> fonts{};

void close_fonts()
{
    for (TTF_Font *&f : fonts) {
        if (f && TTF_WasInit())
            TTF_CloseFont(f);
        f = nullptr;
    }
    fonts_count = 0;
}

/* Closes the faces before SDL_ttf goes: TTF_Quit frees the library under
 * them, and a later init would otherwise close dangling faces. */
void sdl_fonts_fini(void)
{
    close_fonts();
    if (TTF_WasInit())
        TTF_Quit();
}

} // namespace

extern "C" {

uint32_t fonts_count;

constinit const SDL_Color _red = {255, 0, 0, 0};
constinit const SDL_Color _blue = {71, 86, 140, 0};
constinit const SDL_Color _white = {255, 255, 255, 0};

int sdl_fonts_init(int)
{
    if (!TTF_WasInit() && TTF_Init() == -1) {
        tirsklog_r(nullptr, 3, "could not initialize TTF: %s\n", SDL_GetError());
        return 0;
    }
    close_fonts();
    for (int i = 0; i < FONT_SIZES; ++i) {
        fonts[i] = TTF_OpenFont(TIRSK_FONT_PATH, font_points(i));
        if (!fonts[i]) {
            tirsklog_r(nullptr, 3, "could not load %s font: %s\n",
                       "FreeSansBold.ttf", SDL_GetError());
            return 0;
        }
        fonts_count = i + 1;
    }
    return 1;
}

TTF_Font *sdl_fonts_get(uint32_t area_height, float factor)
{
    if (fonts_count == 0)
        return nullptr;
    double font_factor = conf ? conf->font_factor : 1.0;
    double t = (area_height / 25) * font_factor * double(factor);
    /* out-of-range factors pick the smallest or the largest size */
    uint32_t target = !(t > 0) ? 0 : t >= 1e6 ? 1000000u : uint32_t(t);
    uint32_t index = 0;
    if (target > 10) {
        index = (target - 10 + 1) / 2; /* smallest k with target <= 10 + 2k */
        if (index > fonts_count - 1)
            index = fonts_count - 1;
    }
    if (verbose_at(2))
        tirsklog_r(nullptr, 7,
                   "(D) sdl_fonts_get(%u, %f): target_ptsize = %u, ptsize = %u(%u)\n",
                   area_height, double(factor), target,
                   uint32_t(font_points(index)), index);
    return fonts[index];
}

constinit const font_provider Fonts = {
    .init = sdl_fonts_init,
    .fini = sdl_fonts_fini,
    .get = sdl_fonts_get,
};

} // extern "C"
