// Putting a configured layout on the screen, switching layouts, and the
// fullscreen view of one window.
#include <arpa/inet.h>
#include <errno.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <syslog.h>

#include "conf.h"
#include "evtcoll.h"
#include "globals.h"
#include "monitor.h"
#include "rctrl.h"
#include "vout.h"

extern "C" {
int32_t cur_layout = -1; // -1: no layout shown (before or after a failed start)
base_cell layout_base_cell;
win_rect saved_rect;
win_rect saved_video_rect;
uint64_t fs_since;
char popup_buf[POPUP_BUF_SIZE];
}

namespace {

constexpr uint32_t POPUP_ERROR = 0x102;
constexpr uint32_t ALL_BELOW_28 = 0xfffffff;

uint32_t screen_w() { return vout ? uint32_t(vout->width) : 0; }
uint32_t screen_h() { return vout ? uint32_t(vout->height) : 0; }

bool layout_has_cam(const local_layout *l, const camera *cam)
{
    for (int i = 0; i < MAX_WINS; i++)
        if (l->cams[i] == cam)
            return true;
    return false;
}

void clear_screen()
{
    if (vout && vout->fill_win)
        vout->fill_win(nullptr, 0, 0, 0);
}

void draw(window *w)
{
    if (vout && vout->draw_win && w->cam)
        vout->draw_win(w);
}

int send_layout_event(int nr, int prev)
{
    return evtcoll_write("%c layout %d %d\n", conf->display, nr, prev);
}

void log_layout_used(local_layout *l)
{
    tirsklog_r(&l->log, LOG_NOTICE, "layout %s(%s) used",
               l->def ? l->def->name : "?", l->name);
}

void log_base_cell(const base_cell &b)
{
    if (verbose_at(2))
        tirsklog_r(nullptr, LOG_DEBUG,
                   "(D) win_draw_primitive -> win: %ux%u, video %ux%u, "
                   "offset %u,%u\n",
                   b.cell_w, b.cell_h, b.video_w, b.video_h, b.off_x, b.off_y);
}

int start_remote_control()
{
    if (!conf->rctrl_enabled)
        return 1;
    if (verbose_at(1)) {
        if (conf->rctrl_addr == 0) {
            tirsklog_r(nullptr, LOG_INFO,
                       "(*) remote control httpd listen on *:%hu\n",
                       conf->rctrl_url.port);
        } else {
            char addr[INET_ADDRSTRLEN];
            struct in_addr in = {conf->rctrl_addr};
            inet_ntop(AF_INET, &in, addr, sizeof addr);
            tirsklog_r(nullptr, LOG_INFO,
                       "(*) remote control httpd listen on %s:%hu\n\n", addr,
                       conf->rctrl_url.port);
        }
    }
    return rctrl_start();
}

} // namespace

// One camera whose picture cannot be fitted must not cost the operator the
// others: the layout stays.
extern "C" void fullscreen_refused(int i)
{
    tirsklog_r(nullptr, LOG_ERR, "fullscreen of window #%d refused, layout kept\n",
               i + 1);
    popup_printf(POPUP_ERROR, "Ошибка переключения\nв полноэкранный режим");
}

extern "C" void popup_printf(uint32_t kind, const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(popup_buf, sizeof popup_buf, fmt, ap);
    va_end(ap);
    if (n >= 0 && vout && vout->popup_text)
        vout->popup_text(kind, popup_buf);
}

extern "C" int mon_start(void)
{
    if (!vout || !conf)
        return 0;
    set_win_borders(screen_w(), screen_h());
    const int start = conf->start_layout;
    bool ok = start >= 0 && start < MAX_LAYOUTS && send_layout_event(start, 1000);
    if (ok) {
        cur_layout = start;
        ok = apply_layout(&conf->layouts[start]);
    }
    if (!ok) {
        // Nothing is shown: every layout key, the start layout's included,
        // must be able to show one later.
        cur_layout = -1;
        popup_printf(POPUP_ERROR, "Ошибка переключения\nна раскладку №%d",
                     start);
        return 0;
    }
    log_layout_used(&conf->layouts[start]);
    return start_remote_control();
}

