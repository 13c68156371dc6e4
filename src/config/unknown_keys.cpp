// Keys of the viewer's section that no option knows.  The host library
// hands keys over without their line, so the file, already parsed without
// error, is read once more here: only its structure matters (sections,
// nesting, keys), never the values.
#include <stdio.h>

#include <string>
#include <string_view>

#include "conf.h"
#include "config/options_private.h"

namespace {

constexpr std::string_view blanks = " \t";

std::string_view trim_left(std::string_view s)
{
    size_t at = s.find_first_not_of(blanks);
    return at == s.npos ? std::string_view() : s.substr(at);
}

// The leading name of a line (a key or a section name).
std::string_view name_of(std::string_view s)
{
    return s.substr(0, s.find_first_of(" \t{}\"#="));
}

// "{" after the name opens a section, "{ }" opens and closes it.
int opens(std::string_view after_name)
{
    std::string_view s = trim_left(after_name);
    if (s.empty() || s.front() != '{')
        return 0;
    s = trim_left(s.substr(1));
    return !s.empty() && s.front() == '}' ? 0 : 1;
}

} // namespace

void warn_unknown_keys(const char *path, const char *section)
{
    FILE *f = path ? fopen(path, "r") : nullptr;
    if (!f)
        return;
    int depth = 0, lineno = 0;
    bool ours = false;
    std::string line;
    for (int ch = 0; ch != EOF;) {
        line.clear();
        while ((ch = fgetc(f)) != EOF && ch != '\n')
            line += static_cast<char>(ch);
        if (ch == EOF && line.empty())
            break;
        ++lineno;
        std::string_view s(line);
        if (lineno == 1 && s.starts_with("\xEF\xBB\xBF"))
            s.remove_prefix(3);
        s = trim_left(s);
        if (s.empty() || s.front() == '#')
            continue;
        if (depth > 0 && s.front() == '}') {
            depth--;
            continue;
        }
        const std::string_view name = name_of(s);
        if (opens(s.substr(name.size()))) {
            if (depth++ == 0)
                ours = name == section;
            continue;
        }
        if (depth == 1 && ours && !conf_key_known(name))
            tirsklog_r(nullptr, 4, "%s:%d: unknown key \"%.*s\" ignored\n", path, lineno,
                       static_cast<int>(name.size()), name.data());
    }
    fclose(f);
}
