// Bounded copies of database texts into fixed record fields.
#pragma once

#include <stddef.h>
#include <string.h>

#include <string_view>

// Longest prefix of text of at most max bytes that does not end inside a
// UTF-8 sequence, so that a cut name still renders as text.
inline std::string_view utf8_prefix(std::string_view text, size_t max)
{
    if (text.size() <= max)
        return text;
    // text[n] exists since n <= max < size; the prefix is whole when the
    // byte after it starts a character.
    size_t n = max;
    // At most three continuation bytes follow a lead byte; other encodings
    // are cut by bytes.
    while (n > 0 && max - n < 3 &&
           (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
        --n;
    return text.substr(0, n);
}

// Copy text into dst[size], cut at a character boundary, zero-padded.
inline void copy_text(char *dst, size_t size, std::string_view text)
{
    std::string_view v = utf8_prefix(text, size - 1);
    memset(dst, 0, size);
    memcpy(dst, v.data(), v.size());
}
