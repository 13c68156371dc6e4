#include "vout/text_util.h"

#include <algorithm>
#include <memory>

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

namespace {

/* Code points of a cleaned text (valid UTF-8 up to U+FFFF). */
std::vector<Uint16> code_points(std::string_view s)
{
    std::vector<Uint16> out;
    for (size_t i = 0; i < s.size();) {
        const auto b = [&](size_t k) { return unsigned(static_cast<unsigned char>(s[k])); };
        const size_t n = utf8_char_len(s.substr(i));
        if (n == 1)
            out.push_back(Uint16(b(i)));
        else if (n == 2)
            out.push_back(Uint16(((b(i) & 0x1F) << 6) | (b(i + 1) & 0x3F)));
        else if (n == 3)
            out.push_back(Uint16(((b(i) & 0x0F) << 12) | ((b(i + 1) & 0x3F) << 6) |
                                 (b(i + 2) & 0x3F)));
        i += n ? n : 1;
    }
    return out;
}

std::string utf8_of(Uint16 a, Uint16 b)
{
    std::string out;
    for (Uint16 c : {a, b}) {
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xE0 | (c >> 12));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

struct glyph_box {
    int minx, maxx, miny, maxy, advance;
};

/* Kerning between two glyphs as the renderer applies it: the change it
 * makes to the width of the pair. */
int kerning_of(TTF_Font *font, Uint16 a, Uint16 b)
{
    const std::string pair = utf8_of(a, b);
    int kerned = 0, plain = 0, h = 0;
    TTF_SizeUTF8(font, pair.c_str(), &kerned, &h);
    TTF_SetFontKerning(font, 0);
    TTF_SizeUTF8(font, pair.c_str(), &plain, &h);
    TTF_SetFontKerning(font, 1);
    return kerned - plain;
}

struct text_layout {
    std::vector<Uint16> chars;
    std::vector<glyph_box> boxes;
    std::vector<int> pen; /* x of each glyph's origin */
    int width = 0;
    text_rows rows{};
};

/* Where every glyph goes.  TTF_RenderUTF8_Shaded cuts glyphs at the font's
 * ascent and descent (the breve of "Й" is lost); the rows here reach as far
 * as the glyphs do. */
bool lay_out(TTF_Font *font, const char *text, text_layout &l)
{
    if (!font || !text || !*text)
        return false;
    l.chars = code_points(utf8_clean(text, std::string_view(text).size()));
    if (l.chars.empty())
        return false;
    const bool kerning = TTF_GetFontKerning(font) != 0;
    l.rows = {TTF_FontAscent(font), TTF_FontDescent(font)};
    int pen = 0, left = 0, right = 0;
    for (size_t i = 0; i < l.chars.size(); ++i) {
        glyph_box g{};
        if (TTF_GlyphMetrics(font, l.chars[i], &g.minx, &g.maxx, &g.miny, &g.maxy,
                             &g.advance) != 0)
            return false;
        if (i > 0 && kerning)
            pen += kerning_of(font, l.chars[i - 1], l.chars[i]);
        l.boxes.push_back(g);
        l.pen.push_back(pen);
        left = std::min(left, pen + g.minx);
        right = std::max(right, pen + std::max(g.advance, g.maxx));
        if (g.maxx > g.minx) { /* blanks have no ink and no say */
            l.rows.top = std::max(l.rows.top, g.maxy);
            l.rows.bottom = std::min(l.rows.bottom, g.miny);
        }
        pen += g.advance;
    }
    /* Blanks at either end are the label's margins: a glyph that overhangs
     * its advance must not eat into them. */
    size_t first = 0, last = l.chars.size();
    while (first < last && l.boxes[first].maxx <= l.boxes[first].minx)
        ++first;
    while (last > first && l.boxes[last - 1].maxx <= l.boxes[last - 1].minx)
        --last;
    if (first < last) {
        int lead = 0, trail = 0;
        for (size_t i = 0; i < first; ++i)
            lead += l.boxes[i].advance;
        for (size_t i = last; i < l.chars.size(); ++i)
            trail += l.boxes[i].advance;
        left = std::min(left, l.pen[first] + l.boxes[first].minx - lead);
        right = std::max(right, l.pen[last - 1] + l.boxes[last - 1].maxx + trail);
    }
    for (int &x : l.pen)
        x -= left;
    l.width = right - left;
    return l.width > 0;
}

struct surface_free {
    void operator()(SDL_Surface *s) const { SDL_FreeSurface(s); }
};

} // namespace

text_rows text_rows_of(TTF_Font *font, const char *text, text_rows at_least)
{
    text_layout l;
    if (!lay_out(font, text, l))
        return at_least;
    return {std::max(l.rows.top, at_least.top),
            std::min(l.rows.bottom, at_least.bottom)};
}

SDL_Surface *render_text_shaded(TTF_Font *font, const char *text,
                                SDL_Color fg, SDL_Color bg, text_rows rows)
{
    text_layout l;
    if (!lay_out(font, text, l)) {
        SDL_SetError("Text has zero width");
        return nullptr;
    }
    const int top = std::max(l.rows.top, rows.top);
    const int bottom = std::min(l.rows.bottom, rows.bottom);
    const int height = top - bottom + 1;

    std::unique_ptr<SDL_Surface, surface_free> out(
        SDL_CreateRGBSurface(SDL_SWSURFACE, l.width, height, 8, 0, 0, 0, 0));
    if (!out)
        return nullptr;
    /* The shading of the library's own renderer: index = coverage. */
    SDL_Color palette[256];
    for (int i = 0; i < 256; ++i)
        palette[i] = {Uint8(bg.r + i * (fg.r - bg.r) / 255),
                      Uint8(bg.g + i * (fg.g - bg.g) / 255),
                      Uint8(bg.b + i * (fg.b - bg.b) / 255), 0};
    SDL_SetColors(out.get(), palette, 0, 256);
    SDL_FillRect(out.get(), nullptr, 0);

    for (size_t i = 0; i < l.chars.size(); ++i) {
        const glyph_box &g = l.boxes[i];
        if (g.maxx <= g.minx)
            continue;
        std::unique_ptr<SDL_Surface, surface_free> glyph(
            TTF_RenderGlyph_Shaded(font, l.chars[i], fg, bg));
        if (!glyph)
            return nullptr;
        /* The glyph's pixmap starts at its left bearing and its top. */
        const int x0 = l.pen[i] + g.minx, y0 = top - g.maxy;
        const int cols = std::min(glyph->w, g.maxx - g.minx);
        for (int r = 0; r < glyph->h; ++r) {
            const int y = y0 + r;
            if (y < 0 || y >= height)
                continue;
            const auto *src = static_cast<const Uint8 *>(glyph->pixels) + r * glyph->pitch;
            auto *dst = static_cast<Uint8 *>(out->pixels) + y * out->pitch;
            for (int c = 0; c < cols; ++c)
                if (x0 + c >= 0 && x0 + c < l.width)
                    dst[x0 + c] |= src[c];
        }
    }
    return out.release();
}
