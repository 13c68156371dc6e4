// Option strings of source elements ("latency=100 protocols=tcp ..."):
// each name=value token sets one property of the element.  Numbers and
// booleans go through GLib's value conversions; the enumerations and flag
// sets of the RTSP and V4L2 sources are named by keyword tables.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "gst_capture.h"

extern "C" {
extern const tirskconf_dict_row rtsp_low_transports[];
const tirskconf_dict_row rtsp_low_transports[] = {
    {"udp", 1, "rtsp"},
    {"tcp", 4, "rtspt"},
    {"udp-mcast", 2, "rtspu"},
    {"udp_multicast", 2, "rtspu"},
    {"multicast", 2, "rtspu"},
    {nullptr, 0, nullptr},
};
}

namespace {

constexpr tirskconf_dict_row nat_methods[] = {
    {"none", 0, ""}, {"dummy", 1, ""}, {nullptr, 0, nullptr}};
constexpr tirskconf_dict_row ntp_time_sources[] = {
    {"ntp", 0, ""}, {"unix", 1, ""}, {"running-time", 2, ""},
    {"clock-time", 3, ""}, {nullptr, 0, nullptr}};
constexpr tirskconf_dict_row buffer_modes[] = {
    {"none", 0, ""}, {"slave", 1, ""}, {"buffer", 2, ""},
    {"autor", 3, ""}, {"synced", 4, ""}, {nullptr, 0, nullptr}};
constexpr tirskconf_dict_row v4l2_io_modes[] = {
    {"auto", 0, ""}, {"rw", 1, ""}, {"mmap", 2, ""}, {nullptr, 0, nullptr}};

void bool_to_string(const GValue *src, GValue *dst)
{
    g_value_set_string(dst, g_value_get_boolean(src) ? "1" : "0");
}

void string_to_bool(const GValue *src, GValue *dst)
{
    const char *s = g_value_get_string(src);
    g_value_set_boolean(dst, !(!s || !*s || std::strchr("FfNn", *s)));
}

// Whole-text decimal (or 0x hexadecimal) numbers: "abc", "12abc" and values
// out of range are refused, never set as some undefined number.
bool parse_signed(const char *s, int64_t lo, int64_t hi, int64_t *out)
{
    if (!s || !*s)
        return false;
    errno = 0;
    char *end = nullptr;
    const long long v = std::strtoll(s, &end, 10);
    if (errno || *end || v < lo || v > hi)
        return false;
    *out = v;
    return true;
}

bool parse_unsigned(const char *s, uint64_t hi, bool allow_hex, uint64_t *out)
{
    if (!s || !*s || *s == '-' || *s == '+')
        return false;
    const bool hex = allow_hex && s[0] == '0' && (s[1] == 'x' || s[1] == 'X');
    errno = 0;
    char *end = nullptr;
    const unsigned long long v = std::strtoull(hex ? s + 2 : s, &end, hex ? 16 : 10);
    if (errno || *end || end == (hex ? s + 2 : s) || v > hi)
        return false;
    *out = v;
    return true;
}

void string_to_int(const GValue *src, GValue *dst)
{
    int64_t v = 0;
    parse_signed(g_value_get_string(src), G_MININT32, G_MAXINT32, &v);
    g_value_set_int(dst, gint(v));
}

void string_to_uint(const GValue *src, GValue *dst)
{
    uint64_t v = 0;
    parse_unsigned(g_value_get_string(src), G_MAXUINT32, true, &v);
    g_value_set_uint(dst, guint(v));
}

void string_to_int64(const GValue *src, GValue *dst)
{
    int64_t v = 0;
    parse_signed(g_value_get_string(src), INT64_MIN, INT64_MAX, &v);
    g_value_set_int64(dst, v);
}

void string_to_uint64(const GValue *src, GValue *dst)
{
    uint64_t v = 0;
    parse_unsigned(g_value_get_string(src), UINT64_MAX, false, &v);
    g_value_set_uint64(dst, v);
}

// Once per process; a function-local static makes the first call safe
// whichever thread makes it.
void register_conversions()
{
    static const bool registered = [] {
        g_value_register_transform_func(G_TYPE_BOOLEAN, G_TYPE_STRING, bool_to_string);
        g_value_register_transform_func(G_TYPE_STRING, G_TYPE_BOOLEAN, string_to_bool);
        g_value_register_transform_func(G_TYPE_STRING, G_TYPE_INT, string_to_int);
        g_value_register_transform_func(G_TYPE_STRING, G_TYPE_UINT, string_to_uint);
        g_value_register_transform_func(G_TYPE_STRING, G_TYPE_INT64, string_to_int64);
        g_value_register_transform_func(G_TYPE_STRING, G_TYPE_UINT64, string_to_uint64);
        return true;
    }();
    (void)registered;
}

// Does the text parse as a value of the numeric type?  Types other than
// the integers always do (their conversions cannot fail).
bool value_parses(GType type, const char *text)
{
    int64_t s;
    uint64_t u;
    switch (G_TYPE_FUNDAMENTAL(type)) {
    case G_TYPE_INT: return parse_signed(text, G_MININT32, G_MAXINT32, &s);
    case G_TYPE_UINT: return parse_unsigned(text, G_MAXUINT32, true, &u);
    case G_TYPE_INT64: return parse_signed(text, INT64_MIN, INT64_MAX, &s);
    case G_TYPE_UINT64: return parse_unsigned(text, UINT64_MAX, false, &u);
    case G_TYPE_LONG: return parse_signed(text, G_MINLONG, G_MAXLONG, &s);
    case G_TYPE_ULONG: return parse_unsigned(text, G_MAXULONG, false, &u);
    default: return true;
    }
}

const tirskconf_dict_row *keyword_table(std::string_view element, std::string_view prop)
{
    if (element == "rtspsrc") {
        if (prop == "nat-method")
            return nat_methods;
        if (prop == "ntp-time-source")
            return ntp_time_sources;
        if (prop == "buffer-mode")
            return buffer_modes;
    }
    return nullptr;
}

// Enumerations and flag sets: 1 set, 0 refused, -1 not one this element
// knows.
int set_special(GstElement *element, std::string_view name, GParamSpec *spec,
                const char *value)
{
    const std::string_view prop = spec->name;
    int v = -1;
    if (name == "rtspsrc" && prop == "protocols") {
        uint32_t flags = 0;
        if (!tirskconf_parse_flags(rtsp_low_transports, value, 0, &flags))
            return 0;
        g_object_set(element, spec->name, flags, nullptr);
        return 1;
    }
    if (const tirskconf_dict_row *table = keyword_table(name, prop)) {
        const tirskconf_dict_row *row = tirskconf_dict_find(table, value, 0);
        if (!row)
            return 0;
        v = row->value;
    } else if (name == "v4l2src" && prop == "io-mode") {
        int64_t n;
        if (const tirskconf_dict_row *row = tirskconf_dict_find(v4l2_io_modes, value, 0))
            v = row->value;
        else if (parse_signed(value, 0, 2, &n))
            v = int(n);
        else
            return 0;
    } else {
        return name == "rtspsrc" || name == "v4l2src" ? 0 : -1;
    }
    g_object_set(element, spec->name, v, nullptr);
    return 1;
}

std::string_view trim(std::string_view s)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' ||
                                           c == '\v' || c == '\f'; };
    while (!s.empty() && blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && blank(s.back()))
        s.remove_suffix(1);
    return s;
}

