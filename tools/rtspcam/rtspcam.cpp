// rtspcam: an RTSP test server on 127.0.0.1 that serves a generated picture
// as MJPEG, H.264 and VP8, and misbehaves on command (stall, drop its
// clients, go away and come back, hang, offer TCP only).  See README.md.
#include <errno.h>
#include <stdarg.h>
#include <fcntl.h>
#include <gio/gio.h>
#include <glib-unix.h>
#include <gst/gst.h>
#include <gst/rtsp-server/rtsp-server.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <string>
#include <string_view>

namespace {

struct Options {
    int port = 0; // 0: a free one
    int width = 704;
    int height = 576;
    int fps = 25;
    unsigned colour = 0x2060c0; // RRGGBB of the background
    bool tcp_only = false;
    std::string ctl = "rtspcam.ctl";
    std::string label;
};

struct Codec {
    const char *mount;
    const char *name;
    const char *encoder; // printf format: %d = bit rate in kbit/s, %d = key frame distance
};

// Each client gets its own pipeline (the factories are not shared), so a
// new client's stream starts with a key frame at once.  The H.264 caps pin
// the profile every software decoder takes.
constexpr std::array<Codec, 3> CODECS = {{
    {"/mjpeg", "MJPEG", "jpegenc quality=85 ! rtpjpegpay name=pay0 pt=26"},
    {"/h264", "H.264",
     "x264enc speed-preset=ultrafast tune=zerolatency bitrate=%d key-int-max=%d ! "
     "video/x-h264,profile=constrained-baseline ! "
     "rtph264pay name=pay0 pt=96 config-interval=-1"},
    {"/vp8", "VP8",
     "vp8enc deadline=1 cpu-used=16 end-usage=cbr target-bitrate=%d000 "
     "keyframe-max-dist=%d ! rtpvp8pay name=pay0 pt=96"},
}};

Options g_opt;
GMainLoop *g_loop = nullptr;
GstRTSPServer *g_server = nullptr;
std::array<GstRTSPMediaFactory *, CODECS.size()> g_factories = {};
GSocket *g_socket = nullptr;   // listening socket, null while down
GSource *g_accept = nullptr;   // accepts on g_socket, null while down or hung
guint g_up_timer = 0;
std::atomic<bool> g_stalled{false};
std::string g_ctl_line;

void say(const char *fmt, ...) G_GNUC_PRINTF(1, 2);
void say(const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    vprintf(fmt, ap);
    va_end(ap);
    putchar('\n');
    fflush(stdout);
}

std::string launch_line(const Codec &c)
{
    // The JPEG payloader takes 4:2:0 only, so the picture is made in I420.
    std::string text = g_opt.label.empty() ? "" : g_opt.label + "  ";
    text += std::string("rtspcam ") + c.name + " " + std::to_string(g_opt.width) + "x" +
            std::to_string(g_opt.height);
    char enc[512];
    const int kbit = std::max(300, int(int64_t(g_opt.width) * g_opt.height * g_opt.fps / 14000));
    snprintf(enc, sizeof enc, c.encoder, kbit, 2 * g_opt.fps);
    char line[1024];
    snprintf(line, sizeof line,
             "( videotestsrc name=src is-live=true pattern=ball "
             "background-color=0x%08x foreground-color=0xffffffff ! "
             "video/x-raw,format=I420,width=%d,height=%d,framerate=%d/1 ! "
             "textoverlay text=\"%s\" valignment=top halignment=left font-desc=\"Sans %d\" "
             "shaded-background=true ! %s )",
             0xff000000u | g_opt.colour, g_opt.width, g_opt.height, g_opt.fps,
             text.c_str(), std::max(8, g_opt.height / 72), enc);
    return line;
}

// Drops the raw frames while stalled: the session and its RTCP stay up, the
// client just receives no more pictures, as from a camera that froze.
GstPadProbeReturn stall_probe(GstPad *, GstPadProbeInfo *, gpointer)
{
    return g_stalled ? GST_PAD_PROBE_DROP : GST_PAD_PROBE_OK;
}

void media_configure(GstRTSPMediaFactory *, GstRTSPMedia *media, gpointer)
{
    GstElement *top = gst_rtsp_media_get_element(media);
    GstElement *src = gst_bin_get_by_name(GST_BIN(top), "src");
    if (src) {
        GstPad *pad = gst_element_get_static_pad(src, "src");
        gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, stall_probe, nullptr, nullptr);
        gst_object_unref(pad);
        gst_object_unref(src);
    }
    gst_object_unref(top);
}

