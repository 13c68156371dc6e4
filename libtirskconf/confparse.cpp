// Configuration-file parser: named sections of key/value lines.  The syntax
// is described in SYNTAX.md and in tirskconf.h.
#include <errno.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include <string_view>

#include "tirskconf.h"

namespace {

constexpr size_t kLineMax = 8192; // bytes per line, without the newline

struct Parser {
    const char *path;
    const char *section;
    tirskconf_handler_fn *handler;
    int flags;
    void *user;

    int lineno = 0;
    int depth = 0;          // open braces
    bool in_target = false; // inside a section we hand to the handler
    int open_line = 0;      // line of the outermost open section
    char open_name[64] = "";
    int result = 1;

    char key[kLineMax + 1] = {};
    char value[kLineMax + 1] = {};
};

__attribute__((format(printf, 3, 4))) void report(const Parser &p, int line,
                                                  const char *fmt, ...)
{
    char reason[512];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(reason, sizeof reason, fmt, ap);
    va_end(ap);
    if (line > 0)
        tirsklog_r(nullptr, 3, "%s:%d: %s", p.path, line, reason);
    else
        tirsklog_r(nullptr, 3, "%s: %s", p.path, reason);
}

bool is_blank(char c) { return c == ' ' || c == '\t'; }

void skip_blanks(std::string_view &s)
{
    while (!s.empty() && is_blank(s.front()))
        s.remove_prefix(1);
}

// Only blanks or a comment left?
bool at_end(std::string_view s)
{
    skip_blanks(s);
    return s.empty() || s.front() == '#';
}

bool is_word_char(char c)
{
    return !is_blank(c) && c != '{' && c != '}' && c != '"' && c != '#' &&
           c != '=';
}

std::string_view take_word(std::string_view &s)
{
    size_t n = 0;
    while (n < s.size() && is_word_char(s[n]))
        ++n;
    std::string_view w = s.substr(0, n);
    s.remove_prefix(n);
    return w;
}

void copy_to(char *dst, std::string_view s)
{
    memcpy(dst, s.data(), s.size()); // dst holds kLineMax + 1 bytes
    dst[s.size()] = '\0';
}

// s starts at the opening quote.  Copies the unescaped text into out and
// leaves s after the closing quote.  False when the quote is unterminated.
bool take_quoted(std::string_view &s, char *out)
{
    size_t o = 0;
    for (size_t i = 1; i < s.size(); ++i) {
        char c = s[i];
        if (c == '"') {
            out[o] = '\0';
            s.remove_prefix(i + 1);
            return true;
        }
        if (c == '\\' && i + 1 < s.size() && (s[i + 1] == '"' || s[i + 1] == '\\'))
            c = s[++i];
        out[o++] = c;
    }
    return false;
}

// Lines of sections that are not ours: only quotes, comments and braces
// matter.  False on a syntax error (reported).
bool skip_line(Parser &p, std::string_view s)
{
    for (size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        if (c == '#')
            return true;
        if (c == '"') {
            std::string_view q = s.substr(i);
            if (!take_quoted(q, p.value)) {
                report(p, p.lineno, "unterminated quoted string");
                return false;
            }
            i = s.size() - q.size() - 1;
        } else if (c == '{') {
            ++p.depth;
        } else if (c == '}') {
            if (--p.depth == 0) {
                if (!at_end(s.substr(i + 1))) {
                    report(p, p.lineno, "unexpected text after '}'");
                    return false;
                }
                return true;
            }
        }
    }
    return true;
}

// A line at the top level: "name {" (or "name { }").
bool top_line(Parser &p, std::string_view s)
{
    if (s.front() == '}') {
        report(p, p.lineno, "unexpected '}' outside a section");
        return false;
    }
    if (s.front() == '{') {
        report(p, p.lineno, "'{' without a section name");
        return false;
    }
    std::string_view name = take_word(s);
    if (name.empty()) {
        report(p, p.lineno, "expected a section name");
        return false;
    }
    skip_blanks(s);
    if (s.empty() || s.front() != '{') {
        report(p, p.lineno, "expected '{' after \"%.*s\" (key/value pairs belong inside a section)",
               int(name.size() > 100 ? 100 : name.size()), name.data());
        return false;
    }
    s.remove_prefix(1);
    skip_blanks(s);
    bool closed = !s.empty() && s.front() == '}';
    if (closed)
        s.remove_prefix(1);
    if (!at_end(s)) {
        report(p, p.lineno, "unexpected text after '%c'", closed ? '}' : '{');
        return false;
    }
    if (closed)
        return true;
    p.depth = 1;
    p.open_line = p.lineno;
    snprintf(p.open_name, sizeof p.open_name, "%.*s", int(name.size()), name.data());
    p.in_target = name == p.section;
    return true;
}

// A line inside our section: "}" or "key [=] value".
bool pair_line(Parser &p, std::string_view s)
{
    if (s.front() == '}') {
        if (!at_end(s.substr(1))) {
            report(p, p.lineno, "unexpected text after '}'");
            return false;
        }
        p.depth = 0;
        p.in_target = false;
        return true;
    }
    if (s.front() == '{') {
        report(p, p.lineno, "'{' without a section name");
        return false;
    }
    std::string_view key = take_word(s);
    if (key.empty()) {
        report(p, p.lineno, "expected a key");
        return false;
    }
    copy_to(p.key, key);
    skip_blanks(s);
    if (!s.empty() && s.front() == '{') {
        report(p, p.lineno, "section \"%s\" inside section \"%s\"", p.key, p.section);
        return false;
    }
    if (!s.empty() && s.front() == '=') {
        s.remove_prefix(1);
        skip_blanks(s);
    }
    if (at_end(s)) {
        report(p, p.lineno, "missing value for \"%s\"", p.key);
        return false;
    }
    if (s.front() == '"') {
        if (!take_quoted(s, p.value)) {
            report(p, p.lineno, "unterminated quoted string");
            return false;
        }
        if (!at_end(s)) {
            report(p, p.lineno, "unexpected text after the quoted value of \"%s\"", p.key);
            return false;
        }
    } else {
        std::string_view v = s.substr(0, s.find('#'));
        while (!v.empty() && is_blank(v.back()))
            v.remove_suffix(1);
        if (v.find_first_of("{}\"") != std::string_view::npos) {
            report(p, p.lineno, "'{', '}' and '\"' in the value of \"%s\" must be quoted",
                   p.key);
            return false;
        }
        copy_to(p.value, v);
    }
    if (!p.handler(p.user, const_cast<char *>(p.section), const_cast<char *>(p.path),
                   p.key, p.value)) {
        report(p, p.lineno, "invalid value for \"%s\": \"%.80s\"", p.key, p.value);
        p.result = 0;
        if (p.flags & TIRSKCONF_STOP_ON_REJECT)
            return false;
    }
    return true;
}

// Reads one line into buf without its newline.  1 line read, 0 end of
// file, -1 error (reported).
int read_line(Parser &p, FILE *f, char *buf, size_t &len)
{
    len = 0;
    int c;
    bool nul = false;
    while ((c = getc_unlocked(f)) != EOF && c != '\n') {
        if (c == '\0')
            nul = true;
        if (len == kLineMax) {
            report(p, p.lineno + 1, "line longer than %zu bytes", kLineMax);
            return -1;
        }
        buf[len++] = char(c);
    }
    if (ferror(f)) {
        report(p, 0, "read error: %s", strerror(errno));
        return -1;
    }
    if (c == EOF && len == 0)
        return 0;
    ++p.lineno;
    if (nul) {
        report(p, p.lineno, "NUL byte in the line");
        return -1;
    }
    return 1;
}

struct FileCloser {
    FILE *f;
    ~FileCloser() { fclose(f); }
};

} // namespace