extern "C" int apply_layout(local_layout *L)
{
    if (!L || !L->def || !conf)
        return 0;
    const layout_def *def = L->def;

    // Everything that can fail is settled before the old layout is wound
    // down, so that a layout that cannot be built leaves the shown one as
    // it is.
    const int nwins = def->wins > MAX_WINS ? MAX_WINS : def->wins;
    int m = def->major - 1;
    if (m < 0 || m >= nwins || !L->cams[m]) {
        m = -1;
        for (int i = 0; i < nwins; i++)
            if (L->cams[i]) {
                m = i;
                break;
            }
        if (m < 0)
            return 0;
    }
    media_source *major_src = &L->cams[m]->srcs[0];
    aspect_pair aspect;
    set_target_video_aspect(major_src, &aspect);
    base_cell b;
    if (!get_layout_base_cell_rects(def, screen_w(), screen_h(),
                                    major_src->width, major_src->height,
                                    &aspect, &b)) {
        tirsklog_r(nullptr, LOG_ERR, "cacl_layout_base_cell(win#%u) failed\n",
                   61u);
        return 0;
    }
    if (verbose_at(1) && !conf->fit2screen)
        tirsklog_r(nullptr, LOG_INFO,
                   "(*) Layout \"%s\": effective WxH = %ux%u for screen %ux%u "
                   "and aspect %d:%d\n",
                   def->name, b.total_w, b.total_h, screen_w(), screen_h(),
                   int(aspect.num), int(aspect.den));
    log_base_cell(b);
    if (!conf->fit2screen &&
        int64_t(aspect.den) * b.video_w != int64_t(aspect.num) * b.video_h) {
        tirsklog_r(nullptr, LOG_ERR,
                   "base_cell.video %dx%d aspect is invalid or unsupported\n",
                   int(b.video_w), int(b.video_h));
        return 0;
    }

    // Wind the old layout down; cameras that stay keep their layout stream.
    for (window &w : windows) {
        if (!w.cam)
            continue;
        winStateReset(&w, ALL_BELOW_28);
        winStateSet(&w, WS_PM);
        cam_stop(w.cam, layout_has_cam(L, w.cam) ? 0 : -1, nullptr);
    }
    for (window &w : windows)
        if (w.cam)
            cam_stop_wait(w.cam, layout_has_cam(L, w.cam) ? 0 : -1, nullptr);
    for (window &w : windows) {
        if (!w.cam)
            continue;
        if (!layout_has_cam(L, w.cam) && vout && vout->free_playback_resources)
            for (int i = 0; i < w.cam->nsrcs && i < CAM_MAX_SRCS; i++)
                vout->free_playback_resources(&w.cam->srcs[i]);
        win_unbind_cam(&w);
    }

    g_fsWinIdx = -1;
    g_selectetWinIdx = -1;
    clear_screen();

    sel_row = int32_t(def->cells[m].row);
    sel_col = int32_t(def->cells[m].col);
    layout_base_cell = b;

    for (int i = 0; i < nwins; i++) {
        camera *cam = L->cams[i];
        if (!cam)
            continue;
        window *w = &windows[i];
        tirsklog_set_context_r(&w->log, &cam->log, -1, 0, "win[%2.2d]", i + 1);
        win_bind_cam(w, cam);
        aspect_pair expected = {w->video_rect.w, w->video_rect.h};
        update_win_rects(w, &def->cells[i], &layout_base_cell, &expected,
                         &cam->srcs[0]);
        if (verbose_at(1))
            tirsklog_r(&w->log, LOG_DEBUG,
                       "create new win with rect(%d,%d,%u,%u) and "
                       "video_rect(%d,%d,%u,%u)\n",
                       w->rect.x, w->rect.y, w->rect.w, w->rect.h,
                       w->video_rect.x, w->video_rect.y, w->video_rect.w,
                       w->video_rect.h);
        select_win_src(w, 0);
        if (cam->alarm) {
            if ((w->state & WS_AL) && vout && vout->win_alarm)
                vout->win_alarm(w, 1);
            else
                winStateSet(w, WS_AL);
        }
        winStateReset(w, WS_PM | WS_PA | WS_FS | WS_SE);
        winStateSet(w, WS_DN);
        if (verbose_at(2))
            tirsklog_r(&w->log, LOG_DEBUG, "state 0x%X [%s]\n", w->state,
                       winStateStr(w));
        draw(w);
    }
    select_win(m);
    return 1;
}

