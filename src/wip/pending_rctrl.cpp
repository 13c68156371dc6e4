// The remote-control HTTP interface has not landed yet: these placeholders
// keep the viewer running without it (a configured remote-control URL is
// reported and ignored).  The real definitions replace them at link time.
#include <stdlib.h>
#include <syslog.h>

#include "conf.h"
#include "rctrl.h"
#include "weak.h"

extern "C" {
WEAK int rctrl_start(void)
{
    tirsklog_r(nullptr, LOG_WARNING, "remote control is not available in this build");
    return 0;
}
WEAK int get_rctrl_evt_sync(uint32_t, void *data1, void *)
{
    free(data1);
    return 1;
}
WEAK int rctrl_window(rctrl_msg, const char *) { return 400; }
}
