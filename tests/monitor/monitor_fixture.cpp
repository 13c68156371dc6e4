#include "monitor_fixture.h"

namespace monitortest {

std::vector<std::string> vout_calls;
bool popup_open;
int snapshot_result = 1;

namespace {

FakeStream *fs(void *h) { return static_cast<FakeStream *>(h); }

int f_get_state(void *h) { return fs(h)->state; }
int f_play(void *h)
{
    fs(h)->plays++;
    if (!fs(h)->play_ok)
        return 0;
    fs(h)->state = SRC_STATE_PLAYING;
    return 1;
}
int f_pause(void *) { return 1; }
void f_stop(void *h)
{
    fs(h)->stops++;
    fs(h)->state = SRC_STATE_STOPPED;
}
int f_poll(void *h, int, media_frame *f, int64_t, int timeout_ms)
{
    FakeStream *s = fs(h);
    s->last_timeout_ms = timeout_ms;
    if (s->polls.empty())
        return 0;
    int r = s->polls.front();
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
void *f_create(const log_ctx *, const char *) { return nullptr; }
int f_destroy(void **h)
{
    *h = nullptr;
    return 1;
}

void rec(const char *what) { vout_calls.push_back(what); }
int v_alloc(media_source *s)
{
    rec("alloc");
    s->overlay = s;
    return 1;
}
void v_free(media_source *s)
{
    rec("free");
    s->overlay = nullptr;
}
int v_show(window *, media_source *, media_frame *)
{
    rec("show_frame");
    return 1;
}
int v_check(media_source *, const uint32_t *) { return 0; }
void v_draw_win(window *) { rec("draw_win"); }
void v_fill(window *, uint8_t, uint8_t, uint8_t) { rec("fill"); }
void v_redisplay(window *) { rec("redisplay"); }
void v_popup(uint32_t flags, const char *text)
{
    popup_open = true;
    vout_calls.push_back("popup:" + std::to_string(flags) + ":" + text);
}
int v_popup_close()
{
    rec("popup_close");
    const bool was = popup_open;
    popup_open = false;
    return was;
}
int v_show_cursor(int on)
{
    vout_calls.push_back(on ? "cursor:1" : "cursor:0");
    return on;
}
int v_win_snapshot(window *, const char *path)
{
    vout_calls.push_back(std::string("win_snapshot:") + path);
    return snapshot_result;
}
int v_screen_snapshot(const char *path)
{
    vout_calls.push_back(std::string("screen_snapshot:") + path);
    return snapshot_result;
}
void v_border(window *, uint8_t, uint8_t, uint8_t, const border_desc *) {}
void v_pause(window *, int on) { rec(on ? "pause:1" : "pause:0"); }
int v_alarm(window *, int) { return 1; }
void v_caption(window *, int) {}
void v_status(window *) {}
void v_free_surf(window *) {}

} // namespace

const capture_drv fake_drv = {
    .name = "fake",
    .get_state = f_get_state,
    .probe = nullptr,
    .play = f_play,
    .pause = f_pause,
    .stop = f_stop,
    .stop_wait = nullptr,
    .poll = f_poll,
    .frame_release = nullptr,
    .create = f_create,
    .destroy = f_destroy,
};

video_out fake_vout = {
    .name = "fake",
    .width = 1920,
    .height = 1080,
    .init = nullptr,
    .fini = nullptr,
    .test = nullptr,
    .poll_events = nullptr,
    .push_event = nullptr,
    .show_cursor = v_show_cursor,
    .popup_text = v_popup,
    .popup_close = v_popup_close,
    .alloc_playback_resources = v_alloc,
    .free_playback_resources = v_free,
    .show_frame = v_show,
    .check_playback_resources = v_check,
    .redisplay_win = v_redisplay,
    .draw_win = v_draw_win,
    .fill_win = v_fill,
    .draw_border = v_border,
    .win_pause = v_pause,
    .win_alarm = v_alarm,
    .win_caption = v_caption,
    .win_status = v_status,
    .free_win_surfaces = v_free_surf,
    .flip = nullptr,
    .win_snapshot = v_win_snapshot,
    .screen_snapshot = v_screen_snapshot,
    .push_rctrl_event = nullptr,
};

void MonitorTest::SetUp()
{
    conf = static_cast<CONF *>(calloc(1, sizeof(CONF)));
    conf->display = 'L';
    conf->no_signal = 4;
    conf->reconnect_timeout = 1000;
    conf->framerate = 25;
    conf->db_name = strdup("tirsk6_db");
    conf->start_layout = 0;
    memset(windows, 0, sizeof windows);
    g_fsWinIdx = -1;
    g_selectetWinIdx = -1;
    cur_layout = -1;
    g_monotime_microsec = 1000000000;
    vout = &fake_vout;
    vout_calls.clear();
    popup_open = false;
    snapshot_result = 1;
    set_win_borders(1920, 1080);
}

void MonitorTest::TearDown()
{
    free(conf->db_name);
    free(conf);
    conf = nullptr;
    vout = nullptr;
    memset(windows, 0, sizeof windows);
}

camera *MonitorTest::add_camera(int nr, bool fs_src)
{
    camera *cam = &conf->cams[conf->cams_count++];
    cam->nr = nr;
    snprintf(cam->name, sizeof cam->name, " CAM %d ", nr);
    tirsklog_set_context_r(&cam->log, nullptr, -1, 0, "cam[%2.2d]", nr);
    for (int i = 0; i < (fs_src ? 2 : 1); i++) {
        media_source *s = &cam->srcs[i];
        s->cam = cam;
        s->index = i;
        s->drv = &fake_drv;
        s->handle = &streams_[nstreams_++];
        s->width = 704;
        s->height = 576;
        s->aspect_w = 11;
        s->aspect_h = 9;
        snprintf(s->uri, sizeof s->uri,
                 i == 0 ? "/dev/video%d" : "rtsp://127.0.0.1/cam%d", nr);
        tirsklog_set_context_r(&s->log, &cam->log, -1, 0, "src#%d", i);
        cam->nsrcs++;
    }
    return cam;
}

void MonitorTest::add_layout(int n, const char *type, std::vector<camera *> cams)
{
    local_layout *l = &conf->layouts[n];
    l->def = find_layout_def(type);
    ASSERT_NE(l->def, nullptr) << type;
    snprintf(l->name, sizeof l->name, "layout %d", n);
    tirsklog_set_context_r(&l->log, nullptr, -1, 0, "L[%d]", n);
    for (size_t i = 0; i < cams.size(); i++) {
        l->cams[i] = cams[i];
        if (cams[i])
            l->ncams++;
    }
    if (n + 1 > conf->layouts_count)
        conf->layouts_count = n + 1;
}

FakeStream &MonitorTest::stream(camera *cam, int src)
{
    return *static_cast<FakeStream *>(cam->srcs[src].handle);
}

int MonitorTest::count_calls(const std::string &prefix) const
{
    int n = 0;
    for (const auto &c : vout_calls)
        n += c.rfind(prefix, 0) == 0;
    return n;
}

} // namespace monitortest
