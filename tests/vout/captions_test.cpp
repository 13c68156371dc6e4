// Labels inside windows, read back from the screen, and the texts behind
// labels and popups.
#include <clocale>
#include <cstdio>
#include <cstdlib>

#include "config/options_private.h"
#include "vout_fixture.h"
#include "vout/text_util.h"

namespace {

constexpr Rgb GREEN = {0, 160, 0}, RED = {255, 0, 0};

class VoutLabels : public SdlScreen {
protected:
    void SetUp() override
    {
        SdlScreen::SetUp();
        set_rects(20, 20, 760, 560, 4); // video_rect 752 x 552
        make_block();
        fill_win(win, GREEN.r, GREEN.g, GREEN.b);
    }
    // A label's width in this window: its text, clipped to half the width less 10.
    int expected_width(const char *text) const
    {
        SDL_Surface *s = render_text_shaded(sdl_fonts_get(win->video_rect.h, 1.0f), text, _white, _red);
        const int w = s ? s->w : 0;
        SDL_FreeSurface(s);
        return std::min(w, int(win->video_rect.w) / 2 - 10);
    }
    Box label() const { return changed(GREEN, box(win->video_rect)); }
};

} // namespace

// The alarm label sits top-right; a new code removes the old text (the
// screen under it comes back) before the new one is drawn.
TEST_F(VoutLabels, AlarmTopRightAndACodeChangeRestoresTheOldPlace)
{
    std::strcpy(conf->alarm_msgs[1], " ТРЕВОГА ВХОД 1 ");
    std::strcpy(conf->alarm_msgs[2], " Т2 ");
    cam->alarm = 2;
    cam->alarm_code = 1;
    const Image before = shot();
    const Box v = box(win->video_rect);
    EXPECT_EQ(win_alarm(win, 1), 1);
    const Box old_box = label();
    EXPECT_EQ(old_box.x + old_box.w, v.x + v.w);
    EXPECT_EQ(old_box.y, v.y);
    EXPECT_EQ(old_box.w, expected_width(conf->alarm_msgs[1]));
    EXPECT_GT(count_colour(shot(), old_box, RED, 1), 0);

    cam->alarm_code = 2;
    EXPECT_EQ(sdl_win_alarm(win, 1), 1);
    const Box new_box = label();
    EXPECT_EQ(new_box.w, expected_width(conf->alarm_msgs[2]));
    EXPECT_EQ(new_box.x + new_box.w, v.x + v.w);
    // Where only the old label was, the green is back.
    EXPECT_EQ(changed(GREEN, {old_box.x, old_box.y, old_box.w - new_box.w, old_box.h}).w, 0);
    EXPECT_EQ(win_alarm(win, 0), 1);
    EXPECT_EQ(shot().rgba, before.rgba);
}

// Labels never exceed half the area less 10 pixels (the status one: the
// width less 20), nor a quarter of its height, whatever their text; a window
// too small for labels gets none, on and off.
TEST_F(VoutLabels, LabelsAreClippedToTheirAreaOrLeftOut)
{
    std::strcpy(cam->name, " ОЧЕНЬ ДЛИННОЕ НАЗВАНИЕ КАМЕРЫ ");
    std::strcpy(conf->alarm_msgs[1], " ТРЕВОГА ТРЕВОГА ");
    cam->alarm_code = 1;
    const std::pair<const char *, void (*)(window *)> labels[] = {
        {"name", [](window *w) { w->state = 0; win_caption(w, 1); }},
        {"pause", [](window *w) { win_pause(w, 1); }},
        {"alarm", [](window *w) { sdl_win_alarm(w, 1); }},
        {"status", [](window *w) { w->state = WS_SF; win_status(w); }},
        {"All, on and off", [](window *w) {
             w->state = WS_WT;
             win_caption(w, 1), win_status(w), win_pause(w, 1), sdl_win_alarm(w, 1);
             win_pause(w, 0), sdl_win_alarm(w, 0), draw_win(w);
         }},
    };
    for (auto [w, h] : {std::pair{108, 400}, {400, 68}, {60, 60}, {300, 7}, {22, 300}, {8, 8}}) {
        const bool room = h > 7 && w > 22;
        set_rects(200, 100, w, h, room ? 4 : 2);
        const win_rect &v = win->video_rect;
        for (auto [what, draw] : labels) {
            SCOPED_TRACE(std::string(what) + " in " + std::to_string(w) + "x" + std::to_string(h));
            free_win_surfaces(win);
            make_block();
            fill_screen(GREEN);
            draw(win);
            const Box b = changed(GREEN);
            const int limit = std::string(what) == "status" ? int(v.w) - 20 : int(v.w) / 2 - 10;
            if (!room || what[0] == 'A') {
                EXPECT_EQ(b.w != 0, room) << b;
                continue;
            }
            EXPECT_TRUE(b.w > 0 && b.w <= limit && b.h <= int(v.h) / 4) << b;
            EXPECT_TRUE(b.x >= v.x && b.y >= v.y && b.x + b.w <= v.x + int(v.w) && b.y + b.h <= v.y + int(v.h)) << b;
        }
    }
}

// Every label and popup text, at every font size the viewer uses, is drawn
// whole: glyphs reaching above the font's ascent (the breve of "Й") or below
// its descent keep their rows, and the blanks at either end stay margins.
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
