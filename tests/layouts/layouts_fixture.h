// Shared set-up of the layout, geometry and window-state tests: a zeroed
// CONF record, reset globals and a capture of log output.
#pragma once

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <gtest/gtest.h>

#include <string>

#include "conf.h"
#include "globals.h"
#include "monitor.h"
#include "tirskconf.h"
#include "vout.h"
#include "window.h"
#include "harness.h"

namespace layouts_test {

using testsupport::LogCapture;

// A zero-filled CONF record and the globals of layouts and windows back at
// their start values.
class LayoutsTest : public testing::Test {
protected:
    void SetUp() override
    {
        conf = static_cast<CONF *>(calloc(1, sizeof(CONF)));
        ASSERT_NE(conf, nullptr);
        conf->quiet = 0;
        conf->verbose = 0;
        memset(windows, 0, sizeof windows);
        g_fsWinIdx = -1;
        g_selectetWinIdx = -1;
        sel_row = sel_col = 0;
        borderTB = borderLR = 0;
        cur_layout = 0;
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

} // namespace layouts_test
