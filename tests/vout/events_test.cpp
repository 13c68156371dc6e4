// Event dispatch on the real queue of an open screen: events are pushed as
// other threads push them; the handlers are watched through the dispatch
// table.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "globals.h"
#include "vout_fixture.h"

namespace
{

std::vector<std::string> calls;
int keydown_result, rctrl_result, popup_open;

void note(const char *what, long a, long b)
{
    calls.push_back(std::string(what) + " " + std::to_string(a) + " " +
                    std::to_string(b));
}

const event_handlers recording = {
    .have_keydown =
        [](uint32_t m, uint32_t k) {
            return note("key", m, k), keydown_result;
        },
    .mouse_motion = [](int x, int y) { note("motion", x, y); },
    .mouse_press_left = [](int x, int y) { note("left", x, y); },
    .mouse_press_right = [](int x, int y) { note("right", x, y); },
    .redraw_wins = []() { return note("redraw", 0, 0), 0; },
    .hide_restore_application = [](int gained) { note("app", gained, 0); },
    .get_rctrl_evt_sync =
        [](uint32_t code, void *d1, void *) {
            return note("rctrl", code, reinterpret_cast<long>(d1)),
                   rctrl_result;
        },
    .popup_close =
        []() {
            if (!popup_open)
                return 0;
            popup_open = 0;
            note("popup", 0, 0);
            return 1;
        },
};

// Pushes an event of the type with up to three fields set by kind.
void push(Uint8 type, int a = 0, int b = 0, int c = 0)
{
    SDL_Event ev = {};
    ev.type = type;
    switch (type) {
    case SDL_KEYDOWN:
        ev.key.keysym.sym = SDLKey(a), ev.key.keysym.mod = SDLMod(b);
        break;
    case SDL_MOUSEMOTION:
        ev.motion.x = Uint16(a), ev.motion.y = Uint16(b);
        break;
    case SDL_MOUSEBUTTONDOWN:
        ev.button.button = Uint8(a), ev.button.x = Uint16(b),
        ev.button.y = Uint16(c);
        break;
    case SDL_ACTIVEEVENT:
        ev.active.state = Uint8(a), ev.active.gain = Uint8(b);
        break;
    }
    ASSERT_EQ(SDL_PushEvent(&ev), 0);
}

using Calls = std::vector<std::string>;

class EventDispatch : public VoutTest
{
  protected:
    void SetUp() override
    {
        VoutTest::SetUp();
        ASSERT_EQ(sdl_init(0), 1);
        // The window system's own events (activation, exposure) come a
        // little after the screen opens: start from a quiet queue.
        SDL_Event ev;
        for (int quiet = 0; quiet < 3; quiet++) {
            SDL_Delay(20);
            SDL_PumpEvents();
            while (SDL_PeepEvents(&ev, 1, SDL_GETEVENT, SDL_ALLEVENTS) > 0)
                quiet = 0;
        }
        calls.clear();
        keydown_result = rctrl_result = 1;
        popup_open = quit = 0;
        vout_event_handlers = recording;
    }
    void TearDown() override
    {
        vout_event_handlers = vout_default_event_handlers;
        VoutTest::TearDown();
    }
};

TEST_F(EventDispatch, EachKindReachesItsHandlerInQueueOrder)
{
    push(SDL_KEYDOWN, SDLK_a, KMOD_LCTRL);
    push(SDL_MOUSEMOTION, 300, 200);
    push(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 10, 20);
    push(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_RIGHT, 65535, 7);
    push(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_MIDDLE, 5, 6);
    push(SDL_VIDEOEXPOSE);
    push(SDL_ACTIVEEVENT, SDL_APPACTIVE | SDL_APPINPUTFOCUS, 0);
    ASSERT_EQ(
        push_rctrl_event(0x01020304, reinterpret_cast<void *>(42), nullptr), 1);
    EXPECT_EQ(poll_events(0), 1 + 1 + 2 + 2 + 1 + 1 + 1 + 1);
    EXPECT_EQ(calls, (Calls{"key 64 97", "motion 300 200", "left 10 20",
                            "motion 10 20", "right 65535 7", "motion 65535 7",
                            "motion 5 6", "redraw 0 0", "app 0 0",
                            "rctrl 16909060 42"}));
    EXPECT_EQ(poll_events(0), 0);
}

TEST_F(EventDispatch, WheelStepsAreArrowKeysShiftTurnsThemSideways)
{
    for (SDLMod mod : {KMOD_NONE, KMOD_LSHIFT, KMOD_RSHIFT}) {
        SDL_SetModState(mod);
        push(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_WHEELUP, 1, 2);
        push(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_WHEELDOWN, 3, 4);
        EXPECT_EQ(poll_events(0), 4);
    }
    EXPECT_EQ(calls,
              (Calls{"key 0 273", "motion 1 2", "key 0 274", "motion 3 4",
                     "key 1 275", "motion 1 2", "key 1 276", "motion 3 4",
                     "key 2 275", "motion 1 2", "key 2 276", "motion 3 4"}));
    keydown_result = 0; // a wheel step never quits
    push(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_WHEELUP, 1, 2);
    EXPECT_EQ(poll_events(0), 2);
    EXPECT_EQ(quit, 0);
}

TEST_F(EventDispatch, QuitEndsTheBatchAndDropsTheRest)
{
    push(SDL_MOUSEMOTION, 1, 1);
    push(SDL_QUIT);
    push(SDL_MOUSEMOTION, 2, 2);
    EXPECT_EQ(poll_events(0), 1);
    EXPECT_EQ(quit, 1);
    EXPECT_EQ(poll_events(0), 0); // dropped, and an empty queue keeps quit
    EXPECT_EQ(quit, 1);

    keydown_result = 0;          // a handler refusing to go on quits too
    push(SDL_MOUSEMOTION, 3, 3); // ... and waiting events cancel the old quit
    push(SDL_KEYDOWN, SDLK_ESCAPE, 0);
    push(SDL_MOUSEMOTION, 4, 4);
    EXPECT_EQ(poll_events(0), 1);
    rctrl_result = 0;
    push_rctrl_event(7, nullptr, nullptr);
    push(SDL_MOUSEMOTION, 5, 5);
    EXPECT_EQ(poll_events(0), 0);
    EXPECT_EQ(quit, 1);
    EXPECT_EQ(calls,
              (Calls{"motion 1 1", "motion 3 3", "key 0 27", "rctrl 7 0"}));
}

TEST_F(EventDispatch, FullQueueRefusesPushesAndOnePollEmptiesIt)
{
    // SDL 1.2 holds at most 127 events, fewer than one batch of 128.
    int queued = 0;
    while (queued < 1000 &&
           push_rctrl_event(uint32_t(queued), nullptr, nullptr))
        queued++;
    EXPECT_EQ(queued, 127);
    EXPECT_EQ(push_event(SDL_USEREVENT, 1, nullptr, nullptr), -1);
    EXPECT_EQ(poll_events(0), 127);
    ASSERT_EQ(calls.size(), 127u);
    EXPECT_EQ(calls[126], "rctrl 126 0");
    EXPECT_EQ(push_event(SDL_USEREVENT, 1, nullptr, nullptr), 0);
}

} // namespace
