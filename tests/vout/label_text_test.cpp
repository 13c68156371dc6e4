// Every label and popup text, at every font size the viewer uses, is
// rendered whole: no glyph cut at the top or bottom (the breve of "Й"
// reaches above the font's ascent), and the blanks at either end kept as
// margins.
#include <cstdio>

#include "config/options_private.h"
#include "sdl_screen_fixture.h"
#include "vout/text_util.h"

using namespace sdltest;

namespace {

class LabelText : public SdlScreenFixture {};

struct ink_box {
    int left = -1, right = -1, top = -1, bottom = -1;
};

ink_box ink_of(const SDL_Surface *s)
{
    ink_box b;
    for (int y = 0; y < s->h; ++y)
        for (int x = 0; x < s->w; ++x)
            if (static_cast<const Uint8 *>(s->pixels)[y * s->pitch + x]) {
                b.left = b.left < 0 ? x : std::min(b.left, x);
                b.right = std::max(b.right, x);
                b.top = b.top < 0 ? y : b.top;
                b.bottom = y;
            }
    return b;
}

/* Rows the glyphs of text cover by their metrics, and the advance of the
 * blanks it starts and ends with. */
void expected(TTF_Font *font, const std::vector<Uint16> &chars, int *rows, int *lead,
              int *trail)
{
    int top = INT32_MIN, bottom = INT32_MAX, blanks = 0;
    bool ink = false;
    *lead = *trail = 0;
    for (Uint16 c : chars) {
        int minx, maxx, miny, maxy, adv;
        ASSERT_EQ(TTF_GlyphMetrics(font, c, &minx, &maxx, &miny, &maxy, &adv), 0);
        if (maxx <= minx) {
            blanks += adv;
            continue;
        }
        if (!ink)
            *lead = blanks;
        ink = true;
        blanks = 0;
        top = std::max(top, maxy);
        bottom = std::min(bottom, miny);
    }
    *trail = blanks;
    *rows = top - bottom;
}

std::vector<Uint16> ucs2(const std::string &s)
{
    std::vector<Uint16> out;
    for (size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        if (b < 0x80) {
            out.push_back(b);
            i += 1;
        } else if (b < 0xE0) {
            out.push_back(Uint16(((b & 0x1F) << 6) | (s[i + 1] & 0x3F)));
            i += 2;
        } else {
            out.push_back(Uint16(((b & 0x0F) << 12) | ((s[i + 1] & 0x3F) << 6) |
                                 (s[i + 2] & 0x3F)));
            i += 3;
        }
    }
    return out;
}

} // namespace

TEST_F(LabelText, EveryTextIsRenderedWholeAtEverySize)
{
    std::vector<std::string> texts = {" ПАУЗА ", "  ОЖИДАНИЕ  ", " СБОЙ СЕРВЕРА ",
                                      " НЕТ СИГНАЛА  ", " Въезд Й ", " was alarms ",
                                      " CASE OPENED ", " BATTERY LOW "};
    strhelp_reset();
    char errors[300];
    std::snprintf(errors, sizeof errors,
                  "Ошибка переключения\nна раскладку №%d\nРаскладка камер №%d\nне "
                  "определа в настройках программы.\n\nНажмите любую клавишу\nчтобы "
                  "закрыть это окно.",
                  7, 12);
    for (const char *popup : {static_cast<const char *>(strHELP), static_cast<const char *>(errors)})
        for (const std::string &line : popup_split_lines(popup, 50))
            texts.push_back(line);
    for (int points = 10; points <= 28; points += 2) {
        TTF_Font *font = sdl_fonts_get(uint32_t(25 * points), 1.0f);
        for (const std::string &text : texts) {
            SCOPED_TRACE(std::to_string(points) + " points: \"" + text + "\"");
            SDL_Surface *s = render_text_shaded(font, text.c_str(), _white, _red);
            ASSERT_NE(s, nullptr) << SDL_GetError();
            int rows = 0, lead = 0, trail = 0;
            expected(font, ucs2(text), &rows, &lead, &trail);
            const ink_box ink = ink_of(s);
            if (ink.right >= 0) {
                EXPECT_GE(ink.bottom - ink.top + 1, rows - 1) << "cut at the top or bottom";
                EXPECT_GE(ink.left, lead) << "leading blanks lost";
                EXPECT_GE(s->w - 1 - ink.right, trail) << "trailing blanks lost";
            }
            SDL_FreeSurface(s);
        }
    }
}
