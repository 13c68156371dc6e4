// Names of SDL 1.2 surface flags, for the screen report.
#include <cstdio>
#include <cstring>
#include <string>

#include "vout/sdl_private.h"

extern "C" {

// Ends with the SWSURFACE row, whose flag is 0: it names a flag word with no
// bit set.
constexpr sdl_flag_row sdl_surface_flags[] = {
    {0x00000001, "HWSURFACE", "Surface is stored in video memory."},
    {0x00000004, "ASYNCBLIT", "Surface uses asynchronous blits if possible."},
    {0x10000000, "ANYFORMAT", "Allows any pixel-format (Display surface)."},
    {0x20000000, "HWPALETTE", "Surface has exclusive palette."},
    {0x40000000, "DOUBLEBUF", "Surface is double buffered (Display surface)."},
    {0x80000000, "FULLSCREEN", "Surface is full screen (Display Surface)."},
    {0x00000002, "OPENGL", "Surface has an OpenGL context (Display Surface)."},
    {0x0000000A, "OPENGLBLIT",
     "Surface supports OpenGL blitting (Display Surface)."},
    {0x00000010, "RESIZABLE", "Surface is resizable (Display Surface)."},
    {0x00000020, "NOFRAME", "Window without title bar and frame decoration."},
    {0x00000100, "HWACCEL", "Surface blit uses hardware acceleration."},
    {0x00001000, "SRCCOLORKEY", "Surface use colorkey blitting."},
    {0x00004000, "RLEACCEL", "Colorkey blitting is accelerated with RLE."},
    {0x00010000, "SRCALPHA", "Surface blit uses alpha blending."},
    {0x01000000, "PREALLOC", "Surface uses preallocated memory."},
    {0x00000000, "SWSURFACE", "Surface is stored in system memory."},
};

} // extern "C"

namespace {

// Length of the answer with every flag set, " | " between the names.
consteval size_t longest_flags_text()
{
    size_t n = 0, names = 0;
    for (const sdl_flag_row &row : sdl_surface_flags) {
        if (row.flag == 0)
            break;
        n += std::char_traits<char>::length(row.name);
        names++;
    }
    return n + 3 * (names - 1);
}
static_assert(longest_flags_text() == 171);
static_assert(longest_flags_text() < sizeof flags_text);

} // namespace

extern "C" char *SDL_flags_to_str(uint32_t flags)
{
    const sdl_flag_row *row = sdl_surface_flags;
    if (flags == 0) {
        while (row->flag != 0)
            row++;
        std::strcpy(flags_text, row->name);
        return flags_text;
    }
    size_t len = 0;
    flags_text[0] = '\0';
    for (; row->flag != 0; row++) {
        if ((row->flag & flags) == 0)
            continue;
        // Fits by the static_assert above; the bound keeps it so if the
        // table grows.
        const int n = std::snprintf(flags_text + len, sizeof flags_text - len,
                                    "%s%s", len ? " | " : "", row->name);
        if (n < 0 || size_t(n) >= sizeof flags_text - len)
            break;
        len += size_t(n);
    }
    return flags_text;
}