void apply_token(GstElement *element, const char *name, const char *token)
{
    const char *eq = std::strchr(token, '=');
    if (!eq) {
        g_log(name, G_LOG_LEVEL_WARNING,
              "setup-source(): unexpected par=val pair \"%s\", skip it\n", token);
        return;
    }
    gchar *key = g_strndup(token, gsize(eq - token));
    const std::string_view k = trim(key), v = trim(eq + 1);
    gchar *pname = g_strndup(k.data(), k.size());
    gchar *value = g_strndup(v.data(), v.size());
    GParamSpec *spec = *pname && *value
                           ? g_object_class_find_property(G_OBJECT_GET_CLASS(element), pname)
                           : nullptr;
    if (!*pname || !*value)
        g_log(name, G_LOG_LEVEL_WARNING,
              "setup-source(): unexpected value \"%s\" of \"%s\" option, skip it\n", value,
              pname);
    else if (!spec)
        g_log(name, G_LOG_LEVEL_WARNING, "setup-source(): unexpected param \"%s\", skip it\n",
              pname);
    else if (!(spec->flags & G_PARAM_WRITABLE))
        g_log(name, G_LOG_LEVEL_WARNING,
              "setup-source(): param \"%s\" is not a writable, skip it\n", pname);
    else if (g_value_type_transformable(G_TYPE_STRING, spec->value_type)) {
        if (!value_parses(spec->value_type, value)) {
            g_log(name, G_LOG_LEVEL_WARNING,
                  "setup-source(): unexpected value \"%s\" of \"%s\" option, skip it\n", value,
                  pname);
        } else {
            GValue text = G_VALUE_INIT, typed = G_VALUE_INIT;
            g_value_init(&text, G_TYPE_STRING);
            g_value_set_string(&text, value);
            g_value_init(&typed, spec->value_type);
            g_value_transform(&text, &typed);
            g_object_set_property(G_OBJECT(element), spec->name, &typed);
            g_value_unset(&typed);
            g_value_unset(&text);
            g_log(name, G_LOG_LEVEL_INFO, "setup-source(): set \"%s\" option to \"%s\"\n",
                  spec->name, value);
        }
    } else {
        const int r = set_special(element, name, spec, value);
        if (r > 0)
            g_log(name, G_LOG_LEVEL_INFO, "setup-source(): set \"%s\" option to \"%s\"\n",
                  spec->name, value);
        else if (r == 0)
            g_log(name, G_LOG_LEVEL_WARNING,
                  "setup-source(): unexpected \"%s\"=\"%s\" param and/or value, skip it\n",
                  spec->name, value);
    }
    g_free(value);
    g_free(pname);
    g_free(key);
}

} // namespace

void set_source_opts(GstElement *element, const char *name, const char *opts)
{
    if (!element || !name || !opts)
        return;
    register_conversions();
    gchar **tokens = g_strsplit(opts, " ", -1);
    for (gchar **t = tokens; t && *t; t++)
        if (**t)
            apply_token(element, name, *t);
    g_strfreev(tokens);
}
