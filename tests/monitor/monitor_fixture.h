// A catalogue, a recording video output and a scriptable capture driver for
// the monitor and layout tests (fakes.cpp): everything in memory, nothing on
// the screen.
#pragma once

#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <deque>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "conf.h"
#include "globals.h"
#include "layouts.h"
#include "monitor.h"
#include "media.h"
#include "vout.h"
#include "window.h"
#include "harness.h"

namespace monitortest {

using testsupport::LogCapture;
using strings = std::vector<std::string>;

// Every call of fake_vout, one string each: "<slot>[ w<window index>][ <args>]",
// e.g. "border w1 153 102 51 0 0 0", "pause w0 1", "popup 4 text",
// "cursor 0", "win_snapshot w2 /path", "screen_snapshot /path", "alloc".
extern std::vector<std::string> vout_calls;
extern video_out fake_vout;        // 1920x1080; no init, events or flip; snapshots succeed
extern bool popup_open;            // popup_text opens it, popup_close closes it
// Calls whose text matches the regular expression (searched, not anchored).
int count_calls(const std::string &pattern);

// A stream of the scripted driver; the handle of its source.
struct FakeStream {
    int state = SRC_STATE_STOPPED, plays = 0, stops = 0;
    bool play_ok = true;
    std::deque<int> polls;     // results of the next polls; none left = 0
    int last_timeout_ms = -1;  // the time-out the last poll was given
    uint32_t width = 704, height = 576, format = MEDIA_FMT_I420; // what probe answers
};
extern const capture_drv scripted_drv;

// A 1920x1080 screen on the recording output, no camera, no layout.
class MonitorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        nstreams_ = 0;
        std::fill(std::begin(streams_), std::end(streams_), FakeStream{});
        conf = static_cast<CONF *>(calloc(1, sizeof(CONF)));
        conf->display = 'L', conf->no_signal = 4, conf->reconnect_timeout = 1000, conf->framerate = 25;
        conf->db_name = strdup("tirsk6_db");
        memset(windows, 0, sizeof windows);
        g_fsWinIdx = g_selectetWinIdx = cur_layout = -1;
        sel_row = sel_col = quit = 0;
        g_monotime_microsec = 1000000000;
        vout = &fake_vout;
        vout_calls.clear(), popup_open = false;
        set_win_borders(1920, 1080);
    }
    void TearDown() override
    {
        free(conf->db_name);
        free(conf);
        conf = nullptr;
        vout = nullptr;
        quit = 0;
        memset(windows, 0, sizeof windows);
    }

    // Camera nr with one device source (and a second URI source if fs).
    camera *add_camera(int nr, bool fs = false)
    {
        camera *cam = &conf->cams[conf->cams_count++];
        cam->nr = nr;
        snprintf(cam->name, sizeof cam->name, " CAM %d ", nr);
        tirsklog_set_context_r(&cam->log, nullptr, -1, 0, "cam[%2.2d]", nr);
        for (int i = 0; i < (fs ? 2 : 1); i++) {
            media_source *s = &cam->srcs[i];
            s->cam = cam, s->index = i, s->drv = &scripted_drv, s->handle = &streams_[nstreams_++];
            s->width = 704, s->height = 576, s->aspect_w = 11, s->aspect_h = 9;
            snprintf(s->uri, sizeof s->uri, i == 0 ? "/dev/video%d" : "rtsp://127.0.0.1/cam%d", nr);
            tirsklog_set_context_r(&s->log, &cam->log, -1, 0, "src#%d", i);
            cam->nsrcs++;
        }
        return cam;
    }
    // Layout n of type name with the given cameras (window 1 first).
    void add_layout(int n, const char *type, std::vector<camera *> cams)
    {
        local_layout *l = &conf->layouts[n];
        l->def = find_layout_def(type);
        ASSERT_NE(l->def, nullptr) << type;
        snprintf(l->name, sizeof l->name, "layout %d", n);
        tirsklog_set_context_r(&l->log, nullptr, -1, 0, "L[%d]", n);
        for (size_t i = 0; i < cams.size(); i++)
            l->ncams += (l->cams[i] = cams[i]) != nullptr;
        conf->layouts_count = std::max(conf->layouts_count, n + 1);
    }
    // Layout 0 of type with the cameras, applied.
    void show_layout(const char *type, std::vector<camera *> cams)
    {
        ASSERT_NO_FATAL_FAILURE(add_layout(0, type, cams));
        cur_layout = 0;
        ASSERT_EQ(apply_layout(&conf->layouts[0]), 1);
    }
    FakeStream &stream(camera *cam, int src = 0) { return *static_cast<FakeStream *>(cam->srcs[src].handle); }

    FakeStream streams_[40];
    int nstreams_ = 0;
};

} // namespace monitortest
