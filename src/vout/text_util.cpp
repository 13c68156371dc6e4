#include "vout/text_util.h"

namespace {

/* Length of the valid UTF-8 character at s[0] that SDL_ttf can render
 * (code points up to U+FFFF, no surrogates), 0 when there is none. */
size_t utf8_char_len(std::string_view s)
{
    auto b = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
    auto cont = [&](size_t i) { return i < s.size() && (b(i) & 0xC0) == 0x80; };
    const unsigned c = b(0);
    if (c < 0x80)
        return 1;
    if (c >= 0xC2 && c <= 0xDF)
        return cont(1) ? 2 : 0;
    if (c >= 0xE0 && c <= 0xEF) {
        if (!cont(1) || !cont(2))
            return 0;
        if (c == 0xE0 && b(1) < 0xA0) /* overlong */
            return 0;
        if (c == 0xED && b(1) >= 0xA0) /* surrogate */
            return 0;
        return 3;
    }
    return 0; /* stray continuation, C0/C1, 4-byte forms and beyond */
}

/* Bytes making up one unusable sequence starting at s[0]: the lead byte and
 * the continuation bytes that follow it, so one bad character gives one '?'. */
size_t bad_seq_len(std::string_view s)
{
    size_t n = 1;
    if ((static_cast<unsigned char>(s[0]) & 0xC0) != 0x80)
        while (n < s.size() && n < 4 &&
               (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80)
            ++n;
    return n;
}

} // namespace

std::string utf8_clean(std::string_view text, size_t max_bytes)
{
    std::string out;
    out.reserve(text.size() < max_bytes ? text.size() : max_bytes);
    while (!text.empty()) {
        size_t n = utf8_char_len(text);
        size_t take = n ? n : 1;
        if (out.size() + take > max_bytes)
            break;
        if (n) {
            out.append(text.substr(0, n));
        } else {
            out.push_back('?');
            n = bad_seq_len(text);
        }
        text.remove_prefix(n);
    }
    return out;
}

std::vector<std::string> popup_split_lines(std::string_view text,
                                           size_t max_lines)
{
    std::vector<std::string> lines;
    while (!text.empty() && lines.size() < max_lines) {
        std::string_view line = text;
        size_t nl = text.find('\n');
        if (lines.size() + 1 < max_lines && nl != std::string_view::npos) {
            line = text.substr(0, nl);
            text.remove_prefix(nl + 1);
        } else {
            /* the last line takes the rest, less a final newline */
            if (!line.empty() && line.back() == '\n')
                line.remove_suffix(1);
            text = {};
        }
        std::string clean = utf8_clean(line, POPUP_LINE_MAX);
        lines.push_back(clean.empty() ? std::string(" ") : clean);
    }
    return lines;
}

SDL_Surface *render_text_shaded(TTF_Font *font, const char *text,
                                SDL_Color fg, SDL_Color bg)
{
    if (!font || !text || !*text)
        return nullptr;
    std::string clean = utf8_clean(text, std::string_view(text).size());
    return TTF_RenderUTF8_Shaded(font, clean.c_str(), fg, bg);
}
