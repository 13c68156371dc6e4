// Live video cost of the whole viewer: on a private 1920x1080 Xvfb, N
// simulated 704x576 I420 devices at 25 fps in a layout of N windows, the
// real viewer runs for a while; then the reference program
// (bench_reference_overlay: read into an overlay, display it, nothing else)
// runs on the same devices and cells.  First, what an installer would build
// instead: a GStreamer compositor mosaic of 16 and 36 generated 704x576
// sources into one 1920x1080 picture (-m 0 leaves it out).  Printed per row:
//   - frames displayed per second per camera (lowest and median camera),
//   - CPU per displayed camera frame, program + X server (from /proc, CPU
//     time: load from other processes disturbs it less than wall time), the
//     shares of a core, and the ratios to the reference and to the mosaic;
//     the simulated devices' and test sources' threads are left out,
//   - time from a frame becoming readable to the read that takes it for
//     display (median, 99th percentile), from the simulator's event log;
//     the display follows the read in the same call,
//   - the program's own peak memory (VmHWM less the simulated devices'
//     buffers: about six frames a device),
//   - the viewer's CPU share while every device is stalled.
//
//   bench_live_video [-t SECONDS] [-m 0] [-o VIEWER_OPTION]... [N ...]
//   (default 10 s; N of 4 16 40 60; e.g. -o -R50 for a 50 fps limit)
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

// Threads of the measured programs that only make test pictures.
const std::vector<std::string> generator_threads = {"fakecam-gen", "videotestsrc"};

// A compositor mosaic of n generated 704x576 sources at 25 fps into
// 1920x1080 on the display, as gst-launch builds it.  The sink shows every
// picture the compositor makes (sync=false): a mosaic that cannot keep up
// shows fewer, rather than none dropped as late.
Figures measure_mosaic(const std::string &dir, const Display &display, pid_t xvfb, int n,
                       double warm, double seconds)
{
    const int cols = n <= 16 ? 4 : 6, rows = (n + cols - 1) / cols;
    const int cw = 1920 / cols, ch = 1080 / rows;
    std::vector<std::string> argv = {"gst-launch-1.0", "-v", "compositor", "name=c"};
    for (int i = 0; i < n; i++) {
        const std::string pad = "sink_" + std::to_string(i) + "::";
        argv.push_back(pad + "xpos=" + std::to_string(i % cols * cw));
        argv.push_back(pad + "ypos=" + std::to_string(i / cols * ch));
        argv.push_back(pad + "width=" + std::to_string(cw));
        argv.push_back(pad + "height=" + std::to_string(ch));
    }
    for (const char *a : {"!", "video/x-raw,width=1920,height=1080,framerate=25/1", "!",
                          "videoconvert", "!", "fpsdisplaysink", "text-overlay=false",
                          "video-sink=ximagesink", "sync=false"})
        argv.push_back(a);
    for (int i = 0; i < n; i++)
        for (const std::string &a : std::initializer_list<std::string>{
                 "videotestsrc", "is-live=true", "pattern=ball", "!",
                                    "video/x-raw,format=I420,width=704,height=576,framerate=25/1",
                                    "!", "c.sink_" + std::to_string(i)})
            argv.push_back(a);
    const std::string out = dir + "/mosaic" + std::to_string(n) + ".out";
    Child gst(argv, {"DISPLAY=" + display.name()}, out, dir + "/mosaic.err");
    const pid_t pid = gst.pid();
    pause_s(warm);
    const double p0 = cpu_s_without(pid, generator_threads), x0 = cpu_s(xvfb);
    const std::string before = read_file(out);
    const int64_t t0 = mono_us();
    pause_s(seconds);
    const double p1 = cpu_s_without(pid, generator_threads), x1 = cpu_s(xvfb);
    const int64_t t1 = mono_us();
    const long hwm = status_kb(pid, "VmHWM");
    gst.signal(SIGINT);
    if (!gst.wait(5000, nullptr))
        gst.signal(SIGKILL);
    // fpsdisplaysink's running count: "rendered: R, dropped: ...".
    auto rendered = [](const std::string &text) {
        const size_t at = text.rfind("rendered: ");
        return at == std::string::npos ? 0L : atol(text.c_str() + at + 10);
    };
    const double secs = double(t1 - t0) / 1e6;
    const double fps = double(rendered(read_file(out)) - rendered(before)) / secs;
    Figures f;
    f.fps_min = f.fps_median = fps;
    f.program_cpu = (p1 - p0) / secs;
    f.xserver_cpu = (x1 - x0) / secs;
    f.cpu_per_frame_ms = fps > 0 ? (p1 - p0 + x1 - x0) / (fps * n * secs) * 1000 : 0;
    f.hwm_kb = hwm;
    return f;
}

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
    const double p0 = cpu_s_without(pid, generator_threads), x0 = cpu_s(xvfb);
    const int64_t t0 = mono_us();
    pause_s(seconds);
    const double p1 = cpu_s_without(pid, generator_threads), x1 = cpu_s(xvfb);
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
    // The simulated devices' buffers: background, picture, four queued.
    f.hwm_kb = hwm - long(n) * 6 * (704 * 576 * 3 / 2) / 1024;
    f.idle_cpu = idle;
    return f;
}

} // namespace

