// Readers for option values shared by the command line and the file.
#include <ctype.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include <string_view>

#include "config/options_private.h"

int read_unsigned(const char *text, uint32_t max, uint32_t *out)
{
    if (!text)
        return 0;
    const char *p = text;
    while (isspace(static_cast<unsigned char>(*p)))
        p++;
    if (*p == '+')
        p++;
    if (!isdigit(static_cast<unsigned char>(*p)))
        return 0; // nothing to read, or a negative number
    uint64_t v = 0;
    for (; isdigit(static_cast<unsigned char>(*p)); p++) {
        v = v * 10 + static_cast<uint64_t>(*p - '0');
        if (v > max)
            return 0;
    }
    *out = static_cast<uint32_t>(v);
    return 1;
}

// Like read_unsigned, also giving the end of the number.
static const char *read_unsigned_end(const char *text, uint32_t *out)
{
    const char *p = text;
    while (isspace(static_cast<unsigned char>(*p)))
        p++;
    if (*p == '+')
        p++;
    if (!read_unsigned(text, UINT32_MAX, out))
        return nullptr;
    while (isdigit(static_cast<unsigned char>(*p)))
        p++;
    return p;
}

int read_pair(const char *text, uint32_t *first, char *sep, uint32_t *second)
{
    if (!text)
        return 0;
    uint32_t a, b;
    const char *p = read_unsigned_end(text, &a);
    if (!p || !*p)
        return 0;
    char s = *p++;
    if (!read_unsigned(p, UINT32_MAX, &b))
        return 0;
    *first = a;
    *sep = s;
    *second = b;
    return 1;
}

int replace_string(char **field, const char *value)
{
    free(*field);
    *field = value ? strdup(value) : nullptr;
    return *field != nullptr;
}

int switch_value(const char *value)
{
    if (tirskconf_parse_bool(value))
        return 1;
    // Only the words for "no" turn a switch off: a typo such as
    // "fullscreen yse" is refused rather than read as "no".
    std::string_view s = value ? value : "";
    while (!s.empty() && isspace(static_cast<unsigned char>(s.front())))
        s.remove_prefix(1);
    while (!s.empty() && isspace(static_cast<unsigned char>(s.back())))
        s.remove_suffix(1);
    for (std::string_view no : {"no", "n", "false", "off", "0"})
        if (s.size() == no.size() && strncasecmp(s.data(), no.data(), s.size()) == 0)
            return 0;
    return -1;
}
