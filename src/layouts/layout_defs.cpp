// The built-in layout types.
//
// Each type is written as its grid plus the few windows that cover more than
// one base cell; the cell lists are generated at compile time by walking the
// grid row by row and starting the next window at every base cell not yet
// covered.  A type whose description does not tile its grid with exactly its
// window count fails to compile.
#include <strings.h>

#include <array>
#include <cstddef>
#include <cstdint>

#include "layouts.h"

namespace {

// A window covering several base cells: its 1-based number, top-left base
// cell and size in base cells.
struct block {
    uint32_t win;
    uint32_t row;
    uint32_t col;
    uint32_t height;
    uint32_t width;
};

constexpr int max_blocks = 10;

// What is needed to generate a type's cell list (a structural type, so that
// it can parameterise the per-type cell array).
struct shape {
    int32_t wins;
    int32_t rows;
    int32_t cols;
    block blocks[max_blocks]; // unused entries have win 0
};

template <int32_t N>
struct tiling {
    bool ok;
    std::array<layout_cell, N> cells;
};

// Applies the cell rule to S; ok is false when the blocks overlap, leave the
// grid, are not where the walk reaches them, are not all used, or the walk
// does not yield exactly S.wins windows.
template <shape S>
constexpr tiling<S.wins> tile()
{
    tiling<S.wins> t{false, {}};
    if (S.rows <= 0 || S.cols <= 0 || S.rows * S.cols > MAX_WINS)
        return t;
    std::array<bool, MAX_WINS> covered{};
    int32_t n = 0;
    int used_blocks = 0;
    const uint32_t rows = S.rows, cols = S.cols;
    for (uint32_t r = 0; r < rows; r++) {
        for (uint32_t c = 0; c < cols; c++) {
            if (covered[r * cols + c])
                continue;
            if (n == S.wins)
                return t; // more windows than declared
            layout_cell cell{r, c, 1, 1};
            for (const block &b : S.blocks) {
                if (b.win != uint32_t(n + 1))
                    continue;
                if (b.row != r || b.col != c || b.height == 0 || b.width == 0)
                    return t;
                cell.height = b.height;
                cell.width = b.width;
                used_blocks++;
            }
            if (r + cell.height > rows || c + cell.width > cols)
                return t;
            for (uint32_t y = r; y < r + cell.height; y++)
                for (uint32_t x = c; x < c + cell.width; x++) {
                    if (covered[y * cols + x])
                        return t; // overlaps an earlier window
                    covered[y * cols + x] = true;
                }
            t.cells[n++] = cell;
        }
    }
    int declared_blocks = 0;
    for (const block &b : S.blocks)
        declared_blocks += b.win != 0;
    t.ok = n == S.wins && used_blocks == declared_blocks;
    return t;
}

template <shape S>
constexpr tiling<S.wins> tiled = tile<S>();

template <shape S>
constexpr const layout_cell *cells_of()
{
    static_assert(tiled<S>.ok, "layout description does not tile its grid");
    return tiled<S>.cells.data();
}

template <shape S>
constexpr layout_def def(int32_t id, const char *name, int32_t major)
{
    return {id, name, S.wins, S.rows, S.cols, cells_of<S>(), major};
}

} // namespace

