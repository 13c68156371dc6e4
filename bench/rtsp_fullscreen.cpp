// A fullscreen network stream in the real viewer: on a private 1920x1080
// Xvfb, one camera (layout stream: a simulated 352x288 device, layout
// ONECAM) whose fullscreen stream is H.264 at 25 fps from the RTSP test
// server, at 1920x1080 and at 704x576.  Printed for each size:
//   - frames of the fullscreen stream shown per second, and CPU ms per shown
//     frame (viewer + X server);
//   - the same for the reference `gst-launch-1.0 uridecodebin ! videoconvert
//     ! ximagesink` on the same stream in the same run (it shows the picture
//     at its own size, unscaled), and the ratio; and for the reference with
//     `videoscale` to the viewer's picture size (the screen's height at the
//     stream's aspect) where that is not the stream's;
//   - from the fullscreen key to the fullscreen stream's first frame shown,
//     and from Esc to the layout stream's first frame shown (median and
//     worst of N), beside the stream's own start time: how long GStreamer
//     alone takes from start to its first frame with the viewer's source
//     settings (latency=100), less its start-up without a network stream.
// Frames shown are counted by bench/display_count, preloaded into both
// programs: the network frames pass no simulated device.
//
//   bench_rtsp_fullscreen [-n ROUNDS] [-t SECONDS] [-o VIEWER_OPTION]...
//   (20 rounds, 10 s; e.g. -o -R50 for 50 polls a second)
//   (BENCH_VERBOSE=1 in the environment: each round's times on stderr)
#include <limits.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <thread>

#include "bench_util.h"
#include "display.h"
#include "viewer.h"
#include "rtsp_server.h"

using namespace bench;
using namespace testsupport;

