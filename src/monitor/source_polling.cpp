// Polling every window's sources once per frame: frames to the screen,
// stream switches completed, failures noticed and streams restarted.
#include <algorithm>

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>

#include "conf.h"
#include "globals.h"
#include "monitor.h"
#include "vout.h"

namespace {

// The frame-rate limit of each window's sources: a source may take
// `framerate` frames a second on average, with credit for one frame that
// comes early after a late one (frames and ticks do not keep step).
struct rate_credit {
    int64_t at;
    double credit;
};
rate_credit credits[WINDOWS_COUNT][CAM_MAX_SRCS];

bool may_take_frame(int wi, int j, int64_t now)
{
    rate_credit &c = credits[wi][j];
    const double fps = conf->framerate ? double(conf->framerate) : 1.0;
    // A clock that went back (a new run of the tick clock) starts afresh.
    const int64_t elapsed = now - c.at;
    c.credit = elapsed < 0 ? 2.0 : std::min(2.0, c.credit + double(elapsed) * fps / 1e6);
    c.at = now;
    return c.credit >= 1.0;
}

const char *format_name(uint32_t f)
{
    return f == MEDIA_FMT_YV12 ? "YV12" : f == MEDIA_FMT_I420 ? "IYUV" : "monochrome";
}

const char *reason_name(int reason)
{
    return reason == 0 ? "error" : reason == 1 ? "read timeout" : "open timeout";
}

media_source *cur_source(window *w)
{
    if (w->cur_src < 0 || w->cur_src >= w->cam->nsrcs)
        return nullptr;
    return &w->cam->srcs[w->cur_src];
}

// The window's cell in the current layout.
const layout_cell *layout_cell_of(int win_index)
{
    if (cur_layout < 0 || cur_layout >= MAX_LAYOUTS)
        return nullptr;
    const layout_def *def = conf->layouts[cur_layout].def;
    if (!def || win_index >= def->wins)
        return nullptr;
    return &def->cells[win_index];
}

// The window's rectangles for the stream of s: its layout cell, or the
// whole screen for the fullscreen window.  -1 when the geometry fails.
int fit_window(int wi, window *w, media_source *s, aspect_pair &target)
{
    if (g_fsWinIdx != wi) {
        const layout_cell *cell = layout_cell_of(wi);
        if (cell)
            update_win_rects(w, cell, &layout_base_cell, &target, s);
        return 1;
    }
    vout->fill_win(nullptr, 0, 0, 0);
    base_cell fs;
    if (!get_layout_base_cell_rects(onecam_layout_def, uint32_t(vout->width),
                                    uint32_t(vout->height), s->width, s->height, &target,
                                    &fs)) {
        tirsklog_r(nullptr, LOG_ERR, "cacl_layout_base_cell(win#%u) failed\n",
                   unsigned(wi + 1));
        return -1;
    }
    update_win_rects(w, &onecam_layout_def->cells[0], &fs, &target, s);
    return 1;
}

// First frame of a run of s (index j) in window w.  Returns -1 to end the
// program, else the number of changes; *show tells whether the frame may be
// shown.
int first_frame(int wi, window *w, media_source *s, int j,
                const media_frame &frame)
{
    camera *cam = w->cam;
    media_source *cur = cur_source(w);
    tirsklog_r(&s->log, LOG_INFO, "%splayback started %ux%u %s (target %d)\n",
               j == w->cur_src ? "cur. " : "", frame.width, frame.height,
               format_name(frame.format), w->target_src);
    if (j != w->cur_src && j != w->target_src) {
        tirsklog_r(&w->log, LOG_INFO, "stop unused source #%d (cur/target = %d/%d)",
                   j, w->cur_src, w->target_src);
        sorce_stop_and_wait(s);
        return 1;
    }
    s->started = 1;
    s->t_started = uint64_t(g_monotime_microsec);

    const uint32_t geo[3] = {frame.format, frame.width, frame.height};
    if (!vout->check_playback_resources(s, geo)) {
        s->format = frame.format;
        s->width = frame.width;
        s->height = frame.height;
        aspect_pair a;
        calc_aspect(s->width, s->height, &a);
        s->aspect_w = a.num;
        s->aspect_h = a.den;
        if (!vout->alloc_playback_resources(s)) {
            tirsklog_r(&s->log, LOG_ERR,
                       "could not allocate video output resource\n%s", "");
            sorce_stop_and_wait(s);
            return -1;
        }
    }
    if (cur && w->target_src == j && cur->index != j && is_source_playing(cur)) {
        tirsklog_r(&w->log, LOG_INFO,
                   "stop previous source #%d (cur/target = %d/%d)", cur->index,
                   w->cur_src, w->target_src);
        sorce_stop_and_wait(cur);
    }

    aspect_pair target;
    set_target_video_aspect(s, &target);
    tirsklog_r(&s->log, LOG_DEBUG,
               "media_open winIdx/fsIdx %d/%d, aspect new|target = %d:%d | "
               "%d:%d\n",
               wi, g_fsWinIdx, int(s->aspect_w), int(s->aspect_h),
               int(target.num), int(target.den));

    // The current source is fitted anew at every start too: it may come
    // back with another size, or have been adopted while still starting
    // (rectangles then belong to the stream shown before), and would stay
    // squeezed into the old rectangles.
    if (w->target_src == j || j == w->cur_src) {
        if (fit_window(wi, w, s, target) < 0) {
            // Only the fullscreen window can fail to fit (its stream may
            // have any size): that stream is given up, not the viewer.
            // Stopping it frees its overlay, so the frame is not shown.
            sorce_stop_and_wait(s);
            fullscreen_to_layout();
            fullscreen_refused(wi);
            return 1;
        }
        vout->draw_win(w);
        if (w->target_src == j) {
            winStateReset(w, WS_MO);
            w->cur_src = j;
            w->target_src = -1;
        }
    }
    winStateReset(w, WS_CF | WS_SF | WS_WT);
    (void)cam;
    return 1;
}

} // namespace

