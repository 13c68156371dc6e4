#include "globals.h"
#include "weak.h"
extern "C" {
WEAK int32_t quit;
WEAK int64_t g_monotime_microsec;
WEAK int32_t debug_level;
WEAK GMainLoop *main_loop;
WEAK int64_t last_poll_usec;
WEAK int64_t last_timers_usec;
WEAK int32_t evtcoll_pid = -1;
WEAK int32_t evtcoll_exitcode_or_signo;
WEAK int log_date = 1;
WEAK int in_daemon;
WEAK int64_t get_delta_usec(const struct timespec *, const struct timespec *, int) { return -1; }
WEAK int has_timeout(const struct timespec *, const struct timespec *, int) { return 0; }
WEAK void init_wins(void) {}
WEAK void free_cams_and_wins(void) {}
}
