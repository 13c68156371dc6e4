// The --help and --version texts.
#include <stdio.h>

#include <initializer_list>
#include <string_view>

#include "config/options_private.h"

namespace {

// Description lines start at this column; every option text is shorter.
constexpr int desc_column = 30;

struct usage_line {
    std::string_view option; // option column, with its leading blanks
    std::initializer_list<const char *> desc;
};

// One section of the usage text: printed as a piece that starts and ends
// with a line feed, so that sections are separated by one empty line.
struct usage_piece {
    std::string_view heading;
    std::initializer_list<usage_line> lines;
};

constexpr std::string_view version_banner =
    "\n"
    TIRSK_PROG_NAME "-" TIRSK_VERSION " build date " TIRSK_BUILD_DATE "\n"
    "Tirsk cameras local viewer\n"
    "Copyright (C) the tirsk-mon developers.\n"
    "This is free software; see the source for copying conditions.\n"
    "\n";

// The alarm-msgs line names the message count and the longest message
// that fits on a camera window.
constexpr char alarm_msgs_fmt[] =
    "LIST of alarm messages. Max msg number - %u. Max msg length - %u.";
constexpr unsigned alarm_msgs_shown_count = ALARM_MSGS_MAX;
constexpr unsigned alarm_msgs_shown_len = 15;

// A blank option column marks an empty line inside a section.
constexpr std::string_view empty_line = "";

const usage_piece usage_pieces[] = {
    {"", {
        {"  -c, --conf=PATH", {"Config file path, by default \"/etc/tirsk/tirsk.conf\""}},
    }},
    {"  window options:", {
        {"  -d, --display=CHAR (L or R)", {
            "Read layouts for (L)eft or (R)ight display",
            "on dual-head display system, by default: \"L\"."}},
        {"  -l, --layout=NUM", {"Start in layout #number, by default 0 or first non-empty."}},
        {"  -g, --geo=WxH", {"Window geometry W(idth)xH(eight), by default \"648x488\"."}},
        {"  -f, --fullscreen", {"Will attempt to use a fullscreen mode."}},
        {"  -F, --no-winframe", {
            "If possible, create a window with no title bar or frame decoration.",
            "Fullscreen modes automatically have this flag set."}},
        {"      --fit2screen", {
            "Don't save original cameras aspect ratio,",
            "by default: set aspect ratio as for layout's major camera."}},
        {"  -k, --keep-aspect", {"Keep original aspect ratio for all cameras (if not set \"fit2screen\")."}},
        {"  -a, --force-aspect=W:H", {"Force the aspect ratio of all cameras (if not set \"fit2screen\")"}},
        {"  -s, --smart-scale", {"Integer scaling, i.e. ..., 1/3, 1/2, 1, 2, 3, ..."}},
        {"      --border-size=tb,rl", {"Cameras windows border sizes, \"t(op)b(ottom),l(eft)r(ight)\" in pixels."}},
        {"      --font-factor=DOUBLE", {"Fonts sizes factor for overlay messages. Default: 1.0"}},
    }},
    {"  video out specific options:", {
        {"  -R  --framerate", {
            "Common video framerate render limiter in fps.",
            "Valid: [1..60], default: 30 fps."}},
        {"      --hw-surface", {"Will attempt to create the video surface in video memory."}},
        {"      --yuv-direct", {"If possible, display YUV overlay directly on the video surface."}},
        {"      --yuv-hwaccel", {"If possible, use hardware YUV acceleration for video playback."}},
        {"      --iyuv", {"Use IYUV overlay instead YV12(by default)."}},
        {"      --doublebuf", {"Will attempt to use hardware double buffering mode."}},
        {"      --asyncblit", {
            "Enables the use of asynchronous updates of the display surface.",
            "This will usually slow down blitting on single CPU machines,",
            "but may provide a speed increase on SMP systems."}},
    }},
    {"  user interface options:", {
        {"  -M, --no-mouse", {"Disable mouse."}},
        {"  -K, --no-keyboard", {"Disable keyboard."}},
        {"      --no-tty", {"Disable keyboard and mouse both, as a `-M -K'."}},
        {"      --disable-keys=LIST", {
            "Disable keyboard actions for keys,",
            "whose codes (see SDL_keysym.h) presents in this comma separated list."}},
        {"      --reconnect-timeout=SEC", {"Retry connection timeout in sec., by default 1 sec."}},
        {"      --no-signal=SEC", {"\"NO SIGNAL\" warning message timeout in sec., by default 4 sec."}},
        {"      --fs-timeout=SEC", {"Fullscreen mode timeout in sec., by default 300 sec."}},
        {"      --camname-timeout=SEC", {"Timeout to display the names of cameras in sec., by default 6 sec."}},
        {"      --cursor-timeout=SEC", {"Timeout to display the cursor in sec., by default 4 sec."}},
    }},
    {"  media source options:", {
        {"      --gst-rtspsrc-opts", {
            "Gstreamer \"rtspsrc\" custom options.",
            "Default: \"latency=100 timeout=3000000 tcp-timeout=5000000\""}},
        {"      --gst-v4l2src-opts", {"Gstreamer \"v4l2src\" custom options. Default: \"io-mode=rw\""}},
        {"      --gst-blacklist", {"Gstreamer \"uridecodebin\" autoplugger blacklist by Perl-compatible regexp."}},
    }},
    {"  remote control options, see https://tirsk.example/doc/tirsk-mon/remote-control.html", {
        {"  -r, --remote-control=URL", {
            "Enable remote control if URL it is defined.",
            "URL should be: \"http://HOST:PORT/PATH-PREFIX\".",
            "HOST can be ip-addr, hostname or \"*\" char for \"all\".",
            "Ex.: \"http://localhost:2001/tirsk-mon-cgi\"",
            "tirsk-mon micro httpd will listen on localhost:2001",
            "Note: if display='R', PORT's value will increase by 1 automatically.",
            "Default: <empty> - disable remote control."}},
        {"      --allowed-from=LIST", {
            "Allow connections from hosts in this LIST.",
            "Ex.: \"localhost, 192.168.43.0/24, 10.0.0.0/8\".",
            "Default: <empty> - allow from ANY hosts."}},
        {"      --alarm-msgs=LIST", {
            alarm_msgs_fmt,
            "CGI request \"/camera?nr=N&parname=alarm&action=set&value=CODE\"",
            "dispayed msg #CODE(start with 0) on right top camera window corner.",
            "Ex.: \" was alarms ; CASE OPENED ; BATTERY LOW \".",
            "Default: <empty> - no display alarm messages."}},
    }},
    {"  database options:", {
        {"  -T, --db-type=TYPE", {"Ssql client type: mysql, pgsql or sqlite, by default `mysql'."}},
        {"  -H, --db-host=HOST", {"Sql server hostname, by default \"\"."}},
        {"      --db-port=PORT", {"Sql server port, by default - use default."}},
        {"  -D, --db-name=NAME", {"Database name, by default \"tirsk6_db\"."}},
        {"  -U, --db-user=USER", {"Database user name, by default \"tirsk-mon\"."}},
        {"  -P, --db-passwd=PASSWD", {"User password, by default \"<empty>\"."}},
    }},
    {"  other options:", {
        {"      --single-source", {
            "Use only signle stream via \"v4l_pipe\" for layout and fullscreen mode.",
            "Disable \"mon_fs_uri\" cameras database parameters values."}},
        {"      --shot-dir=DIR", {
            "Directory path to current cameras layout and focused camera shots saving.",
            "By default: use XDG-USER-DIR(1) PICRURES dir."}},
        {"  -e, --event-collector=PATH", {
            "Path of external script to pipe(7) tirsk-mon events.",
            "By default: not set - isn't used."}},
        {empty_line, {}},
        {"  -v, --verbose[=LEVEL]", {"be more verbose, by default LEVEL=0."}},
        {"  -q, --quiet", {"Be quiet."}},
        {"  -V, --version", {"Print version and exit."}},
        {"  -h, --help", {"Show this help message."}},
    }},
};

void print_line(FILE *out, const usage_line &l)
{
    if (l.option.empty()) {
        fputc('\n', out);
        return;
    }
    bool first = true;
    for (const char *d : l.desc) {
        if (first)
            fprintf(out, "%-*.*s", desc_column, static_cast<int>(l.option.size()),
                    l.option.data());
        else
            fprintf(out, "%*s", desc_column, "");
        first = false;
        if (d == alarm_msgs_fmt)
            fprintf(out, alarm_msgs_fmt, alarm_msgs_shown_count, alarm_msgs_shown_len);
        else
            fputs(d, out);
        fputc('\n', out);
    }
}

} // namespace

void print_version(FILE *out)
{
    fwrite(version_banner.data(), 1, version_banner.size(), out);
}

void print_usage(FILE *out)
{
    bool first = true;
    for (const usage_piece &p : usage_pieces) {
        fputc('\n', out);
        if (first) {
            // The banner lines without the banner's own empty lines.
            std::string_view banner = version_banner.substr(1);
            banner.remove_suffix(1);
            fwrite(banner.data(), 1, banner.size(), out);
            fputs("\nusage: " TIRSK_PROG_NAME " [OPTIONS]\n\n  allowed OPTIONS:\n\n", out);
            first = false;
        } else {
            fwrite(p.heading.data(), 1, p.heading.size(), out);
            fputc('\n', out);
        }
        for (const usage_line &l : p.lines)
            print_line(out, l);
    }
}
