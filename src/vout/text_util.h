/* Text helpers of the SDL output: UTF-8 clean-up, popup line splitting and
 * label rendering.  Private to src/vout (and its tests). */
#ifndef TIRSK_VOUT_TEXT_UTIL_H
#define TIRSK_VOUT_TEXT_UTIL_H

#include <SDL.h>
#include <SDL_ttf.h>

#include <string>
#include <string_view>
#include <vector>

/* At most max_bytes of text, with every byte sequence the renderer cannot
 * take (malformed UTF-8, overlong forms, surrogates, characters beyond the
 * 16-bit range SDL_ttf 2.0 works in) replaced by '?'.  Never cuts a
 * character: a character that does not fit ends the result. */
std::string utf8_clean(std::string_view text, size_t max_bytes);

/* Longest popup line in bytes (the rest of a longer line is dropped). */
constexpr size_t POPUP_LINE_MAX = 99;

/* The popup's lines: split at newlines, the last allowed line (max_lines)
 * takes the rest of the text with its newlines; a newline at the very end
 * adds no line; each line cleaned and cut to POPUP_LINE_MAX bytes; an empty
 * line becomes " " so that it keeps its height. */
std::vector<std::string> popup_split_lines(std::string_view text,
                                           size_t max_lines);

/* Rows a text takes around its baseline: `top` rows above it (the font's
 * ascent, or more for glyphs reaching above it, such as the breve of "Й"),
 * `bottom` at or below it (the font's descent, negative, or lower). */
struct text_rows {
    int top;
    int bottom;
};
/* The rows of text in font, at least those of `at_least`. */
text_rows text_rows_of(TTF_Font *font, const char *text,
                       text_rows at_least = {0, 0});

/* The text of a cleaned copy of text, shaded fg on bg, as an 8-bit surface
 * as wide as the pen travels (blanks at either end keep their width) and
 * high enough for every glyph; `rows` widens it (lines of one popup share
 * their height).  Null for a null font, an empty text or a failure (SDL
 * error set). */
SDL_Surface *render_text_shaded(TTF_Font *font, const char *text,
                                SDL_Color fg, SDL_Color bg,
                                text_rows rows = {0, 0});

#endif
