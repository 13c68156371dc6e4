// The status document of GET <prefix>/status: what the viewer shows, as
// JSON.  The main thread owns cameras and windows; it builds the document
// when what it shows changed and swaps it in under a lock, and the server
// thread sends the document it finds.
#include <stdio.h>
#include <string.h>

#include <array>
#include <mutex>

#include "camera.h"
#include "conf.h"
#include "monitor.h"
#include "rctrl/rctrl_private.h"
#include "window.h"

namespace rctrl_status {

namespace {

std::mutex lock;
std::shared_ptr<const std::string> published; // under lock

constexpr uint32_t SHOWN_FLAGS = WS_PM | WS_AL | WS_MO | WS_CF | WS_SF | WS_WT;

// What the document shows, to tell whether it must be rebuilt.
struct view_key {
    int32_t layout = -2;
    int32_t fullscreen = -2;
    uint64_t executed = 0;
    struct win {
        const camera *cam;
        uint32_t flags;
        uint32_t alarm_code;
        bool operator==(const win &) const = default;
    };
    std::array<win, WINDOWS_COUNT> wins{};
    bool operator==(const view_key &) const = default;
};

view_key last_key; // main thread

view_key current_key()
{
    view_key k;
    k.layout = cur_layout;
    k.fullscreen = g_fsWinIdx;
    k.executed = rctrl_handover::executed();
    for (int i = 0; i < WINDOWS_COUNT; i++) {
        const window &w = windows[i];
        k.wins[i] = {w.cam, w.state & SHOWN_FLAGS, w.cam ? w.cam->alarm_code : 0};
    }
    return k;
}

// The label that a window's state shows, most serious first.
const char *state_text(uint32_t st)
{
    if (st & WS_SF)
        return "server failure";
    if (st & (WS_CF | WS_MO))
        return "no signal";
    if (st & WS_WT)
        return "waiting";
    if (st & WS_PM)
        return "paused";
    return "playing";
}

// A name as shown on the screen, without the blanks around it.
std::string_view trimmed(const char *text, size_t size)
{
    std::string_view s(text, strnlen(text, size));
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    return s;
}

void append_number(std::string &out, long long n) { out += std::to_string(n); }

void append_window(std::string &out, int i, const window &w)
{
    const camera *cam = w.cam;
    out += "{\"nr\":";
    append_number(out, i + 1);
    out += ",\"camera\":{\"nr\":";
    append_number(out, cam->nr);
    out += ",\"name\":";
    append_json_string(out, trimmed(cam->name, sizeof cam->name));
    out += "},\"state\":";
    append_json_string(out, state_text(w.state));
    out += ",\"alarm\":";
    if ((w.state & WS_AL) && cam->alarm_code < ALARM_MSGS_MAX) {
        out += "{\"code\":";
        append_number(out, cam->alarm_code);
        out += ",\"text\":";
        const char *text = conf->alarm_msgs[cam->alarm_code];
        append_json_string(out, std::string_view(text, strnlen(text, ALARM_MSG_LEN + 1)));
        out += "}";
    } else {
        out += "null";
    }
    out += "}";
}

std::string build()
{
    std::string out;
    out.reserve(4096);
    out += "{\"display\":";
    append_json_string(out, std::string_view(&conf->display, 1));
    out += ",\"layout\":";
    if (cur_layout >= 0 && cur_layout < MAX_LAYOUTS) {
        const local_layout &l = conf->layouts[cur_layout];
        out += "{\"nr\":";
        append_number(out, cur_layout);
        out += ",\"name\":";
        append_json_string(out, trimmed(l.name, sizeof l.name));
        out += ",\"type\":";
        append_json_string(out, l.def ? l.def->name : "");
        out += "}";
    } else {
        out += "null";
    }
    out += ",\"fullscreen\":";
    if (g_fsWinIdx >= 0 && g_fsWinIdx < WINDOWS_COUNT)
        append_number(out, g_fsWinIdx + 1);
    else
        out += "null";
    out += ",\"windows\":[";
    bool first = true;
    for (int i = 0; i < WINDOWS_COUNT; i++) {
        if (!windows[i].cam)
            continue;
        if (!first)
            out += ",";
        first = false;
        append_window(out, i, windows[i]);
    }
    out += "],\"requests\":{\"executed\":";
    append_number(out, (long long)rctrl_handover::executed());
    out += ",\"refused\":";
    append_number(out, (long long)rctrl_handover::refused());
    out += "}}\n";
    return out;
}

// Length of the valid UTF-8 sequence at s (1..4), or 0.
size_t utf8_length(std::string_view s)
{
    const auto b = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char c = b(0);
    size_t n;
    uint32_t cp;
    if (c < 0x80)
        return 1;
    if (c >= 0xC2 && c <= 0xDF)
        n = 2, cp = c & 0x1F;
    else if (c >= 0xE0 && c <= 0xEF)
        n = 3, cp = c & 0x0F;
    else if (c >= 0xF0 && c <= 0xF4)
        n = 4, cp = c & 0x07;
    else
        return 0;
    if (s.size() < n)
        return 0;
    for (size_t i = 1; i < n; i++) {
        if ((b(i) & 0xC0) != 0x80)
            return 0;
        cp = cp << 6 | (b(i) & 0x3F);
    }
    // Overlong forms, surrogates and values beyond U+10FFFF.
    if ((n == 3 && cp < 0x800) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return n;
}

} // namespace

void append_json_string(std::string &out, std::string_view s)
{
    out += '"';
    while (!s.empty()) {
        const unsigned char c = static_cast<unsigned char>(s[0]);
        const size_t n = utf8_length(s);
        if (n == 0) {
            out += "\\ufffd";
            s.remove_prefix(1);
            continue;
        }
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20 || c == 0x7F) {
            char esc[8];
            snprintf(esc, sizeof esc, "\\u%04x", c);
            out += esc;
        } else {
            out.append(s.data(), n);
        }
        s.remove_prefix(n);
    }
    out += '"';
}

void publish(bool force)
{
    if (!conf)
        return;
    const view_key key = current_key();
    if (!force && key == last_key)
        return;
    last_key = key;
    auto doc = std::make_shared<const std::string>(build());
    std::lock_guard<std::mutex> l(lock);
    published.swap(doc); // the old one is freed after the lock is released
}

std::shared_ptr<const std::string> current()
{
    std::lock_guard<std::mutex> l(lock);
    return published;
}

void clear()
{
    std::shared_ptr<const std::string> old;
    std::lock_guard<std::mutex> l(lock);
    published.swap(old);
    last_key = view_key{};
}

} // namespace rctrl_status