void set_protocols()
{
    const auto p = g_opt.tcp_only ? GST_RTSP_LOWER_TRANS_TCP
                                  : GstRTSPLowerTrans(GST_RTSP_LOWER_TRANS_UDP |
                                                      GST_RTSP_LOWER_TRANS_UDP_MCAST |
                                                      GST_RTSP_LOWER_TRANS_TCP);
    for (auto *f : g_factories)
        gst_rtsp_media_factory_set_protocols(f, p);
}

GstRTSPFilterResult remove_client(GstRTSPServer *, GstRTSPClient *, gpointer)
{
    return GST_RTSP_FILTER_REMOVE;
}

GstRTSPFilterResult remove_session(GstRTSPSessionPool *, GstRTSPSession *, gpointer)
{
    return GST_RTSP_FILTER_REMOVE;
}

// Closes every connection, then ends the sessions left in the pool: a UDP
// session outlives its connection and would go on sending until it timed
// out.  (Ending the sessions of a connection still open races with its
// interleaved sending inside the server library and aborts it.)
void drop_clients()
{
    gst_rtsp_server_client_filter(g_server, remove_client, nullptr);
    GstRTSPSessionPool *pool = gst_rtsp_server_get_session_pool(g_server);
    gst_rtsp_session_pool_filter(pool, remove_session, nullptr);
    g_object_unref(pool);
}

void stop_accepting()
{
    if (g_accept) {
        g_source_destroy(g_accept);
        g_source_unref(g_accept);
        g_accept = nullptr;
    }
}

void start_accepting()
{
    if (g_accept || !g_socket)
        return;
    g_accept = g_socket_create_source(g_socket, GIOCondition(G_IO_IN | G_IO_PRI), nullptr);
    // A socket source calls back with the socket and condition first.
    g_source_set_callback(g_accept, G_SOURCE_FUNC(gst_rtsp_server_io_func),
                          g_object_ref(g_server), g_object_unref);
    g_source_attach(g_accept, nullptr);
}

// Closes the listening socket and every connection: the port refuses
// connections, as when the server process is gone.
void go_down()
{
    stop_accepting();
    if (g_socket) {
        g_socket_close(g_socket, nullptr);
        g_object_unref(g_socket);
        g_socket = nullptr;
    }
    drop_clients();
}

bool go_up()
{
    if (g_socket) {
        start_accepting();
        return true;
    }
    gst_rtsp_server_set_service(g_server, std::to_string(g_opt.port).c_str());
    GError *err = nullptr;
    g_socket = gst_rtsp_server_create_socket(g_server, nullptr, &err);
    if (!g_socket) {
        fprintf(stderr, "rtspcam: cannot listen on 127.0.0.1:%d: %s\n", g_opt.port,
                err ? err->message : "unknown error");
        g_clear_error(&err);
        return false;
    }
    GSocketAddress *addr = g_socket_get_local_address(g_socket, nullptr);
    if (addr) {
        g_opt.port = g_inet_socket_address_get_port(G_INET_SOCKET_ADDRESS(addr));
        g_object_unref(addr);
    }
    start_accepting();
    return true;
}

gboolean up_timer(gpointer)
{
    g_up_timer = 0;
    if (go_up())
        say("up");
    return G_SOURCE_REMOVE;
}

