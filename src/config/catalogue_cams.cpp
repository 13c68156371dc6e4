// Cameras of the catalogue: the defaults of CAM_NR 0, one camera record per
// usable CAMERAS row with its main and optional fullscreen source.
#include <limits.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "catalogue.h"
#include "catalogue_db.h"
#include "catalogue_text.h"
#include "conf.h"
#include "layouts.h"
#include "media.h"

namespace {

constexpr size_t URI_SIZE = sizeof(media_source{}.uri);
static_assert(URI_SIZE == 512);
static_assert(sizeof(camera{}.name) == 61);

constexpr const char *DEFAULTS_SQL =
    "select PARNAME, PARVAL from CAMERAS where CAM_NR=0 and "
    "(PARNAME='video_src' or PARNAME='v4l_pipe' or PARNAME='allow_local' or "
    "PARNAME='Hx2' or PARNAME='geometry') and not PARVAL is null and not "
    "PARVAL = ''";

constexpr const char *CAMERAS_SQL =
    "select C1.CAM_NR as CAM_NR, C2.PARVAL as PIPE, C3.PARVAL as ALLOW_LOCAL, "
    "C4.PARVAL as Hx2, C5.PARVAL as CAM_NAME, C6.PARVAL as GEO, C7.PARVAL as "
    "VSRC, C8.PARVAL as FS_URI from CAMERAS C1   left join CAMERAS C2  on "
    "C1.CAM_NR = C2.CAM_NR and C2.PARNAME='v4l_pipe'   left join CAMERAS C3  "
    "on C1.CAM_NR = C3.CAM_NR and C3.PARNAME='allow_local'   left join "
    "CAMERAS C4  on C1.CAM_NR = C4.CAM_NR and C4.PARNAME='Hx2'   left join "
    "CAMERAS C5  on C1.CAM_NR = C5.CAM_NR and C5.PARNAME='text_left'   left "
    "join CAMERAS C6  on C1.CAM_NR = C6.CAM_NR and C6.PARNAME='geometry'   "
    "left join CAMERAS C7  on C1.CAM_NR = C7.CAM_NR and "
    "C7.PARNAME='video_src'   left join CAMERAS C8  on C1.CAM_NR = C8.CAM_NR "
    "and C8.PARNAME='mon_fs_uri' where C1.PARNAME = 'work' and not C1.PARVAL "
    "is null and not C1.PARVAL = '0'   and not C2.PARVAL is null and not "
    "C2.PARVAL = '' order by C1.CAM_NR";

// Result columns of CAMERAS_SQL.
enum { COL_CAM_NR = 1, COL_PIPE, COL_ALLOW_LOCAL, COL_HX2, COL_CAM_NAME,
       COL_GEO, COL_VSRC, COL_FS_URI };

int32_t clamp_i32(long long v)
{
    return static_cast<int32_t>(std::clamp<long long>(v, INT32_MIN, INT32_MAX));
}

dbi_conn conn_of(CONF *c) { return static_cast<dbi_conn>(c->db_conn); }

// " CAM %d " or " %s " with the caption, within the 61-byte field; a long
// caption is cut at a character boundary and keeps its closing blank.
void set_camera_name(camera *cam, const std::string &caption)
{
    char buf[sizeof cam->name];
    if (caption.empty()) {
        snprintf(buf, sizeof buf, " CAM %d ", cam->nr);
    } else {
        std::string_view v = utf8_prefix(caption, sizeof buf - 3);
        snprintf(buf, sizeof buf, " %.*s ", static_cast<int>(v.size()),
                 v.data());
    }
    copy_text(cam->name, sizeof cam->name, buf);
}

// Largest stream side a capture device can have; the window geometry is
// computed for sizes up to it.
constexpr int GEOMETRY_MAX = 16384;

// Geometry text -> size; 1 when the text was understood and in range.
int parse_geometry(const std::string &text, uint32_t *w, uint32_t *h)
{
    uint32_t out[2] = {0, 0};
    int ok = tirskconf_get_q(text.c_str(), 1, GEOMETRY_MAX, GEOMETRY_MAX, out);
    *w = out[0];
    *h = out[1];
    return ok != 0;
}

// Fill the camera slot from an accepted row; 0 when it has no main source
// (the slot is then cleared and not used).
int fill_camera(CONF *c, camera *cam, int32_t nr, const std::string &caption,
                const char *device, uint32_t hx2, uint32_t w, uint32_t h,
                const std::string &fs_uri)
{
    cam->nr = nr;
    set_camera_name(cam, caption);
    media_source *src = add_source(cam, device);
    if (!src) {
        tirsklog_r(&cam->log, 3, "no source on %s, skip this camera\n",
                   device);
        *cam = camera{};
        return 0;
    }
    src->hx2 = hx2;
    if (!source_probe(src)) {
        src->width = w;
        src->height = h;
    }
    aspect_pair asp{};
    calc_aspect(src->width, src->height, &asp);
    src->aspect_w = asp.num;
    src->aspect_h = asp.den;
    if (!c->single_source && !fs_uri.empty())
        add_source(cam, fs_uri.c_str());
    return 1;
}

} // namespace

