// Snapshot files: never written through a link, never half written, never
// overwriting the shot taken a moment before, never readable by others.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "conf.h"
#include "monitor.h"
#include "harness.h"
#include "vout/sdl_private.h"

using testsupport::read_file;

TEST(SnapshotFiles, LinksLimitsAndShotsWithinOneSecond)
{
    testsupport::TempDir dir;
    SDL_Surface *const shared_screen = screen; // other tests' screen, conf and vout
    CONF *const shared_conf = conf;
    video_out *const shared_vout = vout;
    screen = SDL_CreateRGBSurface(SDL_SWSURFACE, 320, 240, 32, 0xFF0000, 0xFF00, 0xFF, 0);
    const auto files = [&] { return testsupport::run({"sh", "-c", "ls -l " + dir.path()}).out; };
    testsupport::write_file(dir.file("victim"), "keep", 0600);
    symlink(dir.file("victim").c_str(), dir.file("link.png").c_str());
    EXPECT_EQ(screen_snapshot(dir.file("link.png").c_str()), 0);
    EXPECT_EQ(read_file(dir.file("victim")), "keep");

    // A file-size limit (as a full disk) cuts the file: a failure, no file.
    signal(SIGXFSZ, SIG_IGN);
    rlimit old, small = {100, 0};
    getrlimit(RLIMIT_FSIZE, &old);
    small.rlim_max = old.rlim_max;
    setrlimit(RLIMIT_FSIZE, &small);
    EXPECT_EQ(screen_snapshot(dir.file("cut.png").c_str()), 0);
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_EQ(files().find("cut"), std::string::npos) << files();

    // Two shots within a second: two files, owner and group only.
    conf = static_cast<CONF *>(calloc(1, sizeof(CONF)));
    conf->shot_dir = strdup(dir.path().c_str());
    conf->display = 'L';
    vout = &vout_sdl;
    screen_shot();
    screen_shot();
    const std::string ls = files();
    EXPECT_EQ(testsupport::run({"sh", "-c", "ls " + dir.path() + " | grep -c tirskmon"}).out, "2\n") << ls;
    EXPECT_EQ(ls.find("-rw-r--r--"), std::string::npos) << ls;
    free(conf->shot_dir);
    free(conf);
    conf = shared_conf;
    vout = shared_vout;
    SDL_FreeSurface(screen);
    screen = shared_screen;
}
