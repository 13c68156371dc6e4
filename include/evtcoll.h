/* Event collector: an external script told of start, layout changes, end. */
#ifndef TIRSK_EVTCOLL_H
#define TIRSK_EVTCOLL_H

#ifdef __cplusplus
extern "C" {
#endif

/* 0 started (pid stored), -1 failure (errno). */
int evtcoll_open(const char *path, long fd_limit, int *pid);
/* 1 accepted (or no script), 0 refused. */
int evtcoll_write(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
/* 0, 1 when the script did not end within timeout_s, -1 for pid < 0. */
int evtcoll_close(int pid, int timeout_s, int *status);

#ifdef __cplusplus
}
#endif

#endif
