// Opening the real screen on an X server: the screens that are refused;
// event dispatch on the real queue of an open screen (events are pushed as
// other threads push them; the handlers are watched through the dispatch
// table).
#include <string>
#include <vector>

#include "globals.h"
#include "vout_fixture.h"

namespace {

class ScreenSetup : public VoutTest {};

// Sizes beyond the display (also one that would pass as a negative width),
// no size, and a screen without YUV overlays are refused with one clear
// message; exactly the display's size is taken, and fullscreen takes it.
TEST_F(ScreenSetup, ScreensThatCannotShowPicturesAreRefused)
{
    const testsupport::Display small(640, 480), eight(640, 480, 8);
    ASSERT_TRUE(small.ok() && eight.ok());
    const struct {
        const std::string &display;
        u32_size geo;
        const char *message; // null: taken
    } cases[] = {
        {small.name(), {648, 488}, "Unsupported resolution: 648x488 (set by config or cmdline) > 640x480 (current display)\n"},
        {small.name(), {0x80000000u, 480}, "Unsupported resolution: 2147483648x480 "},
        {display, {0, 0}, "Unsupported resolution: 0x0 (set by config or cmdline): "},
        {eight.name(), {640, 480}, "640x480x8 screen cannot show YV12"},
        {small.name(), {640, 480}, nullptr},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::to_string(c.geo.width) + "x" + std::to_string(c.geo.height));
        setenv("DISPLAY", c.display.c_str(), 1);
        cfg->geo = c.geo;
        testsupport::FdCapture err(2);
        EXPECT_EQ(sdl_init(0), !c.message);
        const std::string log = err.take();
        EXPECT_TRUE(!c.message || log.find(c.message) != std::string::npos) << log;
        sdl_fini();
    }
    setenv("DISPLAY", small.name().c_str(), 1);
    cfg->geo = {1920, 1080};
    cfg->fullscreen = 1;
    ASSERT_EQ(sdl_init(0), 1);
    EXPECT_EQ(vout_sdl.width * 10000 + vout_sdl.height, 6400480);
    EXPECT_NE(screen->flags & SDL_FULLSCREEN, 0u);
    sdl_fini(); // while its server still runs
}

using Calls = std::vector<std::string>;
Calls calls;
int keydown_result, rctrl_result;

void note(const char *what, long a, long b) { calls.push_back(std::string(what) + " " + std::to_string(a) + " " + std::to_string(b)); }

const event_handlers recording = {
    .have_keydown = [](uint32_t m, uint32_t k) { return note("key", m, k), keydown_result; },
    .mouse_motion = [](int x, int y) { note("motion", x, y); },
    .mouse_press_left = [](int x, int y) { note("left", x, y); },
    .mouse_press_right = [](int x, int y) { note("right", x, y); },
    .redraw_wins = []() { return note("redraw", 0, 0), 0; },
    .hide_restore_application = [](int gained) { note("app", gained, 0); },
    .get_rctrl_evt_sync = [](uint32_t code, void *d1, void *) {
        return note("rctrl", code, reinterpret_cast<long>(d1)), rctrl_result;
    },
    .popup_close = []() { return 0; },
};

// An event of the type with up to three fields set by kind; type 0 is a
// remote-control event (code a).
struct Ev {
    Uint8 type;
    int a = 0, b = 0, c = 0;
};

void push(const Ev &e)
{
    if (!e.type) {
        ASSERT_EQ(push_rctrl_event(uint32_t(e.a), reinterpret_cast<void *>(long(e.b)), nullptr), 1);
        return;
    }
    SDL_Event ev = {};
    ev.type = e.type;
    if (e.type == SDL_KEYDOWN)
        ev.key.keysym.sym = SDLKey(e.a), ev.key.keysym.mod = SDLMod(e.b);
    else if (e.type == SDL_MOUSEMOTION)
        ev.motion.x = Uint16(e.a), ev.motion.y = Uint16(e.b);
    else if (e.type == SDL_MOUSEBUTTONDOWN)
        ev.button.button = Uint8(e.a), ev.button.x = Uint16(e.b), ev.button.y = Uint16(e.c);
    else if (e.type == SDL_ACTIVEEVENT)
        ev.active.state = Uint8(e.a), ev.active.gain = Uint8(e.b);
    ASSERT_EQ(SDL_PushEvent(&ev), 0);
}