// Ordered by window count; `id` is the type's number.
constexpr layout_def layouts_defs[LAYOUT_DEFS_COUNT + 1] = {
    //       windows, rows, cols, {multi-cell windows: window, row, col, height, width}
    def<shape{1, 1, 1, {}}>(0, "ONECAM", 1),
    def<shape{2, 1, 2, {}}>(1, "WIDE_2_2", 1),
    def<shape{3, 2, 3, {{1, 0, 0, 2, 2}}}>(2, "WIDE_3_6", 1),
    def<shape{4, 2, 2, {}}>(3, "QUAD_4_4", 1),
    def<shape{5, 2, 4, {{1, 0, 0, 2, 2}}}>(5, "WIDE_5_8", 1),
    def<shape{6, 2, 3, {}}>(4, "WIDE_6_6", 2),
    def<shape{6, 3, 3, {{1, 0, 0, 2, 2}}}>(6, "MULTI_6_9", 1),
    def<shape{7, 4, 4, {{1, 0, 0, 2, 2}, {2, 0, 2, 2, 2}, {3, 2, 0, 2, 2}}}>(
        7, "MULTI_7_16", 1),
    def<shape{8, 4, 4, {{1, 0, 0, 3, 3}}}>(8, "MULTI_8_16", 1),
    def<shape{9, 3, 3, {}}>(9, "QUAD_9_9", 5),
    def<shape{9, 3, 5, {{1, 0, 0, 2, 2}, {2, 0, 2, 2, 2}}}>(10, "WIDE_9_15", 2),
    def<shape{9, 3, 6, {{1, 0, 0, 2, 2}, {2, 0, 2, 2, 2}, {3, 0, 4, 2, 2}}}>(
        11, "WIDE_9_18", 2),
    def<shape{10, 4, 4, {{1, 0, 0, 2, 2}, {2, 0, 2, 2, 2}}}>(12, "MULTI_10_16",
                                                             1),
    def<shape{12, 3, 4, {}}>(13, "POLY_4_3", 6),
    def<shape{12, 3, 6, {{2, 0, 1, 2, 2}, {3, 0, 3, 2, 2}}}>(14, "WIDE_12_18",
                                                             2),
    def<shape{12, 4, 6,
              {{2, 0, 1, 2, 2}, {3, 0, 3, 2, 2}, {8, 2, 1, 2, 2},
               {9, 2, 3, 2, 2}}}>(15, "WIDE_12_24", 2),
    def<shape{13, 4, 4, {{6, 1, 1, 2, 2}}}>(16, "MULTI_13_16", 6),
    def<shape{13, 5, 5,
              {{1, 0, 0, 2, 2}, {2, 0, 2, 2, 2}, {5, 2, 0, 2, 2},
               {6, 2, 2, 2, 2}}}>(22, "MULTI_13_25", 6),
    def<shape{15, 3, 5, {}}>(17, "WIDE_15_15", 8),
    def<shape{15, 3, 6, {{3, 0, 2, 2, 2}}}>(18, "WIDE_15_18", 3),
    def<shape{15, 4, 6, {{7, 1, 0, 2, 2}, {8, 1, 2, 2, 2}, {9, 1, 4, 2, 2}}}>(
        19, "WIDE_15_24", 8),
    def<shape{16, 4, 4, {}}>(20, "QUAD_16_16", 6),
    def<shape{16, 5, 5, {{3, 0, 2, 2, 2}, {8, 2, 0, 2, 2}, {9, 2, 2, 2, 2}}}>(
        23, "MULTI_16_25", 9),
    def<shape{17, 5, 5, {{7, 1, 1, 3, 3}}}>(24, "MULTI_17_25", 7),
    def<shape{18, 3, 6, {}}>(21, "WIDE_18_18", 9),
    def<shape{18, 4, 6, {{8, 1, 1, 2, 2}, {9, 1, 3, 2, 2}}}>(28, "WIDE_18_24",
                                                             8),
    def<shape{19, 5, 5, {{6, 1, 0, 2, 2}, {7, 1, 2, 2, 2}}}>(25, "MULTI_19_25",
                                                             7),
    def<shape{20, 4, 5, {}}>(26, "POLY_5_4", 8),
    def<shape{21, 4, 6, {{9, 1, 2, 2, 2}}}>(29, "WIDE_21_24", 9),
    def<shape{22, 5, 5, {{7, 1, 1, 2, 2}}}>(27, "MULTI_22_25", 7),
    def<shape{24, 4, 6, {}}>(30, "WIDE_24_24", 9),
    def<shape{25, 5, 5, {}}>(31, "QUAD_25_25", 13),
    def<shape{28, 4, 7, {}}>(32, "WIDE_28_28", 11),
    def<shape{28, 5, 8,
              {{9, 1, 0, 2, 2}, {10, 1, 2, 2, 2}, {11, 1, 4, 2, 2},
               {12, 1, 6, 2, 2}}}>(33, "WIDE_28_40", 10),
    def<shape{30, 5, 6, {}}>(34, "MULTI_30_30", 15),
    def<shape{30, 6, 10,
              {{11, 1, 0, 2, 2}, {12, 1, 2, 2, 2}, {13, 1, 4, 2, 2},
               {14, 1, 6, 2, 2}, {15, 1, 8, 2, 2}, {16, 3, 0, 2, 2},
               {17, 3, 2, 2, 2}, {18, 3, 4, 2, 2}, {19, 3, 6, 2, 2},
               {20, 3, 8, 2, 2}}}>(35, "WIDE_30_60", 13),
    def<shape{34, 5, 8, {{11, 1, 2, 2, 2}, {12, 1, 4, 2, 2}}}>(
        36, "WIDE_34_40", 11),
    def<shape{37, 5, 8, {{11, 1, 2, 2, 2}}}>(37, "WIDE_37_40", 11),
    def<shape{40, 5, 8, {}}>(38, "WIDE_40_40", 20),
    def<shape{42, 6, 7, {}}>(39, "POLY_7_6", 18),
    def<shape{42, 6, 10,
              {{13, 1, 2, 2, 2}, {14, 1, 4, 2, 2}, {15, 1, 6, 2, 2},
               {24, 3, 2, 2, 2}, {25, 3, 4, 2, 2}, {26, 3, 6, 2, 2}}}>(
        40, "WIDE_42_60", 14),
    def<shape{48, 6, 8, {}}>(41, "WIDE_48_48", 20),
    def<shape{48, 6, 10,
              {{14, 1, 3, 2, 2}, {15, 1, 5, 2, 2}, {28, 3, 3, 2, 2},
               {29, 3, 5, 2, 2}}}>(42, "WIDE_48_60", 14),
    def<shape{54, 6, 10, {{24, 2, 3, 2, 2}, {25, 2, 5, 2, 2}}}>(
        43, "WIDE_54_60", 24),
    def<shape{60, 6, 10, {}}>(44, "WIDE_60_60", 25),
    {LAYOUT_DEF_END_ID, nullptr, 0, 0, 0, nullptr, 0},
};