extern "C" int switch_layout(int n, int popup_if_undefined)
{
    if (!conf)
        return 0;
    if (n == cur_layout) {
        if (vout && vout->popup_close)
            vout->popup_close();
        if (g_fsWinIdx >= 0)
            fullscreen_to_layout();
        return 1;
    }
    if (n < 0 || n >= conf->layouts_count || n >= MAX_LAYOUTS ||
        !conf->layouts[n].def) {
        if (!popup_if_undefined)
            return 0;
        popup_printf(POPUP_ERROR,
                     "Раскладка камер №%d\nне определа в настройках "
                     "программы.\n\nНажмите любую клавишу\nчтобы закрыть это "
                     "окно.",
                     n);
        return 1;
    }
    if (vout && vout->popup_close)
        vout->popup_close();
    const int prev = cur_layout;
    // The collector hears of the layout shown until now, or 1000 when none
    // is (a start layout that failed), as at the start.
    bool ok = send_layout_event(n, prev >= 0 ? prev : 1000);
    if (ok) {
        // The selection's grid position is taken from the current layout,
        // so the new one must be current while it is built.
        cur_layout = n;
        ok = apply_layout(&conf->layouts[n]);
        if (!ok)
            cur_layout = prev;
    }
    if (!ok) {
        tirsklog_r(nullptr, LOG_ERR, "layout #%d not shown, layout #%d kept\n",
                   n, prev);
        popup_printf(POPUP_ERROR, "Ошибка переключения\nна раскладку №%d", n);
        return 0;
    }
    log_layout_used(&conf->layouts[n]);
    return 1;
}

extern "C" void layout_to_fullscreen(int i)
{
    if (!conf || i < 0 || i >= WINDOWS_COUNT || !windows[i].cam)
        return;
    window *w = &windows[i];
    media_source *src = &w->cam->srcs[w->cur_src >= 0 ? w->cur_src : 0];
    aspect_pair aspect;
    set_target_video_aspect(src, &aspect);
    base_cell fs;
    if (!get_layout_base_cell_rects(onecam_layout_def, screen_w(), screen_h(),
                                    src->width, src->height, &aspect, &fs)) {
        tirsklog_r(nullptr, LOG_ERR, "cacl_layout_base_cell(win#%u) failed\n",
                   unsigned(i + 1));
        fullscreen_refused(i);
        return;
    }
    log_base_cell(fs);
    if (!conf->fit2screen &&
        int64_t(aspect.den) * fs.video_w != int64_t(aspect.num) * fs.video_h) {
        tirsklog_r(nullptr, LOG_ERR,
                   "onecam_base_cell.video: %dx%d aspect ratio invalid or "
                   "unsupported\n",
                   int(fs.video_w), int(fs.video_h));
        fullscreen_refused(i);
        return;
    }
    // The layout stays as it is until the fullscreen window can be built.
    for (window &o : windows)
        if (o.cam)
            winStateSet(&o, WS_PA);
    saved_rect = w->rect;
    saved_video_rect = w->video_rect;
    aspect_pair expected = {w->video_rect.w, w->video_rect.h};
    winStateSet(w, WS_FS);
    update_win_rects(w, &onecam_layout_def->cells[0], &fs, &expected, src);

    clear_screen();
    winStateReset(w, WS_PA);
    g_fsWinIdx = i;
    if (vout && vout->redisplay_win)
        vout->redisplay_win(w);
    select_win_src(w, 1);
    draw(w);
    if (verbose_at(2))
        tirsklog_r(nullptr, LOG_DEBUG,
                   "(D) fs win[%2d] state 0x%X [%s] for cam[%2d] "
                   "rect(%3d,%3d,%3u,%3u), video_rect(%3d,%3d,%3u,%3u)\n",
                   i + 1, w->state, winStateStr(w), w->cam->nr, w->rect.x,
                   w->rect.y, w->rect.w, w->rect.h, w->video_rect.x,
                   w->video_rect.y, w->video_rect.w, w->video_rect.h);
    fs_since = uint64_t(g_monotime_microsec);
    tirsklog_r(&w->log, LOG_NOTICE, "%s", "layout -> fullscreen");
}

