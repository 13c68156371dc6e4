// The built-in layout types: shape of every row, the cell rule, lookup.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "layouts.h"

namespace {

std::vector<const layout_def *> walk_table()
{
    std::vector<const layout_def *> rows;
    for (const layout_def *d = layouts_defs; d->id != LAYOUT_DEF_END_ID; d++) {
        rows.push_back(d);
        if (rows.size() > LAYOUT_DEFS_COUNT)
            break; // missing terminator
    }
    return rows;
}

struct cell_t {
    uint32_t row, col, height, width;
    bool operator==(const cell_t &) const = default;
};

std::vector<cell_t> cells_of(const layout_def *d)
{
    std::vector<cell_t> v;
    for (int i = 0; i < d->wins; i++)
        v.push_back({d->cells[i].row, d->cells[i].col, d->cells[i].height,
                     d->cells[i].width});
    return v;
}

} // namespace

TEST(LayoutDefs, TableHas45RowsThenTheTerminator)
{
    const auto rows = walk_table();
    ASSERT_EQ(rows.size(), size_t(LAYOUT_DEFS_COUNT));
    const layout_def &end = layouts_defs[LAYOUT_DEFS_COUNT];
    EXPECT_EQ(end.id, LAYOUT_DEF_END_ID);
    EXPECT_EQ(end.name, nullptr);
    EXPECT_EQ(end.cells, nullptr);
    EXPECT_EQ(end.wins, 0);

    std::set<int> ids;
    int prev_wins = 0;
    for (const layout_def *d : rows) {
        SCOPED_TRACE(d->name);
        EXPECT_TRUE(ids.insert(d->id).second) << "duplicate id " << d->id;
        EXPECT_GE(d->id, 0);
        EXPECT_LT(d->id, LAYOUT_DEFS_COUNT);
        EXPECT_GE(d->wins, prev_wins) << "rows are ordered by window count";
        prev_wins = d->wins;
        EXPECT_GE(d->major, 1);
        EXPECT_LE(d->major, d->wins);
        EXPECT_LE(d->wins, MAX_WINS);
    }
}

// Every row covers its grid exactly, and each window starts at the first base
// cell the row-major walk has not covered yet.
TEST(LayoutDefs, EveryRowTilesItsGridInRowMajorOrder)
{
    for (const layout_def *d : walk_table()) {
        SCOPED_TRACE(d->name);
        ASSERT_GT(d->rows, 0);
        ASSERT_GT(d->cols, 0);
        ASSERT_NE(d->cells, nullptr);
        const int rows = d->rows, cols = d->cols;
        std::vector<int> owner(rows * cols, 0);
        int next = 0;
        for (int r = 0; r < rows; r++) {
            for (int c = 0; c < cols; c++) {
                if (owner[r * cols + c])
                    continue;
                ASSERT_LT(next, d->wins) << "gap at " << r << "," << c;
                const layout_cell &cell = d->cells[next];
                EXPECT_EQ(cell.row, uint32_t(r)) << "window " << next + 1;
                EXPECT_EQ(cell.col, uint32_t(c)) << "window " << next + 1;
                ASSERT_GE(cell.height, 1u);
                ASSERT_GE(cell.width, 1u);
                ASSERT_LE(r + int(cell.height), rows);
                ASSERT_LE(c + int(cell.width), cols);
                for (uint32_t y = 0; y < cell.height; y++)
                    for (uint32_t x = 0; x < cell.width; x++) {
                        int &o = owner[(r + y) * cols + c + x];
                        ASSERT_EQ(o, 0) << "overlap at " << r + y << ","
                                        << c + x;
                        o = next + 1;
                    }
                next++;
            }
        }
        EXPECT_EQ(next, d->wins);
    }
}

TEST(LayoutDefs, NamesEndWithWindowsAndBaseCells)
{
    for (const layout_def *d : walk_table()) {
        const std::string name = d->name;
        if (name == "ONECAM" || name.rfind("POLY_", 0) == 0)
            continue;
        const std::string suffix = "_" + std::to_string(d->wins) + "_" +
                                   std::to_string(d->rows * d->cols);
        EXPECT_TRUE(name.size() > suffix.size() &&
                    name.compare(name.size() - suffix.size(), suffix.size(),
                                 suffix) == 0)
            << name << " vs " << suffix;
    }
}

