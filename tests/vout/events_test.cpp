// Event dispatch on the real SDL queue of an open screen: events are pushed
// the way other threads push them and the handlers are watched through the
// dispatch table.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "globals.h"
#include "sdl_screen.h"
#include "vout_test_conf.h"

namespace {

std::vector<std::string> calls;
int keydown_result = 1;
int rctrl_result = 1;
int popup_open = 0;

std::string str(const char *what, long a, long b)
{
    return std::string(what) + " " + std::to_string(a) + " " +
           std::to_string(b);
}

const event_handlers recording = {
    .have_keydown =
        [](uint32_t mod, uint32_t key) {
            calls.push_back(str("key", mod, key));
            return keydown_result;
        },
    .mouse_motion = [](int x, int y) { calls.push_back(str("motion", x, y)); },
    .mouse_press_left = [](int x,
                           int y) { calls.push_back(str("left", x, y)); },
    .mouse_press_right = [](int x,
                            int y) { calls.push_back(str("right", x, y)); },
    .redraw_wins =
        []() {
            calls.push_back("redraw");
            return 0;
        },
    .hide_restore_application =
        [](int gained) { calls.push_back(str("app", gained, 0)); },
    .get_rctrl_evt_sync =
        [](uint32_t code, void *data1, void *data2) {
            calls.push_back(str("rctrl", long(code),
                                long(reinterpret_cast<intptr_t>(data1) +
                                     reinterpret_cast<intptr_t>(data2))));
            return rctrl_result;
        },
    .popup_close =
        []() {
            const int was = popup_open;
            popup_open = 0;
            if (was)
                calls.push_back("popup");
            return was;
        },
};

void push(const SDL_Event &ev)
{
    SDL_Event copy = ev;
    ASSERT_EQ(SDL_PushEvent(&copy), 0);
}

SDL_Event key(SDLKey sym, SDLMod mod)
{
    SDL_Event ev = {};
    ev.type = SDL_KEYDOWN;
    ev.key.keysym.sym = sym;
    ev.key.keysym.mod = mod;
    return ev;
}

SDL_Event motion(uint16_t x, uint16_t y)
{
    SDL_Event ev = {};
    ev.type = SDL_MOUSEMOTION;
    ev.motion.x = x;
    ev.motion.y = y;
    return ev;
}

SDL_Event button(uint8_t b, uint16_t x, uint16_t y)
{
    SDL_Event ev = {};
    ev.type = SDL_MOUSEBUTTONDOWN;
    ev.button.button = b;
    ev.button.x = x;
    ev.button.y = y;
    return ev;
}

SDL_Event active(uint8_t state, uint8_t gain)
{
    SDL_Event ev = {};
    ev.type = SDL_ACTIVEEVENT;
    ev.active.state = state;
    ev.active.gain = gain;
    return ev;
}

SDL_Event of_type(uint8_t type)
{
    SDL_Event ev = {};
    ev.type = type;
    return ev;
}

class EventDispatch : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (use_test_display().empty())
            return;
        install_window_icon();
        cfg_ = new_test_conf();
        conf = cfg_;
        vout_fonts = &FakeFonts::table;
        opened_ = sdl_init(0) == 1;
    }
    static void TearDownTestSuite()
    {
        sdl_fini();
        vout_fonts = &Fonts;
        conf = nullptr;
        std::free(cfg_);
    }

    void SetUp() override
    {
        ASSERT_TRUE(opened_) << "the screen did not open";
        drain_window_system();
        calls.clear();
        keydown_result = rctrl_result = 1;
        popup_open = 0;
        quit = 0;
        cfg_->quiet = 0;
        cfg_->verbose = 0;
        SDL_SetModState(KMOD_NONE);
        vout_event_handlers = recording;
    }
    void TearDown() override
    {
        vout_event_handlers = vout_default_event_handlers;
    }

    // The window system's own events (activation, exposure) arrive a little
    // after the screen opens; each test starts from a quiet queue.
    static void drain_window_system()
    {
        SDL_Event ev;
        for (int quiet_rounds = 0; quiet_rounds < 3;) {
            SDL_Delay(20);
            SDL_PumpEvents();
            quiet_rounds++;
            while (SDL_PeepEvents(&ev, 1, SDL_GETEVENT, SDL_ALLEVENTS) > 0)
                quiet_rounds = 0;
        }
    }

    static inline CONF *cfg_ = nullptr;
    static inline bool opened_ = false;
};

