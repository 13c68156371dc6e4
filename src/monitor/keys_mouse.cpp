// What the operator's keys and mouse buttons do: layout keys, selection
// moves, fullscreen, pause, snapshots, alarms, help and quit.
#include <stdint.h>
#include <syslog.h>
#include <time.h>

#include <span>

#include "conf.h"
#include "globals.h"
#include "monitor.h"
#include "vout.h"

namespace {

// SDL 1.2 key symbols.
enum key : uint32_t {
    K_RETURN = 13,
    K_ESCAPE = 27,
    K_SPACE = 32,
    K_0 = 48,
    K_9 = 57,
    K_F = 102,
    K_P = 112,
    K_Q = 113,
    K_S = 115,
    K_X = 120,
    K_KP0 = 256,
    K_KP9 = 265,
    K_KP_PERIOD = 266,
    K_KP_DIVIDE = 267,
    K_KP_MULTIPLY = 268,
    K_KP_MINUS = 269,
    K_KP_PLUS = 270,
    K_KP_ENTER = 271,
    K_UP = 273,
    K_DOWN = 274,
    K_RIGHT = 275,
    K_LEFT = 276,
    K_F1 = 282,
    K_F2 = 283,
    K_F9 = 290,
};

constexpr uint32_t MOD_SHIFT = 0x3; // either Shift key
constexpr uint32_t POPUP_HELP = 0x4;

bool key_disabled(uint32_t key)
{
    const uint64_t n = conf->disable_keys_count < DISABLE_KEYS_MAX
                           ? conf->disable_keys_count
                           : DISABLE_KEYS_MAX;
    for (uint32_t k : std::span(conf->disable_keys, size_t(n)))
        if (k == key)
            return true;
    return false;
}

bool close_popup()
{
    return vout && vout->popup_close && vout->popup_close() != 0;
}

const layout_def *current_def()
{
    if (cur_layout < 0 || cur_layout >= MAX_LAYOUTS)
        return nullptr;
    return conf->layouts[cur_layout].def;
}

int layout_wins(const layout_def *def)
{
    return def->wins > MAX_WINS ? MAX_WINS : def->wins;
}

window *selected_win()
{
    if (g_selectetWinIdx < 0 || g_selectetWinIdx >= WINDOWS_COUNT)
        return nullptr;
    return &windows[g_selectetWinIdx];
}

// Fullscreen on or off for window idx.  A one-window layout whose camera has
// a single stream would show the same picture, so nothing happens there.
void toggle_fullscreen(int idx)
{
    if (idx < 0 || idx >= WINDOWS_COUNT)
        return;
    const camera *cam = windows[idx].cam;
    if (!cam)
        return;
    const layout_def *def = current_def();
    if (def && def->id == 0 && cam->nsrcs == 1)
        return;
    if (g_fsWinIdx >= 0)
        fullscreen_to_layout();
    else
        layout_to_fullscreen(idx);
}

int fullscreen_or_selected()
{
    return g_fsWinIdx >= 0 ? g_fsWinIdx : g_selectetWinIdx;
}

void toggle_pause(window *w)
{
    if (w->state & WS_PM)
        winStateReset(w, WS_PM);
    else
        winStateSet(w, WS_PM);
}

// The window a click concerns: the fullscreen one, else the one under it.
int clicked_win(int x, int y)
{
    return g_fsWinIdx >= 0 ? g_fsWinIdx : get_win_index_uder_cursor(x, y);
}

void quit_or_leave(bool popup_was_open)
{
    if (popup_was_open)
        return;
    if (g_fsWinIdx >= 0) {
        fullscreen_to_layout();
        return;
    }
    if (verbose_at(1))
        tirsklog_r(nullptr, LOG_INFO, "(*) %s\n",
                   "User quit requested, quitting.");
    quit = 1;
}

// Does the cell cover grid position (row, col)?
bool covers(const layout_cell &c, int32_t row, int32_t col)
{
    return int64_t(c.row) <= row && row < int64_t(c.row) + c.height &&
           int64_t(c.col) <= col && col < int64_t(c.col) + c.width;
}

} // namespace

extern "C" int have_keydown(uint32_t mod, uint32_t key)
{
    if (!conf)
        return 1;
    if (key_disabled(key))
        return 1;
    const bool popup_was_open = close_popup();

    // A refused or failed switch keeps the shown layout (the popup says
    // why): it never ends the viewer.
    if (key >= K_0 && key <= K_9) {
        switch_layout(int(key - K_0), 1);
        return 1;
    }
    if (key >= K_KP0 && key <= K_KP9) {
        switch_layout(int(key - K_KP0), 1);
        return 1;
    }

    switch (key) {
    case K_UP:
    case K_KP_DIVIDE:
        navigate_sel(NAV_UP);
        break;
    case K_DOWN:
    case K_KP_PLUS:
        navigate_sel(NAV_DOWN);
        break;
    case K_RIGHT:
    case K_KP_MINUS:
        navigate_sel(NAV_RIGHT);
        break;
    case K_LEFT:
    case K_KP_MULTIPLY:
        navigate_sel(NAV_LEFT);
        break;
    case K_F:
    case K_RETURN:
    case K_KP_ENTER:
        toggle_fullscreen(fullscreen_or_selected());
        break;
    case K_SPACE:
    case K_KP_PERIOD:
        if (window *w = selected_win())
            toggle_pause(w);
        break;
    case K_S:
        if (window *w = selected_win())
            winStateSet(w, WS_PM);
        break;
    case K_P:
        if (window *w = selected_win())
            winStateReset(w, WS_PM);
        break;
    case K_F1:
        popup_printf(POPUP_HELP, "%s", strHELP);
        break;
    case K_F2:
        if (mod & MOD_SHIFT)
            screen_shot();
        else
            cam_shot();
        break;
    case K_F9:
        if (mod & MOD_SHIFT)
            reset_all_alarms();
        break;
    case K_ESCAPE:
    case K_Q:
    case K_X:
        quit_or_leave(popup_was_open);
        break;
    default:
        break;
    }
    return 1;
}

