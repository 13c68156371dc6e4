// Window records, their state flags and what each flag change shows.
//
// Flags change only through winStateSet / winStateReset, which keep the time
// of the last change of every bit and drive the video output's labels and
// border.  Main thread only.
#include <string.h>
#include <sys/time.h>

#include <bit>
#include <cstdint>

#include "camera.h"
#include "conf.h"
#include "globals.h"
#include "monitor.h"
#include "vout.h"
#include "window.h"

window windows[WINDOWS_COUNT];
constinit int32_t g_fsWinIdx = -1;
constinit int32_t g_selectetWinIdx = -1;
constinit int32_t sel_row = 0;
constinit int32_t sel_col = 0;

// Order as the names appear in log lines.
constexpr tirskconf_flag_row win_state_flags[] = {
    {WS_PM, "PM"}, {WS_PA, "PA"}, {WS_FS, "Fs"}, {WS_SE, "Se"},
    {WS_DN, "dN"}, {WS_CF, "CF"}, {WS_AL, "AL"}, {WS_MO, "Mo"},
    {WS_SF, "SF"}, {WS_WT, "Wt"}, {WS_RC, "Rc"}, {0, nullptr},
};

namespace {

constexpr uint32_t border_flags = WS_SE | WS_AL | WS_MO;       // 0x308
constexpr uint32_t status_flags = WS_CF | WS_SF | WS_WT;       // 0x7000
constexpr uint32_t caption_flags = WS_DN | WS_AL | WS_MO | status_flags;
static_assert(caption_flags == 0x7310);

struct rgb {
    uint8_t r, g, b;
};
constexpr rgb colour_selected{153, 102, 51};
constexpr rgb colour_alarm{192, 255, 255};
constexpr rgb colour_no_signal{255, 0, 0};
constexpr rgb colour_plain{51, 0, 0};

bool rctrl_enabled() { return conf && conf->rctrl_enabled; }

// Sets (set) or clears the bits of mask; returns the bits that changed.
uint32_t change_flags(window *win, uint32_t mask, bool set)
{
    const uint32_t diff = set ? mask & ~win->state : mask & win->state;
    if (!diff)
        return 0;
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    const uint64_t mono = uint64_t(g_monotime_microsec);
    for (uint32_t bits = diff; bits; bits &= bits - 1) {
        const int bit = std::countr_zero(bits);
        win->state_tv[bit] = {tv.tv_sec, tv.tv_usec};
        win->state_mono[bit] = mono;
    }
    win->state = set ? win->state | diff : win->state & ~diff;
    if (verbose_at(2)) {
        char names[120];
        tirskconf_u32flag2str_r(win_state_flags, mask, names, sizeof names);
        tirsklog_r(&win->log, 7, "(D) cam[%d]:  %sset flags [%s], diff=0x%X\n",
                   win->cam ? win->cam->nr : 0, set ? "  " : "re", names,
                   diff);
    }
    return diff;
}

void draw_border(window *win, rgb c, const border_desc &border)
{
    vout->draw_border(win, c.r, c.g, c.b, &border);
}

} // namespace

void winStateSet(window *win, uint32_t mask)
{
    if (!win)
        return;
    // Selecting, alarming or losing the signal also shows the camera name.
    if (mask & border_flags)
        mask |= WS_DN;
    const uint32_t diff = change_flags(win, mask, true);
    if (!diff)
        return;
    video_out *vo = vout;
    if (diff & border_flags)
        update_win_border(win);
    if ((diff & WS_AL) && vo && vo->win_alarm)
        vo->win_alarm(win, 1);
    if (diff & WS_SF)
        tirsklog_r(&win->log, 4, "server failure!%s", "");
    if (diff & WS_CF)
        tirsklog_r(&win->log, 4, "capture failed%s", "");
    if ((diff & status_flags) && vo && vo->win_status)
        vo->win_status(win);
    if ((diff & caption_flags) && vo && vo->win_caption)
        vo->win_caption(win, 1);
    if ((diff & WS_PM) && vo && vo->win_pause)
        vo->win_pause(win, 1);
}