extern "C" media_source *add_source(camera *cam, const char *uri)
{
    if (!cam || !uri)
        return nullptr;
    if (cam->nsrcs < 0 || cam->nsrcs >= CAM_MAX_SRCS) {
        tirsklog_r(&cam->log, 3, "no free source slot for %s, skip it\n", uri);
        return nullptr;
    }
    size_t len = strlen(uri);
    if (len >= URI_SIZE) {
        // A cut URI would name another stream: refuse it instead.
        tirsklog_r(&cam->log, 3,
                   "uri %.60s... is too long (%zu bytes, at most %zu), skip "
                   "this source\n",
                   uri, len, URI_SIZE - 1);
        return nullptr;
    }
    media_source *src = &cam->srcs[cam->nsrcs];
    *src = media_source{};
    src->cam = cam;
    src->index = cam->nsrcs;
    if (!source_init(src, uri)) {
        tirsklog_r(&cam->log, 3, "unexpected uri %s, skip this source\n", uri);
        *src = media_source{};
        return nullptr;
    }
    cam->nsrcs++;
    memset(src->uri, 0, sizeof src->uri);
    memcpy(src->uri, uri, len);
    tirsklog_set_context_r(&src->log, &cam->log, -1, 0, "src#%d", src->index);
    return src;
}

int load_camera_defaults(CONF *c, cam_defaults *d, int *errors)
{
    *d = cam_defaults{};
    dbi_result res = dbi_conn_query(conn_of(c), DEFAULTS_SQL);
    if (!res) {
        tirsklog_r(nullptr, 3, "select from CAMERAS(0) sql failed -> \"%s\"\n",
                   catalogue_db_error(c));
        ++*errors;
        return 0;
    }
    uint32_t w = 0, h = 0;
    while (dbi_result_next_row(res)) {
        std::string name = db_text(res, 1);
        std::string value = db_text(res, 2);
        if (name == "allow_local") {
            d->allow_local = parse_decimal(value);
        } else if (name == "Hx2") {
            d->hx2 = parse_decimal(value);
        } else if (name == "geometry") {
            if (!parse_geometry(value, &w, &h)) {
                tirsklog_r(nullptr, 3,
                           "invalid default \"geometry\" value - \"%s\"\n",
                           value.c_str());
                ++*errors;
            }
        } else if (name == "video_src") {
            d->video_src = !value.empty();
        }
    }
    dbi_result_free(res);
    d->width = w ? w : 640;
    d->height = h ? h : 480;
    return 1;
}

namespace {

// The rows in ascending camera number.  The query orders them already, but
// a CAM_NR column of a text type orders "10" before "2".
std::vector<camera_row> read_camera_rows(dbi_result res)
{
    std::vector<camera_row> rows;
    while (dbi_result_next_row(res))
        rows.push_back({clamp_i32(db_int(res, COL_CAM_NR)),
                        db_text(res, COL_PIPE), db_text(res, COL_ALLOW_LOCAL),
                        db_text(res, COL_HX2), db_text(res, COL_CAM_NAME),
                        db_text(res, COL_GEO), db_text(res, COL_VSRC),
                        db_text(res, COL_FS_URI)});
    std::stable_sort(rows.begin(), rows.end(),
                     [](const camera_row &a, const camera_row &b) {
                         return a.nr < b.nr;
                     });
    return rows;
}

} // namespace

int load_cameras(CONF *c, const cam_defaults &d, int *errors)
{
    dbi_result res = dbi_conn_query(conn_of(c), CAMERAS_SQL);
    if (!res) {
        tirsklog_r(nullptr, 3, "couldn't read CAMERAS table. SQL error: %s\n",
                   catalogue_db_error(c));
        ++*errors;
        return 0;
    }
    const std::vector<camera_row> rows = read_camera_rows(res);
    dbi_result_free(res);
    return accept_camera_rows(c, d, rows, errors);
}

int accept_camera_rows(CONF *c, const cam_defaults &d,
                       const std::vector<camera_row> &rows, int *errors)
{
    c->cams_count = 0;
    for (const camera_row &row : rows) {
        const int32_t nr = row.nr;
        const long long pipe = parse_decimal(row.pipe);
        const long long allow_local =
            row.allow_local.empty() ? d.allow_local : parse_decimal(row.allow_local);
        const long long hx2 = row.hx2.empty() ? d.hx2 : parse_decimal(row.hx2);

        camera *cam = c->cams_count < MAX_CAMS ? &c->cams[c->cams_count] : nullptr;
        const log_ctx *ctx = nullptr;
        if (cam) {
            tirsklog_set_context_r(&cam->log, nullptr, -1, 0, "cam[%2.2d]", nr);
            ctx = &cam->log;
        }

        // A device number beyond the int range names no device either.
        const bool has_vsrc = !row.vsrc.empty() || d.video_src;
        if (pipe < 0 || pipe > INT_MAX || allow_local == 0 || !has_vsrc)
            continue;

        uint32_t w = d.width, h = d.height;
        if (!row.geo.empty() && !parse_geometry(row.geo, &w, &h)) {
            tirsklog_r(ctx, 3, "invalid \"geometry\" value - \"%s\"\n",
                       row.geo.c_str());
            ++*errors;
            continue;
        }

        char device[32];
        snprintf(device, sizeof device, "/dev/video%u",
                 static_cast<unsigned>(pipe));
        if (!cam) {
            tirsklog_r(ctx, 3,
                       "on %s can not accepted -> limit max cams was happens "
                       "(%d)",
                       device, MAX_CAMS);
            continue;
        }
        // A second row of the same camera (two "work" or "v4l_pipe" rows)
        // would only shadow the first one.
        if (c->cams_count > 0 && c->cams[c->cams_count - 1].nr == nr) {
            tirsklog_r(ctx, 4, "camera #%d is defined twice, %s ignored\n", nr,
                       device);
            continue;
        }
        if (fill_camera(c, cam, nr, row.name, device,
                        static_cast<uint32_t>(hx2), w, h, row.fs_uri))
            c->cams_count++;
    }
    if (c->cams_count == 0) {
        tirsklog_r(nullptr, 3,
                   "You don't have any ready cameras for local viewing, ask to "
                   "your %s system administrator\n",
                   "Tirsk");
        ++*errors;
        return 0;
    }
    return 1;
}
