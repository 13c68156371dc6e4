// Live video cost of the whole viewer: on a private 1920x1080 Xvfb, N
// simulated 704x576 I420 devices at 25 fps in a layout of N windows, the
// real viewer runs for a while; then the reference program
// (bench_reference_overlay: read into an overlay, display it, nothing else)
// runs on the same devices and cells.  Printed for each N:
//   - frames displayed per second per camera (lowest and median camera),
//   - CPU seconds per displayed frame, viewer + X server, and the ratio to
//     the reference,
//   - peak memory (VmHWM) of the viewer,
//   - time from a frame becoming readable to the read that takes it for
//     display (median, 99th percentile), from the simulator's event log;
//     the display follows the read in the same call,
//   - the viewer's CPU share while every device is stalled.
//
//   bench_live_video [-t SECONDS] [-o VIEWER_OPTION]... [N ...]
//   (default 10 s; N of 4 16 40 60; e.g. -o -R50 for 50 polls a second)
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench_util.h"
#include "harness.h"

using namespace bench;

namespace {

using namespace testsupport;

void pause_s(double s) { std::this_thread::sleep_for(std::chrono::duration<double>(s)); }

const char *layout_of(int n)
{
    switch (n) {
    case 4: return "QUAD_4_4";
    case 16: return "QUAD_16_16";
    case 40: return "WIDE_40_40";
    default: return "WIDE_60_60";
    }
}

struct Figures {
    double fps_min = 0, fps_median = 0;
    double cpu_per_frame_ms = 0; // program + X server
    double program_cpu = 0, xserver_cpu = 0; // share of a core
    long hwm_kb = 0;
    double lat_median_ms = 0, lat_p99_ms = 0;
    double idle_cpu = -1; // share of a core with every device stalled
};

Figures figures(const Reads &r, int n, double seconds, double prog_cpu, double x_cpu)
{
    Figures f;
    std::vector<double> fps;
    for (int i = 1; i <= n; i++) {
        const auto it = r.per_device.find("video" + std::to_string(i));
        fps.push_back(it == r.per_device.end() ? 0 : double(it->second) / seconds);
    }
    std::sort(fps.begin(), fps.end());
    f.fps_min = fps.front();
    f.fps_median = fps[fps.size() / 2];
    f.cpu_per_frame_ms = r.total ? (prog_cpu + x_cpu) / double(r.total) * 1000 : 0;
    f.program_cpu = prog_cpu / seconds;
    f.xserver_cpu = x_cpu / seconds;
    f.lat_median_ms = percentile(r.latency_us, 0.5);
    f.lat_p99_ms = percentile(r.latency_us, 0.99);
    return f;
}

// One measured run of a program (the viewer or the reference) on n devices.
Figures measure(const std::string &dir, const Display &display, pid_t xvfb, int n,
                const std::vector<std::string> &argv, double warm, double seconds,
                bool idle_check, const std::string &tag)
{
    const std::string events = dir + "/events-" + tag;
    const std::vector<std::string> env = {
        "DISPLAY=" + display.name(),
        "LD_PRELOAD=" + fakecam_library(),
        "FAKECAM_CONFIG=" + dir + "/cams.conf",
        "FAKECAM_CTL_DIR=" + dir + "/ctl-" + tag,
        "FAKECAM_EVENTS=" + events,
        "TIRSK_LOCK_DIR=" + dir + "/locks",
    };
    Child viewer(argv, env, dir + "/" + tag + ".out", dir + "/" + tag + ".log");
    const pid_t pid = viewer.pid();
    pause_s(warm);
    const double p0 = cpu_s(pid), x0 = cpu_s(xvfb);
    const int64_t t0 = mono_us();
    pause_s(seconds);
    const double p1 = cpu_s(pid), x1 = cpu_s(xvfb);
    const int64_t t1 = mono_us();
    const long hwm = status_kb(pid, "VmHWM");
    double idle = -1;
    if (idle_check) {
        run({tool_path("tools/fakecam/fakecamctl"), "-d", dir + "/ctl-" + tag, "all", "stall"},
            {"LD_PRELOAD="});
        pause_s(6); // past the read time-out: every window failed
        const double i0 = cpu_s(pid);
        pause_s(5);
        idle = (cpu_s(pid) - i0) / 5;
    }
    viewer.signal(SIGTERM);
    if (!viewer.wait(5000, nullptr))
        viewer.signal(SIGKILL);
    Figures f = figures(parse_events(events, t0, t1), n, double(t1 - t0) / 1e6, p1 - p0, x1 - x0);
    f.hwm_kb = hwm;
    f.idle_cpu = idle;
    return f;
}

} // namespace

