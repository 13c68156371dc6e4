// Configuration file and control-command parsing.
//
// A configuration line names one device and its options:
//   video3 format=I420 size=704x576 fps=25 cam=3 nosignal=0 missing=0 fail=none
//          buffers=4
#include "fakecam.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace fakecam {

namespace {

constexpr std::string_view SPACES = " \t\r\n";

std::string_view trim(std::string_view s)
{
    size_t b = s.find_first_not_of(SPACES);
    if (b == std::string_view::npos)
        return {};
    size_t e = s.find_last_not_of(SPACES);
    return s.substr(b, e - b + 1);
}

// Splits off the next blank-separated word.
std::string_view next_word(std::string_view &s)
{
    s = trim(s);
    size_t e = s.find_first_of(SPACES);
    std::string_view w = s.substr(0, e);
    s = e == std::string_view::npos ? std::string_view{} : s.substr(e);
    return w;
}

bool parse_uint(std::string_view s, unsigned long long max,
                unsigned long long &out)
{
    if (s.empty())
        return false;
    unsigned long long v = 0;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || p != s.data() + s.size() || v > max)
        return false;
    out = v;
    return true;
}

bool parse_bool(std::string_view s, bool &out)
{
    if (s == "1" || s == "on" || s == "yes" || s == "true")
        return out = true, true;
    if (s == "0" || s == "off" || s == "no" || s == "false")
        return out = false, true;
    return false;
}

bool parse_fps(std::string_view s, double &out)
{
    // from_chars for double is available in g++ 12.
    double v = 0;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (s.empty() || ec != std::errc() || p != s.data() + s.size() ||
        !std::isfinite(v) || v < 0.1 || v > 1000.0)
        return false;
    out = v;
    return true;
}

bool parse_buffers(std::string_view s, unsigned &out)
{
    unsigned long long n = 0;
    if (!parse_uint(s, MAX_BUFFERS, n) || n == 0)
        return false;
    out = unsigned(n);
    return true;
}

bool valid_name(std::string_view s)
{
    if (s.size() <= 5 || s.size() > 64 || s.substr(0, 5) != "video")
        return false;
    for (char c : s.substr(5))
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') ||
              (c >= 'A' && c <= 'Z') || c == '_' || c == '-'))
            return false;
    return true;
}

// Frame sizes past the limit would make every frame an allocation failure.
bool size_fits(uint32_t fmt, unsigned w, unsigned h)
{
    return geometry(fmt, w, h).sizeimage <= MAX_FRAME_BYTES;
}

} // namespace

Geometry geometry(uint32_t fmt, unsigned width, unsigned height)
{
    Geometry g;
    size_t w = width, h = height;
    // Chroma planes round up, so odd sizes keep their last column and row.
    g.chroma_w = (w + 1) / 2;
    g.chroma_h = (h + 1) / 2;
    if (fmt == FMT_YUYV) {
        g.bytesperline = g.chroma_w * 4;
        g.sizeimage = g.bytesperline * h;
        g.luma_size = g.sizeimage;
        g.chroma_w = g.chroma_h = 0;
    } else if (fmt == FMT_GREY) {
        g.bytesperline = w;
        g.luma_size = w * h;
        g.sizeimage = g.luma_size;
        g.chroma_w = g.chroma_h = 0;
    } else {
        g.bytesperline = w;
        g.luma_size = w * h;
        g.sizeimage = g.luma_size + 2 * g.chroma_w * g.chroma_h;
    }
    return g;
}

std::string_view fmt_name(uint32_t fmt)
{
    switch (fmt) {
    case FMT_I420:
        return "I420";
    case FMT_GREY:
        return "GREY";
    case FMT_YUYV:
        return "YUYV";
    default:
        return "?";
    }
}

bool parse_fmt(std::string_view s, uint32_t &out)
{
    if (s == "I420" || s == "YU12" || s == "i420")
        return out = FMT_I420, true;
    if (s == "GREY" || s == "grey" || s == "GRAY")
        return out = FMT_GREY, true;
    if (s == "YUYV" || s == "yuyv")
        return out = FMT_YUYV, true;
    return false;
}

namespace {
constexpr std::array<std::string_view, 7> FAIL_NAMES = {
    "none", "open", "querycap", "nocapture", "noio", "gfmt", "tryfmt"};
static_assert(FAIL_NAMES.size() == size_t(Fail::tryfmt) + 1);
} // namespace

std::string_view fail_name(Fail f)
{
    return FAIL_NAMES[size_t(f)];
}

bool parse_fail(std::string_view s, Fail &out)
{
    for (size_t i = 0; i < FAIL_NAMES.size(); ++i)
        if (s == FAIL_NAMES[i])
            return out = Fail(i), true;
    return false;
}

bool parse_size(std::string_view s, unsigned &w, unsigned &h)
{
    size_t x = s.find('x');
    if (x == std::string_view::npos)
        return false;
    unsigned long long a = 0, b = 0;
    if (!parse_uint(s.substr(0, x), MAX_SIDE, a) ||
        !parse_uint(s.substr(x + 1), MAX_SIDE, b) || a == 0 || b == 0)
        return false;
    w = unsigned(a);
    h = unsigned(b);
    return true;
}

