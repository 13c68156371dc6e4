// Popup text boxes on the screen, and the line rules behind them.
#include "vout_fixture.h"
#include "vout/text_util.h"

#include <array>

namespace {

constexpr Rgb BLUE = {71, 86, 140};

class VoutPopup : public SdlScreen {
protected:
    // Something that is not uniform, so that a misplaced restore shows.
    static void paint_pattern()
    {
        for (int y = 0; y < H; y += 20)
            for (int x = 0; x < W; x += 20) {
                SDL_Rect r = {Sint16(x), Sint16(y), 20, 20};
                SDL_FillRect(screen, &r, SDL_MapRGB(screen->format, Uint8(x / 4), Uint8(y / 3), Uint8((x + y) / 7)));
            }
    }
    static Box blue() { return testsupport::bounds(shot(), {0, 0, W, H}, BLUE, 0); }
};

} // namespace

// Lines are cut at 99 bytes, never inside a character ("Ж" is two).
TEST(VoutPopupLines, LongLinesAreCutAtACharacterBoundary)
{
    std::string cyrillic;
    for (int i = 0; i < 60; ++i)
        cyrillic += "Ж";
    for (auto [text, first] : {std::pair{std::string(150, 'x') + "\nnext", size_t(99)},
                               {cyrillic, size_t(98)}, {"x" + cyrillic, size_t(99)}}) {
        EXPECT_EQ(popup_split_lines(text, 50).at(0), text.substr(0, first));
    }
    EXPECT_EQ(popup_split_lines(std::string(150, 'x') + "\nnext", 50)[1], "next");
}

// Whatever the text, the box stays centred on the screen and inside it, and
// closing brings back exactly what was under it, also when a popup
// replaced another; no text opens nothing.
TEST_F(VoutPopup, AnyTextStaysOnTheScreenAndCloseRestoresItExactly)
{
    paint_pattern();
    const Image before = shot();
    popup_text(0x1, nullptr);
    popup_text(0x1, "");
    EXPECT_EQ(popup_win_bg, nullptr);
    std::string junk, wide(5000, 'W'); // far wider than the screen: clipped to it
    for (int i = 0; i < 3000; ++i)
        junk += char(i * 37 % 255 + 1);
    for (int i = 0; i < 70; ++i)
        wide += "\nW";
    int last_h = 0;
    for (const std::string &text : {std::string("Первая строка\nsecond line"),
                                    std::string("a larger second popup\nwith\nthree lines"), junk,
                                    std::string("\xff\xfe\xfd\n\xc3\n\xe2\x82\xac\xe2"), wide}) {
        popup_text(0x2, text.c_str());
        ASSERT_NE(popup_win_bg, nullptr);
        const Box b = blue();
        EXPECT_TRUE(b.w > 0 && b.w <= W && b.h <= H) << b;
        EXPECT_NEAR(b.x + b.w / 2.0, W / 2.0, 1.0);
        EXPECT_NEAR(b.y + b.h / 2.0, H / 2.0, 1.0);
        if (!last_h) {
            EXPECT_GT(count_colour(shot(), b, {255, 255, 255}, 0), 0) << "white text";
        } else if (last_h > 0) {
            EXPECT_GT(b.h, last_h) << "the second popup replaced the first";
        }
        last_h = last_h ? -1 : b.h;
    }
    EXPECT_EQ(popup_close(), 1);
    EXPECT_EQ(shot().rgba, before.rgba);
    EXPECT_EQ(popup_close(), 0);
}

// No size bit: nothing; 0x200 with a size: the whole screen, text centred;
// the three sizes, largest first.
TEST_F(VoutPopup, SizeBitsAndFullScreen)
{
    const Image before = shot();
    popup_text(0x200, "no size bit");
    popup_text(0x100, "no size bit");
    EXPECT_EQ(popup_win_bg, nullptr);
    popup_text(0x201, "full screen");
    EXPECT_EQ(blue(), (Box{0, 0, W, H}));
    const Box text = changed(BLUE, {0, 0, W, H}, 0);
    EXPECT_NEAR(text.x + text.w / 2.0, W / 2.0, 2.0);
    EXPECT_NEAR(text.y + text.h / 2.0, H / 2.0, 4.0);
    EXPECT_EQ(popup_close(), 1);
    EXPECT_EQ(shot().rgba, before.rgba);

    int heights[3];
    for (int i = 0; i < 3; ++i) {
        popup_text(std::array{0x2u, 0x1u, 0x4u}[i], "Xy");
        heights[i] = blue().h;
    }
    EXPECT_GE(heights[0], heights[1]); // both may reach the largest size
    EXPECT_GT(heights[1], heights[2]);
}

// 60 lines show as 50: 49 lines and one holding the rest, as wide as all of it.
TEST_F(VoutPopup, SixtyLinesShowAsFifty)
{
    conf->font_factor = 0.1; // the smallest font, so that 50 lines fit
    TTF_Font *font = sdl_fonts_get(H, 0.5f);
    const int line_h = TTF_FontHeight(font);
    ASSERT_LT(50 * line_h + 100, H);
    std::string text;
    for (int i = 1; i <= 60; ++i)
        text += "line " + std::to_string(i) + "\n";
    popup_text(0x4, text.c_str());
    int one_w = 0, h = 0;
    TTF_SizeUTF8(font, "line 50", &one_w, &h);
    EXPECT_EQ(blue().h, 50 * line_h + 100);
    EXPECT_GT(blue().w, 5 * one_w + 100);
}
