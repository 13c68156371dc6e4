// Option values by key name: the handler of the configuration file, also
// used by the command line for the options it shares with the file.
#include <ctype.h>
#include <errno.h>
#include <math.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <glib.h>

#include <array>
#include <string>
#include <string_view>

#include "conf.h"
#include "config/options_private.h"

namespace {

using setter_fn = int(CONF *c, const char *key, const char *value);

struct key_rule {
    const char *name;
    setter_fn *set;
    const char *accepts; // told with a refused value; null: never refused
};

template <uint32_t CONF::*Field>
int set_switch(CONF *c, const char *, const char *value)
{
    int v = switch_value(value);
    if (v < 0)
        return 0;
    c->*Field = static_cast<uint32_t>(v);
    return 1;
}

template <uint32_t CONF::*Field>
int set_unsigned(CONF *c, const char *, const char *value)
{
    return read_unsigned(value, UINT32_MAX, &(c->*Field));
}

template <char *CONF::*Field>
int set_text(CONF *c, const char *, const char *value)
{
    return replace_string(&(c->*Field), value);
}

// Keys kept for the command line only: accepted in the file and ignored.
int ignore(CONF *, const char *, const char *)
{
    return 1;
}

int set_display(CONF *c, const char *, const char *value)
{
    char d = static_cast<char>(toupper(static_cast<unsigned char>(value[0])));
    if (d != 'L' && d != 'R')
        return 0;
    c->display = d;
    c->display_set = 1;
    return 1;
}

int set_layout(CONF *c, const char *, const char *value)
{
    char *end;
    errno = 0;
    long v = strtol(value, &end, 10);
    while (isspace(static_cast<unsigned char>(*end)))
        end++;
    if (end == value || *end || errno == ERANGE || v < INT32_MIN ||
        v > INT32_MAX)
        return 0;
    c->start_layout = static_cast<int32_t>(v);
    return 1;
}

// Largest pixel count of a size, an aspect or a border: a capture device's
// limit, far below the values that would wrap in the geometry's sums.
constexpr uint32_t PAIR_MAX = 16384;

// A width/height pair whose separator must be one of seps.
int set_pair(const char *value, const char *seps, uint32_t *first,
             uint32_t *second)
{
    uint32_t a, b;
    char sep;
    if (!read_pair(value, &a, &sep, &b) || !sep || !strchr(seps, sep) ||
        a > PAIR_MAX || b > PAIR_MAX)
        return 0;
    *first = a;
    *second = b;
    return 1;
}

int set_geo(CONF *c, const char *, const char *value)
{
    return set_pair(value, "x:", &c->geo.width, &c->geo.height);
}

int set_force_aspect(CONF *c, const char *, const char *value)
{
    return set_pair(value, "x:", &c->force_aspect.w, &c->force_aspect.h);
}

int set_border_size(CONF *c, const char *, const char *value)
{
    return set_pair(value, ", \t", &c->border_size.tb, &c->border_size.lr);
}

// A decimal number; 0 when the text holds none.
int read_double(const char *value, double *out)
{
    char *end;
    double v = g_ascii_strtod(value, &end);
    if (end == value || !isfinite(v))
        return 0;
    *out = v;
    return 1;
}

int set_font_factor(CONF *c, const char *, const char *value)
{
    // Font sizes are scaled by it: zero or less gives no usable font.
    // Font sizes are whole pixels: a huge factor would not convert.
    double v;
    if (!read_double(value, &v) || v <= 0 || v > 100)
        return 0;
    c->font_factor = v;
    return 1;
}

int set_reconnect_timeout(CONF *c, const char *, const char *value)
{
    double sec;
    if (!read_double(value, &sec) || sec < 0 || sec * 1000 > UINT32_MAX)
        return 0;
    c->reconnect_timeout = static_cast<uint32_t>(sec * 1000);
    return 1;
}

int set_framerate(CONF *c, const char *, const char *value)
{
    uint32_t v;
    if (!read_unsigned(value, UINT32_MAX, &v) || v < 1 || v > 60)
        return 0;
    c->framerate = v;
    return 1;
}

int set_db_port(CONF *c, const char *, const char *value)
{
    uint32_t v;
    if (!read_unsigned(value, UINT16_MAX, &v))
        return 0;
    c->db_port = static_cast<uint16_t>(v);
    return 1;
}

int set_no_tty(CONF *c, const char *, const char *value)
{
    int v = switch_value(value);
    if (v < 0)
        return 0;
    c->no_mouse = c->no_keyboard = static_cast<uint32_t>(v);
    return 1;
}

int set_disable_keys(CONF *c, const char *, const char *value)
{
    int n = tirskconf_parse_numlist2(0, value, DISABLE_KEYS_MAX, 0,
                                     2147483647, 0, c->disable_keys);
    c->disable_keys_count = n > 0 ? static_cast<uint64_t>(n) : 0;
    return 1;
}

int set_gst_blacklist(CONF *c, const char *, const char *value)
{
    GError *err = nullptr;
    GRegex *re = g_regex_new(value, G_REGEX_OPTIMIZE,
                             static_cast<GRegexMatchFlags>(0), &err);
    if (!re) {
        tirsklog_r(nullptr, 3, "Invalid regexp: \"%s\"\n",
                   err ? err->message : value);
        if (err)
            g_error_free(err);
        return 0;
    }
    if (c->gst_blacklist)
        g_regex_unref(c->gst_blacklist);
    c->gst_blacklist = re;
    return 1;
}

int set_shot_dir(CONF *c, const char *, const char *value)
{
    struct stat st;
    if (stat(value, &st) != 0 || !S_ISDIR(st.st_mode) || access(value, W_OK) != 0)
        return 0;
    return replace_string(&c->shot_dir, value);
}

int set_remote(CONF *c, const char *, const char *value)
{
    return set_remote_control(c, value);
}

int set_collector(CONF *c, const char *, const char *value)
{
    return set_event_collector(c, value);
}

// Calls fn(token) for each token of a list value; 0 as soon as fn refuses
// one, or when the value holds no token at all (logged).
template <typename Fn>
int for_each_token(const char *key, const char *value, const char *delims,
                   Fn fn)
{
    int count = 0;
    const char *p = value;
    size_t len = 0;
    while (const char *tok = tirskconf_str_get_next_token(p, delims, &len)) {
        if (tok < p)
            break;
        if (len == 0) { // an empty item between two delimiters
            if (!*tok)
                break;
            p = tok + 1;
            continue;
        }
        if (!fn(std::string_view(tok, len)))
            return 0;
        count++;
        p = tok + len;
    }
    if (count == 0) {
        tirsklog_r(nullptr, 3, "empty \"%s\" value\n", key);
        return 0;
    }
    return 1;
}

int set_allowed_from(CONF *c, const char *key, const char *value)
{
    // The new list replaces the old one only when all of it is valid.
    std::array<ip4_acl, ALLOWED_FROM_MAX> acl{};
    uint32_t n = 0;
    int ok = for_each_token(key, value, " \r\t;,", [&](std::string_view tok) {
        if (n == ALLOWED_FROM_MAX) {
            tirsklog_r(nullptr, 3, "\"allowed-from\" limit(%u) occured\n",
                       ALLOWED_FROM_MAX);
            return false;
        }
        // Host names are given whole: a cut name could be another host.
        std::string text(tok);
        if (!tirskconf_parse_ip4_acl(text.c_str(), &acl[n].addr, &acl[n].mask))
            return false;
        n++;
        return true;
    });
    if (!ok)
        return 0;
    memcpy(c->allowed_from, acl.data(), sizeof c->allowed_from);
    c->allowed_from_count = n;
    return 1;
}

// Length of at most max bytes of a UTF-8 text that ends on a character
// boundary, so that a cut message stays valid text.
size_t utf8_cut(std::string_view s, size_t max)
{
    if (s.size() <= max)
        return s.size();
    size_t n = max;
    while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80)
        n--;
    return n;
}

