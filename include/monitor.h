/* Monitor control: layouts, fullscreen, source polling, input, timers. */
#ifndef TIRSK_MONITOR_H
#define TIRSK_MONITOR_H

#include <stdint.h>

#include "camera.h"
#include "layouts.h"
#include "media.h"
#include "window.h"

#ifdef __cplusplus
extern "C" {
#endif

#define POPUP_BUF_SIZE 2000

/* Layout activation and fullscreen. */
extern int32_t cur_layout;
extern base_cell layout_base_cell;
extern win_rect saved_rect;
extern win_rect saved_video_rect;
extern uint64_t fs_since;
extern char popup_buf[POPUP_BUF_SIZE];

int mon_start(void);
int apply_layout(local_layout *layout);
int switch_layout(int nr, int popup_if_undefined);
void layout_to_fullscreen(int win_index);
void fullscreen_to_layout(void);
/* Logs and shows that window win_index could not go fullscreen. */
void fullscreen_refused(int win_index);
int select_win_src(window *win, int fullscreen);
void popup_printf(uint32_t kind, const char *fmt, ...)
    __attribute__((format(printf, 2, 3)));

/* Source selection and polling. */
#define LOCAL_LOCK_DIR "/var/lock/tirsk"
/* Directory of the recording server's lock files; tests may point it
 * elsewhere through the environment variable TIRSK_LOCK_DIR. */
const char *local_lock_dir(void);
int poll_wins_sources(int64_t now);
void win_src_failed(window *win, media_source *src, int reason);
void set_src_fail_state(window *win, const char *uri);
int check_local_server(const char *db_name, int cam_nr);

/* Keyboard and mouse. */
enum nav_dir { NAV_UP = 273, NAV_DOWN = 274, NAV_RIGHT = 275, NAV_LEFT = 276 };
int have_keydown(uint32_t mod, uint32_t key);
void mouse_motion(int x, int y);
void mouse_press_left(int x, int y);
void mouse_press_right(int x, int y);
int redraw_wins(void);
void hide_restore_application(int gained);
void navigate_sel(int direction);
void reset_cam_alarm(camera *cam);
void reset_all_alarms(void);

/* Periodic timers. */
int cb_one_sec_timers(int64_t now);

/* Snapshots. */
void screen_shot(void);
void cam_shot(void);

#ifdef __cplusplus
}
#endif

#endif
