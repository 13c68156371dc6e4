#include "fakes.h"

#include <regex>
#include <utility>

#include "window.h"

namespace testsupport {

std::vector<std::string> vout_calls;
bool fake_popup_open;
int fake_snapshot_result = 1;

namespace {

template <typename... A> void rec(const char *slot, const window *w, A... args)
{
    std::string s = slot;
    if (w)
        s += " w" + std::to_string(getWinIdx(w));
    ((s += " " + std::to_string(args)), ...);
    vout_calls.push_back(s);
}

int v_show_cursor(int on) { return rec("cursor", nullptr, on), on; }
void v_popup(uint32_t flags, const char *text)
{
    fake_popup_open = true;
    vout_calls.push_back("popup " + std::to_string(flags) + " " + text);
}
int v_popup_close()
{
    vout_calls.push_back("popup_close");
    return std::exchange(fake_popup_open, false);
}
int v_alloc(media_source *s) { return vout_calls.push_back("alloc"), s->overlay = s, 1; }
void v_free(media_source *s) { vout_calls.push_back("free"), s->overlay = nullptr; }
int v_show(window *w, media_source *, media_frame *) { return rec("show_frame", w), 1; }
int v_check(media_source *, const uint32_t *) { return 0; }
void v_redisplay(window *w) { rec("redisplay", w); }
void v_draw_win(window *w) { rec("draw_win", w); }
void v_fill(window *w, uint8_t r, uint8_t g, uint8_t b) { rec("fill", w, r, g, b); }
void v_border(window *w, uint8_t r, uint8_t g, uint8_t b, const border_desc *d)
{
    rec("border", w, r, g, b, d->corners, d->corner_w, d->corner_h);
}
void v_pause(window *w, int on) { rec("pause", w, on); }
int v_alarm(window *w, int on) { return rec("alarm", w, on), 1; }
void v_caption(window *w, int on) { rec("caption", w, on); }
void v_status(window *w) { rec("status", w); }
void v_free_surf(window *w)
{
    rec("free_surfaces", w);
    w->surfaces = nullptr;
}
int v_win_snapshot(window *w, const char *path)
{
    vout_calls.push_back("win_snapshot w" + std::to_string(getWinIdx(w)) + " " + path);
    return fake_snapshot_result;
}
int v_screen_snapshot(const char *path)
{
    vout_calls.push_back(std::string("screen_snapshot ") + path);
    return fake_snapshot_result;
}

FakeStream *fs(void *h) { return static_cast<FakeStream *>(h); }
int d_state(void *h) { return fs(h)->state; }
int d_probe(void *h, int, uint32_t *out)
{
    out[0] = fs(h)->format, out[1] = fs(h)->width, out[2] = fs(h)->height;
    return fs(h)->probe_result;
}
int d_play(void *h)
{
    fs(h)->plays++;
    if (fs(h)->play_ok)
        fs(h)->state = SRC_STATE_PLAYING;
    return fs(h)->play_ok;
}
int d_pause(void *) { return 1; }
void d_stop(void *h)
{
    fs(h)->stops++;
    fs(h)->state = SRC_STATE_STOPPED;
}
int d_stop_wait(void *) { return 7; }
int d_poll(void *h, int, media_frame *f, int64_t, int timeout_ms)
{
    FakeStream *s = fs(h);
    s->last_timeout_ms = timeout_ms;
    if (s->polls.empty())
        return 0;
    const int r = s->polls.front();
    s->polls.pop_front();
    if (r == 1) {
        f->format = s->format;
        f->width = s->width;
        f->height = s->height;
        f->size = s->width * s->height * 3 / 2;
        f->fd = -1;
    }
    return r;
}
void d_release(void *, media_frame *) {}
void *d_create(const log_ctx *, const char *) { return nullptr; }
int d_destroy(void **h)
{
    *h = nullptr;
    return 1;
}

} // namespace

video_out fake_vout = {
    .name = "fake", .width = 1920, .height = 1080, .init = nullptr, .fini = nullptr,
    .test = nullptr, .poll_events = nullptr, .push_event = nullptr,
    .show_cursor = v_show_cursor, .popup_text = v_popup, .popup_close = v_popup_close,
    .alloc_playback_resources = v_alloc, .free_playback_resources = v_free,
    .show_frame = v_show, .check_playback_resources = v_check,
    .redisplay_win = v_redisplay, .draw_win = v_draw_win, .fill_win = v_fill,
    .draw_border = v_border, .win_pause = v_pause, .win_alarm = v_alarm,
    .win_caption = v_caption, .win_status = v_status, .free_win_surfaces = v_free_surf,
    .flip = nullptr, .win_snapshot = v_win_snapshot, .screen_snapshot = v_screen_snapshot,
    .push_rctrl_event = nullptr,
};

const capture_drv scripted_drv = {
    .name = "scripted", .get_state = d_state, .probe = d_probe, .play = d_play,
    .pause = d_pause, .stop = d_stop, .stop_wait = d_stop_wait, .poll = d_poll,
    .frame_release = d_release, .create = d_create, .destroy = d_destroy,
};

int count_calls(const std::string &pattern)
{
    const std::regex re(pattern);
    int n = 0;
    for (const std::string &c : vout_calls)
        n += std::regex_search(c, re);
    return n;
}

void reset_fake_vout()
{
    vout_calls.clear();
    fake_popup_open = false;
    fake_snapshot_result = 1;
}

} // namespace testsupport
