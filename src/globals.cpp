// Process-wide globals of the program frame.
#include "globals.h"

#include <ctype.h>
#include <libintl.h>
#include <locale.h>
#include <string.h>

#include <string>

namespace {

// The conversions of a printf format in order, with their length
// modifiers and "*" arguments ("%-5ld%*s" -> "ld,*s,"); "%%" is none.
std::string conversions(const char *f)
{
    std::string out;
    for (const char *p = f; (p = strchr(p, '%'));) {
        if (*++p == '%') {
            p++;
            continue;
        }
        for (; *p && !isalpha(static_cast<unsigned char>(*p)); p++)
            if (*p == '*')
                out += '*';
        for (; *p && strchr("hlLqjzt", *p); p++)
            out += *p;
        if (!*p)
            break;
        out += *p++;
        out += ',';
    }
    return out;
}

} // namespace

extern "C" const char *tr_format(const char *format)
{
    const char *t = dcgettext(nullptr, format, LC_MESSAGES);
    return t != format && conversions(t) != conversions(format) ? format : t;
}

extern "C" {
int32_t quit;
int64_t g_monotime_microsec;
int64_t g_blocked_usec;
int32_t debug_level;
GMainLoop *main_loop;
int64_t last_poll_usec;
int64_t last_timers_usec;
int32_t evtcoll_pid = -1;
volatile sig_atomic_t evtcoll_exitcode_or_signo;
// Read by the host library, never by the viewer itself.
int log_date = 1;
int in_daemon;
}
