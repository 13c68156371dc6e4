// Remote control under load: the viewer on a private 1920x1080 Xvfb shows
// four simulated 704x576 cameras at 25 fps (QUAD_4_4) while REQUESTS
// requests go through CONNECTIONS keep-alive connections, one request at a
// time on each, as fast as the replies come.  Printed:
//   - requests per second, and the time from sending a request to its whole
//     reply (50th, 99th percentile, maximum), the replies by status;
//   - how many queued requests the main thread executed (from /status) and
//     how long after the last reply; whether every connection's requests
//     were executed, each once, in the order sent (from the debug log);
//   - frames shown per camera per second in the seconds before the load and
//     during it (the simulator's event log), and the viewer's CPU share.
// The mix: on each connection, requests the viewer executes and refuses at
// once (action "get", nr counting up), and every tenth request an alarm
// raised or reset on that connection's camera (label drawn and taken away),
// or on the fifth connection a read of /status.
//
//   bench_remote_control [-n REQUESTS] [-c CONNECTIONS]   (10000, 5)
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include <map>
#include <regex>
#include <thread>

#include "bench_util.h"
#include "viewer.h"

using namespace bench;

namespace {

constexpr const char *PREFIX = "/rc";

int dial(uint16_t port)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    timeval tv{10, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    sockaddr_in a{AF_INET, htons(port), {htonl(INADDR_LOOPBACK)}, {}};
    if (connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0)
        return fd;
    close(fd);
    return -1;
}

// One request on a keep-alive connection: the reply's status (0 when the
// connection broke) and body.
int roundtrip(int fd, const std::string &target, std::string *body = nullptr)
{
    const std::string req = "GET " + target + " HTTP/1.1\r\nHost: bench\r\n\r\n";
    if (send(fd, req.data(), req.size(), MSG_NOSIGNAL) != ssize_t(req.size()))
        return 0;
    std::string in;
    char buf[8192];
    for (;;) {
        const size_t head = in.find("\r\n\r\n");
        if (head != std::string::npos) {
            const char *cl = strcasestr(in.c_str(), "\r\nContent-Length:");
            const size_t len = cl ? strtoul(cl + 17, nullptr, 10) : 0;
            if (in.size() >= head + 4 + len) {
                if (body)
                    *body = in.substr(head + 4, len);
                return atoi(in.c_str() + 9);
            }
        }
        const ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n <= 0)
            return 0;
        in.append(buf, size_t(n));
    }
}

struct Request {
    std::string target;
    uint32_t code; // 0: not queued (/status)
};

// Request i of connection c (see the mix above).
Request request_of(int c, int i)
{
    const std::string p = PREFIX;
    if (i % 10 == 9) {
        if (c >= 4)
            return {p + "/status", 0};
        const bool set = (i / 10) % 2 == 0;
        const uint32_t cam = uint32_t(c + 1);
        return {p + "/camera?nr=" + std::to_string(cam) + "&param=alarm&action=" +
                    (set ? "set&value=0" : "reset"),
                (set ? 2u : 3u) << 24 | 1u << 16 | cam << 8 | 1u};
    }
    static const struct {
        const char *path;
        uint32_t object, param;
        const char *param_text;
    } kinds[] = {{"/camera", 1, 1, "&param=alarm"},
                 {"/camera", 1, 2, "&param=fullscreen"},
                 {"/window", 2, 2, "&param=fullscreen"},
                 {"/layout", 3, 0, ""},
                 {"/message", 4, 0, ""}};
    const auto &k = kinds[c % 5];
    const uint32_t nr = uint32_t(i) & 0xFF;
    return {p + k.path + "?nr=" + std::to_string(nr) + k.param_text + "&action=get",
            1u << 24 | k.param << 16 | nr << 8 | k.object};
}

