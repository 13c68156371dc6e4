// Labels inside windows and the font sizes behind them, read back from the
// screen.
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

// The size is the smallest loaded one not below the target
// (height / 25 x font_factor x factor), at most the largest.
TEST_F(VoutLabels, FontSizeFollowsTheAreaHeight)
{
    const struct {
        uint32_t h;
        float factor;
        double font_factor;
        int points;
    } cases[] = {{480, 1.0f, 1.0, 20}, {240, 1.0f, 1.0, 10}, {1080, 0.5f, 1.0, 22},
                 {1080, 1.3f, 1.0, 28}, {480, 1.0f, 2.0, 28}, {275, 1.0f, 1.0, 12},
                 {3, 1.0f, 1.0, 10},    {480, -1.0f, 1.0, 10}};
    for (const auto &c : cases) {
        conf->font_factor = c.font_factor;
        TTF_Font *f = sdl_fonts_get(c.h, c.factor);
        TTF_Font *want = TTF_OpenFont(TIRSK_FONT_PATH, c.points);
        ASSERT_TRUE(f && want);
        EXPECT_EQ(TTF_FontHeight(f), TTF_FontHeight(want)) << c.h << " x " << c.factor << " x " << c.font_factor;
        TTF_CloseFont(want);
    }
}
