// Soak of the whole viewer: 40 simulated cameras that stall, hang up and
// vanish at random while the viewer is driven through ACTIONS (default
// 10,000) layout switches, fullscreen toggles (both over the remote
// control) and pauses (the Space key).  Build it in the sanitizer build
// (scripts/build build-asan -DTIRSK_SANITIZE=ON) so that the viewer runs
// under ASan and UBSan.  Printed: resident memory after the warm-up and at
// the end (target: within 5 %), sanitizer findings and crashes (target:
// none), refused requests.
//
//   bench_soak [-n ACTIONS] [-s SEED]
#include <arpa/inet.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include <random>

#include "bench_util.h"
#include "harness.h"
#include "viewer.h"

using namespace testsupport;

namespace {

constexpr int CAMS = 40;
const char *const LAYOUTS[] = {"ONECAM", "QUAD_4_4", "MULTI_6_9", "QUAD_9_9", "QUAD_16_16",
                               "QUAD_25_25", "WIDE_34_40", "WIDE_40_40"};

// One GET on loopback; the HTTP status, or -1.
int http_get(int port, const std::string &path)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(uint16_t(port));
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    timeval tv{5, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    int status = -1;
    const std::string req = "GET " + path + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
    char buf[512];
    ssize_t n;
    if (connect(fd, reinterpret_cast<sockaddr *>(&sa), sizeof sa) == 0 &&
        write(fd, req.data(), req.size()) == ssize_t(req.size()) &&
        (n = read(fd, buf, sizeof buf - 1)) > 12) {
        buf[n] = 0;
        status = atoi(buf + 9);
    }
    close(fd);
    return status;
}

} // namespace

int main(int argc, char **argv)
{
    const int actions = int(bench::option(argc, argv, "-n", 10000));
    const unsigned seed = unsigned(bench::option(argc, argv, "-s", 1));
    std::string cat = "camera 0 allow_local=1 video_src=yes geometry=176x144\n"
                      "camera 1-40 work=1 v4l_pipe={nr}\n";
    std::string cams;
    for (int i = 1; i <= CAMS; i++)
        cams += "video" + std::to_string(i) + " size=176x144 fps=5\n";
    const int nlayouts = int(std::size(LAYOUTS));
    for (int l = 0; l < nlayouts; l++) {
        cat += "layout " + std::to_string(l) + " L " + LAYOUTS[l] + " \"L" + std::to_string(l) + "\"";
        for (int w = 0; w < CAMS; w++)
            cat += " " + std::to_string((w + 5 * l) % CAMS + 1);
        cat += "\n";
    }
    Display display(1920, 1080);
    ViewerRun run(cat, cams);
    run.add_env("ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0");
    const int port = 20000 + getpid() % 20000;
    if (!display.ok() ||
        !run.start(display.name(), {"--remote-control=http://127.0.0.1:" + std::to_string(port) + "/",
                             "--no-signal=1", "--reconnect-timeout=0.5", "-g", "1920x1080"},
                   60000)) {
        fprintf(stderr, "the viewer did not start\n%s", run.log().c_str());
        return 1;
    }
    const pid_t pid = run.child()->pid();
    std::mt19937 rng(seed);
    const auto pick = [&](int n) { return int(rng() % unsigned(n)); };
    const char *const faults[] = {"stall", "resume", "hangup", "vanish", "back"};
    long refused = 0, not_taken = 0, faults_sent = 0, rss_start = 0;
    const int64_t t0 = bench::mono_us();
    for (int i = 0; i < actions && run.child()->running(); i++) {
        if (i == actions / 20) // warmed up: every layout shown, buffers settled
            rss_start = bench::status_kb(pid, "VmRSS");
        const int kind = pick(20);
        int status = 200;
        if (kind < 9)
            status = http_get(port, "/layout?nr=" + std::to_string(pick(nlayouts)) + "&action=set");
        else if (kind < 16)
            status = http_get(port, "/window?nr=" + std::to_string(1 + pick(4)) +
                                        "&param=fullscreen&action=set&value=" + std::to_string(pick(2)));
        else
            run.xdotool({"key", "space"});
        refused += status == 400; // no such window in this layout, say
        not_taken += status != 200 && status != 400;
        if (i % 25 == 0) {
            run.cam_command("video" + std::to_string(1 + pick(CAMS)), faults[pick(5)]);
            faults_sent++;
        }
        if (i % 1000 == 999)
            fprintf(stderr, "soak: %d actions, VmRSS %ld kB\n", i + 1, bench::status_kb(pid, "VmRSS"));
    }
    run.cam_command("all", "back");
    run.cam_command("all", "resume");
    const bool alive = run.child()->running();
    const long rss_end = bench::status_kb(pid, "VmRSS");
    const double seconds = double(bench::mono_us() - t0) / 1e6;
    const RunResult r = run.stop(30000);
    const std::string log = run.log();
    long findings = 0;
    for (const char *mark : {"ERROR: AddressSanitizer", "runtime error:", "ERROR: LeakSanitizer"})
        for (size_t at = log.find(mark); at != std::string::npos; at = log.find(mark, at + 1))
            findings++;
    printf("soak: %d actions (%ld device faults) in %.0f s, seed %u\n", actions, faults_sent,
           seconds, seed);
    printf("resident memory: %ld kB after warm-up, %ld kB at the end (%+.1f %%, target within 5 %%)\n",
           rss_start, rss_end, rss_start > 0 ? 100.0 * double(rss_end - rss_start) / double(rss_start) : 0.0);
    printf("sanitizer findings: %ld; crashes: %s; requests refused %ld, not taken %ld\n",
           findings, !alive || r.signal || r.timed_out ? "YES" : "none", refused, not_taken);
    if (findings) {
        const size_t at = std::min({log.find("ERROR: AddressSanitizer"), log.find("runtime error:"),
                                    log.find("ERROR: LeakSanitizer")});
        printf("%s\n", log.substr(at, 3000).c_str());
    }
    return findings || !alive || r.signal ? 1 : 0;
}