extern "C" const char *local_lock_dir(void)
{
    const char *dir = getenv("TIRSK_LOCK_DIR");
    return dir && dir[0] ? dir : LOCAL_LOCK_DIR;
}

extern "C" int check_local_server(const char *db, int n)
{
    char path[1024];
    int len = snprintf(path, sizeof path, "%s/DB:%s..cam%.2d", local_lock_dir(),
                       db ? db : "", n);
    if (len < 0 || size_t(len) >= sizeof path)
        return 0;
    // The lock directory may be writable by others: a FIFO planted there
    // would block a plain open() for good, a link could point at a device.
    // Only a regular file of our own choosing is read, and only its start.
    int fd;
    do
        fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return 0;
    struct stat fst;
    char buf[21] = {0};
    ssize_t r = -1;
    if (fstat(fd, &fst) == 0 && S_ISREG(fst.st_mode)) {
        do
            r = read(fd, buf, 20);
        while (r < 0 && errno == EINTR);
    }
    close(fd);
    if (r <= 0)
        return 0;
    errno = 0;
    char *end = nullptr;
    long pid = strtol(buf, &end, 10);
    if (errno == ERANGE || end == buf || pid < 2 || pid > INT_MAX)
        return 0;
    char proc[64];
    snprintf(proc, sizeof proc, "/proc/%ld/status", pid);
    struct stat st;
    return stat(proc, &st) == 0 ? 1 : 0;
}

extern "C" void set_src_fail_state(window *w, const char *uri)
{
    winStateReset(w, WS_WT);
    // The cause is judged afresh at every failure: a recording server that
    // came back (or went away) since the last one changes the label, which
    // would otherwise keep the first cause until the next picture.
    // The new cause is set before the old one goes, so that a change of
    // cause is never taken for a recovery.
    if (!uri || uri[0] != '/' ||
        check_local_server(conf->db_name, w->cam ? w->cam->nr : 0) == 1) {
        winStateSet(w, WS_CF);
        winStateReset(w, WS_SF);
    } else {
        winStateSet(w, WS_SF);
        winStateReset(w, WS_CF);
    }
}