void winStateReset(window *win, uint32_t mask)
{
    if (!win)
        return;
    const uint32_t diff = change_flags(win, mask, false);
    if (!diff)
        return;
    video_out *vo = vout;
    // Only the end of the last failure cause is a recovery; one cause
    // giving way to the other only changes the label.
    if ((diff & (WS_CF | WS_SF)) && !(win->state & (WS_CF | WS_SF)))
        tirsklog_r(&win->log, 5, "restore surveillance%s", "");
    else if ((diff & status_flags) && (win->state & status_flags) && vo &&
             vo->win_status)
        vo->win_status(win);
    if ((diff & WS_PM) && vo && vo->win_pause)
        vo->win_pause(win, 0);
    if ((diff & WS_AL) && vo && vo->win_alarm)
        vo->win_alarm(win, 0);
    // Captions are not erased here; the next redraw of the window drops them.
    if (diff & border_flags)
        update_win_border(win);
}

const char *winStateStr(const window *win)
{
    static char text[50];
    tirskconf_u32flag2str_r(win_state_flags, win ? win->state : 0, text,
                            sizeof text);
    return text;
}

tv64 *when_win_state_changed(window *win, uint32_t mask)
{
    if (!win || !mask)
        return nullptr;
    const int bit = std::countr_zero(mask);
    return (win->state & (1u << bit)) ? &win->state_tv[bit] : nullptr;
}

uint64_t *when_win_state_changed_mono(window *win, uint32_t mask)
{
    if (!win || !mask)
        return nullptr;
    const int bit = std::countr_zero(mask);
    return (win->state & (1u << bit)) ? &win->state_mono[bit] : nullptr;
}

void update_win_border(window *win)
{
    if (!win || !win->cam || !vout || !vout->draw_border)
        return;
    if (g_fsWinIdx >= 0 && getWinIdx(win) != g_fsWinIdx)
        return; // hidden behind the fullscreen window
    const uint32_t st = win->state;
    // A remotely driven viewer shows no keyboard selection.
    const bool show_selection = (st & WS_SE) && !rctrl_enabled();
    border_desc border{borderTB, borderLR, borderTB, borderLR, 0, 0, 0};

    if ((st & WS_SE) && (st & (WS_AL | WS_MO))) {
        border.corner_w = int32_t(win->rect.w / 6);
        border.corner_h = int32_t(win->rect.h / 5);
        if (show_selection) {
            border.corners = 1;
            draw_border(win, colour_selected, border);
            border.corners = 0;
        }
        // The sides between the corners in the alarm colour.
        draw_border(win, (st & WS_AL) ? colour_alarm : colour_no_signal,
                    border);
        return;
    }
    rgb c = colour_plain;
    if (st & WS_AL)
        c = colour_alarm;
    else if (st & WS_MO)
        c = colour_no_signal;
    else if (show_selection)
        c = colour_selected;
    draw_border(win, c, border);
}

int win_bind_cam(window *win, camera *cam)
{
    if (!win)
        return 0;
    win->cam = cam;
    if (cam)
        cam->win = win;
    win->cur_src = -1;
    win->target_src = -1;
    return 0;
}

int win_unbind_cam(window *win)
{
    if (!win)
        return 0;
    // A camera already shown by another window keeps that binding.
    if (win->cam && win->cam->win == win)
        win->cam->win = nullptr;
    if (vout && vout->free_win_surfaces)
        vout->free_win_surfaces(win);
    memset(win, 0, sizeof *win);
    win->cur_src = -1;
    win->target_src = -1;
    return 0;
}

namespace {

// Cell of window index in the layout now shown, or null.
const layout_cell *current_layout_cell(int index)
{
    if (!conf || cur_layout < 0 || cur_layout >= MAX_LAYOUTS)
        return nullptr;
    const layout_def *def = conf->layouts[cur_layout].def;
    if (!def || !def->cells || index >= def->wins)
        return nullptr;
    return &def->cells[index];
}

} // namespace

void select_win(int index)
{
    if (index < 0 || index >= WINDOWS_COUNT)
        return;
    if (g_selectetWinIdx >= 0) {
        if (g_selectetWinIdx == index)
            return;
        if (g_selectetWinIdx < WINDOWS_COUNT)
            winStateReset(&windows[g_selectetWinIdx], WS_SE);
        g_selectetWinIdx = -1;
    }
    winStateSet(&windows[index], WS_SE);
    g_selectetWinIdx = index;
    if (const layout_cell *cell = current_layout_cell(index)) {
        sel_row = int32_t(cell->row);
        sel_col = int32_t(cell->col);
    }
}
