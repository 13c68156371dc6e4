// Layouts of the catalogue: the LOCAL_LAYOUTS rows of this display, their
// cameras, the help lines and the start layout.
#include <limits.h>
#include <string.h>

#include <algorithm>
#include <string>

#include "catalogue.h"
#include "catalogue_db.h"
#include "catalogue_text.h"
#include "conf.h"
#include "layouts.h"

namespace {

static_assert(sizeof(local_layout{}.name) == 33);

constexpr const char *LAYOUTS_SQL =
    "SELECT MON_NR, MON_TYPE, MON_NAME, WIN1, WIN2, WIN3, WIN4, WIN5, WIN6, "
    "WIN7, WIN8, WIN9, WIN10, WIN11, WIN12, WIN13, WIN14, WIN15, WIN16, WIN17, "
    "WIN18, WIN19, WIN20, WIN21, WIN22, WIN23, WIN24, WIN25, WIN26, WIN27, "
    "WIN28, WIN29, WIN30, WIN31, WIN32, WIN33, WIN34, WIN35, WIN36, WIN37, "
    "WIN38, WIN39, WIN40, WIN41, WIN42, WIN43, WIN44, WIN45, WIN46, WIN47, "
    "WIN48, WIN49, WIN50, WIN51, WIN52, WIN53, WIN54, WIN55, WIN56, WIN57, "
    "WIN58, WIN59, WIN60 FROM LOCAL_LAYOUTS WHERE BIND_MAC='local' AND "
    "DISPLAY='%c' ORDER BY MON_NR";

// Result columns: MON_NR, MON_TYPE, MON_NAME, then WIN1 at column 4.
enum { COL_MON_NR = 1, COL_MON_TYPE, COL_MON_NAME, COL_WIN1 };

const char *display_word(const CONF *c)
{
    return c->display == 'L' ? "left" : "right";
}

camera *find_camera(CONF *c, long long nr)
{
    for (int i = 0; i < c->cams_count && i < MAX_CAMS; ++i)
        if (c->cams[i].nr == nr)
            return &c->cams[i];
    return nullptr;
}

// Fill layout number nr from the current row.
void read_layout_row(CONF *c, dbi_result res, int nr, const layout_def *def,
                     const std::string &mon_name)
{
    local_layout *lay = &c->layouts[nr];
    *lay = local_layout{};
    lay->def = def;
    tirsklog_set_context_r(&lay->log, nullptr, -1, 0, "%c[%d]", c->display, nr);
    copy_text(lay->name, sizeof lay->name,
              mon_name.empty() ? std::string_view(def->name) : mon_name);

    const unsigned nfields = dbi_result_get_numfields(res);
    const int wins = std::min(def->wins, MAX_WINS);
    for (int i = 1; i <= wins; ++i) {
        const unsigned col = COL_WIN1 + i - 1;
        const long long cam_nr = col <= nfields ? db_int(res, col) : 0;
        if (cam_nr == 0)
            continue;
        if (camera *cam = find_camera(c, cam_nr)) {
            lay->cams[i - 1] = cam;
            lay->ncams++;
        } else if (c->verbose) {
            tirsklog_r(nullptr, 3,
                       "Layout #%d(%s/%s) win #%d: cam #%lld isn't defined or "
                       "active\n",
                       nr, def->name, lay->name, i, cam_nr);
        }
    }
}

} // namespace

int load_layouts(CONF *c, int *errors)
{
    dbi_result res = dbi_conn_queryf(static_cast<dbi_conn>(c->db_conn),
                                     LAYOUTS_SQL, c->display);
    if (!res) {
        tirsklog_r(nullptr, 3, "couldn't read MONITORS table. SQL error: %s\n",
                   catalogue_db_error(c));
        ++*errors;
        return 0;
    }
    // Rows are counted while read: some drivers cannot tell the count ahead.
    c->layouts_count = 0;
    long rows = 0;
    bool over_limit = false;
    while (dbi_result_next_row(res)) {
        ++rows;
        const long long mon_nr = db_int(res, COL_MON_NR);
        if (mon_nr >= MAX_LAYOUTS) {
            // Later rows have larger numbers, unless MON_NR is a text column
            // ordered "50" before "6": skip rather than stop, report once.
            if (!over_limit)
                tirsklog_r(nullptr, 3,
                           "layout #%lld can not accepted -> limit max layouts "
                           "happens (%d)",
                           mon_nr, MAX_LAYOUTS);
            over_limit = true;
            continue;
        }
        const std::string mon_type = db_text(res, COL_MON_TYPE);
        const std::string mon_name = db_text(res, COL_MON_NAME);
        if (mon_nr < 0) {
            // There is no record for it; the rows after it may be good.
            tirsklog_r(nullptr, 3,
                       "layout #%lld(%s) has a negative number, reject it\n",
                       mon_nr, mon_name.c_str());
            continue;
        }
        const int nr = static_cast<int>(mon_nr);
        const layout_def *def = find_layout_def(mon_type.c_str());
        if (!def) {
            c->layouts[nr].def = nullptr;
            tirsklog_r(nullptr, 3, "%s has unknown type = `%s', reject it\n",
                       mon_name.c_str(), mon_type.c_str());
            continue;
        }
        read_layout_row(c, res, nr, def, mon_name);
        local_layout *lay = &c->layouts[nr];
        if (lay->ncams == 0) {
            tirsklog_r(nullptr, 3,
                       "Skip layout #%d(%s/%s) since it has't any active "
                       "cameras\n",
                       nr, def->name, lay->name);
            lay->def = nullptr;
            continue;
        }
        strhelp_add_layout(nr, lay->name, lay->ncams);
        if (!c->quiet && c->verbose >= 1)
            tirsklog_r(nullptr, 6,
                       "(*) Add layout #%d, type `%s'(%d), name `%s' with %u "
                       "cameras\n",
                       nr, def->name, def->id, lay->name,
                       static_cast<unsigned>(lay->ncams));
        c->layouts_count = std::max(c->layouts_count, nr + 1);
    }
    dbi_result_free(res);

    if (rows == 0) {
        tirsklog_r(nullptr, 3,
                   "Could't find a cameras windows layouts for \"%s\" display."
                   "\nAsk to administrator or installers your systems.\n",
                   display_word(c));
        ++*errors;
        return 0;
    }
    if (c->layouts_count == 0) {
        tirsklog_r(nullptr, 3,
                   "You don't have any good configured layout for %s, ask to "
                   "your %s system administrator\n",
                   "tirsk-mon", "Tirsk");
        ++*errors;
        return 0;
    }
    return 1;
}

int settle_start_layout(CONF *c, int *errors)
{
    const int n = std::min(c->layouts_count, MAX_LAYOUTS);
    if (c->start_layout < 1) {
        for (int i = 0; i < n; ++i)
            if (c->layouts[i].def) {
                c->start_layout = i;
                return 1;
            }
    } else if (c->start_layout < n && c->layouts[c->start_layout].def) {
        return 1;
    }
    tirsklog_r(nullptr, 3, "Layout #%d on %s display is not defined in %s database\n",
               c->start_layout, display_word(c), c->db_name ? c->db_name : "");
    ++*errors;
    return 0;
}
