// Program entry: start-up, main loop and orderly shutdown.
#include <errno.h>
#include <libintl.h>
#include <locale.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <syslog.h>
#include <unistd.h>

#include <glib.h>

#include "colorconv.h"
#include "conf.h"
#include "evtcoll.h"
#include "evtcoll/evtcoll_state.h"
#include "frame.h"
#include "globals.h"
#include "media.h"
#include "monitor.h"
#include "rctrl.h"
#include "signals.h"
#include "vout.h"

namespace {

char display_letter()
{
    return conf && conf->display ? conf->display : 'L';
}

// A hard limit above the soft one lets the process dump core on a crash.
int raise_core_limit()
{
    struct rlimit rl;
    if (getrlimit(RLIMIT_CORE, &rl) != 0) {
        perror("getrlimit() failed");
        return 0;
    }
    if (rl.rlim_max != 0 && rl.rlim_max > rl.rlim_cur) {
        rl.rlim_cur = rl.rlim_max;
        if (setrlimit(RLIMIT_CORE, &rl) != 0) {
            perror("setrlimit() failed");
            return 0;
        }
    }
    return 1;
}

int unblock_term_signals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGQUIT);
    if (sigprocmask(SIG_UNBLOCK, &set, nullptr) != 0) {
        int err = errno;
        char text[200];
        tirsklog_r(nullptr, LOG_ERR, "sigprocmask(%s) failed failed with #%d(%s)",
                   "SIG_UNBLOCK", err, strerror_r(err, text, sizeof text));
        return 0;
    }
    return 1;
}

void set_media_environment()
{
    if (conf->yuv_direct)
        setenv("SDL_VIDEO_YUV_DIRECT", "1", 1);
    setenv("SDL_VIDEO_YUV_HWACCEL", conf->yuv_hwaccel ? "1" : "0", 1);
    if (conf->no_mouse) {
        setenv("SDL_MOUSEDEV", "/dev/null", 1);
        setenv("SDL_NOMOUSE", "1", 1);
    }
}

int64_t wall_clock_usec()
{
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    return int64_t(tv.tv_sec) * 1000000 + tv.tv_usec;
}

void set_verbosity()
{
    if (conf->quiet)
        debug_level -= 2;
    else
        debug_level += conf->verbose;
    if (conf->verbose)
        setenv("SDL_DEBUG", "1", 1);
    // debug_level + 4 would drop the info lines that -v turns on.
    tirsklog_level_set(log_level_for(conf));
    tirsklog_update_flags(3, 32);
    tirsklog_update_time_r(wall_clock_usec(), INT64_MIN);
}

[[noreturn]] void run_video_test()
{
    if (verbose_at(1))
        tirsklog_r(nullptr, LOG_INFO, "(*) %s\n", "Test video mode");
    vout_init(0);
    vout_test(int(conf->test_video_mode));
    vout_fini();
    free_CONF(conf);
    conf = nullptr;
    exit(0);
}

// Shutdown steps S1 to S8.
[[noreturn]] void shutdown_and_exit()
{
    tirsklog_r(nullptr, LOG_NOTICE, "%s (%c) exiting...", TIRSK_PROG_NAME,
               display_letter());
    // The server thread reads the configuration and pushes into the event
    // queue: it stops before either goes.
    rctrl_stop();
    free_cams_and_wins();
    if (main_loop) {
        g_main_loop_unref(main_loop);
        main_loop = nullptr;
    }
    vout_fini();
    if (evtcoll_pid >= 0) {
        signals_dispatch(); // a collector's end noted meanwhile is reported
        // The same 3 seconds bound the wait for the reply: a script that
        // never answers must not keep the viewer from ending.
        evtcoll_reply_timeout_ms = 3000;
        signals_collector_farewell(); // ending on this line is its job
        if (evtcoll_exitcode_or_signo == 0)
            evtcoll_write("%c program exiting\n", display_letter());
        int status = evtcoll_exitcode_or_signo;
        evtcoll_close(evtcoll_pid, 3, &status);
        evtcoll_exitcode_or_signo = status;
        signals_dispatch(); // a signal taken during the wait is logged
    }
    sources_drivers_fini();
    if (verbose_at(2))
        tirsklog_r(nullptr, LOG_DEBUG,
                   "(D) finished, ret = %d, evtcoll_exitcode_or_signo = %d, "
                   "quit = %d\n",
                   0, evtcoll_exitcode_or_signo, quit);
    free_CONF(conf);
    conf = nullptr;
    // _exit skips stdio's own flush: without this, text printed to a pipe
    // (the usage text, the version banner) would be lost.
    fflush(nullptr);
    _exit(1);
}

int start_event_collector()
{
    if (!conf->event_collector || !conf->event_collector[0])
        return 1;
    long limit = sysconf(_SC_OPEN_MAX);
    if (limit <= 1000)
        limit = 1000;
    // The handler comes first: a script that dies at once (a bad
    // interpreter) must be seen ending like one that dies later.  The pid
    // is stored even when a step after the fork fails, so that the
    // shutdown path still waits for the script and closes its pipes.
    if (!signals_install(SIGCHLD))
        return 0;
    return evtcoll_open(conf->event_collector, limit, &evtcoll_pid) == 0;
}

} // namespace

int main(int argc, char **argv)
{
    // Before anything else: a SIGTERM or SIGQUIT that comes while the
    // configuration is read must wait for the handlers rather than end the
    // process at once, and a log reader that goes away must not end it.
    signals_block_terminating();
    signals_survive_broken_pipes();
    setlocale(LC_ALL, "");
    if (!raise_core_limit())
        return 1;
    g_monotime_microsec = tick_clock();
    if (!sources_drivers_init(&argc, &argv)) {
        fflush(nullptr);
        _exit(1);
    }

    init_wins();
    conf = init_CONF();
    if (!conf || !parse_configs(conf, argc, argv))
        shutdown_and_exit();
    // Handlers first, then the signals that waited for them.
    if (!signals_pipe_open() || !signals_install(SIGTERM) ||
        !signals_install(SIGQUIT))
        shutdown_and_exit();
    if (!unblock_term_signals())
        shutdown_and_exit();
    if (!start_event_collector())
        shutdown_and_exit();
    if (!evtcoll_write("%c program starting\n", display_letter()))
        shutdown_and_exit();

    set_media_environment();
    set_verbosity();
    if (conf->test_video_mode)
        run_video_test();

    color_yuv2rgb_init();
    if (!vout_init(0))
        shutdown_and_exit();

    GSource *tick = g_timeout_source_new(frame_tick_interval_ms(conf->framerate));
    main_loop = g_main_loop_new(nullptr, FALSE);
    g_source_attach(tick, g_main_loop_get_context(main_loop));
    g_source_set_callback(tick, cb_frame_tick, nullptr, nullptr);
    g_source_unref(tick);

    g_monotime_microsec = tick_clock();
    mon_start();
    // A signal taken while the collector was asked about the start layout
    // has ended the start already.
    if (signals_stop_requested())
        shutdown_and_exit();
    tirsklog_r(nullptr, LOG_NOTICE, "%s (%c) started", TIRSK_PROG_NAME,
               display_letter());

    // Signals that came during start-up wait in the self-pipe and end the
    // loop in its first iteration.
    g_main_loop_run(main_loop);
    shutdown_and_exit();
}
