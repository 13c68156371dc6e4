// Remote control over HTTP on the real program: each request of a real client
// with its effect on the status document and the screen; foreign and rude clients.
#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include "viewer.h"

using namespace testsupport;

namespace {

const std::string CATALOGUE = R"(camera 0 allow_local=1 video_src=yes geometry=352x288
camera 1-3 work=1 v4l_pipe={nr} text_left="Кам {nr}"
camera 4 work=1 v4l_pipe=4 text_left="caf)" "\xe9" R"( \"x\" \\"
camera 5 work=1 v4l_pipe=5 text_left="Gate"
layout 0 L WIDE_2_2 "Pair" 1 5
layout 1 L QUAD_4_4 "Hall" 1 2 3 4
layout 2 L ONECAM "One" 3
)";
const std::string P = "/tirsk-mon-cgi";

// A TCP socket from ip (reads time out in 5 s) connected to port on loopback.
int dial(uint16_t port, const char *from = "127.0.0.1")
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{AF_INET, 0, {}, {}};
    inet_pton(AF_INET, from, &a.sin_addr);
    const timeval tv{5, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    const bool bound = bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
    a = {AF_INET, htons(port), {htonl(INADDR_LOOPBACK)}, {}};
    return bound && connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0 ? fd : (close(fd), -1);
}

struct Reply { int status = 0; std::string body; }; // status 0: closed without a reply

// Sends a request line, reads until the server closes (or 5 s pass).
Reply request(uint16_t port, const std::string &line, const char *from = "127.0.0.1")
{
    const int fd = dial(port, from);
    const std::string raw = line + " HTTP/1.1\r\nConnection: close\r\n\r\n";
    std::string in;
    char buf[4096];
    if (fd >= 0 && send(fd, raw.data(), raw.size(), MSG_NOSIGNAL) == ssize_t(raw.size()))
        for (ssize_t n; (n = recv(fd, buf, sizeof buf, 0)) > 0;)
            in.append(buf, size_t(n));
    close(fd);
    const size_t head = in.find("\r\n\r\n");
    const bool ok = in.rfind("HTTP/1.", 0) == 0 && head != std::string::npos;
    return ok ? Reply{atoi(in.c_str() + 9), in.substr(head + 4)} : Reply{};
}

class RemoteControl : public ViewerTest {
protected:
    void start_rc(std::vector<std::string> extra = {}, const std::string &catalogue = CATALOGUE)
    {
        port_ = free_port();
        extra.push_back("--remote-control=http://127.0.0.1:" + std::to_string(port_) + P);
        extra.push_back("--alarm-msgs=FIRE;DOOR");
        ASSERT_NO_FATAL_FAILURE(start(catalogue, sim_cams(5), extra));
        ASSERT_TRUE(run_->wait_log("remote control httpd listen on 127.0.0.1")) << run_->log();
    }
    std::string status() { return request(port_, "GET " + P + "/status").body; }
    // The status document once the viewer has executed that many requests.
    std::string status_after(int executed, int refused)
    {
        const std::string want = R"("requests":{"executed":)" + std::to_string(executed) + R"(,"refused":)" + std::to_string(refused);
        std::string doc;
        wait_until(5000, [&] { return (doc = status()).find(want) != std::string::npos; });
        return doc;
    }
    uint16_t port_ = 0;
};

enum Outcome { NOT_QUEUED, DONE, REFUSED };
enum Screen { ANY, GREEN_CLIP, ALARM_ON_WIN2, POPUP, NO_POPUP };
// Request line, reply, outcome, what the status document then shows.
struct Row { std::string line; int http; Outcome outcome; std::string in_status; Screen screen = ANY; };
std::string get(const std::string &rest) { return "GET " + P + rest; }

} // namespace