namespace {

std::string g_counter; // the preloaded counting library

void pause_s(double s) { std::this_thread::sleep_for(std::chrono::duration<double>(s)); }

struct Shown {
    int64_t t;
    bool overlay; // "ovl" (else "put")
    int w, h;
};

std::vector<Shown> shown(const std::string &log)
{
    std::vector<Shown> out;
    std::istringstream in(read_file(log));
    std::string line;
    while (std::getline(in, line)) {
        Shown s;
        char what[8];
        if (sscanf(line.c_str(), "%ld %7s %d %d", &s.t, what, &s.w, &s.h) == 4) {
            s.overlay = !strcmp(what, "ovl");
            out.push_back(s);
        }
    }
    return out;
}

// A frame: an overlay shown (the viewer; its labels and borders are X
// image puts too) or an image put (GStreamer's X sink), of width w and
// height h (0: any).
struct Frame {
    bool overlay;
    int w, h;
    bool operator()(const Shown &s) const
    {
        return s.overlay == overlay && (!w || s.w == w) && (!h || s.h == h);
    }
};

// Time of the first frame after t, or -1.
int64_t first_after(const std::string &log, int64_t t, Frame f)
{
    for (const Shown &s : shown(log))
        if (s.t > t && f(s))
            return s.t;
    return -1;
}

long count_between(const std::string &log, int64_t t0, int64_t t1, Frame f)
{
    long n = 0;
    for (const Shown &s : shown(log))
        n += s.t >= t0 && s.t <= t1 && f(s);
    return n;
}

// Waits up to 15 s for the first frame after t; -1 if none.
int64_t wait_first(const std::string &log, int64_t t, Frame f)
{
    int64_t at = -1;
    wait_until(15000, [&] { return (at = first_after(log, t, f)) >= 0; });
    return at;
}

struct Rate {
    double fps = 0, cpu_ms = 0; // frames shown a second; CPU ms (program + X) a frame
};

Rate measure(pid_t program, pid_t xvfb, const std::string &log, Frame f, double seconds)
{
    const double p0 = cpu_s(program), x0 = cpu_s(xvfb);
    const int64_t t0 = mono_us();
    pause_s(seconds);
    const double p1 = cpu_s(program), x1 = cpu_s(xvfb);
    const int64_t t1 = mono_us();
    const long frames = count_between(log, t0, t1, f);
    Rate r;
    r.fps = double(frames) / (double(t1 - t0) / 1e6);
    r.cpu_ms = frames ? (p1 - p0 + x1 - x0) * 1000 / double(frames) : 0;
    return r;
}

std::vector<std::string> counted_env(const Display &d, const std::string &log)
{
    return {"DISPLAY=" + d.name(), "LD_PRELOAD=" + g_counter, "DISPLAY_COUNT_LOG=" + log};
}

// Median time (ms) from starting gst-launch with the pipeline to its first
// picture, over a few runs.
double start_to_first(const Display &d, const TempDir &dir, const std::vector<std::string> &pipeline)
{
    std::vector<int64_t> t;
    for (int i = 0; i < 5; i++) {
        const std::string log = dir.file("start" + std::to_string(i) + ".count");
        std::vector<std::string> argv = {"gst-launch-1.0", "-q"};
        argv.insert(argv.end(), pipeline.begin(), pipeline.end());
        const int64_t t0 = mono_us();
        Child c(argv, counted_env(d, log), "/dev/null", "/dev/null");
        const int64_t first = wait_first(log, t0, {false, 0, 0});
        if (first > 0)
            t.push_back(first - t0);
        c.signal(SIGKILL);
        c.wait(5000, nullptr);
        unlink(log.c_str());
    }
    std::sort(t.begin(), t.end());
    return percentile(t, 0.5);
}

void run_size(const Display &display, int w, int h, int rounds, double seconds,
              std::vector<std::string> options)
{
    TempDir dir;
    const std::string size = std::to_string(w) + "x" + std::to_string(h);
    RtspServer server(dir.path(), size);
    if (!server.ok()) {
        fprintf(stderr, "rtspcam did not start: %s\n", server.output().c_str());
        return;
    }
    const std::string url = server.url("h264");

    // The viewer: rounds of Enter and Esc, then a fullscreen run measured.
    // The layout stream has the fullscreen stream's aspect, as a camera's
    // two streams do: the fullscreen picture fills the screen's height.
    const int div = std::max(1, w / 352);
    const std::string layout_size = std::to_string(w / div & ~1) + "x" + std::to_string(h / div & ~1);
    ViewerRun run("camera 0 allow_local=1 video_src=yes geometry=" + layout_size + "\n"
                  "camera 1 work=1 v4l_pipe=1 mon_fs_uri=" + url + "\n"
                  "layout 0 L ONECAM \"Bench\" 1\n",
                  "video1 size=" + layout_size + " fps=25\n");
    const std::string log = dir.file("viewer.count");
    run.add_env("LD_PRELOAD=" + fakecam_library() + ":" + g_counter);
    run.add_env("DISPLAY_COUNT_LOG=" + log);
    const Frame fs_frame = {true, w, 0}, layout_frame = {true, w / div & ~1, 0};
    options.insert(options.begin(), {"-g", "1920x1080"});
    if (!run.start(display.name(), options) || wait_first(log, 0, layout_frame) < 0) {
        fprintf(stderr, "the viewer did not start: %s\n", run.log().c_str());
        return;
    }
    std::vector<int64_t> enter, esc;
    for (int i = 0; i < rounds; i++) {
        // From the key sent: xdotool's own start-up (tens of ms on a loaded
        // machine) is not the viewer's; a picture shown before xdotool has
        // ended counts at the next one.
        run.xdotool({"key", "Return"});
        const int64_t t0 = mono_us();
        const int64_t fs = wait_first(log, t0, fs_frame);
        pause_s(1);
        run.xdotool({"key", "Escape"});
        const int64_t t1 = mono_us();
        const int64_t back = wait_first(log, t1, layout_frame);
        if (fs < 0 || back < 0) {
            fprintf(stderr, "round %d: no %s picture\n", i + 1, fs < 0 ? "fullscreen" : "layout");
            return;
        }
        enter.push_back(fs - t0);
        if (getenv("BENCH_VERBOSE"))
            fprintf(stderr, "round %d: Enter -> fullscreen %.0f ms, Esc -> layout %.0f ms\n", i + 1,
                    double(fs - t0) / 1e3, double(back - t1) / 1e3);
        esc.push_back(back - t1);
        pause_s(0.5);
    }
    const int64_t t0 = mono_us();
    run.xdotool({"key", "Return"});
    wait_first(log, t0, fs_frame);
    pause_s(2);
    const Rate viewer = measure(run.child()->pid(), display.pid(), log, fs_frame, seconds);
    run.stop();

    // The reference on the same stream, as given and scaled to the
    // viewer's picture size (the screen's height at the stream's aspect).
    auto reference = [&](const std::string &name, std::vector<std::string> scale) {
        const std::string ref_log = dir.file(name + ".count");
        std::vector<std::string> argv = {"gst-launch-1.0", "-q", "uridecodebin", "uri=" + url, "!"};
        argv.insert(argv.end(), scale.begin(), scale.end());
        argv.insert(argv.end(), {"videoconvert", "!", "ximagesink"});
        const int64_t r0 = mono_us();
        Child ref(argv, counted_env(display, ref_log), dir.file(name + ".out"), dir.file(name + ".err"));
        wait_first(ref_log, r0, {false, 0, 0});
        pause_s(2);
        const Rate r = measure(ref.pid(), display.pid(), ref_log, {false, 0, 0}, seconds);
        ref.signal(SIGKILL);
        ref.wait(5000, nullptr);
        return r;
    };
    const Rate ref = reference("reference", {});
    const int sw = (1080 * w / h) & ~1;
    const Rate scaled = sw == w ? ref : reference("scaled", {"videoscale", "!", "video/x-raw,width=" +
                                                              std::to_string(sw) + ",height=" +
                                                              std::to_string(1080), "!"});

    const double own = start_to_first(display, dir, {"rtspsrc", "location=" + url, "latency=100",
                                                     "!", "decodebin", "!", "videoconvert", "!",
                                                     "ximagesink"}) -
                       start_to_first(display, dir, {"videotestsrc", "!", "video/x-raw,width=" +
                                                     std::to_string(w) + ",height=" +
                                                     std::to_string(h), "!", "videoconvert", "!",
                                                     "ximagesink"});
    std::sort(enter.begin(), enter.end());
    std::sort(esc.begin(), esc.end());
    auto ratio = [&](const Rate &r) { return r.cpu_ms > 0 ? viewer.cpu_ms / r.cpu_ms : 0; };
    printf("%-9s | %5.1f  %6.2f (%5.1f%% cpu) | %5.1f  %6.2f %5.2fx | %5.1f  %6.2f %5.2fx | %6.0f %6.0f  own %4.0f | %5.0f %5.0f\n",
           size.c_str(), viewer.fps, viewer.cpu_ms, viewer.fps * viewer.cpu_ms / 10, ref.fps,
           ref.cpu_ms, ratio(ref), scaled.fps, scaled.cpu_ms, ratio(scaled),
           percentile(enter, 0.5), double(enter.back()) / 1000, own, percentile(esc, 0.5),
           double(esc.back()) / 1000);
    fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    int rounds = 20;
    double seconds = 10;
    std::vector<std::string> options;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!strcmp(argv[i], "-n"))
            rounds = std::max(1, atoi(argv[i + 1]));
        else if (!strcmp(argv[i], "-t"))
            seconds = std::max(1.0, atof(argv[i + 1]));
        else if (!strcmp(argv[i], "-o"))
            options.push_back(argv[i + 1]);
    }
    std::string shown_options;
    for (const auto &o : options)
        shown_options += " " + o;
    g_counter = tool_path("bench/libdisplay_count.so");
    Display display(1920, 1080);
    if (!display.ok() || display.pid() < 0) {
        fprintf(stderr, "Xvfb did not start\n");
        return 1;
    }
    printf("fullscreen RTSP H.264 at 25 fps, 1920x1080 Xvfb, %d rounds, %.0f s a run, viewer "
           "options:%s; load before: %s",
           rounds, seconds, options.empty() ? " (defaults)" : shown_options.c_str(),
           read_file("/proc/loadavg").c_str());
    printf("%-9s | %-31s | %-20s | %-20s | %-24s | %s\n", "stream", "viewer fps  CPU ms/frame (+X)",
           "ref fps  ms  ratio", "scaled ref fps  ms", "Enter->1st ms p50 max", "Esc->layout p50 max");
    run_size(display, 1920, 1080, rounds, seconds, options);
    run_size(display, 704, 576, rounds, seconds, options);
    printf("load after: %s", read_file("/proc/loadavg").c_str());
    return 0;
}