// Which connection sent a code (the mix makes it unique).
int connection_of(uint32_t code, int connections)
{
    const uint32_t object = code & 0xFF, nr = (code >> 8) & 0xFF, param = (code >> 16) & 0xFF,
                   action = code >> 24;
    if (action != 1)
        return object == 1 && param == 1 && nr >= 1 && int(nr) <= connections ? int(nr) - 1 : -1;
    for (int c = 0; c < connections && c < 5; c++) {
        const Request r = request_of(c, 0);
        if ((r.code & 0xFF00FF) == (code & 0xFF00FF))
            return c;
    }
    return -1;
}

struct Worker {
    std::vector<uint32_t> sent;  // codes of the requests answered 200
    std::vector<int64_t> rtt_us;
    std::map<int, long> statuses;
    long broken = 0;
};

void run_connection(uint16_t port, int c, int count, Worker *w)
{
    int fd = dial(port);
    for (int i = 0; i < count; i++) {
        const Request r = request_of(c, i);
        const int64_t t0 = mono_us();
        const int status = fd >= 0 ? roundtrip(fd, r.target) : 0;
        w->rtt_us.push_back(mono_us() - t0);
        w->statuses[status]++;
        if (status == 200 && r.code)
            w->sent.push_back(r.code);
        if (status == 0) { // the connection broke: count it, go on with a new one
            w->broken++;
            if (fd >= 0)
                close(fd);
            fd = dial(port);
        }
    }
    if (fd >= 0)
        close(fd);
}

long status_number(const std::string &doc, const char *key)
{
    const size_t at = doc.find(key);
    return at == std::string::npos ? -1 : atol(doc.c_str() + at + strlen(key));
}

double fps(const Reads &r, const std::string &dev, double seconds)
{
    const auto it = r.per_device.find(dev);
    return it == r.per_device.end() ? 0 : double(it->second) / seconds;
}

void print_fps(const char *when, const Reads &r, double seconds)
{
    std::vector<double> v;
    for (int i = 1; i <= 4; i++)
        v.push_back(fps(r, "video" + std::to_string(i), seconds));
    std::sort(v.begin(), v.end());
    printf("  frames shown per camera per second %s: min %.1f, median %.1f (cameras run at 25)\n",
           when, v.front(), v[v.size() / 2]);
}

} // namespace

