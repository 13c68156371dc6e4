// Executing remote-control requests on the main thread, between frames,
// like a key press.  The HTTP reply went out when the request was queued;
// a refusal shows only in the debug log.
#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <sys/time.h>
#include <syslog.h>

#include "camera.h"
#include "conf.h"
#include "monitor.h"
#include "rctrl.h"
#include "rctrl/rctrl_private.h"
#include "vout.h"
#include "window.h"

namespace {

constexpr int DONE = 200, REFUSED = 400;
constexpr uint32_t POPUP_MESSAGE = 0x300;

struct decoded {
    uint32_t object, nr, param, action;
};

decoded decode(rctrl_msg m)
{
    return {m & 0xFF, (m >> 8) & 0xFF, (m >> 16) & 0xFF, m >> 24};
}

rctrl_msg encode(const decoded &d)
{
    return d.action << 24 | d.param << 16 | d.nr << 8 | d.object;
}

camera *find_camera(uint32_t nr)
{
    for (int i = 0; i < conf->cams_count && i < MAX_CAMS; i++) {
        camera &cam = conf->cams[i];
        if (cam.nr == 0)
            break;
        if (uint32_t(cam.nr) == nr)
            return &cam;
    }
    return nullptr;
}

void close_popup()
{
    if (vout && vout->popup_close)
        vout->popup_close();
}

// An alarm code is a decimal number naming one of the configured texts.  A
// value without digits names none (rather than text 0), and a negative one
// would index before the table.
int alarm_code(const char *value)
{
    if (!value)
        return -1;
    char *end = nullptr;
    errno = 0;
    const long code = strtol(value, &end, 10);
    if (end == value || errno || code < 0 || code >= ALARM_MSGS_MAX || !conf->alarm_msgs[code][0])
        return -1;
    return int(code);
}

int camera_alarm_set(camera *cam, const char *value)
{
    const int code = alarm_code(value);
    if (!cam || code < 0)
        return REFUSED;
    if (cam->alarm == 0) {
        struct timeval tv;
        gettimeofday(&tv, nullptr);
        cam->alarm_tv = {tv.tv_sec, tv.tv_usec};
    }
    cam->alarm_code = uint32_t(code);
    cam->alarm = 2;
    if (window *w = cam->win) {
        if (w->state & WS_AL) {
            if (vout && vout->win_alarm)
                vout->win_alarm(w, 1); // the new text
        } else {
            winStateSet(w, WS_AL);
        }
    }
    tirsklog_r(&cam->log, LOG_WARNING, "alarm #%d(\"%s\")", code, conf->alarm_msgs[code]);
    return DONE;
}

int camera_request(const decoded &d, const char *value)
{
    camera *cam = find_camera(d.nr);
    if (d.param == RCTRL_PARAM_ALARM && d.action == RCTRL_ACT_SET)
        return camera_alarm_set(cam, value);
    if (d.param == RCTRL_PARAM_ALARM && d.action == RCTRL_ACT_RESET) {
        if (d.nr == 0) {
            reset_all_alarms();
            return DONE;
        }
        if (!cam)
            return REFUSED;
        if (cam->alarm)
            reset_cam_alarm(cam);
        return DONE;
    }
    if (d.param == RCTRL_PARAM_FULLSCREEN) {
        if (!cam || !cam->win)
            return REFUSED;
        const long index = cam->win - windows;
        if (index < 0 || index >= WINDOWS_COUNT)
            return REFUSED;
        return rctrl_window(encode({RCTRL_WINDOW, uint32_t(index + 1), d.param, d.action}),
                            value);
    }
    return REFUSED;
}

int layout_request(const decoded &d)
{
    if (d.action != RCTRL_ACT_SET || int64_t(d.nr) >= conf->layouts_count)
        return REFUSED;
    return switch_layout(int(d.nr), 0) == 1 ? DONE : REFUSED;
}

int message_request(const decoded &d, const char *value)
{
    if (d.action == RCTRL_ACT_SET) {
        close_popup();
        // Without a text there is nothing to show: the request only takes
        // the popup away.
        if (!value)
            return REFUSED;
        popup_printf(POPUP_MESSAGE + d.nr, "%s", value);
        return DONE;
    }
    if (d.action == RCTRL_ACT_RESET) {
        close_popup();
        return DONE;
    }
    return REFUSED;
}

int execute(const decoded &d, const char *value)
{
    switch (d.object) {
    case RCTRL_CAMERA:
        return camera_request(d, value);
    case RCTRL_WINDOW:
        return rctrl_window(encode(d), value);
    case RCTRL_LAYOUT:
        return layout_request(d);
    case RCTRL_MESSAGE:
        return message_request(d, value);
    default:
        return REFUSED;
    }
}

} // namespace

extern "C" int rctrl_window(rctrl_msg msg, const char *value)
{
    const decoded d = decode(msg);
    const uint32_t index = d.nr - 1;
    if (!conf || index >= WINDOWS_COUNT || cur_layout < 0 || cur_layout >= MAX_LAYOUTS)
        return REFUSED;
    const local_layout &layout = conf->layouts[cur_layout];
    window &w = windows[index];
    camera *cam = layout.cams[index];
    if (!layout.def || !cam || w.cam != cam || cam->win != &w ||
        d.param != RCTRL_PARAM_FULLSCREEN)
        return REFUSED;
    if (d.action != RCTRL_ACT_SET || !value)
        return REFUSED;
    close_popup();
    const long v = strtol(value, nullptr, 10);
    // One window showing a one-stream camera: fullscreen is the same view.
    if (layout.def->id == 0 && cam->nsrcs == 1)
        return DONE;
    if (v == 0) {
        if (w.state & WS_FS)
            fullscreen_to_layout();
    } else if (!(w.state & WS_FS)) {
        fullscreen_to_layout();
        layout_to_fullscreen(int(index));
    }
    return DONE;
}

extern "C" int get_rctrl_evt_sync(uint32_t code, void *data1, void *)
{
    const decoded d = decode(code);
    if (verbose_at(2))
        tirsklog_r(nullptr, LOG_DEBUG, "(D) got rctrl msg 0x%0X (%u, %u, %u, %u)\n", code,
                   d.object, d.nr, d.param, d.action);
    char *value = static_cast<char *>(data1);
    const int status = conf ? execute(d, value) : REFUSED;
    if (verbose_at(2))
        tirsklog_r(nullptr, LOG_DEBUG, "(D) rctrl done, status %d)\n", status);
    free(value);
    rctrl_handover::done(status != DONE);
    return 1;
}
