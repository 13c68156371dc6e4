// The SDL video output: its operations table, the module state shared by the
// files of src/vout, and the three exported wrappers.
#include <cstddef>

#include "globals.h"
#include "vout/sdl_private.h"

extern "C" {

SDL_Surface *screen;
uint32_t overlay_format = SDL_YV12_OVERLAY;
SDL_Surface *icon;
SDL_Cursor *cursor;
int32_t cursor_state;
SDL_Surface *popup_win_bg;
SDL_Rect popup_rect;
SDL_Surface *popup_lines[POPUP_MAX_LINES + 1];
char flags_text[200];

int32_t cursor_shown;
int64_t cursor_since;

// Writable: init stores the size of the screen it opened.
constinit video_out vout_sdl = {
    .name = "SDL",
    .width = 648,
    .height = 488,
    .init = sdl_init,
    .fini = sdl_fini,
    .test = sdl_test,
    .poll_events = poll_events,
    .push_event = push_event,
    .show_cursor = show_cursor,
    .popup_text = popup_text,
    .popup_close = popup_close,
    .alloc_playback_resources = alloc_playback_resources,
    .free_playback_resources = free_playback_resources,
    .show_frame = show_frame,
    .check_playback_resources = check_playback_resources,
    .redisplay_win = redisplay_win,
    .draw_win = draw_win,
    .fill_win = fill_win,
    .draw_border = draw_border,
    .win_pause = win_pause,
    .win_alarm = win_alarm,
    .win_caption = win_caption,
    .win_status = win_status,
    .free_win_surfaces = free_win_surfaces,
    .flip = flip,
    .win_snapshot = win_snapshot,
    .screen_snapshot = screen_snapshot,
    .push_rctrl_event = push_rctrl_event,
};

constinit video_out *vout = nullptr;

} // extern "C"

// The table is a fixed interface: the 25 slots follow the three data fields
// back to back, in this order.
#define SLOT_AT(field, n)                                                      \
    static_assert(offsetof(video_out, field) ==                                \
                      offsetof(video_out, init) + ((n) - 1) * sizeof(void *),  \
                  "slot " #n " must be " #field)
static_assert(offsetof(video_out, name) == 0);
static_assert(offsetof(video_out, width) == sizeof(void *));
static_assert(offsetof(video_out, height) == sizeof(void *) + 4);
SLOT_AT(init, 1);
SLOT_AT(fini, 2);
SLOT_AT(test, 3);
SLOT_AT(poll_events, 4);
SLOT_AT(push_event, 5);
SLOT_AT(show_cursor, 6);
SLOT_AT(popup_text, 7);
SLOT_AT(popup_close, 8);
SLOT_AT(alloc_playback_resources, 9);
SLOT_AT(free_playback_resources, 10);
SLOT_AT(show_frame, 11);
SLOT_AT(check_playback_resources, 12);
SLOT_AT(redisplay_win, 13);
SLOT_AT(draw_win, 14);
SLOT_AT(fill_win, 15);
SLOT_AT(draw_border, 16);
SLOT_AT(win_pause, 17);
SLOT_AT(win_alarm, 18);
SLOT_AT(win_caption, 19);
SLOT_AT(win_status, 20);
SLOT_AT(free_win_surfaces, 21);
SLOT_AT(flip, 22);
SLOT_AT(win_snapshot, 23);
SLOT_AT(screen_snapshot, 24);
SLOT_AT(push_rctrl_event, 25);
static_assert(sizeof(video_out) ==
              offsetof(video_out, init) + 25 * sizeof(void *));
#undef SLOT_AT

extern "C" int vout_init(int kind)
{
    // One output per process: there is no reopening after a fini.
    if (vout != nullptr || kind != 0)
        return 0;
    cursor_shown = 1;
    vout = &vout_sdl;
    cursor_since = g_monotime_microsec;
    // vout stays set after a failed init so that vout_fini still cleans up.
    return vout->init(kind);
}

extern "C" int vout_fini(void)
{
    if (vout == nullptr)
        return 0;
    popup_close();
    return vout->fini();
}

extern "C" int vout_test(int mode)
{
    if (vout == nullptr)
        return 0;
    return vout->test(mode);
}
