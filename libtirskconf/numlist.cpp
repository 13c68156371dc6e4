// Numeric texts: lists of integers and "WxH" sizes.
#include <stdint.h>
#include <string.h>

#include <string_view>

#include "tirskconf.h"

namespace {

bool is_sep(char c) { return c == ',' || c == ';' || c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Decimal integer with an optional sign, the whole text; false on junk or
// overflow.
bool parse_int(std::string_view s, int64_t *out)
{
    bool neg = false;
    if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
        neg = s.front() == '-';
        s.remove_prefix(1);
    }
    if (s.empty() || s.size() > 18) // 18 digits always fit in int64_t
        return false;
    int64_t v = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (c - '0');
    }
    *out = neg ? -v : v;
    return true;
}

// Unsigned decimal that fits in 32 bits.
bool parse_u32(std::string_view s, uint32_t *out)
{
    if (s.empty() || s.size() > 10)
        return false;
    uint64_t v = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + uint64_t(c - '0');
    }
    if (v > UINT32_MAX)
        return false;
    *out = uint32_t(v);
    return true;
}

void trim_blanks(std::string_view &s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
}

} // namespace

extern "C" {

int tirskconf_parse_numlist2(int, const char *text, int max_count, int64_t min, int64_t max,
                             int, uint32_t *out)
{
    if (!text || !out || max_count <= 0)
        return 0;
    std::string_view s(text);
    int count = 0;
    for (;;) {
        while (!s.empty() && is_sep(s.front()))
            s.remove_prefix(1);
        if (s.empty())
            break;
        size_t n = 0;
        while (n < s.size() && !is_sep(s[n]))
            ++n;
        std::string_view item = s.substr(0, n);
        int64_t v;
        if (!parse_int(item, &v) || v < min || v > max) {
            tirsklog_r(nullptr, 4, "number list: item \"%.*s\" is not an integer in [%lld, %lld]; "
                       "%d value(s) before it taken, the rest ignored",
                       int(item.size() > 40 ? 40 : item.size()), item.data(), (long long)min,
                       (long long)max, count);
            break;
        }
        if (count == max_count) {
            tirsklog_r(nullptr, 4, "number list: more than %d values, the rest ignored",
                       max_count);
            break;
        }
        out[count++] = uint32_t(v);
        s.remove_prefix(n);
    }
    return count;
}

int tirskconf_get_q(const char *text, int need_nonzero, int max_w, int max_h, uint32_t *out)
{
    if (!text || !out)
        return 0;
    std::string_view s(text);
    size_t sep = s.find_first_of("xX*");
    if (sep == std::string_view::npos)
        return 0;
    std::string_view ws = s.substr(0, sep), hs = s.substr(sep + 1);
    trim_blanks(ws);
    trim_blanks(hs);
    uint32_t w, h;
    if (!parse_u32(ws, &w) || !parse_u32(hs, &h))
        return 0;
    if (need_nonzero && (w == 0 || h == 0))
        return 0;
    if ((max_w > 0 && w > uint32_t(max_w)) || (max_h > 0 && h > uint32_t(max_h)))
        return 0;
    out[0] = w;
    out[1] = h;
    return 1;
}

} // extern "C"