// One control command; false when it was not understood.
bool command(std::string_view line)
{
    const size_t sp = line.find(' ');
    const std::string_view cmd = line.substr(0, sp);
    const std::string arg(sp == line.npos ? "" : line.substr(sp + 1));
    if (cmd == "stall" && arg.empty()) {
        g_stalled = true;
    } else if (cmd == "resume" && arg.empty()) {
        g_stalled = false;
    } else if (cmd == "drop" && arg.empty()) {
        drop_clients();
    } else if (cmd == "hang" && arg.empty()) {
        stop_accepting();
    } else if (cmd == "down" && arg.empty()) {
        go_down();
    } else if ((cmd == "up" || cmd == "restart") && (arg.empty() || cmd == "restart")) {
        char *end = nullptr;
        const double s = arg.empty() ? (cmd == "up" ? 0 : 1) : strtod(arg.c_str(), &end);
        if ((end && *end) || !(s >= 0 && s <= 3600))
            return false;
        if (cmd == "restart")
            go_down();
        if (g_up_timer)
            g_source_remove(g_up_timer);
        g_up_timer = g_timeout_add(guint(s * 1000), up_timer, nullptr);
    } else if (cmd == "tcp-only" && (arg == "on" || arg == "off")) {
        g_opt.tcp_only = arg == "on";
        set_protocols();
    } else if (cmd == "quit" && arg.empty()) {
        g_main_loop_quit(g_loop);
    } else {
        return false;
    }
    return true;
}

gboolean ctl_readable(gint fd, GIOCondition, gpointer)
{
    char buf[512];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0) {
        g_ctl_line.append(buf, size_t(n));
        size_t nl;
        while ((nl = g_ctl_line.find('\n')) != std::string::npos) {
            std::string line = g_ctl_line.substr(0, nl);
            g_ctl_line.erase(0, nl + 1);
            while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
                line.pop_back();
            if (line.empty())
                continue;
            if (command(line))
                say("ok %s", line.c_str());
            else
                say("error unknown command \"%s\"", line.c_str());
        }
        if (g_ctl_line.size() > 4096)
            g_ctl_line.clear();
    }
    return G_SOURCE_CONTINUE;
}

