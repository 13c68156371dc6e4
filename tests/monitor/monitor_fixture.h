// A catalogue, a recording video output and a scriptable capture driver for
// the monitor tests: everything in memory, nothing on the screen.
#pragma once

#include <stdlib.h>
#include <string.h>

#include <deque>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "conf.h"
#include "globals.h"
#include "monitor.h"
#include "vout.h"
#include "harness.h"

namespace monitortest {

using testsupport::count_calls;
using testsupport::FakeStream;
using testsupport::vout_calls;
using testsupport::fake_vout;
inline bool &popup_open = testsupport::fake_popup_open;

class MonitorTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Camera nr with one device source (and a second URI source if fs).
    camera *add_camera(int nr, bool fs = false);
    // Layout n of type name with the given cameras (window 1 first).
    void add_layout(int n, const char *type, std::vector<camera *> cams);
    FakeStream &stream(camera *cam, int src = 0);

    FakeStream streams_[40];
    int nstreams_ = 0;
};

} // namespace monitortest
