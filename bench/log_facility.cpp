// Cost of a log call: dropped by the level, and printed (to /dev/null) from
// one and from several threads.
#include <stdio.h>
#include <time.h>

#include <thread>
#include <vector>

#include "tirskconf.h"

static double now_ns()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1e9 + ts.tv_nsec;
}

int main()
{
    FILE *sink = fopen("/dev/null", "w");
    if (!sink)
        return 1;
    tirsklog_set_stream(sink);
    log_ctx cam, win;
    tirsklog_set_context_r(&cam, nullptr, -1, 0, "cam[%2.2d]", 7);
    tirsklog_set_context_r(&win, &cam, -1, 0, "win[%2.2d]", 3);

    constexpr int n = 200000;
    tirsklog_level_set(4);
    double t0 = now_ns();
    for (int i = 0; i < n; ++i)
        tirsklog_r(&win, 7, "(D) frame %d of %s\n", i, "source");
    double dropped = (now_ns() - t0) / n;

    t0 = now_ns();
    for (int i = 0; i < n; ++i)
        tirsklog_r(&win, 3, "frame %d of %s\n", i, "source");
    double printed = (now_ns() - t0) / n;

    constexpr int threads = 4;
    t0 = now_ns();
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t)
        pool.emplace_back([&] {
            for (int i = 0; i < n / threads; ++i)
                tirsklog_r(&win, 3, "frame %d of %s\n", i, "source");
        });
    for (auto &th : pool)
        th.join();
    double contended = (now_ns() - t0) / n;

    printf("log call dropped by level: %8.1f ns\n", dropped);
    printf("log call printed:          %8.1f ns\n", printed);
    printf("printed, %d threads:        %8.1f ns per message\n", threads, contended);
    tirsklog_set_stream(nullptr);
    fclose(sink);
    return 0;
}
