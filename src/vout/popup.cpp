/* The popup text box: help, error and remote-control messages drawn over
 * everything, with the screen under it kept for an exact restore. */
#include <algorithm>
#include <string>
#include <vector>

#include "vout/draw_util.h"
#include "vout/sdl_private.h"
#include "vout/text_util.h"

namespace {

constexpr uint32_t POPUP_SIZE_1_0 = 0x1;
constexpr uint32_t POPUP_SIZE_1_3 = 0x2;
constexpr uint32_t POPUP_SIZE_0_5 = 0x4;
constexpr uint32_t POPUP_FULLSCREEN = 0x200;
constexpr int POPUP_MARGIN = 50;

void free_popup_lines()
{
    for (SDL_Surface *&line : popup_lines) {
        SDL_FreeSurface(line);
        line = nullptr;
    }
}

/* 0 when the flags ask for no text size: nothing is shown then. */
float popup_factor(uint32_t flags)
{
    if (flags & POPUP_SIZE_1_0)
        return 1.0f;
    if (flags & POPUP_SIZE_1_3)
        return 1.3f;
    if (flags & POPUP_SIZE_0_5)
        return 0.5f;
    return 0.0f;
}

} // namespace

extern "C" {

void popup_text(uint32_t flags, const char *text)
{
    if (popup_win_bg)
        popup_close();
    if (!text || !screen)
        return;
    const float factor = popup_factor(flags);
    if (factor == 0.0f)
        return;
    TTF_Font *font = sdl_fonts_get(uint32_t(screen->h), factor);
    if (!font || !*text)
        return;

    /* Render the lines; one that fails is logged and left out. */
    free_popup_lines();
    int text_w = 0, text_h = 0, nlines = 0;
    const std::vector<std::string> lines = popup_split_lines(text, POPUP_MAX_LINES);
    /* One height for every line, tall enough for the tallest glyph, so that
     * the lines stay evenly spaced. */
    text_rows rows{};
    for (const std::string &line : lines)
        rows = text_rows_of(font, line.c_str(), rows);
    for (const std::string &line : lines) {
        SDL_Surface *s = render_text_shaded(font, line.c_str(), _white, _blue, rows);
        if (!s) {
            tirsklog_r(nullptr, 3, "TTF_RenderUTF8_Shaded() failed: %s\n",
                       SDL_GetError());
            continue;
        }
        popup_lines[nlines++] = s;
        text_w = std::max(text_w, s->w);
        text_h += s->h;
    }
    if (nlines == 0)
        return;

    long text_x, text_y;
    if (flags & POPUP_FULLSCREEN) {
        popup_rect = sdl_rect_make(0, 0, screen->w, screen->h);
        text_x = (long(screen->w) - text_w) / 2;
        text_y = (long(screen->h) - text_h) / 2;
    } else {
        const long w = std::min<long>(text_w + 2L * POPUP_MARGIN, screen->w);
        const long h = std::min<long>(text_h + 2L * POPUP_MARGIN, screen->h);
        popup_rect = sdl_rect_make((screen->w - w) / 2, (screen->h - h) / 2, w, h);
        text_x = popup_rect.x + POPUP_MARGIN;
        text_y = popup_rect.y + POPUP_MARGIN;
    }

    SDL_SetClipRect(screen, &popup_rect);
    popup_win_bg = create_back_surface(popup_rect.w, popup_rect.h);
    if (!popup_win_bg) {
        tirsklog_r(nullptr, 3, "CreateRGBSurface failed: %s\n", SDL_GetError());
        free_popup_lines();
        return;
    }
    SDL_Rect from = popup_rect;
    if (SDL_BlitSurface(screen, &from, popup_win_bg, nullptr) != 0)
        tirsklog_r(nullptr, 3, "SDL_BlitSurface(screen->popup_win_bg) failed: %s\n",
                   SDL_GetError());
    SDL_Rect fill = popup_rect;
    if (SDL_FillRect(screen, &fill,
                     SDL_MapRGB(screen->format, _blue.r, _blue.g, _blue.b)) != 0)
        tirsklog_r(nullptr, 3, "SDL_FillRect() failed with: %s\n", SDL_GetError());
    long y = text_y;
    for (int i = 0; i < nlines; ++i) {
        SDL_Rect to = sdl_rect_make(text_x, y, 0, 0);
        if (SDL_BlitSurface(popup_lines[i], nullptr, screen, &to) != 0)
            tirsklog_r(nullptr, 3, "SDL_BlitSurface(line->screen) failed: %s\n",
                       SDL_GetError());
        y += popup_lines[i]->h;
    }
    screen_update(popup_rect);
    free_popup_lines();
}

int popup_close(void)
{
    if (!popup_win_bg)
        return 0;
    if (screen) {
        SDL_SetClipRect(screen, &popup_rect);
        SDL_Rect to = popup_rect;
        if (SDL_BlitSurface(popup_win_bg, nullptr, screen, &to) != 0)
            tirsklog_r(nullptr, 3, "SDL_BlitSurface(popup_win_bg) failed: %s\n",
                       SDL_GetError());
    }
    SDL_FreeSurface(popup_win_bg);
    popup_win_bg = nullptr;
    if (screen)
        screen_update(popup_rect);
    return 1;
}

} // extern "C"
