// The built-in layout types: every row tiles its grid, lookup by name.
#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "layouts.h"

namespace {

std::vector<const layout_def *> walk_table()
{
    std::vector<const layout_def *> rows;
    for (const layout_def *d = layouts_defs; d->id != LAYOUT_DEF_END_ID && rows.size() <= LAYOUT_DEFS_COUNT; d++)
        rows.push_back(d);
    return rows;
}

} // namespace

// Every row covers its grid exactly, and each window starts at the first base
// cell the row-major walk has not covered yet.
TEST(LayoutDefs, EveryRowTilesItsGridInRowMajorOrder)
{
    const auto rows = walk_table();
    ASSERT_EQ(rows.size(), size_t(LAYOUT_DEFS_COUNT)) << "terminator where expected";
    std::set<int> ids;
    for (const layout_def *d : rows) {
        SCOPED_TRACE(d->name);
        EXPECT_TRUE(ids.insert(d->id).second && d->id < LAYOUT_DEFS_COUNT);
        EXPECT_TRUE(d->major >= 1 && d->major <= d->wins);
        ASSERT_TRUE(d->rows > 0 && d->cols > 0 && d->cells);
        std::vector<int> owner(d->rows * d->cols, 0);
        int next = 0;
        for (int r = 0; r < d->rows; r++)
            for (int c = 0; c < d->cols; c++) {
                if (owner[r * d->cols + c])
                    continue;
                ASSERT_LT(next, d->wins) << "gap at " << r << "," << c;
                const layout_cell &cell = d->cells[next++];
                EXPECT_EQ(std::pair(cell.row, cell.col), std::pair(uint32_t(r), uint32_t(c))) << "window " << next;
                ASSERT_TRUE(cell.height >= 1 && cell.width >= 1 && r + int(cell.height) <= d->rows &&
                            c + int(cell.width) <= d->cols) << "window " << next;
                for (uint32_t y = 0; y < cell.height; y++)
                    for (uint32_t x = 0; x < cell.width; x++) {
                        int &o = owner[(r + y) * d->cols + c + x];
                        ASSERT_EQ(o, 0) << "overlap at " << r + y << "," << c + x;
                        o = next;
                    }
            }
        EXPECT_EQ(next, d->wins);
    }
}

TEST(LayoutDefs, LookupIgnoresCaseAndNeverReturnsTheTerminator)
{
    EXPECT_EQ(find_layout_def("Quad_4_4"), &layouts_defs[3]);
    EXPECT_EQ(find_layout_def("onecam"), onecam_layout_def);
    for (const char *bad : {"", "QUAD_4", "QUAD_4_44", " QUAD_4_4", "999", "WIDE_61_60"})
        EXPECT_EQ(find_layout_def(bad), nullptr) << '"' << bad << '"';
    EXPECT_EQ(find_layout_def(nullptr), nullptr);
    for (const layout_def *d : walk_table())
        EXPECT_EQ(find_layout_def(d->name), d) << d->name;
}
