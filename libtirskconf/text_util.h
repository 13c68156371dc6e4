// Small text helpers shared by the library's parsers (internal).
#pragma once

#include <string.h>
#include <strings.h>

#include <string_view>

namespace tirskconf_text {

inline bool is_blank(char c) { return c == ' ' || c == '\t'; }

// Without blanks and line breaks at both ends.
inline std::string_view trim(std::string_view s)
{
    auto ws = [](char c) { return is_blank(c) || c == '\r' || c == '\n'; };
    while (!s.empty() && ws(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && ws(s.back()))
        s.remove_suffix(1);
    return s;
}

inline bool equal_nocase(std::string_view a, const char *b)
{
    size_t n = strlen(b);
    return a.size() == n && strncasecmp(a.data(), b, n) == 0;
}

} // namespace tirskconf_text