int set_alarm_msgs(CONF *c, const char *key, const char *value)
{
    char msgs[ALARM_MSGS_MAX][ALARM_MSG_LEN + 1];
    memcpy(msgs, c->alarm_msgs, sizeof msgs);
    uint32_t n = 0;
    int ok = for_each_token(key, value, "\r\t;,", [&](std::string_view tok) {
        if (n == ALARM_MSGS_MAX) {
            tirsklog_r(nullptr, 3,
                       "\"alarm-msgs\" messages number limit(%u) occured\n",
                       ALARM_MSGS_MAX);
            return false;
        }
        size_t len = utf8_cut(tok, ALARM_MSG_LEN);
        memcpy(msgs[n], tok.data(), len);
        msgs[n][len] = 0;
        n++;
        return true;
    });
    if (!ok)
        return 0;
    memcpy(c->alarm_msgs, msgs, sizeof msgs);
    return 1;
}

constexpr const char *SWITCH = "yes or no (true/false, on/off, 1/0)";

// Every key of the configuration file, named as the long options.
constexpr key_rule key_rules[] = {
    {"conf", ignore, nullptr},
    {"display", set_display, "L or R"},
    {"layout", set_layout, "a layout number"},
    {"geo", set_geo, "WIDTHxHEIGHT in pixels, e.g. 1280x1024"},
    {"fullscreen", set_switch<&CONF::fullscreen>, SWITCH},
    {"no-winframe", set_switch<&CONF::no_winframe>, SWITCH},
    {"fit2screen", set_switch<&CONF::fit2screen>, SWITCH},
    {"keep-aspect", set_switch<&CONF::keep_aspect>, SWITCH},
    {"force-aspect", set_force_aspect, "W:H, e.g. 16:9"},
    {"smart-scale", set_switch<&CONF::smart_scale>, SWITCH},
    {"border-size", set_border_size, "TOP_BOTTOM,LEFT_RIGHT in pixels, e.g. 2,2"},
    {"font-factor", set_font_factor, "a decimal number above 0, e.g. 1.5"},
    {"framerate", set_framerate, "a whole number from 1 to 60"},
    {"hw-surface", set_switch<&CONF::hw_surface>, SWITCH},
    {"yuv-direct", set_switch<&CONF::yuv_direct>, SWITCH},
    {"yuv-hwaccel", set_switch<&CONF::yuv_hwaccel>, SWITCH},
    {"iyuv", set_switch<&CONF::iyuv>, SWITCH},
    {"doublebuf", set_switch<&CONF::doublebuf>, SWITCH},
    {"asyncblit", set_switch<&CONF::asyncblit>, SWITCH},
    {"no-mouse", set_switch<&CONF::no_mouse>, SWITCH},
    {"no-keyboard", set_switch<&CONF::no_keyboard>, SWITCH},
    {"no-tty", set_no_tty, SWITCH},
    {"disable-keys", set_disable_keys, nullptr},
    {"no-signal", set_unsigned<&CONF::no_signal>, "a whole number of seconds"},
    {"fs-timeout", set_unsigned<&CONF::fs_timeout>, "a whole number of seconds, 0 = never"},
    {"camname-timeout", set_unsigned<&CONF::camname_timeout>, "a whole number of seconds, 0 = never"},
    {"cursor-timeout", set_unsigned<&CONF::cursor_timeout>, "a whole number of seconds, 0 = never"},
    {"reconnect-timeout", set_reconnect_timeout, "a number of seconds, e.g. 0.5"},
    {"gst-rtspsrc-opts", set_text<&CONF::gst_rtspsrc_opts>, nullptr},
    {"gst-v4l2src-opts", set_text<&CONF::gst_v4l2src_opts>, nullptr},
    {"gst-blacklist", set_gst_blacklist, "a Perl-compatible regular expression"},
    {"remote-control", set_remote, "http://HOST:PORT[/PATH-PREFIX], HOST an address of this machine or *"},
    {"allowed-from", set_allowed_from, "up to 10 addresses, host names or networks, e.g. \"127.0.0.1, 10.0.0.0/8\""},
    {"alarm-msgs", set_alarm_msgs, "up to 4 texts separated by \";\" or \",\""},
    {"single-source", set_switch<&CONF::single_source>, SWITCH},
    {"db-type", set_text<&CONF::db_type>, nullptr},
    {"db-host", set_text<&CONF::db_host>, nullptr},
    {"db-port", set_db_port, "a port number from 0 to 65535"},
    {"db-name", set_text<&CONF::db_name>, nullptr},
    {"db-user", set_text<&CONF::db_user>, nullptr},
    {"db-passwd", set_text<&CONF::db_passwd>, nullptr},
    {"shot-dir", set_shot_dir, "a directory this user may write to"},
    {"event-collector", set_collector, "the path of a readable, executable script"},
    {"help", ignore, nullptr},
    {"verbose", ignore, nullptr},
    {"quit", ignore, nullptr},
    {"version", ignore, nullptr},
};
static_assert(std::size(key_rules) == 47);

} // namespace

extern "C" int conf_key_handler(void *user, void *, void *, const char *key,
                                const char *value)
{
    CONF *c = static_cast<CONF *>(user);
    if (!c || !key)
        return 0;
    for (const key_rule &r : key_rules) {
        if (strcasecmp(r.name, key) != 0)
            continue;
        if (!value)
            return r.set == ignore;
        return r.set(c, r.name, value);
    }
    return 1; // keys of other versions or programs are not an error
}

const char *conf_key_accepts(const char *key)
{
    for (const key_rule &r : key_rules)
        if (key && strcasecmp(r.name, key) == 0)
            return r.accepts;
    return nullptr;
}

const char *conf_file_key(size_t i)
{
    for (const key_rule &r : key_rules)
        if (r.set != ignore && i-- == 0)
            return r.name;
    return nullptr;
}

int conf_key_known(std::string_view key)
{
    for (const key_rule &r : key_rules)
        if (key.size() == strlen(r.name) &&
            strncasecmp(r.name, key.data(), key.size()) == 0)
            return 1;
    return 0;
}