int main(int argc, char **argv)
{
    double seconds = 10;
    std::vector<int> counts;
    std::vector<std::string> extra;
    for (int i = 1; i < argc; i++) {
        if (!strcmp(argv[i], "-t") && i + 1 < argc)
            seconds = atof(argv[++i]);
        else if (!strcmp(argv[i], "-o") && i + 1 < argc)
            extra.push_back(argv[++i]);
        else if (atoi(argv[i]) > 0 && atoi(argv[i]) <= 60)
            counts.push_back(atoi(argv[i]));
    }
    if (counts.empty())
        counts = {4, 16, 40, 60};

    TempDir tmp;
    const std::string dir = tmp.path();
    mkdir((dir + "/locks").c_str(), 0755);
    const Display display(1920, 1080);
    const pid_t xvfb = display.pid();
    if (!display.ok()) {
        fprintf(stderr, "Xvfb did not start\n");
        return 1;
    }
    const std::string load = read_file("/proc/loadavg");
    std::string opts;
    for (const auto &o : extra)
        opts += " " + o;
    printf("live video: %d s a run, 704x576 I420 at 25 fps, 1920x1080 Xvfb, viewer "
           "options:%s; load before: %s",
           int(seconds), opts.empty() ? " (defaults)" : opts.c_str(), load.c_str());
    printf("%-4s %-11s | %-23s | %-22s | %-9s | %-15s | %s\n", "N", "layout",
           "fps/camera min  median", "CPU ms/frame (+X)  ref", "ratio", "latency ms p50 p99",
           "VmHWM MB, idle CPU");

    for (int n : counts) {
        std::string cat = "camera 0 allow_local=1 video_src=yes geometry=704x576\n"
                          "camera 1-" + std::to_string(n) + " work=1 v4l_pipe={nr}\n"
                          "layout 0 L " + layout_of(n) + " \"Bench\"";
        std::string cams;
        for (int i = 1; i <= n; i++) {
            cat += " " + std::to_string(i);
            cams += "video" + std::to_string(i) + " format=I420 size=704x576 fps=25\n";
        }
        write_file(dir + "/catalogue.txt", cat + "\n");
        write_file(dir + "/cams.conf", cams);
        if (run({tool_path("tools/mkcatalog/mkcatalog"), "-o", dir + "/tirsk6_db",
                 dir + "/catalogue.txt"}).status != 0) {
            fprintf(stderr, "mkcatalog failed\n");
            return 1;
        }
        write_file(dir + "/none.conf", "");
        std::vector<std::string> viewer = {TIRSK_MON_BIN, "-c", dir + "/none.conf",
                                           "-T", "sqlite", "-H", dir, "-D", "tirsk6_db",
                                           "-g", "1920x1080"};
        viewer.insert(viewer.end(), extra.begin(), extra.end());
        const Figures v = measure(dir, display, xvfb, n, viewer, 4, seconds, true,
                                  "viewer" + std::to_string(n));
        const Figures r = measure(dir, display, xvfb, n,
                                  {tool_path("bench/bench_reference_overlay"), layout_of(n),
                                   "1920x1080", "704x576", std::to_string(seconds + 6)},
                                  4, seconds, false, "reference" + std::to_string(n));
        printf("%-4d %-11s | viewer %5.1f %5.1f ref %4.1f | %6.2f (%4.0f%%+%3.0f%%) %6.2f | %5.2fx   "
               "| %5.1f %5.1f ref %4.1f %4.1f | %4ld, %.1f%%\n",
               n, layout_of(n), v.fps_min, v.fps_median, r.fps_median, v.cpu_per_frame_ms,
               v.program_cpu * 100, v.xserver_cpu * 100, r.cpu_per_frame_ms,
               r.cpu_per_frame_ms > 0 ? v.cpu_per_frame_ms / r.cpu_per_frame_ms : 0,
               v.lat_median_ms, v.lat_p99_ms, r.lat_median_ms, r.lat_p99_ms, v.hwm_kb / 1024,
               v.idle_cpu * 100);
        fflush(stdout);
    }
    printf("load after: %s", read_file("/proc/loadavg").c_str());
    return 0;
}
