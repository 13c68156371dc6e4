#include "layouts.h"
#include "window.h"
#include "weak.h"
extern "C" {
extern WEAK const layout_def layouts_defs[LAYOUT_DEFS_COUNT + 1] = {};
WEAK const layout_def *onecam_layout_def;
WEAK const layout_def *find_layout_def(const char *) { return nullptr; }
WEAK int32_t borderTB;
WEAK int32_t borderLR;
WEAK void set_win_borders(uint32_t, uint32_t) {}
WEAK void calc_aspect(uint32_t w, uint32_t h, aspect_pair *out) { if (out) *out = {w, h}; }
WEAK void set_target_video_aspect(const media_source *, aspect_pair *out) { if (out) *out = {0, 0}; }
WEAK int get_layout_base_cell_rects(const layout_def *, uint32_t, uint32_t, uint32_t, uint32_t, const aspect_pair *, base_cell *) { return 0; }
WEAK int get_win_rects(const layout_cell *, const base_cell *, uint32_t, uint32_t, const aspect_pair *, int, win_rect *, win_rect *) { return 0; }
WEAK void update_win_rects(window *, const layout_cell *, const base_cell *, const aspect_pair *, media_source *) {}
WEAK int get_win_index_uder_cursor(int, int) { return -1; }
WEAK int getWinIdx(const window *) { return -1; }
WEAK int is_win_visible(const window *) { return 0; }
WEAK window windows[WINDOWS_COUNT];
WEAK int32_t g_fsWinIdx = -1;
WEAK int32_t g_selectetWinIdx = -1;
WEAK int32_t sel_row;
WEAK int32_t sel_col;
extern WEAK const tirskconf_flag_row win_state_flags[] = {{0, nullptr}};
WEAK void winStateSet(window *, uint32_t) {}
WEAK void winStateReset(window *, uint32_t) {}
WEAK const char *winStateStr(const window *) { return ""; }
WEAK tv64 *when_win_state_changed(window *, uint32_t) { return nullptr; }
WEAK uint64_t *when_win_state_changed_mono(window *, uint32_t) { return nullptr; }
WEAK void update_win_border(window *) {}
WEAK int win_bind_cam(window *, camera *) { return 0; }
WEAK int win_unbind_cam(window *) { return 0; }
WEAK void select_win(int) {}
}
