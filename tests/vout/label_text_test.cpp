// Every label and popup text, at every font size the viewer uses, is drawn
// whole: glyphs reaching above the font's ascent (the breve of "Й") or below
// its descent keep their rows, and the blanks at either end stay margins.
#include <clocale>
#include <cstdio>
#include <cstdlib>

#include "config/options_private.h"
#include "vout_fixture.h"
#include "vout/text_util.h"

class LabelText : public SdlScreen {};

TEST_F(LabelText, EveryTextIsDrawnWholeAtEverySize)
{
    // The help text and the locale are the process's: both restored however the test ends.
    struct Restore {
        std::string help = strHELP, locale = std::setlocale(LC_CTYPE, nullptr);
        ~Restore()
        {
            std::snprintf(strHELP, sizeof strHELP, "%s", help.c_str());
            std::setlocale(LC_CTYPE, locale.c_str());
        }
    } restore;
    std::setlocale(LC_CTYPE, "C.UTF-8");
    strhelp_reset();
    auto texts = popup_split_lines(std::string(strHELP) + "Ошибка переключения\nне определа в настройках", 50);
    texts.insert(texts.end(), {" ПАУЗА ", "  ОЖИДАНИЕ  ", " СБОЙ СЕРВЕРА ", " НЕТ СИГНАЛА  "});
    for (int points = 10; points <= 28; points += 2)
        for (const std::string &text : texts) {
            SCOPED_TRACE(std::to_string(points) + " points: \"" + text + "\"");
            TTF_Font *font = sdl_fonts_get(uint32_t(25 * points), 1.0f);
            wchar_t chars[200];
            int top = INT32_MIN, bottom = INT32_MAX, lead = 0, trail = 0, inked = 0;
            for (size_t i = 0, n = std::mbstowcs(chars, text.c_str(), 200); i < n; ++i) {
                int minx, maxx, miny, maxy, advance;
                TTF_GlyphMetrics(font, Uint16(chars[i]), &minx, &maxx, &miny, &maxy, &advance);
                if (maxx <= minx)
                    (inked ? trail : lead) += advance;
                else
                    inked++, trail = 0, top = std::max(top, maxy), bottom = std::min(bottom, miny);
            }
            SDL_Surface *s = render_text_shaded(font, text.c_str(), _white, _red);
            ASSERT_NE(s, nullptr) << SDL_GetError();
            int x0 = s->w, x1 = -1, y0 = s->h, y1 = -1;
            for (int y = 0; y < s->h; ++y)
                for (int x = 0; x < s->w; ++x)
                    if (static_cast<const Uint8 *>(s->pixels)[y * s->pitch + x])
                        x0 = std::min(x0, x), x1 = std::max(x1, x), y0 = std::min(y0, y), y1 = y;
            if (inked) {
                EXPECT_GE(y1 - y0 + 1, top - bottom - 1) << "cut at the top or bottom";
                EXPECT_GE(x0, lead) << "leading blanks lost";
                EXPECT_GE(s->w - 1 - x1, trail) << "trailing blanks lost";
            }
            SDL_FreeSurface(s);
        }
}
