// Event dispatch: drains the library's queue once per frame tick and hands
// each event to keyboard, mouse, window and remote-control handling; and the
// two ways into the queue, which any thread may use.
#include "conf.h"
#include "globals.h"
#include "monitor.h"
#include "rctrl.h"
#include "vout/draw_util.h"
#include "vout/sdl_private.h"

extern "C" {

constexpr event_handlers vout_default_event_handlers = {
    .have_keydown = have_keydown,
    .mouse_motion = mouse_motion,
    .mouse_press_left = mouse_press_left,
    .mouse_press_right = mouse_press_right,
    .redraw_wins = redraw_wins,
    .hide_restore_application = hide_restore_application,
    .get_rctrl_evt_sync = get_rctrl_evt_sync,
    .popup_close = popup_close,
};

constinit event_handlers vout_event_handlers = vout_default_event_handlers;

} // extern "C"

namespace {

SDL_Event batch[VOUT_EVENT_BATCH];

// A wheel step moves the selection like an arrow key: up/down, or with
// Shift right/left.
uint32_t wheel_key(uint8_t button, SDLMod mod)
{
    const bool shift = (mod & (KMOD_LSHIFT | KMOD_RSHIFT)) != 0;
    if (button == SDL_BUTTON_WHEELUP)
        return shift ? SDLK_RIGHT : SDLK_UP;
    return shift ? SDLK_LEFT : SDLK_DOWN;
}

int mouse_button(const event_handlers &h, const SDL_MouseButtonEvent &b)
{
    int handled = 0;
    // A click first takes the popup away, then counts as a click.
    if (h.popup_close())
        handled++;
    switch (b.button) {
    case SDL_BUTTON_LEFT:
        h.mouse_press_left(b.x, b.y);
        handled++;
        break;
    case SDL_BUTTON_RIGHT:
        h.mouse_press_right(b.x, b.y);
        handled++;
        break;
    case SDL_BUTTON_WHEELUP:
    case SDL_BUTTON_WHEELDOWN: {
        const SDLMod mod = SDL_GetModState();
        h.have_keydown(mod, wheel_key(b.button, mod));
        handled++;
        break;
    }
    default:
        break;
    }
    h.mouse_motion(b.x, b.y);
    return handled + 1;
}

int dispatch(const event_handlers &h, const SDL_Event &ev)
{
    switch (ev.type) {
    case SDL_ACTIVEEVENT:
        if (!(ev.active.state & SDL_APPACTIVE))
            return 0; // mouse or input focus only
        if (verbose_at(2))
            tirsklog_r(nullptr, 7, "(D) event SDL_APPACTIVE %s\n",
                       ev.active.gain ? "restored" : "iconified");
        h.hide_restore_application(ev.active.gain);
        return 1;
    case SDL_KEYDOWN:
        if (h.have_keydown(ev.key.keysym.mod, ev.key.keysym.sym))
            return 1;
        quit = 1;
        return 0;
    case SDL_MOUSEMOTION:
        h.mouse_motion(ev.motion.x, ev.motion.y);
        return 1;
    case SDL_MOUSEBUTTONDOWN:
        return mouse_button(h, ev.button);
    case SDL_QUIT:
        if (verbose_at(1))
            tirsklog_r(nullptr, 6, "(*) %s\n", "SDL_QUIT");
        quit = 1;
        return 0;
    case SDL_VIDEOEXPOSE:
        if (verbose_at(2))
            tirsklog_r(nullptr, 7, "(D) event %s\n", "SDL_VIDEOEXPOSE");
        h.redraw_wins();
        return 1;
    case SDL_USEREVENT:
        if (h.get_rctrl_evt_sync(uint32_t(ev.user.code), ev.user.data1,
                                 ev.user.data2))
            return 1;
        quit = 1;
        return 0;
    default:
        tirsklog_r(nullptr, 4, "(W) unknown SDL event, type %u (0x%x)\n",
                   unsigned(ev.type), unsigned(ev.type));
        return 0;
    }
}

} // namespace

extern "C" int poll_events(int64_t)
{
    /* Pictures drawn since the last flip, outside the tick's own drawing. */
    screen_updates_flush();
    SDL_PumpEvents();
    const int n = SDL_PeepEvents(batch, VOUT_EVENT_BATCH, SDL_GETEVENT,
                                 SDL_ALLEVENTS);
    if (n < 0) {
        tirsklog_r(nullptr, 3, "SDL_PeepEvents() failed: %s\n", SDL_GetError());
        return -1;
    }
    if (n == 0)
        return 0;

    // Waiting events cancel a quit asked for outside the frame tick.
    quit = 0;
    int handled = 0;
    const event_handlers h = vout_event_handlers;
    for (int i = 0; i < n; i++) {
        handled += dispatch(h, batch[i]);
        if (quit)
            break; // the rest of the batch is dropped
    }
    return handled;
}

extern "C" int push_event(uint8_t type, int code, void *data1, void *data2)
{
    SDL_Event ev = {};
    ev.user.type = type;
    ev.user.code = code;
    ev.user.data1 = data1;
    ev.user.data2 = data2;
    return SDL_PushEvent(&ev) == 0 ? 0 : -1;
}

extern "C" int push_rctrl_event(uint32_t code, void *data1, void *data2)
{
    SDL_Event ev = {};
    ev.user.type = SDL_USEREVENT;
    ev.user.code = int(code);
    ev.user.data1 = data1;
    ev.user.data2 = data2;
    return SDL_PushEvent(&ev) == 0 ? 1 : 0;
}