extern "C" int tirskconf_parse(const char *path, const char *section,
                               tirskconf_handler_fn *handler, int flags, void *user)
{
    if (!path || !*path || !section || !handler) {
        tirsklog_r(nullptr, 3, "configuration parser: %s",
                   !path || !*path ? "no file name given" : "no section or handler given");
        return 0;
    }
    FILE *f = fopen(path, "re");
    if (!f) {
        tirsklog_r(nullptr, 3, "%s: cannot open configuration file: %s", path,
                   strerror(errno));
        return 0;
    }
    FileCloser closer{f};

    Parser p{path, section, handler, flags, user};
    char line[kLineMax + 1];
    size_t len;
    int r;
    while ((r = read_line(p, f, line, len)) > 0) {
        std::string_view s(line, len);
        if (p.lineno == 1 && s.starts_with("\xEF\xBB\xBF")) // UTF-8 byte-order mark
            s.remove_prefix(3);
        if (!s.empty() && s.back() == '\r')
            s.remove_suffix(1);
        skip_blanks(s);
        if (s.empty() || s.front() == '#')
            continue;
        bool ok = p.depth == 0   ? top_line(p, s)
                  : p.in_target ? pair_line(p, s)
                                 : skip_line(p, s);
        if (!ok)
            return 0;
    }
    if (r < 0)
        return 0;
    if (p.depth > 0) {
        report(p, p.lineno, "missing '}' of section \"%s\" opened at line %d", p.open_name,
               p.open_line);
        return 0;
    }
    return p.result;
}