int main(int argc, char **argv)
{
    const int total = int(option(argc, argv, "-n", 10000)), connections = int(option(argc, argv, "-c", 5));
    if (total < connections || connections < 1 || connections > 5) {
        fprintf(stderr, "usage: bench_remote_control [-n REQUESTS] [-c CONNECTIONS (1-5)]\n");
        return 2;
    }

    testsupport::Display display(1920, 1080);
    if (!display.ok()) {
        fprintf(stderr, "Xvfb did not start\n");
        return 1;
    }
    testsupport::ViewerRun run("camera 0 allow_local=1 video_src=yes geometry=704x576\n"
                               "camera 1-4 work=1 v4l_pipe={nr}\n"
                               "layout 0 L QUAD_4_4 \"Bench\" 1 2 3 4\n",
                               "video1 format=I420 size=704x576 fps=25\n"
                               "video2 format=I420 size=704x576 fps=25\n"
                               "video3 format=I420 size=704x576 fps=25\n"
                               "video4 format=I420 size=704x576 fps=25\n");
    const std::string events = run.dir().file("events");
    run.add_env("FAKECAM_EVENTS=" + events);
    // A free port: bound and let go just before the viewer takes it.
    const int probe = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t len = sizeof a;
    bind(probe, reinterpret_cast<sockaddr *>(&a), len);
    getsockname(probe, reinterpret_cast<sockaddr *>(&a), &len);
    close(probe);
    const uint16_t port = ntohs(a.sin_port);
    if (!run.start(display.name(), {"--verbose=2", "-g", "1920x1080", "--alarm-msgs=ALARM",
                             "-r", "http://127.0.0.1:" + std::to_string(port) + PREFIX})) {
        fprintf(stderr, "the viewer did not start:\n%s\n", run.log().c_str());
        return 1;
    }
    const pid_t pid = run.child()->pid();
    printf("remote control: %d requests over %d keep-alive connections, viewer with 4 cameras "
           "704x576 at 25 fps on a 1920x1080 Xvfb; load before: %s",
           total, connections, read_file("/proc/loadavg").c_str());

    std::this_thread::sleep_for(std::chrono::seconds(4)); // streams up
    const int64_t before = mono_us();
    std::this_thread::sleep_for(std::chrono::seconds(5));

    std::vector<Worker> workers(static_cast<size_t>(connections));
    std::vector<std::thread> threads;
    const double cpu0 = cpu_s(pid);
    const int64_t t0 = mono_us();
    for (int c = 0; c < connections; c++)
        threads.emplace_back(run_connection, port, c, total / connections + (c < total % connections),
                             &workers[size_t(c)]);
    for (std::thread &t : threads)
        t.join();
    const int64_t t1 = mono_us();
    const double cpu1 = cpu_s(pid);
    const double load_s = double(t1 - t0) / 1e6;

    std::vector<int64_t> rtt;
    std::map<int, long> statuses;
    long queued = 0, broken = 0;
    for (const Worker &w : workers) {
        rtt.insert(rtt.end(), w.rtt_us.begin(), w.rtt_us.end());
        for (const auto &[s, n] : w.statuses)
            statuses[s] += n;
        queued += long(w.sent.size());
        broken += w.broken;
    }
    std::sort(rtt.begin(), rtt.end());
    printf("  %d requests in %.2f s: %.0f requests/s\n", total, load_s, total / load_s);
    printf("  request to reply: p50 %.3f ms, p99 %.3f ms, max %.3f ms\n", percentile(rtt, 0.5),
           percentile(rtt, 0.99), double(rtt.back()) / 1000);
    printf("  replies:");
    for (const auto &[s, n] : statuses)
        printf(" %ld x %s", n, s ? std::to_string(s).c_str() : "none (connection broke)");
    printf(", connections broken: %ld\n", broken);

    // Executed: the status document counts them.
    std::string doc;
    long executed = -1;
    const int64_t wait0 = mono_us();
    while (mono_us() - wait0 < 10000000) {
        const int fd = dial(port);
        if (fd >= 0 && roundtrip(fd, std::string(PREFIX) + "/status", &doc) == 200)
            executed = status_number(doc, "\"executed\":");
        if (fd >= 0)
            close(fd);
        if (executed >= queued)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    printf("  executed by the main thread: %ld of %ld queued (%ld refused as meant: action get), "
           "status document current %.0f ms after the last reply\n",
           executed, queued, status_number(doc, "\"refused\":"), double(mono_us() - t1) / 1000);

    // Order: each connection's codes in the debug log, against what it sent.
    static const std::regex got(R"(\(D\) got rctrl msg 0x([0-9A-F]+) )");
    const std::string log = run.log();
    std::vector<std::vector<uint32_t>> seen(static_cast<size_t>(connections));
    long unknown = 0;
    for (auto it = std::sregex_iterator(log.begin(), log.end(), got); it != std::sregex_iterator();
         ++it) {
        const uint32_t code = uint32_t(strtoul((*it)[1].str().c_str(), nullptr, 16));
        const int c = connection_of(code, connections);
        if (c < 0)
            unknown++;
        else
            seen[size_t(c)].push_back(code);
    }
    bool in_order = true;
    long lost = 0;
    for (int c = 0; c < connections; c++) {
        const auto &s = workers[size_t(c)].sent, &g = seen[size_t(c)];
        in_order = in_order && s == g;
        lost += long(s.size()) - long(std::min(s.size(), g.size()));
    }
    printf("  every connection's requests executed once each, in the order sent: %s; "
           "lost: %ld; executed but not sent: %ld\n",
           in_order ? "yes" : "NO", lost, unknown);

    print_fps("in the 5 s before", parse_events(events, before, t0), double(t0 - before) / 1e6);
    print_fps("during the load", parse_events(events, t0, t1), load_s);
    printf("  viewer CPU during the load: %.0f%% of a core\n", (cpu1 - cpu0) / load_s * 100);
    printf("load after: %s", read_file("/proc/loadavg").c_str());
    run.stop();
    return 0;
}
