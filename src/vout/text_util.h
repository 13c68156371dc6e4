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

/* TTF_RenderUTF8_Shaded on a cleaned copy of text; null for a null font or
 * an empty text. */
SDL_Surface *render_text_shaded(TTF_Font *font, const char *text,
                                SDL_Color fg, SDL_Color bg);

#endif
