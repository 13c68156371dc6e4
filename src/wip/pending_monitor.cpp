#include "monitor.h"
#include "evtcoll.h"
#include "rctrl.h"
#include "weak.h"
#include <stdlib.h>
extern "C" {
WEAK int32_t cur_layout;
WEAK base_cell layout_base_cell;
WEAK win_rect saved_rect;
WEAK win_rect saved_video_rect;
WEAK uint64_t fs_since;
WEAK char popup_buf[POPUP_BUF_SIZE];
WEAK int mon_start(void) { return 0; }
WEAK int apply_layout(local_layout *) { return 0; }
WEAK int switch_layout(int, int) { return 0; }
WEAK void layout_to_fullscreen(int) {}
WEAK void fullscreen_to_layout(void) {}
WEAK int select_win_src(window *, int) { return 0; }
WEAK void popup_printf(uint32_t, const char *, ...) {}
WEAK const char *local_lock_dir(void) { return LOCAL_LOCK_DIR; }
WEAK int poll_wins_sources(int64_t) { return 0; }
WEAK void win_src_failed(window *, media_source *, int) {}
WEAK void set_src_fail_state(window *, const char *) {}
WEAK int check_local_server(const char *, int) { return 0; }
WEAK int have_keydown(uint32_t, uint32_t) { return 1; }
WEAK void mouse_motion(int, int) {}
WEAK void mouse_press_left(int, int) {}
WEAK void mouse_press_right(int, int) {}
WEAK int redraw_wins(void) { return 0; }
WEAK void hide_restore_application(int) {}
WEAK void navigate_sel(int) {}
WEAK void reset_cam_alarm(camera *) {}
WEAK void reset_all_alarms(void) {}
WEAK int cb_one_sec_timers(int64_t) { return 0; }
WEAK void screen_shot(void) {}
WEAK void cam_shot(void) {}
WEAK int evtcoll_open(const char *, long, int *) { return -1; }
WEAK int evtcoll_write(const char *, ...) { return 1; }
WEAK int evtcoll_close(int, int, int *) { return 0; }
WEAK int rctrl_start(void) { return 0; }
WEAK int get_rctrl_evt_sync(uint32_t, void *data1, void *) { free(data1); return 1; }
WEAK int rctrl_window(rctrl_msg, const char *) { return 400; }
}
