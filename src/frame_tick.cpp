// The frame tick: the one periodic work source of the main loop.
#include <glib.h>

#include "conf.h"
#include "globals.h"
#include "monitor.h"
#include "rctrl.h"
#include "vout.h"

namespace {

gboolean end_loop()
{
    if (main_loop)
        g_main_loop_quit(main_loop);
    return FALSE;
}

} // namespace

extern "C" int cb_frame_tick(void *)
{
    const int64_t now = tick_clock();
    g_monotime_microsec = now;

    int r = vout && vout->poll_events ? vout->poll_events(now) : 0;
    if (r < 0 || quit)
        return end_loop();
    int changes = r;
    // Remote-control requests executed as they came since the last tick
    // may have drawn; the status document follows what is shown.
    changes += rctrl_tick();

    // Sources are looked at on every tick, so that a frame waits for at
    // most one tick: polling only `framerate` times a second fell on the
    // tick grid every one or two ticks, and 25 fps devices then waited up
    // to two ticks, their frames queueing up.  The frame-rate limit is
    // kept per source by poll_wins_sources.
    r = poll_wins_sources(now);
    if (r < 0 || quit)
        return end_loop();
    changes += r;
    last_poll_usec = now;
    if (quit)
        return end_loop();

    if (now - last_timers_usec > 999999) {
        r = cb_one_sec_timers(now);
        if (r < 0 || quit)
            return end_loop();
        changes += r;
        last_timers_usec = g_monotime_microsec;
    }

    if (changes && vout && vout->flip)
        vout->flip();
    return TRUE;
}

extern "C" int64_t tick_clock(void)
{
    return g_get_monotonic_time() - g_blocked_usec;
}

// Interval of the tick in milliseconds: framerate + 10 Hz, at least 15 Hz.
extern "C" unsigned frame_tick_interval_ms(unsigned framerate)
{
    return 1000 / ((framerate > 5 ? framerate : 5) + 10);
}