class EventDispatch : public VoutTest {
protected:
    void SetUp() override
    {
        VoutTest::SetUp();
        ASSERT_EQ(sdl_init(0), 1);
        // The window system's own events (activation, exposure) come a
        // little after the screen opens: start from a queue quiet for 60 ms.
        SDL_Event ev;
        for (int quiet = 0; quiet < 3; quiet++) {
            SDL_Delay(20);
            SDL_PumpEvents();
            while (SDL_PeepEvents(&ev, 1, SDL_GETEVENT, SDL_ALLEVENTS) > 0)
                quiet = 0;
        }
        vout_event_handlers = recording;
    }
    void TearDown() override
    {
        vout_event_handlers = vout_default_event_handlers;
        quit = 0;
        SDL_SetModState(KMOD_NONE);
        VoutTest::TearDown();
    }
};

} // namespace

// Each kind of event reaches its handler in queue order (a click is also a
// motion; a wheel step is an arrow key, sideways with Shift); a quit event,
// or a handler refusing to go on, ends the batch and drops the rest.
TEST_F(EventDispatch, EventsReachTheirHandlersInOrderUntilAQuit)
{
    const struct {
        const char *name;
        SDLMod mod;
        std::vector<Ev> events;
        int handler_result, handled, quit;
        Calls want;
    } cases[] = {
        {"every kind", KMOD_NONE,
         {{SDL_KEYDOWN, SDLK_a, KMOD_LCTRL}, {SDL_MOUSEMOTION, 300, 200}, {SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 10, 20},
          {SDL_MOUSEBUTTONDOWN, SDL_BUTTON_RIGHT, 65535, 7}, {SDL_MOUSEBUTTONDOWN, SDL_BUTTON_MIDDLE, 5, 6},
          {SDL_VIDEOEXPOSE}, {SDL_ACTIVEEVENT, SDL_APPACTIVE | SDL_APPINPUTFOCUS, 0}, {0, 0x01020304, 42}},
         1, 10, 0,
         {"key 64 97", "motion 300 200", "left 10 20", "motion 10 20", "right 65535 7", "motion 65535 7",
          "motion 5 6", "redraw 0 0", "app 0 0", "rctrl 16909060 42"}},
        {"wheel", KMOD_NONE, {{SDL_MOUSEBUTTONDOWN, SDL_BUTTON_WHEELUP, 1, 2}, {SDL_MOUSEBUTTONDOWN, SDL_BUTTON_WHEELDOWN, 3, 4}},
         1, 4, 0, {"key 0 273", "motion 1 2", "key 0 274", "motion 3 4"}},
        {"wheel with shift", KMOD_RSHIFT, {{SDL_MOUSEBUTTONDOWN, SDL_BUTTON_WHEELUP, 1, 2}, {SDL_MOUSEBUTTONDOWN, SDL_BUTTON_WHEELDOWN, 3, 4}},
         1, 4, 0, {"key 2 275", "motion 1 2", "key 2 276", "motion 3 4"}},
        {"a wheel step never quits", KMOD_NONE, {{SDL_MOUSEBUTTONDOWN, SDL_BUTTON_WHEELUP, 1, 2}}, 0, 2, 0,
         {"key 0 273", "motion 1 2"}},
        {"quit", KMOD_NONE, {{SDL_MOUSEMOTION, 1, 1}, {SDL_QUIT}, {SDL_MOUSEMOTION, 2, 2}}, 1, 1, 1, {"motion 1 1"}},
        {"refused key", KMOD_NONE, {{SDL_MOUSEMOTION, 3, 3}, {SDL_KEYDOWN, SDLK_ESCAPE, 0}, {SDL_MOUSEMOTION, 4, 4}},
         0, 1, 1, {"motion 3 3", "key 0 27"}},
        {"refused remote request", KMOD_NONE, {{0, 7, 0}, {SDL_MOUSEMOTION, 5, 5}}, 0, 0, 1, {"rctrl 7 0"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        calls.clear();
        quit = 0;
        keydown_result = rctrl_result = c.handler_result;
        SDL_SetModState(c.mod);
        for (const Ev &e : c.events)
            push(e);
        EXPECT_EQ(poll_events(0), c.handled);
        EXPECT_EQ(quit, c.quit);
        EXPECT_EQ(poll_events(0), 0) << "the rest dropped";
        EXPECT_EQ(quit, c.quit) << "an empty queue keeps quit";
        EXPECT_EQ(calls, c.want);
    }
}
