/* Remote control (HTTP) and the control-console socket. */
#ifndef TIRSK_RCTRL_H
#define TIRSK_RCTRL_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* 32-bit remote-control message, least significant byte first. */
typedef uint32_t rctrl_msg;
enum { RCTRL_CAMERA = 1, RCTRL_WINDOW = 2, RCTRL_LAYOUT = 3, RCTRL_MESSAGE = 4 };
enum { RCTRL_PARAM_ALARM = 1, RCTRL_PARAM_FULLSCREEN = 2 };
enum { RCTRL_ACT_GET = 1, RCTRL_ACT_SET = 2, RCTRL_ACT_RESET = 3 };

/* Start the HTTP server for conf (called by mon_start when enabled);
 * 1 when it runs. */
int rctrl_start(void);
/* Main thread: execute one queued request; always 1; frees data1. */
int get_rctrl_evt_sync(uint32_t code, void *data1, void *data2);
int rctrl_window(rctrl_msg msg, const char *value);

int open_pult(const char *path);
void close_pult(int fd);
int post_event(int type, int code, void *data1, void *data2);

#ifdef __cplusplus
}
#endif

#endif