int parse_device_line(std::string_view line, DeviceConfig &out,
                      std::string &err)
{
    size_t hash = line.find('#');
    if (hash != std::string_view::npos)
        line = line.substr(0, hash);
    std::string_view rest = trim(line);
    if (rest.empty())
        return 0;

    std::string_view name = next_word(rest);
    if (!valid_name(name)) {
        err = "device name \"" + std::string(name) +
              "\" is not of the form videoN";
        return -1;
    }
    DeviceConfig c;
    c.name = std::string(name);
    // The camera number defaults to the device number when it has one.
    unsigned long long n = 0;
    if (parse_uint(name.substr(5), 99999, n))
        c.cam = int(n);

    for (std::string_view opt = next_word(rest); !opt.empty();
         opt = next_word(rest)) {
        size_t eq = opt.find('=');
        std::string_view key = opt.substr(0, eq);
        std::string_view val = eq == std::string_view::npos
                                   ? std::string_view{}
                                   : opt.substr(eq + 1);
        bool ok = eq != std::string_view::npos;
        if (!ok) {
        } else if (key == "format") {
            ok = parse_fmt(val, c.fmt);
        } else if (key == "size") {
            ok = parse_size(val, c.width, c.height);
        } else if (key == "fps") {
            ok = parse_fps(val, c.fps);
        } else if (key == "cam") {
            ok = parse_uint(val, 99999, n);
            c.cam = int(n);
        } else if (key == "nosignal") {
            ok = parse_bool(val, c.nosignal);
        } else if (key == "missing") {
            ok = parse_bool(val, c.missing);
        } else if (key == "fail") {
            ok = parse_fail(val, c.fail);
        } else if (key == "buffers") {
            ok = parse_buffers(val, c.buffers);
        } else {
            err = "unknown option \"" + std::string(opt) + "\"";
            return -1;
        }
        if (!ok) {
            err = "bad option \"" + std::string(opt) + "\"";
            return -1;
        }
    }
    if (!size_fits(c.fmt, c.width, c.height)) {
        err = "frame of " + std::to_string(c.width) + "x" +
              std::to_string(c.height) + " is too large";
        return -1;
    }
    out = std::move(c);
    return 1;
}

bool load_config(const char *path, std::vector<DeviceConfig> &out)
{
    // stdio inside the library does not pass through our own open(): glibc
    // opens files through its internal entry points.
    FILE *f = std::fopen(path, "re");
    if (!f) {
        int e = errno;
        std::fprintf(stderr, "fakecam: cannot read configuration \"%s\": %s\n",
                     path, std::strerror(e));
        return false;
    }
    char *buf = nullptr;
    size_t cap = 0;
    unsigned lineno = 0;
    ssize_t len;
    while ((len = getline(&buf, &cap, f)) >= 0) {
        ++lineno;
        DeviceConfig c;
        std::string err;
        int r = parse_device_line(std::string_view(buf, size_t(len)), c, err);
        if (r == 0)
            continue;
        if (r > 0) {
            for (const DeviceConfig &o : out)
                if (o.name == c.name) {
                    err = "device " + c.name + " listed twice";
                    r = -1;
                }
        }
        if (r < 0) {
            std::fprintf(stderr, "fakecam: %s:%u: %s; line skipped\n", path,
                         lineno, err.c_str());
            continue;
        }
        out.push_back(std::move(c));
    }
    std::free(buf);
    std::fclose(f);
    return true;
}

int parse_command(std::string_view line, Command &out, std::string &err)
{
    size_t hash = line.find('#');
    if (hash != std::string_view::npos)
        line = line.substr(0, hash);
    std::string_view rest = trim(line);
    if (rest.empty())
        return 0;
    std::string_view word = next_word(rest);
    std::string_view arg = next_word(rest);
    std::string_view extra = next_word(rest);
    Command c;
    bool ok = extra.empty();
    bool want_arg = true;
    unsigned long long n = 0;
    if (word == "nosignal") {
        c.cmd = Cmd::nosignal;
        ok = ok && parse_bool(arg, c.flag);
    } else if (word == "shortread") {
        c.cmd = Cmd::shortread;
        want_arg = false;
        if (!arg.empty()) {
            ok = ok && parse_uint(arg, MAX_FRAME_BYTES, n) && n > 0;
            c.bytes = size_t(n);
        }
    } else if (word == "format") {
        c.cmd = Cmd::format;
        ok = ok && parse_fmt(arg, c.fmt);
    } else if (word == "size") {
        c.cmd = Cmd::size;
        ok = ok && parse_size(arg, c.w, c.h);
    } else if (word == "fps") {
        c.cmd = Cmd::fps;
        ok = ok && parse_fps(arg, c.fps);
    } else if (word == "cam") {
        c.cmd = Cmd::cam;
        ok = ok && parse_uint(arg, 99999, n);
        c.cam = int(n);
    } else if (word == "fail") {
        c.cmd = Cmd::fail;
        ok = ok && parse_fail(arg, c.fail);
    } else if (word == "buffers") {
        c.cmd = Cmd::buffers;
        ok = ok && parse_buffers(arg, c.buffers);
    } else {
        want_arg = false;
        if (word == "stall")
            c.cmd = Cmd::stall;
        else if (word == "resume")
            c.cmd = Cmd::resume;
        else if (word == "hangup")
            c.cmd = Cmd::hangup;
        else if (word == "vanish")
            c.cmd = Cmd::vanish;
        else if (word == "back")
            c.cmd = Cmd::back;
        else {
            err = "unknown command \"" + std::string(word) + "\"";
            return -1;
        }
        ok = ok && arg.empty();
    }
    if (want_arg && arg.empty())
        ok = false;
    if (!ok) {
        err = "bad command \"" + std::string(trim(line)) + "\"";
        return -1;
    }
    out = c;
    return 1;
}

} // namespace fakecam