TEST(LayoutDefs, WorkedExamplesOfTheCellRule)
{
    const layout_def *wide = find_layout_def("WIDE_3_6");
    ASSERT_NE(wide, nullptr);
    EXPECT_EQ(wide->id, 2);
    EXPECT_EQ(cells_of(wide),
              (std::vector<cell_t>{{0, 0, 2, 2}, {0, 2, 1, 1}, {1, 2, 1, 1}}));

    const layout_def *multi = find_layout_def("MULTI_13_16");
    ASSERT_NE(multi, nullptr);
    EXPECT_EQ(multi->id, 16);
    EXPECT_EQ(multi->major, 6);
    EXPECT_EQ(cells_of(multi), (std::vector<cell_t>{{0, 0, 1, 1},
                                                    {0, 1, 1, 1},
                                                    {0, 2, 1, 1},
                                                    {0, 3, 1, 1},
                                                    {1, 0, 1, 1},
                                                    {1, 1, 2, 2},
                                                    {1, 3, 1, 1},
                                                    {2, 0, 1, 1},
                                                    {2, 3, 1, 1},
                                                    {3, 0, 1, 1},
                                                    {3, 1, 1, 1},
                                                    {3, 2, 1, 1},
                                                    {3, 3, 1, 1}}));

    // A row whose big windows are not the first ones.
    const layout_def *w12 = find_layout_def("WIDE_12_24");
    ASSERT_NE(w12, nullptr);
    EXPECT_EQ(cells_of(w12)[1], (cell_t{0, 1, 2, 2}));
    EXPECT_EQ(cells_of(w12)[3], (cell_t{0, 5, 1, 1}));
    EXPECT_EQ(cells_of(w12)[7], (cell_t{2, 1, 2, 2}));
    EXPECT_EQ(cells_of(w12)[11], (cell_t{3, 5, 1, 1}));
}

TEST(LayoutDefs, OnecamAndTheLargestTypes)
{
    ASSERT_EQ(onecam_layout_def, &layouts_defs[0]);
    EXPECT_STREQ(onecam_layout_def->name, "ONECAM");
    EXPECT_EQ(onecam_layout_def->id, 0);
    EXPECT_EQ(onecam_layout_def->wins, 1);
    EXPECT_EQ(onecam_layout_def->major, 1);
    EXPECT_EQ(cells_of(onecam_layout_def), (std::vector<cell_t>{{0, 0, 1, 1}}));

    for (const char *name : {"WIDE_30_60", "WIDE_42_60", "WIDE_48_60",
                             "WIDE_54_60", "WIDE_60_60"}) {
        const layout_def *d = find_layout_def(name);
        ASSERT_NE(d, nullptr) << name;
        EXPECT_EQ(d->rows, 6) << name;
        EXPECT_EQ(d->cols, 10) << name;
    }
    const layout_def *last = &layouts_defs[LAYOUT_DEFS_COUNT - 1];
    EXPECT_STREQ(last->name, "WIDE_60_60");
    EXPECT_EQ(last->wins, MAX_WINS);
    EXPECT_EQ(last->major, 25);
}

TEST(LayoutDefs, OnlyTwoTypesHaveA3x3Window)
{
    std::set<std::string> with_3x3;
    for (const layout_def *d : walk_table())
        for (int i = 0; i < d->wins; i++)
            if (d->cells[i].height == 3 && d->cells[i].width == 3)
                with_3x3.insert(d->name);
    EXPECT_EQ(with_3x3, (std::set<std::string>{"MULTI_8_16", "MULTI_17_25"}));
}

TEST(LayoutDefs, LookupIgnoresCaseAndNeverReturnsTheTerminator)
{
    EXPECT_EQ(find_layout_def("quad_4_4"), &layouts_defs[3]);
    EXPECT_EQ(find_layout_def("Quad_4_4"), &layouts_defs[3]);
    EXPECT_EQ(find_layout_def("onecam"), onecam_layout_def);
    EXPECT_EQ(find_layout_def("wide_60_60"), &layouts_defs[LAYOUT_DEFS_COUNT - 1]);

    for (const char *bad : {"", "QUAD_4", "QUAD_4_44", " QUAD_4_4", "QUAD",
                            "999", "WIDE_61_60"})
        EXPECT_EQ(find_layout_def(bad), nullptr) << '"' << bad << '"';
    EXPECT_EQ(find_layout_def(nullptr), nullptr);

    // Every type is found by its own name, and never the terminator.
    for (const layout_def *d : walk_table()) {
        const layout_def *found = find_layout_def(d->name);
        EXPECT_EQ(found, d) << d->name;
    }
}