int main(int argc, char **argv)
{
    double seconds = 10;
    bool mosaic = true;
    std::vector<int> counts;
    std::vector<std::string> extra;
    for (int i = 1; i < argc; i++) {
        if (!strcmp(argv[i], "-t") && i + 1 < argc)
            seconds = atof(argv[++i]);
        else if (!strcmp(argv[i], "-m") && i + 1 < argc)
            mosaic = atoi(argv[++i]) != 0;
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
    printf("%-10s %-4s | %-16s | %-27s | %-13s | %-15s | %s\n", "program", "N",
           "fps/camera min med", "CPU ms/frame (prog%+X%)", "vs ref mosaic", "latency p50 p99",
           "own MB, stalled CPU");
    std::map<int, Figures> mosaics;
    for (int m : {16, 36}) {
        if (!mosaic)
            break;
        const Figures f = measure_mosaic(dir, display, xvfb, m, 4, seconds);
        mosaics[m] = f;
        printf("%-10s %-4d | %6.1f %6.1f    | %6.2f (%4.0f%%+%3.0f%%)       | %-13s | %-15s | %4ld\n",
               "mosaic", m, f.fps_min, f.fps_median, f.cpu_per_frame_ms, f.program_cpu * 100,
               f.xserver_cpu * 100, "", "-", f.hwm_kb / 1024);
        fflush(stdout);
    }
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
        auto ratio = [](double a, double b) { return b > 0 ? a / b : 0.0; };
        const auto m = mosaics.find(n <= 16 ? 16 : 36);
        const double vs_mosaic =
            m == mosaics.end() ? 0 : ratio(v.cpu_per_frame_ms, m->second.cpu_per_frame_ms);
        printf("%-10s %-4d | %6.1f %6.1f    | %6.2f (%4.0f%%+%3.0f%%)       | %-13s | %6.1f %6.1f   | %4ld\n",
               "reference", n, r.fps_min, r.fps_median, r.cpu_per_frame_ms, r.program_cpu * 100,
               r.xserver_cpu * 100, "", r.lat_median_ms, r.lat_p99_ms, r.hwm_kb / 1024);
        printf("%-10s %-4d | %6.1f %6.1f    | %6.2f (%4.0f%%+%3.0f%%)       | %5.2fx %5.2fx | %6.1f %6.1f   | %4ld, %.1f%%\n",
               "viewer", n, v.fps_min, v.fps_median, v.cpu_per_frame_ms, v.program_cpu * 100,
               v.xserver_cpu * 100, ratio(v.cpu_per_frame_ms, r.cpu_per_frame_ms), vs_mosaic,
               v.lat_median_ms, v.lat_p99_ms, v.hwm_kb / 1024, v.idle_cpu * 100);
        fflush(stdout);
    }
    printf("load after: %s", read_file("/proc/loadavg").c_str());
    return 0;
}
