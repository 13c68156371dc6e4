// Layout, geometry and window-state tests: a zeroed CONF record and the
// globals of layouts and windows at their start values, restored after.
#pragma once

#include <stdlib.h>
#include <string.h>

#include <gtest/gtest.h>

#include "conf.h"
#include "globals.h"
#include "harness.h"
#include "layouts.h"
#include "monitor.h"
#include "vout.h"
#include "window.h"

class LayoutsTest : public testing::Test {
protected:
    void SetUp() override
    {
        conf = static_cast<CONF *>(calloc(1, sizeof(CONF)));
        memset(windows, 0, sizeof windows);
        g_fsWinIdx = g_selectetWinIdx = -1;
        sel_row = sel_col = borderTB = borderLR = cur_layout = 0;
        g_monotime_microsec = 0;
        vout = nullptr;
    }
    void TearDown() override
    {
        vout = nullptr;
        free(conf);
        conf = nullptr;
    }
};
