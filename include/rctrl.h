/* Remote control (HTTP) and the control-console socket. */
#ifndef TIRSK_RCTRL_H
#define TIRSK_RCTRL_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* 32-bit remote-control message, least significant byte first:
 * object | nr << 8 | param << 16 | action << 24. */
typedef uint32_t rctrl_msg;
enum { RCTRL_CAMERA = 1, RCTRL_WINDOW = 2, RCTRL_LAYOUT = 3, RCTRL_MESSAGE = 4 };
enum { RCTRL_PARAM_ALARM = 1, RCTRL_PARAM_FULLSCREEN = 2 };
enum { RCTRL_ACT_GET = 1, RCTRL_ACT_SET = 2, RCTRL_ACT_RESET = 3 };

/* Main thread, once (mon_start, after the start layout is shown, when
 * conf->rctrl_enabled): starts the HTTP server into conf->httpd and
 * publishes the first status document.  1 when the server runs; a server
 * that cannot start is logged and the viewer runs without it. */
int rctrl_start(void);
/* Main thread, at shutdown before the video output and the CONF record go:
 * stops the server (waiting for its thread) and frees the requests still
 * queued.  Safe when never started and when called twice. */
void rctrl_stop(void);
/* Main thread, every frame tick: republishes the status document when what
 * it shows changed.  Returns how many requests were executed since the last
 * tick outside poll_events (they may have drawn: the tick then flips). */
int rctrl_tick(void);

/* Main thread, for every SDL_USEREVENT: executes one queued request; frees
 * data1 (the "value" copy).  Always 1. */
int get_rctrl_evt_sync(uint32_t code, void *data1, void *data2);
/* A window request (object 2, nr 1..60): 200 done, 400 refused. */
int rctrl_window(rctrl_msg msg, const char *value);

/* Control console.  open_pult: a descriptor connected to the Unix stream
 * socket at path, or -1 (logged).  close_pult: closes fd unless it is 0 or
 * negative.  post_event: any thread; queues {type & 0xFF, code, data1,
 * data2} through the video output; 0 queued, -1 not. */
int open_pult(const char *path);
void close_pult(int fd);
int post_event(int type, int code, void *data1, void *data2);

#ifdef __cplusplus
}
#endif

#endif