extern "C" void fullscreen_to_layout(void)
{
    if (g_fsWinIdx < 0 || g_fsWinIdx >= WINDOWS_COUNT)
        return;
    window *w = &windows[g_fsWinIdx];
    winStateSet(w, WS_PA);
    w->rect = saved_rect;
    w->video_rect = saved_video_rect;
    if (w->cam)
        select_win_src(w, 0);
    clear_screen();
    if (vout && vout->redisplay_win)
        vout->redisplay_win(w);
    winStateReset(w, WS_FS);
    g_fsWinIdx = -1;
    for (window &o : windows) {
        if (!o.cam || &o == w)
            continue;
        winStateReset(&o, WS_PA);
        draw(&o);
    }
    winStateReset(w, WS_PA);
    draw(w);
    tirsklog_r(&w->log, LOG_NOTICE, "%s\n", "fullscreen -> layout");
}

extern "C" int select_win_src(window *w, int fullscreen)
{
    if (!w || !w->cam)
        return 0;
    camera *cam = w->cam;
    const char *to = fullscreen ? "fullscreen" : "layout";
    if (verbose_at(2))
        tirsklog_r(nullptr, LOG_DEBUG,
                   "(D) cam[%d]: select_win_src(): BEFORE to %s: cur|target = "
                   "%d|%d\n",
                   cam->nr, to, w->cur_src, w->target_src);
    const int want = fullscreen && cam->nsrcs > 1 ? 1 : 0;
    if (w->target_src != want) {
        // A fullscreen stream switched to earlier that never delivered is
        // no longer wanted: left running it would be adopted at once,
        // without its geometry, by the next switch to it.  A layout stream
        // still waiting keeps running: the window comes back to it.
        const int old = w->target_src;
        if (old > 0 && old != w->cur_src && old < cam->nsrcs) {
            tirsklog_r(&w->log, LOG_INFO, "stop unused source #%d (cur/target = %d/%d)",
                       old, w->cur_src, want);
            sorce_stop_and_wait(&cam->srcs[old]);
        }
        w->target_src = want;
        media_source *s = &cam->srcs[want];
        if (w->cur_src == want) {
            if (s->started)
                winStateReset(w, WS_WT);
            else
                set_src_fail_state(w, s->uri);
        } else if (s->handle && s->started && is_source_playing(s)) {
            w->target_src = -1;
            w->cur_src = want;
        } else {
            winStateReset(w, WS_CF | WS_SF);
            winStateSet(w, WS_WT);
            s->t_fail = uint64_t(g_monotime_microsec);
            if (!s->handle || !source_play(s)) {
                int err = errno;
                char text[200];
                tirsklog_r(&s->log, LOG_ERR,
                           "start source playing%s failed with #%d(%s)", "",
                           err, strerror_r(err, text, sizeof text));
                return 0;
            }
        }
    }
    if (verbose_at(2))
        tirsklog_r(nullptr, LOG_DEBUG,
                   "(D) cam[%d]: select_win_src():  AFTER to %s: cur|target = "
                   "%d|%d\n",
                   cam->nr, to, w->cur_src, w->target_src);
    return 1;
}
