// The once-a-second work of the frame tick: the log clock and the cursor,
// fullscreen and camera-name time-outs.
#include <stdint.h>
#include <sys/time.h>

#include "conf.h"
#include "globals.h"
#include "monitor.h"
#include "vout.h"

namespace {

constexpr int64_t USEC = 1000000;

int64_t seconds_us(uint32_t s) { return int64_t(s) * USEC; }

void update_log_clock()
{
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    tirsklog_update_time_r(int64_t(tv.tv_sec) * USEC + tv.tv_usec, INT64_MIN);
}

void cursor_timeout(int64_t now)
{
    if (conf->no_mouse || !cursor_shown || !conf->cursor_timeout)
        return;
    if (now - cursor_since > seconds_us(conf->cursor_timeout)) {
        cursor_shown = 0;
        if (vout && vout->show_cursor)
            vout->show_cursor(0);
    }
}

int fullscreen_timeout(int64_t now)
{
    if (g_fsWinIdx < 0 || !conf->fs_timeout)
        return 0;
    if (now - int64_t(fs_since) <= seconds_us(conf->fs_timeout))
        return 0;
    fullscreen_to_layout();
    return 1;
}

// A name stays while the window's picture is not running: its camera is
// alarmed, or the stream it shows (or, before the first stream came up, the
// one it waits for) has no picture yet or has lost its signal.
bool name_must_stay(const window &w)
{
    if (w.cam->alarm)
        return true;
    if (w.state & (WS_WT | WS_CF | WS_SF))
        return true;
    const int idx = w.cur_src >= 0 ? w.cur_src : w.target_src;
    if (idx < 0 || idx >= w.cam->nsrcs || idx >= CAM_MAX_SRCS)
        return w.cur_src < 0;
    const media_source &s = w.cam->srcs[idx];
    return !s.started || s.no_signal;
}

int camname_timeout(int64_t now)
{
    if (!conf->camname_timeout)
        return 0;
    const int64_t limit = seconds_us(conf->camname_timeout);
    int changes = 0;
    for (window &w : windows) {
        if (!w.cam || !(w.state & WS_DN) || name_must_stay(w))
            continue;
        const uint64_t *since = when_win_state_changed_mono(&w, WS_DN);
        if (since && now - int64_t(*since) > limit) {
            winStateReset(&w, WS_DN);
            changes++;
        }
    }
    return changes;
}

} // namespace

extern "C" int cb_one_sec_timers(int64_t now)
{
    update_log_clock();
    if (!conf)
        return 0;
    cursor_timeout(now);
    int changes = fullscreen_timeout(now);
    changes += camname_timeout(now);
    return changes;
}