TEST_F(EventDispatch, EachKindReachesItsHandlerInQueueOrder)
{
    push(key(SDLK_a, KMOD_LCTRL));
    push(motion(300, 200));
    push(button(SDL_BUTTON_LEFT, 10, 20));
    push(button(SDL_BUTTON_RIGHT, 65535, 7)); // coordinates are unsigned
    push(button(SDL_BUTTON_MIDDLE, 5, 6));
    push(of_type(SDL_VIDEOEXPOSE));
    push(active(SDL_APPACTIVE | SDL_APPINPUTFOCUS, 0));
    ASSERT_EQ(push_rctrl_event(0x01020304, reinterpret_cast<void *>(40),
                               reinterpret_cast<void *>(2)),
              1);

    EXPECT_EQ(poll_events(0), 1 + 1 + 2 + 2 + 1 + 1 + 1 + 1);
    const std::vector<std::string> want = {
        str("key", KMOD_LCTRL, SDLK_a),
        "motion 300 200",
        "left 10 20",
        "motion 10 20",
        "right 65535 7",
        "motion 65535 7",
        "motion 5 6", // the middle button only moves the pointer
        "redraw",
        "app 0 0",
        str("rctrl", 0x01020304, 42),
    };
    EXPECT_EQ(calls, want);
    EXPECT_EQ(quit, 0);
    EXPECT_EQ(poll_events(0), 0); // nothing left
}

TEST_F(EventDispatch, WheelStepsActAsArrowKeysShiftTurningThemSideways)
{
    push(button(SDL_BUTTON_WHEELUP, 1, 2));
    push(button(SDL_BUTTON_WHEELDOWN, 3, 4));
    EXPECT_EQ(poll_events(0), 4);
    for (SDLMod shift : {KMOD_LSHIFT, KMOD_RSHIFT}) {
        SDL_SetModState(SDLMod(shift | KMOD_NUM));
        push(button(SDL_BUTTON_WHEELUP, 1, 2));
        push(button(SDL_BUTTON_WHEELDOWN, 3, 4));
        EXPECT_EQ(poll_events(0), 4);
    }
    const long ls = KMOD_LSHIFT | KMOD_NUM, rs = KMOD_RSHIFT | KMOD_NUM;
    const std::vector<std::string> want = {
        "key 0 273",           "motion 1 2", "key 0 274",
        "motion 3 4",          str("key", ls, 275), "motion 1 2",
        str("key", ls, 276),   "motion 3 4", str("key", rs, 275),
        "motion 1 2",          str("key", rs, 276), "motion 3 4",
    };
    EXPECT_EQ(calls, want);
    // A wheel step never quits, whatever the key handler says.
    keydown_result = 0;
    push(button(SDL_BUTTON_WHEELUP, 1, 2));
    EXPECT_EQ(poll_events(0), 2);
    EXPECT_EQ(quit, 0);
}

TEST_F(EventDispatch, ClickOnPopupClosesItAndStillCounts)
{
    popup_open = 1;
    push(button(SDL_BUTTON_LEFT, 30, 40));
    push(button(SDL_BUTTON_LEFT, 50, 60));
    EXPECT_EQ(poll_events(0), 3 + 2);
    const std::vector<std::string> want = {"popup",      "left 30 40",
                                           "motion 30 40", "left 50 60",
                                           "motion 50 60"};
    EXPECT_EQ(calls, want);
}

TEST_F(EventDispatch, QuitEndsTheBatchAndDropsTheRest)
{
    push(motion(1, 1));
    push(of_type(SDL_QUIT));
    push(motion(2, 2));
    push(key(SDLK_q, KMOD_NONE));
    EXPECT_EQ(poll_events(0), 1);
    EXPECT_EQ(quit, 1);
    EXPECT_EQ(calls, std::vector<std::string>{"motion 1 1"});
    EXPECT_EQ(poll_events(0), 0); // the dropped events are gone
    EXPECT_EQ(quit, 1);           // an empty queue leaves quit alone
}

