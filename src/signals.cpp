// Signal handling.  The handler itself only does async-signal-safe work
// (reaping the collector, recording what happened) and hands the rest to
// the main loop through a self-pipe, where the messages are logged and the
// loop is ended in the same order as if the handler had done it itself.
#include "signals.h"

#include <errno.h>
#include <fcntl.h>
#include <libgen.h>
#include <libintl.h>
#include <locale.h>
#include <string.h>
#include <sys/wait.h>
#include <syslog.h>
#include <unistd.h>

#include <glib-unix.h>
#include <glib.h>

#include "conf.h"
#include "globals.h"

namespace {

// What the handler saw, passed through the pipe in one write (atomic for
// records below PIPE_BUF).
struct signal_note {
    int signo;
    int code;
    int pid;
    int uid;
    int status;
};

int sig_pipe[2] = {-1, -1};
guint sig_watch;
bool stop_requested; // a reported signal ends the program
bool collector_farewell; // the collector was told the program ends

void note_signal(const signal_note &note)
{
    if (sig_pipe[1] < 0)
        return;
    int saved = errno;
    ssize_t r;
    do
        r = write(sig_pipe[1], &note, sizeof note);
    while (r < 0 && errno == EINTR);
    errno = saved;
}

void report_signal(const signal_note &n)
{
    if (n.signo == SIGCHLD) {
        if (verbose_at(1))
            tirsklog_r(nullptr, LOG_INFO,
                       "(*) got signal SIGCHLD, code %d, pid %d, uid %d, exit "
                       "status %d\n",
                       n.code, n.pid, n.uid, n.status);
        const char *path = conf && conf->event_collector ? conf->event_collector
                                                         : "";
        char copy[4096];
        g_strlcpy(copy, path, sizeof copy);
        const char *name = basename(copy);
        if (n.code == CLD_EXITED && n.status == 0 && collector_farewell) {
            if (verbose_at(1))
                tirsklog_r(nullptr, LOG_INFO,
                           "(*) event collector script `%s' (pid %d) exited with %d "
                           "exit status\n",
                           name, n.pid, n.status);
        } else if (n.code == CLD_EXITED)
            tirsklog_r(nullptr, LOG_ERR,
                       "event collector script `%s' (pid %d) exited with %d "
                       "exit status\n",
                       name, n.pid, n.status);
        else if (n.code == CLD_KILLED || n.code == CLD_DUMPED)
            tirsklog_r(nullptr, LOG_ERR,
                       "event collector script `%s' (pid %d) was killed by "
                       "the #%d(%s) signal\n",
                       name, n.pid, n.status, strsignal(n.status));
    } else {
        tirsklog_r(nullptr, LOG_ERR,
                   tr_format("Got %s signal, terminate process.\n"),
                   strsignal(n.signo));
    }
    // A loop that is not running yet would forget a quit: the flag keeps it.
    stop_requested = true;
    if (main_loop)
        g_main_loop_quit(main_loop);
}

gboolean on_signal_pipe(gint, GIOCondition, gpointer)
{
    signals_dispatch();
    return G_SOURCE_CONTINUE;
}

} // namespace

extern "C" void sig_handler(int signo, siginfo_t *info, void *)
{
    signal_note note = {signo, 0, 0, 0, 0};
    if (signo == SIGCHLD) {
        // A collector stopped or continued (SIGSTOP, SIGCONT, a tracer) is
        // still there: only an exit or a killing signal is its end.
        if (info && info->si_code != CLD_EXITED && info->si_code != CLD_KILLED &&
            info->si_code != CLD_DUMPED)
            return;
        evtcoll_exitcode_or_signo = -SIGCHLD;
        if (info) {
            int status;
            int saved = errno;
            waitpid(info->si_pid, &status, WNOHANG);
            errno = saved;
            note.code = info->si_code;
            note.pid = info->si_pid;
            note.uid = int(info->si_uid);
            note.status = info->si_status;
        }
    }
    note_signal(note);
}

int signals_pipe_open(void)
{
    if (sig_pipe[0] >= 0)
        return 1;
    if (pipe2(sig_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return 0;
    sig_watch = g_unix_fd_add(sig_pipe[0], G_IO_IN, on_signal_pipe, nullptr);
    return 1;
}

int signals_block_terminating(void)
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGQUIT);
    return sigprocmask(SIG_BLOCK, &set, nullptr) == 0;
}

// A caught signal, unlike an ignored one, goes back to its default action
// across exec, so the event-collector script and other children still see
// SIGPIPE as usual; the collector's own per-thread guard is unaffected.
int signals_survive_broken_pipes(void)
{
    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = [](int) {};
    sa.sa_flags = SA_RESTART;
    sigemptyset(&sa.sa_mask);
    return sigaction(SIGPIPE, &sa, nullptr) == 0;
}

int signals_fd(void)
{
    return sig_pipe[0];
}

int signals_dispatch(void)
{
    if (sig_pipe[0] < 0)
        return stop_requested ? 1 : 0;
    signal_note note;
    while (read(sig_pipe[0], &note, sizeof note) == (ssize_t)sizeof note)
        report_signal(note);
    return stop_requested ? 1 : 0;
}

int signals_stop_requested(void)
{
    return stop_requested ? 1 : 0;
}

void signals_collector_farewell(void)
{
    collector_farewell = true;
}

int signals_install(int signo)
{
    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_sigaction = sig_handler;
    sa.sa_flags = SA_SIGINFO;
    sigemptyset(&sa.sa_mask);
    return sigaction(signo, &sa, nullptr) == 0;
}
