// The built-in mouse pointer: an arrow with a double outline, kept as XPM
// text and turned into the bit masks SDL 1.2 cursors are made of.
#include <cstdio>
#include <iterator>
#include <string_view>

#include "vout/sdl_private.h"

namespace {

constexpr int CURSOR_SIZE = 32;
constexpr int CURSOR_FIRST_ROW = 4; // after the header and 3 colour rows

} // namespace

extern "C" {

// Only the pixel rows and the hot spot are read; the header and colour rows
// say what the characters mean.
constexpr const char *const cursor_xpm[] = {
    "    32    32        3            1",
    "X c #000000",
    ". c #ffffff",
    "  c None",
    "X                               ",
    "XX                              ",
    "X.X                             ",
    "X..X                            ",
    "X.X.X                           ",
    "X.XX.X                          ",
    "X.X.X.X                         ",
    "X.X..X.X                        ",
    "X.X...X.X                       ",
    "X.X....X.X                      ",
    "X.X.....X.X                     ",
    "X.X......X.X                    ",
    "X.X.......X.X                   ",
    "X.X........X.X                  ",
    "X.X.........X.X                 ",
    "X.X..........X.X                ",
    "X.X...........X.X               ",
    "X.X............X.X              ",
    "X.X.............X.X             ",
    "X.X..............X.X            ",
    "X.X...............X.X           ",
    "X.X.............XX..XX          ",
    "X.X...........XX..XX            ",
    "X.X.........XX..XX              ",
    "X.X.......XX..XX                ",
    "X.X.....XX..XX                  ",
    "X.X...XX..XX                    ",
    "X.X.XX..XX                      ",
    "X.XX..XX                        ",
    "X.X.XX                          ",
    "X.XX                            ",
    "XX                              ",
    "0,0",
};

} // extern "C"

namespace {

consteval bool cursor_rows_are_32_wide()
{
    for (int r = 0; r < CURSOR_SIZE; r++)
        if (std::string_view(cursor_xpm[CURSOR_FIRST_ROW + r]).size() !=
            CURSOR_SIZE)
            return false;
    return true;
}
static_assert(std::size(cursor_xpm) == CURSOR_FIRST_ROW + CURSOR_SIZE + 1);
static_assert(cursor_rows_are_32_wide());

} // namespace

extern "C" void cursor_bits_from_xpm(const char *const xpm[], uint8_t data[128],
                                     uint8_t mask[128], int *hot_x, int *hot_y)
{
    int i = -1;
    for (int row = 0; row < CURSOR_SIZE; row++) {
        const char *line = xpm[CURSOR_FIRST_ROW + row];
        bool ended = false; // a short row counts as blank to its end
        for (int col = 0; col < CURSOR_SIZE; col++) {
            if (col % 8 == 0) {
                ++i;
                data[i] = mask[i] = 0;
            } else {
                data[i] <<= 1;
                mask[i] <<= 1;
            }
            const char c = ended ? ' ' : line[col];
            if (c == '\0') {
                ended = true;
                continue;
            }
            if (c == 'X') {
                data[i] |= 1;
                mask[i] |= 1;
            } else if (c == '.') {
                mask[i] |= 1;
            }
        }
    }
    *hot_x = *hot_y = 0;
    int x, y;
    const char *hot = xpm[CURSOR_FIRST_ROW + CURSOR_SIZE];
    if (std::sscanf(hot, "%d,%d", &x, &y) == 2) {
        *hot_x = x;
        *hot_y = y;
    }
}

extern "C" SDL_Cursor *create_arrow_cursor(void)
{
    uint8_t data[128], mask[128];
    int hot_x, hot_y;
    cursor_bits_from_xpm(cursor_xpm, data, mask, &hot_x, &hot_y);
    return SDL_CreateCursor(data, mask, CURSOR_SIZE, CURSOR_SIZE, hot_x, hot_y);
}