TEST_F(EventDispatch, HandlersRefusingToGoOnSetQuit)
{
    keydown_result = 0;
    push(key(SDLK_ESCAPE, KMOD_NONE));
    push(motion(1, 1));
    EXPECT_EQ(poll_events(0), 0);
    EXPECT_EQ(quit, 1);

    keydown_result = 1;
    rctrl_result = 0;
    push(motion(2, 2));
    ASSERT_EQ(push_rctrl_event(7, nullptr, nullptr), 1);
    push(motion(3, 3));
    EXPECT_EQ(poll_events(0), 1); // quit from before the batch is cancelled
    EXPECT_EQ(quit, 1);
    const std::vector<std::string> want = {str("key", 0, SDLK_ESCAPE),
                                           "motion 2 2", "rctrl 7 0"};
    EXPECT_EQ(calls, want);
}

TEST_F(EventDispatch, UnknownTypesWarnAndFocusChangesAreDroppedSilently)
{
    push(active(SDL_APPMOUSEFOCUS | SDL_APPINPUTFOCUS, 1));
    push(of_type(SDL_VIDEORESIZE));
    ASSERT_EQ(push_event(200, 0, nullptr, nullptr), 0);
    push(motion(4, 4));
    CapturedFd log(2);
    EXPECT_EQ(poll_events(0), 1);
    const std::string text = log.text();
    EXPECT_EQ(calls, std::vector<std::string>{"motion 4 4"});
    EXPECT_NE(text.find("(W) unknown SDL event, type 16 (0x10)"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("(W) unknown SDL event, type 200 (0xc8)"),
              std::string::npos);
    EXPECT_EQ(text.find("type 1 "), std::string::npos);
}

TEST_F(EventDispatch, VerboseLinesNameTheEvents)
{
    tirsklog_level_set(7);
    cfg_->verbose = 2;
    push(active(SDL_APPACTIVE, 1));
    push(of_type(SDL_VIDEOEXPOSE));
    push(of_type(SDL_QUIT));
    std::string text;
    {
        CapturedFd log(2);
        EXPECT_EQ(poll_events(0), 2);
        text = log.text();
    }
    EXPECT_NE(text.find("(D) event SDL_APPACTIVE restored"), std::string::npos)
        << text;
    EXPECT_NE(text.find("(D) event SDL_VIDEOEXPOSE"), std::string::npos);
    EXPECT_NE(text.find("(*) SDL_QUIT"), std::string::npos);

    cfg_->quiet = 1;
    push(of_type(SDL_QUIT));
    {
        CapturedFd log(2);
        poll_events(0);
        text = log.text();
    }
    tirsklog_level_set(4);
    EXPECT_EQ(text, "");
}

TEST_F(EventDispatch, FullQueueRefusesPushesAndOnePollEmptiesIt)
{
    // SDL 1.2 holds at most 127 events, fewer than one batch.
    int queued = 0;
    while (queued < 1000 &&
           push_rctrl_event(uint32_t(queued), nullptr, nullptr) == 1)
        queued++;
    EXPECT_EQ(queued, 127);
    EXPECT_EQ(push_event(SDL_USEREVENT, 1, nullptr, nullptr), -1);
    EXPECT_EQ(push_rctrl_event(1, nullptr, nullptr), 0);

    EXPECT_EQ(poll_events(0), 127);
    ASSERT_EQ(calls.size(), 127u);
    for (int i = 0; i < 127; i++)
        ASSERT_EQ(calls[size_t(i)], str("rctrl", i, 0));
    EXPECT_EQ(push_event(SDL_USEREVENT, 5, nullptr, nullptr), 0);
    EXPECT_EQ(poll_events(0), 1);
}

TEST_F(EventDispatch, PushesFromOtherThreadsAllArrive)
{
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; t++)
        threads.emplace_back([t] {
            for (int i = 0; i < 25; i++)
                push_rctrl_event(uint32_t(t * 100 + i), nullptr, nullptr);
        });
    for (auto &th : threads)
        th.join();
    EXPECT_EQ(poll_events(0), 100);
    EXPECT_EQ(calls.size(), 100u);
    // Each thread's requests keep their order.
    int next[4] = {0, 100, 200, 300};
    for (const std::string &c : calls) {
        const int code = std::stoi(c.substr(6)); // "rctrl <code> 0"
        ASSERT_EQ(code, next[code / 100]) << c;
        next[code / 100]++;
    }
}

} // namespace
