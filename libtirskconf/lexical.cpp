// Lexical routines: booleans and tokens.
#include <string.h>
#include <strings.h>

#include <string_view>

#include "text_util.h"
#include "tirskconf.h"

using namespace tirskconf_text;

extern "C" {

int tirskconf_parse_bool(const char *text)
{
    if (!text)
        return 0;
    std::string_view s = trim(text);
    for (const char *yes : {"yes", "y", "true", "on", "1"})
        if (equal_nocase(s, yes))
            return 1;
    return 0;
}

const char *tirskconf_str_get_next_token(const char *text, const char *delims, size_t *len)
{
    if (len)
        *len = 0;
    if (!text)
        return nullptr;
    if (!delims)
        delims = "";
    while (*text && (is_blank(*text) || strchr(delims, *text)))
        ++text;
    if (!*text)
        return nullptr;
    size_t n = strcspn(text, delims);
    while (n > 0 && is_blank(text[n - 1]))
        --n;
    if (len)
        *len = n;
    return text;
}

} // extern "C"
