// Process-wide globals of the program frame.
#include "globals.h"

extern "C" {
int32_t quit;
int64_t g_monotime_microsec;
int64_t g_blocked_usec;
int32_t debug_level;
GMainLoop *main_loop;
int64_t last_poll_usec;
int64_t last_timers_usec;
int32_t evtcoll_pid = -1;
int32_t evtcoll_exitcode_or_signo;
// Read by the host library, never by the viewer itself.
int log_date = 1;
int in_daemon;
}
