// VoutLabels inside windows and the font sizes behind them, read back from the
// real SDL screen.
#include "sdl_screen_fixture.h"
#include "vout/text_util.h"

using namespace sdltest;

namespace {

constexpr Rgb GREEN = {0, 160, 0};
constexpr Rgb RED = {255, 0, 0};
constexpr Rgb WHITE = {255, 255, 255};
constexpr Rgb BLACK = {0, 0, 0};

class VoutLabels : public SdlScreenFixture {
  protected:
    void SetUp() override
    {
        SdlScreenFixture::SetUp();
        set_rects(20, 20, 760, 560, 4); // video_rect 752 x 552
        make_block();
        fill_win(win, GREEN.r, GREEN.g, GREEN.b);
    }

    /* The label's expected size in this window: its text, clipped to half
     * the width less 10 and a quarter of the height. */
    win_rect expected_size(const char *text) const
    {
        TTF_Font *font = sdl_fonts_get(win->video_rect.h, 1.0f);
        SDL_Surface *s = render_text_shaded(font, text, _white, _red);
        const int w = s ? s->w : 0, h = s ? s->h : 0;
        SDL_FreeSurface(s);
        return {0, 0, uint32_t(std::min(w, int(win->video_rect.w) / 2 - 10)),
                uint32_t(std::min(h, int(win->video_rect.h) / 4))};
    }

    win_rect label_box() const { return changed_box(win->video_rect, GREEN); }
};

int font_height_at(int points)
{
    TTF_Font *f = TTF_OpenFont(TIRSK_FONT_PATH, points);
    int h = f ? TTF_FontHeight(f) : -1;
    if (f)
        TTF_CloseFont(f);
    return h;
}

} // namespace

// The alarm label sits top-right; a new code removes the old text (the
// screen under it comes back) before the new one is drawn.
TEST_F(VoutLabels, AlarmTopRightAndACodeChangeRestoresTheOldPlace)
{
    std::strcpy(conf->alarm_msgs[1], " ТРЕВОГА ВХОД 1 ");
    std::strcpy(conf->alarm_msgs[2], " Т2 ");
    cam->alarm = 2;
    cam->alarm_code = 1;
    const auto before = snapshot();
    const win_rect &v = win->video_rect;

    EXPECT_EQ(win_alarm(win, 1), 1);
    win_rect old_box = label_box();
    EXPECT_EQ(old_box.x + old_box.w, v.x + v.w);
    EXPECT_EQ(old_box.y, v.y);
    EXPECT_EQ(old_box.w, expected_size(conf->alarm_msgs[1]).w);
    EXPECT_TRUE(has_colour(old_box, RED, 1));

    cam->alarm_code = 2;
    EXPECT_EQ(sdl_win_alarm(win, 1), 1);
    win_rect new_box = label_box();
    EXPECT_EQ(new_box.w, expected_size(conf->alarm_msgs[2]).w);
    EXPECT_LT(new_box.w, old_box.w);
    EXPECT_EQ(new_box.x + new_box.w, v.x + v.w);
    // Where only the old label was, the green is back.
    win_rect uncovered = {old_box.x, old_box.y, old_box.w - new_box.w, old_box.h};
    EXPECT_EQ(changed_box(uncovered, GREEN).w, 0u);

    EXPECT_EQ(win_alarm(win, 0), 1);
    EXPECT_EQ(snapshot(), before);
}

// VoutLabels never exceed half the area less 10 pixels, nor a quarter of its
// height, whatever their text.
TEST_F(VoutLabels, LabelsAreClippedToTheirArea)
{
    std::strcpy(cam->name, " ОЧЕНЬ ДЛИННОЕ НАЗВАНИЕ КАМЕРЫ ");
    std::strcpy(conf->alarm_msgs[1], " ТРЕВОГА ТРЕВОГА ");
    cam->alarm_code = 1;
    const std::pair<const char *, void (*)(window *)> labels[] = {
        {"name", [](window *w) { w->state = 0; win_caption(w, 1); }},
        {"pause", [](window *w) { win_pause(w, 1); }},
        {"alarm", [](window *w) { sdl_win_alarm(w, 1); }},
        {"status", [](window *w) { w->state = WS_SF; win_status(w); }},
    };
    for (auto [w, h] : {std::pair{108, 400}, {400, 68}, {60, 60}}) {
        set_rects(200, 100, w, h, 4);
        const win_rect &v = win->video_rect;
        for (auto [what, draw] : labels) {
            SCOPED_TRACE(std::string(what) + " in " + std::to_string(w) + "x" +
                         std::to_string(h));
            free_win_surfaces(win);
            make_block();
            fill_screen(GREEN);
            draw(win);
            const win_rect box = changed_box({0, 0, W, H}, GREEN);
            const int limit = std::string(what) == "status" ? int(v.w) - 20 : int(v.w) / 2 - 10;
            EXPECT_LE(box.w, uint32_t(std::max(0, limit)));
            EXPECT_LE(box.h, v.h / 4);
            if (box.w) {
                EXPECT_GE(box.x, v.x);
                EXPECT_GE(box.y, v.y);
                EXPECT_LE(box.x + box.w, v.x + v.w);
                EXPECT_LE(box.y + box.h, v.y + v.h);
            }
        }
    }
}

// A window a few pixels high (or narrow) has no room for labels: none is
// drawn and nothing breaks, on and off.
TEST_F(VoutLabels, WindowsTooSmallForLabels)
{
    std::strcpy(conf->alarm_msgs[1], " ALARM ");
    cam->alarm_code = 1;
    for (auto [w, h] : {std::pair{300, 7}, {22, 300}, {8, 8}}) {
        free_win_surfaces(win);
        make_block();
        fill_screen(GREEN);
        set_rects(200, 100, w, h, 2);
        win->state = WS_WT;
        win_caption(win, 1);
        win_status(win);
        win_pause(win, 1);
        EXPECT_EQ(sdl_win_alarm(win, 1), 1);
        win_pause(win, 0);
        EXPECT_EQ(sdl_win_alarm(win, 0), 1);
        draw_win(win);
        EXPECT_EQ(changed_box({0, 0, W, H}, GREEN).w, 0u) << w << "x" << h;
    }
}

TEST_F(VoutLabels, InvalidUtf8NamesAreShownCleaned)
{
    std::strcpy(cam->name, "\xff CAM \xc3\x28 \xe2\x82 \xf0\x9f\x98\x80 7 \xc3");
    win_caption(win, 1);
    win_rect box = label_box();
    EXPECT_GT(box.w, 0u);
    EXPECT_EQ(box.w, expected_size("? CAM ?( ? ? 7 ?").w);
}

// The size is the smallest loaded one not below the target
// (height / 25 x font_factor x factor), at most the largest.
TEST_F(VoutLabels, FontSizeFollowsTheAreaHeight)
{
    struct Case {
        uint32_t h;
        float factor;
        double font_factor;
        int points;
    };
    for (Case c : {Case{480, 1.0f, 1.0, 20}, Case{240, 1.0f, 1.0, 10}, Case{1080, 0.5f, 1.0, 22},
                   Case{1080, 1.3f, 1.0, 28}, Case{480, 1.0f, 2.0, 28}, Case{275, 1.0f, 1.0, 12},
                   Case{3, 1.0f, 1.0, 10}, Case{480, -1.0f, 1.0, 10}}) {
        conf->font_factor = c.font_factor;
        TTF_Font *f = sdl_fonts_get(c.h, c.factor);
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(TTF_FontHeight(f), font_height_at(c.points))
            << c.h << " x " << c.factor << " x " << c.font_factor;
    }
}