// The control FIFO is opened read-write so that it never reports end of
// file when a writer goes away.
int open_ctl()
{
    struct stat st;
    if (lstat(g_opt.ctl.c_str(), &st) == 0 && !S_ISFIFO(st.st_mode)) {
        fprintf(stderr, "rtspcam: %s exists and is not a FIFO\n", g_opt.ctl.c_str());
        return -1;
    }
    if (mkfifo(g_opt.ctl.c_str(), 0600) != 0 && errno != EEXIST) {
        fprintf(stderr, "rtspcam: cannot make %s: %s\n", g_opt.ctl.c_str(), strerror(errno));
        return -1;
    }
    const int fd = open(g_opt.ctl.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        fprintf(stderr, "rtspcam: cannot open %s: %s\n", g_opt.ctl.c_str(), strerror(errno));
    return fd;
}

// Tests wait for this line before they make the server misbehave.
void client_connected(GstRTSPServer *, GstRTSPClient *, gpointer)
{
    say("client connected");
}

gboolean on_signal(gpointer)
{
    g_main_loop_quit(g_loop);
    return G_SOURCE_CONTINUE;
}

[[noreturn]] void usage(const char *why)
{
    if (why)
        fprintf(stderr, "rtspcam: %s\n", why);
    fprintf(stderr,
            "usage: rtspcam [-p PORT] [-s WxH] [-r FPS] [-c RRGGBB] [-t] [-C FIFO] [-l LABEL]\n"
            "  -p  port on 127.0.0.1 (default: a free one)\n"
            "  -s  picture size (default 704x576), -r frames a second (default 25)\n"
            "  -c  background colour (default 2060c0), -l text shown in the picture\n"
            "  -t  offer TCP transport only\n"
            "  -C  control FIFO (default rtspcam.ctl in the working directory)\n"
            "commands on the FIFO: stall, resume, drop, hang, down, up, restart [SECONDS],\n"
            "  tcp-only on|off, quit\n");
    exit(2);
}

long number(const char *s, long lo, long hi, const char *what)
{
    char *end;
    errno = 0;
    const long v = strtol(s, &end, 10);
    if (errno || end == s || *end || v < lo || v > hi)
        usage((std::string("bad ") + what + " \"" + s + "\"").c_str());
    return v;
}

void parse(int argc, char **argv)
{
    int c;
    while ((c = getopt(argc, argv, "p:s:r:c:tC:l:h")) != -1) {
        switch (c) {
        case 'p': g_opt.port = int(number(optarg, 1, 65535, "port")); break;
        case 's': {
            const char *x = strchr(optarg, 'x');
            if (!x)
                usage("size must be WxH");
            // The JPEG payload carries sizes up to 2040 in steps of 8.
            g_opt.width = int(number(std::string(optarg, size_t(x - optarg)).c_str(), 16, 2040, "width"));
            g_opt.height = int(number(x + 1, 16, 2040, "height"));
            break;
        }
        case 'r': g_opt.fps = int(number(optarg, 1, 120, "frame rate")); break;
        case 'c': {
            char *end;
            g_opt.colour = unsigned(strtoul(optarg, &end, 16));
            if (strlen(optarg) != 6 || *end)
                usage("colour must be RRGGBB in hexadecimal");
            break;
        }
        case 't': g_opt.tcp_only = true; break;
        case 'C': g_opt.ctl = optarg; break;
        case 'l':
            if (strpbrk(optarg, "\"\\"))
                usage("the label must not hold quotes or backslashes");
            g_opt.label = optarg;
            break;
        default: usage(nullptr);
        }
    }
    if (optind != argc)
        usage("unexpected argument");
}

} // namespace

int main(int argc, char **argv)
{
    parse(argc, argv);
    gst_init(nullptr, nullptr);
    const int ctl_fd = open_ctl();
    if (ctl_fd < 0)
        return 1;

    g_loop = g_main_loop_new(nullptr, FALSE);
    g_server = gst_rtsp_server_new();
    gst_rtsp_server_set_address(g_server, "127.0.0.1");
    GstRTSPMountPoints *mounts = gst_rtsp_server_get_mount_points(g_server);
    for (size_t i = 0; i < CODECS.size(); i++) {
        GstRTSPMediaFactory *f = gst_rtsp_media_factory_new();
        gst_rtsp_media_factory_set_launch(f, launch_line(CODECS[i]).c_str());
        g_signal_connect(f, "media-configure", G_CALLBACK(media_configure), nullptr);
        g_factories[i] = f;
        gst_rtsp_mount_points_add_factory(mounts, CODECS[i].mount, GST_RTSP_MEDIA_FACTORY(g_object_ref(f)));
    }
    g_object_unref(mounts);
    set_protocols();
    g_signal_connect(g_server, "client-connected", G_CALLBACK(client_connected), nullptr);

    int status = 1;
    if (go_up()) {
        for (const auto &c : CODECS)
            say("rtsp://127.0.0.1:%d%s", g_opt.port, c.mount);
        say("ready");
        g_unix_fd_add(ctl_fd, G_IO_IN, ctl_readable, nullptr);
        g_unix_signal_add(SIGTERM, on_signal, nullptr);
        g_unix_signal_add(SIGINT, on_signal, nullptr);
        g_main_loop_run(g_loop);
        status = 0;
    }
    go_down();
    close(ctl_fd);
    unlink(g_opt.ctl.c_str());
    for (auto *f : g_factories)
        g_object_unref(f);
    g_object_unref(g_server);
    g_main_loop_unref(g_loop);
    return status;
}
