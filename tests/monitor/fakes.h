// In-memory stand-ins: a video output that records its calls and a capture
// driver whose streams follow a script.
#pragma once

#include <stdint.h>

#include <deque>
#include <string>
#include <vector>

#include "media.h"
#include "vout.h"

namespace monitortest {

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
    int id = 0;
    int state = SRC_STATE_STOPPED;
    int plays = 0, stops = 0;
    bool play_ok = true;
    std::deque<int> polls;     // results of the next polls; none left = 0
    int last_timeout_ms = -1;  // the time-out the last poll was given
    uint32_t width = 704, height = 576, format = MEDIA_FMT_I420; // what probe answers
};
// stop_wait answers 7.
extern const capture_drv scripted_drv;

} // namespace monitortest