extern "C" void navigate_sel(int direction)
{
    if (!conf)
        return;
    int sel = -1;
    for (int i = 0; i < WINDOWS_COUNT; i++)
        if (windows[i].state & WS_SE) {
            sel = i;
            break;
        }
    if (sel < 0 || (windows[sel].state & (WS_FS | WS_RC)))
        return;
    const layout_def *def = current_def();
    if (!def || sel >= layout_wins(def))
        return;

    const layout_cell &cell = def->cells[sel];
    const bool vertical = direction == NAV_UP || direction == NAV_DOWN;
    const int32_t n = vertical ? def->rows : def->cols;
    if (n < 2)
        return;

    int32_t row = sel_row, col = sel_col;
    for (int32_t step = 0; step < n - 1; step++) {
        switch (direction) {
        case NAV_UP:
            row = row == 0 ? def->rows - 1 : row - 1;
            break;
        case NAV_DOWN:
            row = row < def->rows - 1 ? row + int32_t(cell.height) : 0;
            break;
        case NAV_RIGHT:
            col = col < def->cols - 1 ? col + int32_t(cell.width) : 0;
            break;
        case NAV_LEFT:
            col = col == 0 ? def->cols - 1 : col - 1;
            break;
        default:
            return;
        }
        for (int i = 0; i < layout_wins(def); i++) {
            if (i == sel || !windows[i].cam)
                continue;
            if (covers(def->cells[i], row, col)) {
                select_win(i);
                return;
            }
        }
    }
}

extern "C" void mouse_motion(int, int)
{
    if (!conf || conf->no_mouse)
        return;
    cursor_since = g_monotime_microsec;
    if (!cursor_shown) {
        cursor_shown = 1;
        if (vout && vout->show_cursor)
            vout->show_cursor(1);
    }
    for (window &w : windows)
        if (w.cam)
            winStateSet(&w, WS_DN);
}

extern "C" void mouse_press_left(int x, int y)
{
    if (!conf)
        return;
    const int idx = clicked_win(x, y);
    if (idx < 0 || idx >= WINDOWS_COUNT)
        return;
    toggle_fullscreen(idx);
    select_win(idx);
}

extern "C" void mouse_press_right(int x, int y)
{
    if (!conf)
        return;
    const int idx = clicked_win(x, y);
    if (idx < 0 || idx >= WINDOWS_COUNT || !windows[idx].cam)
        return;
    toggle_pause(&windows[idx]);
    select_win(idx);
}

// Redraws after an expose event; returns the number of windows drawn.
extern "C" int redraw_wins(void)
{
    if (!vout || !vout->draw_win)
        return 0;
    for (window &w : windows)
        if (w.cam && (w.state & WS_FS)) {
            vout->draw_win(&w);
            return 1;
        }
    int drawn = 0;
    for (window &w : windows)
        if (w.cam) {
            vout->draw_win(&w);
            drawn++;
        }
    return drawn;
}

extern "C" void hide_restore_application(int)
{
    auto restore = [](window &w) {
        if (w.state & WS_PA)
            winStateReset(&w, WS_PM | WS_PA);
    };
    if (g_fsWinIdx >= 0 && g_fsWinIdx < WINDOWS_COUNT) {
        restore(windows[g_fsWinIdx]);
        return;
    }
    for (window &w : windows)
        if (w.cam)
            restore(w);
}

extern "C" void reset_cam_alarm(camera *cam)
{
    if (!cam)
        return;
    char when[64] = "?\n";
    const time_t t = time_t(cam->alarm_tv.tv_sec);
    if (!ctime_r(&t, when))
        when[0] = '?', when[1] = '\n', when[2] = 0;
    tirsklog_r(&cam->log, LOG_NOTICE, "reset alarm #%u, started at %s",
               cam->alarm_code, when);
    cam->alarm = 0;
    cam->alarm_code = 0;
    if (cam->win && (cam->win->state & WS_AL))
        winStateReset(cam->win, WS_AL);
}

extern "C" void reset_all_alarms(void)
{
    if (!conf)
        return;
    if (verbose_at(1))
        tirsklog_r(nullptr, LOG_INFO, "(*) %s\n", "reset all cameras alarms");
    for (camera &cam : conf->cams) {
        if (cam.nr == 0)
            break;
        if (cam.alarm)
            reset_cam_alarm(&cam);
    }
}
