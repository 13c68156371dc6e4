// Name tables and flag sets: lookups by name, keyword sets and bit names.
#include <stdarg.h>
#include <string.h>
#include <strings.h>

#include <string_view>

#include "text_util.h"
#include "tirskconf.h"

namespace {

using namespace tirskconf_text;

const tirskconf_dict_row *dict_find(const tirskconf_dict_row *table, std::string_view name)
{
    if (!table)
        return nullptr;
    for (; table->keyword; ++table)
        if (equal_nocase(name, table->keyword))
            return table;
    return nullptr;
}

} // namespace

extern "C" {

const tirskconf_hash_row *tirskconf_hash_find(const tirskconf_hash_row *table,
                                              const char *name, int flags)
{
    if (!table || !name)
        return nullptr;
    size_t n = strlen(name);
    for (; table->id != 0; ++table) {
        if (!table->name || table->len < 0 || size_t(table->len) != n)
            continue;
        bool same = (flags & TIRSKCONF_FIND_NOCASE) ? strncasecmp(table->name, name, n) == 0
                                                    : memcmp(table->name, name, n) == 0;
        if (same)
            return table;
    }
    return nullptr;
}

const tirskconf_dict_row *tirskconf_dict_find(const tirskconf_dict_row *table,
                                              const char *name, int)
{
    if (!name)
        return nullptr;
    return dict_find(table, name);
}

int tirskconf_parse_flags(const tirskconf_dict_row *table, const char *text, int flags, ...)
{
    (void)flags; // reserved
    va_list ap;
    va_start(ap, flags);
    uint32_t *out = va_arg(ap, uint32_t *);
    va_end(ap);
    if (!table || !text || !out)
        return 0;

    std::string_view rest(text);
    if (trim(rest).empty())
        return 0;
    uint32_t acc = 0;
    for (;;) {
        size_t cut = rest.find_first_of("+|,");
        std::string_view word = trim(rest.substr(0, cut));
        const tirskconf_dict_row *row = word.empty() ? nullptr : dict_find(table, word);
        if (!row)
            return 0;
        acc |= uint32_t(row->value);
        if (cut == std::string_view::npos)
            break;
        rest.remove_prefix(cut + 1);
    }
    *out = acc;
    return 1;
}

char *tirskconf_u32flag2str_r(const tirskconf_flag_row *table, uint32_t flags, char *buf,
                              size_t size)
{
    if (!buf || size == 0)
        return buf;
    buf[0] = '\0';
    if (!table)
        return buf;
    size_t len = 0;
    for (; table->name; ++table) {
        if (table->flag == 0 || (flags & table->flag) != table->flag)
            continue;
        size_t n = strlen(table->name);
        size_t need = n + (len ? 1 : 0);
        if (len + need >= size) {
            // Never split a name; make room for a "..." that marks the cut
            // by dropping whole names, unless even "..." alone cannot fit.
            if (size > 3) {
                while (len > 0 && len + 3 >= size) {
                    const char *comma = static_cast<const char *>(memrchr(buf, ',', len));
                    len = comma ? size_t(comma - buf) : 0;
                }
                memcpy(buf + len, "...", 4);
            }
            return buf;
        }
        if (len)
            buf[len++] = ',';
        memcpy(buf + len, table->name, n);
        len += n;
        buf[len] = '\0';
    }
    return buf;
}

} // extern "C"
