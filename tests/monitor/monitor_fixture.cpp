#include "monitor_fixture.h"

#include <algorithm>

namespace monitortest {

void MonitorTest::SetUp()
{
    nstreams_ = 0;
    for (FakeStream &s : streams_)
        s = FakeStream{};
    conf = static_cast<CONF *>(calloc(1, sizeof(CONF)));
    conf->display = 'L', conf->no_signal = 4, conf->reconnect_timeout = 1000, conf->framerate = 25;
    conf->db_name = strdup("tirsk6_db");
    memset(windows, 0, sizeof windows);
    g_fsWinIdx = g_selectetWinIdx = cur_layout = -1;
    g_monotime_microsec = 1000000000;
    vout = &fake_vout;
    testsupport::reset_fake_vout();
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
        s->cam = cam, s->index = i, s->drv = &testsupport::scripted_drv, s->handle = &streams_[nstreams_++];
        s->width = 704, s->height = 576, s->aspect_w = 11, s->aspect_h = 9;
        snprintf(s->uri, sizeof s->uri, i == 0 ? "/dev/video%d" : "rtsp://127.0.0.1/cam%d", nr);
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
    for (size_t i = 0; i < cams.size(); i++)
        l->ncams += (l->cams[i] = cams[i]) != nullptr;
    conf->layouts_count = std::max(conf->layouts_count, n + 1);
}

FakeStream &MonitorTest::stream(camera *cam, int src)
{
    return *static_cast<FakeStream *>(cam->srcs[src].handle);
}

} // namespace monitortest
