// Recovery figures of the whole viewer: one simulated camera in a
// one-window layout is stalled and resumed TRIES times (default 100).
// Printed: the time from the stall to the window's failure label (target:
// no-signal + 1 s), from the log stamp of the label's line, and from the
// device's return to the first frame read for display (target:
// reconnect-timeout + 1 s), from the simulator's event log; median, 95th
// percentile and maximum, and how many tries recovered.
//
//   bench_recovery [-n TRIES] [-s NO_SIGNAL_S] [-r RECONNECT_S]
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/time.h>

#include "bench_util.h"
#include "harness.h"
#include "viewer.h"

using namespace testsupport;
using namespace bench;

namespace {

int64_t wall_ms()
{
    timeval tv;
    gettimeofday(&tv, nullptr);
    return int64_t(tv.tv_sec) * 1000 + tv.tv_usec / 1000;
}

// Wall-clock milliseconds of a log line "<4>2026-12-07 00:14:46.219 ...".
int64_t stamp_ms(const std::string &line)
{
    tm t{};
    if (line.size() < 26 || !strptime(line.c_str() + 3, "%Y-%m-%d %H:%M:%S", &t))
        return -1;
    t.tm_isdst = -1;
    return int64_t(mktime(&t)) * 1000 + atoi(line.c_str() + 23);
}

// The log lines holding any of the texts.
std::vector<std::string> lines_with(const std::string &log, std::initializer_list<const char *> texts)
{
    std::vector<std::string> out;
    std::istringstream in(log);
    for (std::string line; std::getline(in, line);)
        for (const char *t : texts)
            if (line.find(t) != std::string::npos) {
                out.push_back(line);
                break;
            }
    return out;
}

void print(const char *what, std::vector<int64_t> us, double target_s, int tries)
{
    std::sort(us.begin(), us.end());
    printf("%-28s recovered %3zu/%d  median %7.1f ms  p95 %7.1f ms  max %7.1f ms  "
           "(target %.1f s)\n",
           what, us.size(), tries, percentile(us, 0.5), percentile(us, 0.95),
           us.empty() ? 0.0 : double(us.back()) / 1000, target_s);
}

} // namespace

int main(int argc, char **argv)
{
    const int tries = int(option(argc, argv, "-n", 100));
    const double no_signal = option(argc, argv, "-s", 1), reconnect = option(argc, argv, "-r", 1);
    Display display(640, 480);
    ViewerRun run("camera 0 allow_local=1 video_src=yes geometry=352x288\n"
                  "camera 1 work=1 v4l_pipe=1\nlayout 0 L ONECAM \"Bench\" 1\n",
                  "video1 size=352x288 fps=25\n");
    const std::string events = run.dir().file("events");
    run.add_env("FAKECAM_EVENTS=" + events);
    char ns[64], rc[64];
    snprintf(ns, sizeof ns, "--no-signal=%g", no_signal);
    snprintf(rc, sizeof rc, "--reconnect-timeout=%g", reconnect);
    if (!display.ok() || !run.start(display.name(), {ns, rc, "-g", "640x480"})) {
        fprintf(stderr, "the viewer did not start\n%s", run.log().c_str());
        return 1;
    }
    printf("recovery: %d tries, no-signal %g s, reconnect-timeout %g s\n", tries, no_signal,
           reconnect);
    std::vector<int64_t> to_label, to_picture;
    const auto picture_since = [&](int64_t t) {
        const Reads r = parse_events(events, t, INT64_MAX);
        return r.first_us.count("video1") ? r.first_us.at("video1") : -1;
    };
    for (int i = 0; i < tries; i++) {
        const size_t labels = lines_with(run.log(), {"server failure!", "capture failed"}).size();
        const size_t restores = run.log_count("restore surveillance");
        const int64_t stall_wall = wall_ms();
        run.cam_command("video1", "stall");
        std::vector<std::string> now;
        if (wait_until(int(no_signal * 1000) + 10000, [&] {
                now = lines_with(run.log(), {"server failure!", "capture failed"});
                return now.size() > labels;
            }))
            to_label.push_back((stamp_ms(now[labels]) - stall_wall) * 1000);
        const int64_t resumed = mono_us();
        run.cam_command("video1", "resume");
        int64_t first = -1;
        if (wait_until(int(reconnect * 1000) + 10000, [&] { return (first = picture_since(resumed)) >= 0; }))
            to_picture.push_back(first - resumed);
        wait_until(10000, [&] { return run.log_count("restore surveillance") > restores; });
    }
    print("stall -> label", to_label, no_signal + 1, tries);
    print("return -> picture", to_picture, reconnect + 1, tries);
    const RunResult r = run.stop();
    printf("viewer ended with status %d%s\n", r.status, r.signal ? " (killed by a signal)" : "");
    return to_label.size() == size_t(tries) && to_picture.size() == size_t(tries) ? 0 : 1;
}
