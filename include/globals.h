/* Process-wide globals and helpers of the program frame. */
#ifndef TIRSK_GLOBALS_H
#define TIRSK_GLOBALS_H

#include <signal.h>
#include <stdint.h>
#include <time.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct _GMainLoop GMainLoop;

extern int32_t quit;                /* set to 1 to end the program */
extern int64_t g_monotime_microsec; /* "now", refreshed every tick */
/* Monotonic microseconds the main thread spent waiting for the event
 * collector.  The tick clock leaves them out: the viewer's own stall must
 * not count against any source's time-outs. */
extern int64_t g_blocked_usec;
extern int32_t debug_level;
extern GMainLoop *main_loop;
extern int64_t last_poll_usec;
extern int64_t last_timers_usec;
extern int32_t evtcoll_pid;               /* -1 = no collector */
/* 0 while the collector runs; written by the signal handler */
extern volatile sig_atomic_t evtcoll_exitcode_or_signo;
extern int log_date;                      /* 1, for the host library */
extern int in_daemon;                     /* 0, for the host library */

/* (a - b) in microseconds, magnitude when absolute; -1 for a null pointer. */
int64_t get_delta_usec(const struct timespec *a, const struct timespec *b,
                       int absolute);
/* 1 when ms * 1000 < get_delta_usec(a, b, 0). */
int has_timeout(const struct timespec *a, const struct timespec *b, int ms);

/* The tick clock: the monotonic clock less g_blocked_usec. */
int64_t tick_clock(void);

void init_wins(void);
void free_cams_and_wins(void);
int cb_frame_tick(void *unused);
void sig_handler(int signo, siginfo_t *info, void *context);
/* The message catalogue's translation of a printf format, or the format
 * itself when the translation's conversions differ from it: a translated
 * text must never decide how the arguments are read. */
const char *tr_format(const char *format);

#ifdef __cplusplus
}
#endif

#endif
