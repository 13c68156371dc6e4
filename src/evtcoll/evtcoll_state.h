/* Process-wide state of the event collector (one collector per process).
 * Only evtcoll.cpp writes it; tests read it. */
#ifndef TIRSK_EVTCOLL_STATE_H
#define TIRSK_EVTCOLL_STATE_H

#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

#define EVTCOLL_NAME_MAX 30
#define EVTCOLL_REPLY_SIZE 100

extern char evtcoll_name[EVTCOLL_NAME_MAX + 1]; /* base name of the script */
extern int evtcoll_evt_pipe[2];   /* events: viewer writes [1], script reads [0] */
extern int evtcoll_reply_pipe[2]; /* replies: script writes [1], viewer reads [0] */
extern FILE *wf; /* line-buffered stream on evtcoll_evt_pipe[1], or null */
extern FILE *rf; /* line-buffered stream on evtcoll_reply_pipe[0], or null */
extern char evtcoll_reply[EVTCOLL_REPLY_SIZE]; /* last reply line */
/* Longest wait for a reply in milliseconds, -1 = no limit (set for the
 * last event, when the viewer is ending anyway). */
extern int evtcoll_reply_timeout_ms;

#ifdef __cplusplus
}
#endif

#endif