TEST_F(RemoteControl, EveryRequestOfTheGrammarActsAsItSays)
{
    TempDir clips; // camera 5's fullscreen stream: a green clip
    const std::string clip = clips.file("green.avi");
    ASSERT_EQ(run({"gst-launch-1.0", "-q", "videotestsrc", "pattern=green", "num-buffers=500", "!", "video/x-raw,width=320,height=240", "!", "jpegenc", "!", "avimux", "!", "filesink", "location=" + clip}).status, 0);
    ASSERT_NO_FATAL_FAILURE(start_rc({}, CATALOGUE + "camera 5 mon_fs_uri=file://" + clip + "\n"));
    const std::vector<Row> rows = {
        {get("/camera?nr=261&param=fullscreen&action=set&value=1"), 200, DONE, R"("fullscreen":2)", GREEN_CLIP},
        {get("/window.cgi?nr=2&param=fullscreen&action=set&value=0"), 200, DONE, R"("fullscreen":null)"},
        {get("/window?nr=1&param=fullscreen&action=set&value=1"), 200, DONE, R"("fullscreen":1)"},
        {get("/window?nr=2&param=fullscreen&action=set&value=1"), 200, DONE, R"("fullscreen":2)"},
        {get("/camera.cgi?nr=5&param=fullscreen&action=set&value=0"), 200, DONE, R"("fullscreen":null)"},
        {get("/window?nr=3&param=fullscreen&action=set&value=1"), 200, REFUSED, R"("fullscreen":null)"},
        {get("/camera?nr=5&param=alarm&action=set&value=1"), 200, DONE, R"("Gate"},"state":"playing","alarm":{"code":1,"text":"DOOR"})", ALARM_ON_WIN2},
        {get("/camera?nr=5&param=alarm&action=set&value=2"), 200, REFUSED, R"("text":"DOOR")"},
        {get("/camera?nr=5&param=alarm&action=set&value=-1"), 200, REFUSED, R"("text":"DOOR")"},
        {get("/camera?nr=1&param=alarm&action=set&value=0"), 200, DONE, R"("text":"FIRE")"},
        {get("/camera?nr=5&param=alarm&action=reset"), 200, DONE, R"("FIRE"}},{"nr":2,"camera":{"nr":5,"name":"Gate"},"state":"playing","alarm":null})"},
        {get("/camera?nr=0&param=alarm&action=reset"), 200, DONE, R"("name":"Кам 1"},"state":"playing","alarm":null)"},
        {get("/camera?nr=9&param=alarm&action=set&value=0"), 200, REFUSED, ""},
        {get("/camera?nr=1&param=alarm&action=get"), 200, REFUSED, ""},
        {get("/message.cgi?nr=1&action=set&value=Hello"), 200, DONE, "", POPUP},
        {get("/message?nr=1&action=set"), 200, REFUSED, "", NO_POPUP},
        {get("/message?nr=1&action=set&value=Again"), 200, DONE, "", POPUP},
        {get("/message?nr=1&action=reset"), 200, DONE, "", NO_POPUP},
        {get("/layout?nr=1&action=set"), 200, DONE, R"({"nr":4,"name":"caf\ufffd \"x\" \\"})"}, // name escaped
        {get("/layout.cgi?nr=258&action=set"), 200, DONE, R"("layout":{"nr":2,"name":"One")"},
        {get("/window?nr=1&param=fullscreen&action=set&value=1"), 200, DONE, R"("fullscreen":null)"},
        {get("/layout?nr=7&action=set"), 200, REFUSED, R"("nr":2,"name":"One")"},
        {"GET /any" + P + "/layout?nr=0&action=set", 200, DONE, R"("layout":{"nr":0,"name":"Pair")"},
        {get("/camera/"), 404, NOT_QUEUED, ""},
        {"GET /camera?nr=1&param=fullscreen&action=set&value=1", 404, NOT_QUEUED, ""},
        {"POST " + P + "/camera", 405, NOT_QUEUED, ""},
    };
    int executed = 0, refused = 0;
    for (const Row &row : rows) {
        SCOPED_TRACE(row.line);
        const Reply r = request(port_, row.line);
        EXPECT_EQ(r.status, row.http);
        EXPECT_EQ(r.body, row.http == 200 ? "OK\r\n" : row.http == 404 ? "URL path not found\r\n" : "Method Not Allowed\r\n");
        executed += row.outcome != NOT_QUEUED;
        refused += row.outcome == REFUSED;
        const std::string doc = status_after(executed, refused);
        EXPECT_NE(doc.find(row.in_status), std::string::npos) << doc;
        if (row.screen == ANY)
            continue;
        const Box v = wins_[2].video;
        EXPECT_TRUE(shot_until([&](const Image &img) {
            const int blue = count_colour(img, {0, 0, 648, 488}, POPUP_BLUE);
            return row.screen == ALARM_ON_WIN2 // light cyan border, text on red at the top right
                       ? border(img, 2, ALARM_BORDER) > 0.9 &&
                             count_colour(img, {v.x + v.w / 2, v.y, v.w / 2, 40}, {255, 0, 0}) > 100
                       : row.screen == GREEN_CLIP ? count_colour(img, {0, 0, 648, 488}, {13, 236, 13}, 6) > 150000
                       : row.screen == POPUP      ? blue > 200000 : blue < 50;
        }, nullptr, 5000)) << row.screen;
    }
    // With no allowed-from list, any client is admitted.
    EXPECT_EQ(request(port_, "GET " + P + "/status", "127.0.0.2").status, 200);
}

TEST_F(RemoteControl, ForeignAndMisbehavingClientsAreAnsweredOrClosedAndTheViewerGoesOn)
{
    ASSERT_NO_FATAL_FAILURE(start_rc({"--allowed-from=127.0.0.1"}));
    // Refused before its request is read: it never reaches the queue.
    EXPECT_EQ(request(port_, get("/layout?nr=1&action=set"), "127.0.0.2").status, 0);
    EXPECT_TRUE(run_->wait_log("client ip 127.0.0.2 hasn't belong to the \"allowed-from\" params, reject connection"));
    const auto t0 = std::chrono::steady_clock::now();
    const int silent = dial(port_);
    const int idle[5] = {dial(port_), dial(port_), dial(port_), dial(port_), dial(port_)};
    char c;
    EXPECT_EQ(recv(idle[4], &c, 1, 0), 0) << "the sixth connection is closed at once";
    std::for_each(idle, idle + 5, close);
    ASSERT_TRUE(wait_until(3000, [&] { return !status().empty(); }));

    // Bad escapes are taken as text (bytes that never parse are the fuzzer's).
    for (const std::string q : {"camera?nr=1&param=alarm&action=set&value=1%00zz",
                                "camera?nr=%00&param=alarm&action=set&value=%zz%4", "layout?nr=1%ff&action=%"})
        EXPECT_EQ(request(port_, get("/" + q)).status, 200) << q;
    std::string doc; // once both cameras are past their first frame
    wait_until(5000, [&] { return (doc = status_after(3, 2)).find("waiting") == std::string::npos; });
    EXPECT_EQ(doc.rfind(R"({"display":"L","layout":{"nr":0,"name":"Pair","type":"WIDE_2_2"},"fullscreen":null,"windows":[{"nr":1,"camera":{"nr":1,"name":"Кам 1"},"state":"playing","alarm":{"code":1,"text":"DOOR"})", 0), 0u) << doc;
    EXPECT_TRUE(moving(2)) << "the picture moves on";

    // Idle connections end after 10 s.
    EXPECT_TRUE(wait_until(20000, [&] { return recv(silent, &c, 1, 0) == 0; }));
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::seconds(9));
    close(silent);
    EXPECT_TRUE(run_->child()->running());
}
