// VoutPopup text boxes on the real SDL screen, and the text rules behind them.
#include "sdl_screen_fixture.h"
#include "vout/text_util.h"

using namespace sdltest;

namespace {

constexpr Rgb BLUE = {71, 86, 140};

std::string numbered_lines(int n)
{
    std::string text;
    for (int i = 1; i <= n; ++i)
        text += "line " + std::to_string(i) + "\n";
    return text;
}

class VoutPopup : public SdlScreenFixture {
  protected:
    /* Something that is not uniform, so that a misplaced restore shows. */
    static void paint_pattern()
    {
        for (int y = 0; y < H; y += 20)
            for (int x = 0; x < W; x += 20) {
                SDL_Rect r = {Sint16(x), Sint16(y), 20, 20};
                SDL_FillRect(screen, &r,
                             SDL_MapRGB(screen->format, Uint8(x / 4), Uint8(y / 3),
                                        Uint8((x + y) / 7)));
            }
        SDL_UpdateRect(screen, 0, 0, 0, 0);
    }

    static win_rect blue_box() { return blue_box_in({0, 0, W, H}); }
    static win_rect blue_box_in(win_rect r)
    {
        int x0 = INT32_MAX, y0 = INT32_MAX, x1 = -1, y1 = -1;
        for (int y = r.y; y < r.y + int(r.h); ++y)
            for (int x = r.x; x < r.x + int(r.w); ++x)
                if (near(pixel(x, y), BLUE, 0)) {
                    x0 = std::min(x0, x);
                    y0 = std::min(y0, y);
                    x1 = std::max(x1, x);
                    y1 = std::max(y1, y);
                }
        if (x1 < 0)
            return {0, 0, 0, 0};
        return {x0, y0, uint32_t(x1 - x0 + 1), uint32_t(y1 - y0 + 1)};
    }
};

} // namespace

// Lines are cut at 99 bytes, never inside a character.
TEST(VoutPopupLines, LongLinesAreCutAtACharacterBoundary)
{
    auto lines = popup_split_lines(std::string(150, 'x') + "\nnext", 50);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], std::string(99, 'x'));
    EXPECT_EQ(lines[1], "next");

    std::string cyrillic;
    for (int i = 0; i < 60; ++i)
        cyrillic += "Ж"; // two bytes each
    lines = popup_split_lines(cyrillic, 50);
    EXPECT_EQ(lines[0].size(), 98u);
    EXPECT_EQ(lines[0], cyrillic.substr(0, 98));
    lines = popup_split_lines("x" + cyrillic, 50);
    EXPECT_EQ(lines[0].size(), 99u);
}

// The screen under a popup comes back exactly, also when a second popup
// replaces the first.
TEST_F(VoutPopup, CloseRestoresTheScreenExactly)
{
    paint_pattern();
    const auto before = snapshot();
    popup_text(0x1, "Первая строка\nsecond line");
    ASSERT_NE(popup_win_bg, nullptr);
    win_rect box = blue_box();
    EXPECT_NEAR(box.x + box.w / 2.0, W / 2.0, 1.0);
    EXPECT_NEAR(box.y + box.h / 2.0, H / 2.0, 1.0);
    EXPECT_TRUE(has_colour(box, {255, 255, 255}, 0));

    popup_text(0x2, "a larger second popup\nwith\nthree lines");
    EXPECT_GT(blue_box().h, box.h);
    EXPECT_EQ(popup_close(), 1);
    EXPECT_EQ(snapshot(), before);
    EXPECT_EQ(popup_close(), 0);
    EXPECT_EQ(snapshot(), before);
}

TEST_F(VoutPopup, SizeBitsAndFullScreen)
{
    const auto before = snapshot();
    popup_text(0x200, "no size bit");
    popup_text(0x100, "no size bit");
    EXPECT_EQ(popup_win_bg, nullptr);
    EXPECT_EQ(snapshot(), before);

    popup_text(0x201, "full screen");
    ASSERT_NE(popup_win_bg, nullptr);
    EXPECT_TRUE(near(pixel(0, 0), BLUE, 0));
    EXPECT_TRUE(near(pixel(W - 1, H - 1), BLUE, 0));
    win_rect text = changed_box({0, 0, W, H}, BLUE, 0);
    EXPECT_NEAR(text.x + text.w / 2.0, W / 2.0, 2.0);
    EXPECT_NEAR(text.y + text.h / 2.0, H / 2.0, 4.0);
    EXPECT_EQ(popup_close(), 1);
    EXPECT_EQ(snapshot(), before);

    // The three sizes, largest first.
    int heights[3];
    const uint32_t sizes[] = {0x2, 0x1, 0x4};
    for (int i = 0; i < 3; ++i) {
        popup_text(sizes[i], "Xy");
        heights[i] = int(blue_box().h);
    }
    popup_close();
    EXPECT_GE(heights[0], heights[1]); // both may reach the largest size
    EXPECT_GT(heights[1], heights[2]);
}

// 60 lines show as 50: 49 lines and one holding the rest, as wide as all
// of it.
TEST_F(VoutPopup, SixtyLinesShowAsFifty)
{
    conf->font_factor = 0.1; // the smallest font, so that 50 lines fit
    TTF_Font *font = sdl_fonts_get(H, 0.5f);
    const int line_h = TTF_FontHeight(font);
    ASSERT_LT(50 * line_h + 100, H);
    popup_text(0x4, numbered_lines(60).c_str());
    win_rect box = blue_box();
    EXPECT_EQ(int(box.h), 50 * line_h + 100);
    int one_w = 0, h = 0;
    TTF_SizeUTF8(font, "line 50", &one_w, &h);
    EXPECT_GT(int(box.w), 5 * one_w + 100);
}

TEST_F(VoutPopup, BadTextNeverBreaksTheScreen)
{
    paint_pattern();
    const auto before = snapshot();
    popup_text(0x1, nullptr);
    popup_text(0x1, "");
    EXPECT_EQ(popup_win_bg, nullptr);

    std::string junk;
    for (int i = 0; i < 3000; ++i)
        junk += char(i * 37 % 255 + 1);
    popup_text(0x1, junk.c_str());
    EXPECT_NE(popup_win_bg, nullptr);
    popup_text(0x2, "\xff\xfe\xfd\n\xc3\n\xe2\x82\xac\xe2");
    EXPECT_NE(popup_win_bg, nullptr);
    std::string wide(5000, 'W'); // far wider than the screen: clipped to it
    for (int i = 0; i < 70; ++i)
        wide += "\nW";
    popup_text(0x2, wide.c_str());
    win_rect box = blue_box();
    EXPECT_LE(box.w, uint32_t(W));
    EXPECT_LE(box.h, uint32_t(H));
    EXPECT_EQ(popup_close(), 1);
    EXPECT_EQ(snapshot(), before);
}