extern "C" void win_src_failed(window *w, media_source *s, int reason)
{
    media_source *cur = cur_source(w);
    tirsklog_r(&s->log, LOG_INFO, "%splayback %s by %s (target %d)\n",
               w->cur_src == s->index ? "cur. " : "",
               s->started ? "stopped" : "failed", reason_name(reason),
               w->target_src);
    const bool had_started = s->started != 0;
    sorce_stop_and_wait(s);
    s->t_fail = uint64_t(g_monotime_microsec);
    // A stream the window no longer wants says nothing of what it shows.
    if (s->index != w->cur_src && s->index != w->target_src)
        return;
    if (w->target_src >= 0) {
        if (w->target_src != s->index)
            return;
        if (cur && cur != s)
            sorce_stop_and_wait(cur);
        w->cur_src = s->index;
        w->target_src = -1;
        if (reason != 0 || had_started)
            set_src_fail_state(w, s->uri);
        return;
    }
    set_src_fail_state(w, s->uri);
}

extern "C" int poll_wins_sources(int64_t now)
{
    if (!conf || !vout)
        return 0;
    int changes = 0;
    const int64_t no_signal_us = int64_t(conf->no_signal) * 1000000;
    const int64_t reconnect_us = int64_t(conf->reconnect_timeout) * 1000;
    // In 64 bits: a no-signal time of days must not wrap into a short or
    // negative (disabled) read time-out.
    const int64_t timeout64 = int64_t(conf->no_signal) * 1000;
    const int timeout_ms = timeout64 > INT_MAX ? INT_MAX : int(timeout64);

    for (int wi = 0; wi < WINDOWS_COUNT; wi++) {
        window *w = &windows[wi];
        for (int j = 0; w->cam && j < w->cam->nsrcs && j < CAM_MAX_SRCS; j++) {
            media_source *s = &w->cam->srcs[j];
            if (!s->handle)
                continue;

            if (j == w->cur_src && is_source_stopped(s)) {
                if (now - int64_t(s->t_fail) > no_signal_us) {
                    // The source was stopped already: reporting it again
                    // is no new stop and must not put the restart off,
                    // or a no-signal time shorter than the reconnect
                    // time-out would never let it restart.
                    const uint64_t stopped_at = s->t_stop;
                    win_src_failed(w, s, 2);
                    s->t_stop = stopped_at;
                    changes++;
                }
                const int64_t last = int64_t(s->t_stop > s->t_play ? s->t_stop
                                                                   : s->t_play);
                if (now - last > reconnect_us)
                    source_play(s);
                continue;
            }

            if (!may_take_frame(wi, j, now))
                continue;
            media_frame frame;
            memset(&frame, 0, sizeof frame);
            frame.fd = -1;
            int r = source_poll(s, 1, &frame, 1, now, timeout_ms);
            if (r == POLL_OPEN_TIMEOUT || r == POLL_READ_TIMEOUT ||
                r == POLL_ERROR) {
                win_src_failed(w, s, r == POLL_ERROR ? 0
                                     : r == POLL_READ_TIMEOUT ? 1 : 2);
                changes++;
                continue;
            }
            if (r != 1)
                continue;
            credits[wi][j].credit -= 1.0;

            // A network stream may change its picture size mid-run: that
            // frame is taken as a new start, with an overlay and window
            // rectangles for the new size.
            if (s->format == 0 || frame.width != s->width || frame.height != s->height ||
                frame.format != s->format) {
                int c = first_frame(wi, w, s, j, frame);
                if (c < 0) {
                    source_frames_release(s, &frame, 1);
                    return -1;
                }
                changes += c;
            }
            if (j == w->cur_src && !(w->state & (WS_PM | WS_PA)) && s->overlay) {
                if (!vout->show_frame(w, s, &frame)) {
                    source_frames_release(s, &frame, 1);
                    return -1;
                }
                changes++;
            }
            source_frames_release(s, &frame, 1);
        }
    }
    return changes;
}
