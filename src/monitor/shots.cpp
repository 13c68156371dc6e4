// Snapshot file names and the two shot commands (F2, Shift+F2).
#include <stdio.h>
#include <sys/stat.h>
#include <string.h>
#include <syslog.h>
#include <time.h>

#include <string>

#include "conf.h"
#include "monitor.h"
#include "vout.h"

namespace {

constexpr size_t SHOT_PATH_MAX = 299;

// "%F_%T" of the local time now.
void time_stamp(char (&out)[32])
{
    const time_t now = time(nullptr);
    struct tm tm;
    if (!localtime_r(&now, &tm) || !strftime(out, sizeof out, "%F_%T", &tm))
        snprintf(out, sizeof out, "%lld", (long long)now);
}

// A shot needs somewhere to go; say why not when there is no such place.
bool shot_dir_usable()
{
    if (conf && conf->shot_dir && conf->shot_dir[0])
        return true;
    tirsklog_r(nullptr, LOG_ERR, "%s\n",
               "snapshot refused: no writable snapshot directory, see "
               "\"shot-dir\"");
    return false;
}

// A cut name would write to some other file: refuse it instead.
bool name_fits(int len, const char *path)
{
    if (len >= 0 && size_t(len) <= SHOT_PATH_MAX)
        return true;
    tirsklog_r(nullptr, LOG_ERR,
               "snapshot refused: file name longer than %zu characters: "
               "%.60s...\n",
               SHOT_PATH_MAX, path);
    return false;
}

// Two shots within one second get the same name: the later one takes the
// first free name of "NAME-1.png", "NAME-2.png"... (existing files and
// links are never written through; the writer refuses a name that appears
// meanwhile).
bool free_name(char (&path)[SHOT_PATH_MAX + 2])
{
    const std::string base(path, strlen(path) - 4); // without ".png"
    struct stat st;
    for (int n = 1; lstat(path, &st) == 0; n++) {
        const int len = snprintf(path, sizeof path, "%s-%d.png", base.c_str(), n);
        if (!name_fits(len, path))
            return false;
    }
    return true; // a failure other than "no such file" shows at the write
}

void log_saved(const char *path)
{
    if (verbose_at(1))
        tirsklog_r(nullptr, LOG_INFO, "(*) snapshot saved to %s\n", path);
}

} // namespace

extern "C" void screen_shot(void)
{
    if (!shot_dir_usable() || !vout || !vout->screen_snapshot)
        return;
    char stamp[32];
    time_stamp(stamp);
    char path[SHOT_PATH_MAX + 2];
    const int len = snprintf(path, sizeof path, "%s/tirskmon(%c)_%s.png",
                             conf->shot_dir, conf->display, stamp);
    if (!name_fits(len, path) || !free_name(path))
        return;
    if (vout->screen_snapshot(path))
        log_saved(path);
}

extern "C" void cam_shot(void)
{
    if (g_selectetWinIdx < 0 || g_selectetWinIdx >= WINDOWS_COUNT)
        return;
    window *w = &windows[g_selectetWinIdx];
    if (!w->cam || !shot_dir_usable() || !vout || !vout->win_snapshot)
        return;
    char stamp[32];
    time_stamp(stamp);
    char path[SHOT_PATH_MAX + 2];
    const int len = snprintf(path, sizeof path,
                             "%s/tirskmon(%c)_cam%2.2u_%s.png", conf->shot_dir,
                             conf->display, unsigned(w->cam->nr), stamp);
    if (!name_fits(len, path) || !free_name(path))
        return;
    if (vout->win_snapshot(w, path))
        log_saved(path);
}
