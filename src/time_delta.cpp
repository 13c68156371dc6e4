// Differences of {seconds, nanoseconds} pairs in microseconds.
#include "globals.h"

extern "C" int64_t get_delta_usec(const struct timespec *a,
                                  const struct timespec *b, int absolute)
{
    if (!a || !b)
        return -1;
    // Each nanosecond part is truncated to microseconds on its own, as the
    // callers' time stamps are compared at microsecond resolution.
    int64_t d = (int64_t(a->tv_sec) - int64_t(b->tv_sec)) * 1000000 +
                int64_t(a->tv_nsec) / 1000 - int64_t(b->tv_nsec) / 1000;
    if (absolute && d < 0)
        d = -d;
    return d;
}

extern "C" int has_timeout(const struct timespec *a, const struct timespec *b,
                           int ms)
{
    return int64_t(ms) * 1000 < get_delta_usec(a, b, 0) ? 1 : 0;
}