namespace {

// Whole-table checks: ids 0..44 each once, windows ascending, the major
// window exists, and names other than the POLY ones end in
// "_<windows>_<rows x cols>".
// The number just before position end of s, preceded by '_'; -1 if there is
// none.  end moves to that '_'.
constexpr int number_before(const char *s, int &end)
{
    int v = 0, mul = 1, i = end;
    while (i > 0 && s[i - 1] >= '0' && s[i - 1] <= '9') {
        v += (s[i - 1] - '0') * mul;
        mul *= 10;
        i--;
    }
    if (i == end || i == 0 || s[i - 1] != '_')
        return -1;
    end = i - 1;
    return v;
}

constexpr bool ends_with_counts(const char *name, int32_t wins, int32_t cells)
{
    int end = 0;
    while (name[end])
        end++;
    const int c = number_before(name, end);
    const int w = c < 0 ? -1 : number_before(name, end);
    return c == cells && w == wins;
}

constexpr bool starts_with(const char *s, const char *prefix)
{
    for (; *prefix; s++, prefix++)
        if (*s != *prefix)
            return false;
    return true;
}

constexpr int first_bad_row()
{
    std::array<bool, LAYOUT_DEFS_COUNT> seen{};
    for (int i = 0; i < LAYOUT_DEFS_COUNT; i++) {
        const layout_def &d = layouts_defs[i];
        if (d.id < 0 || d.id >= LAYOUT_DEFS_COUNT || seen[d.id])
            return i;
        seen[d.id] = true;
        if (d.wins < 1 || d.wins > MAX_WINS || d.major < 1 || d.major > d.wins)
            return i;
        if (i > 0 && d.wins < layouts_defs[i - 1].wins)
            return i;
        if (!starts_with(d.name, "POLY_") &&
            !starts_with(d.name, "ONECAM") &&
            !ends_with_counts(d.name, d.wins, d.rows * d.cols))
            return i;
    }
    return layouts_defs[LAYOUT_DEFS_COUNT].id == LAYOUT_DEF_END_ID ? -1
                                                                   : LAYOUT_DEFS_COUNT;
}

static_assert(first_bad_row() == -1, "layout table row is inconsistent");

} // namespace

constinit const layout_def *onecam_layout_def = &layouts_defs[0];

const layout_def *find_layout_def(const char *name)
{
    if (!name)
        return nullptr;
    for (const layout_def *d = layouts_defs; d->id != LAYOUT_DEF_END_ID; d++)
        if (strcasecmp(d->name, name) == 0)
            return d;
    return nullptr;
}
