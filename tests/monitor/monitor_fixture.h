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

namespace monitortest {

// One scripted stream.
struct FakeStream {
    int state = SRC_STATE_STOPPED;
    int plays = 0;
    int stops = 0;
    bool play_ok = true;
    std::deque<int> polls; // results of the next polls; empty = 0
    int last_timeout_ms = -1; // time-out the last poll was given
    uint32_t width = 704, height = 576, format = MEDIA_FMT_I420;
};

extern std::vector<std::string> vout_calls;
// A popup is on the screen (popup_text opens it, popup_close closes it).
extern bool popup_open;
// What the snapshot slots report (1 written, 0 failed).
extern int snapshot_result;
extern const capture_drv fake_drv;
extern video_out fake_vout;

class MonitorTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Camera nr with one device source (and a second URI source if fs).
    camera *add_camera(int nr, bool fs = false);
    // Layout n of type name with the given cameras (window 1 first).
    void add_layout(int n, const char *type, std::vector<camera *> cams);
    FakeStream &stream(camera *cam, int src = 0);
    int count_calls(const std::string &prefix) const;

    FakeStream streams_[40];
    int nstreams_ = 0;
};

} // namespace monitortest
