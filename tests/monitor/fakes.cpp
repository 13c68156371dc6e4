#include "monitor_fixture.h"

#include <regex>
#include <utility>

#include "window.h"

namespace monitortest {

std::vector<std::string> vout_calls;
bool popup_open;

namespace {

template <typename... A> void rec(const char *slot, const window *w, A... args)
{
    std::string s = slot;
    if (w)
        s += " w" + std::to_string(getWinIdx(w));
    ((s += " " + std::to_string(args)), ...);
    vout_calls.push_back(s);
}
void rec_text(const std::string &s) { vout_calls.push_back(s); }
FakeStream *fs(void *h) { return static_cast<FakeStream *>(h); }

} // namespace

video_out fake_vout = {
    .name = "fake", .width = 1920, .height = 1080, .init = nullptr, .fini = nullptr,
    .test = nullptr, .poll_events = nullptr, .push_event = nullptr,
    .show_cursor = [](int on) { return rec("cursor", nullptr, on), on; },
    .popup_text = [](uint32_t flags, const char *text) {
        popup_open = true;
        rec_text("popup " + std::to_string(flags) + " " + text);
    },
    .popup_close = [] { return rec_text("popup_close"), int(std::exchange(popup_open, false)); },
    .alloc_playback_resources = [](media_source *s) { return rec_text("alloc"), s->overlay = s, 1; },
    .free_playback_resources = [](media_source *s) { rec_text("free"), s->overlay = nullptr; },
    .show_frame = [](window *w, media_source *, media_frame *) { return rec("show_frame", w), 1; },
    .check_playback_resources = [](media_source *, const uint32_t *) { return 0; },
    .redisplay_win = [](window *w) { rec("redisplay", w); },
    .draw_win = [](window *w) { rec("draw_win", w); },
    .fill_win = [](window *w, uint8_t r, uint8_t g, uint8_t b) { rec("fill", w, r, g, b); },
    .draw_border = [](window *w, uint8_t r, uint8_t g, uint8_t b, const border_desc *d) {
        rec("border", w, r, g, b, d->corners, d->corner_w, d->corner_h);
    },
    .win_pause = [](window *w, int on) { rec("pause", w, on); },
    .win_alarm = [](window *w, int on) { return rec("alarm", w, on), 1; },
    .win_caption = [](window *w, int on) { rec("caption", w, on); },
    .win_status = [](window *w) { rec("status", w); },
    .free_win_surfaces = [](window *w) { rec("free_surfaces", w), w->surfaces = nullptr; },
    .flip = nullptr,
    .win_snapshot = [](window *w, const char *path) {
        return rec_text("win_snapshot w" + std::to_string(getWinIdx(w)) + " " + path), 1;
    },
    .screen_snapshot = [](const char *path) { return rec_text(std::string("screen_snapshot ") + path), 1; },
    .push_rctrl_event = nullptr,
};

const capture_drv scripted_drv = {
    .name = "scripted",
    .get_state = [](void *h) { return fs(h)->state; },
    .probe = [](void *h, int, uint32_t *out) {
        out[0] = fs(h)->format, out[1] = fs(h)->width, out[2] = fs(h)->height;
        return 1;
    },
    .play = [](void *h) {
        fs(h)->plays++;
        if (fs(h)->play_ok)
            fs(h)->state = SRC_STATE_PLAYING;
        return int(fs(h)->play_ok);
    },
    .pause = [](void *) { return 1; },
    .stop = [](void *h) { fs(h)->stops++, fs(h)->state = SRC_STATE_STOPPED; },
    .stop_wait = [](void *) { return 7; },
    .poll = [](void *h, int, media_frame *f, int64_t, int timeout_ms) {
        FakeStream *s = fs(h);
        s->last_timeout_ms = timeout_ms;
        if (s->polls.empty())
            return 0;
        const int r = s->polls.front();
        s->polls.pop_front();
        if (r == 1)
            f->format = s->format, f->width = s->width, f->height = s->height,
            f->size = s->width * s->height * 3 / 2, f->fd = -1;
        return r;
    },
    .frame_release = [](void *, media_frame *) {},
    .create = [](const log_ctx *, const char *) -> void * { return nullptr; },
    .destroy = [](void **h) { return *h = nullptr, 1; },
};

int count_calls(const std::string &pattern)
{
    const std::regex re(pattern);
    int n = 0;
    for (const std::string &c : vout_calls)
        n += std::regex_search(c, re);
    return n;
}

} // namespace monitortest
