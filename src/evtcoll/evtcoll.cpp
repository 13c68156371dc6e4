// Event collector: an external script started through the shell, told of
// the viewer's start, layout changes and end, one line per event, and
// answering each with one line ("done..." accepts, anything else refuses).
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdio_ext.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>

#include "conf.h"
#include "evtcoll.h"
#include "evtcoll/evtcoll_state.h"
#include "globals.h"
#include "signals.h"
#include "tirskconf.h"

extern "C" {
char evtcoll_name[EVTCOLL_NAME_MAX + 1];
int evtcoll_evt_pipe[2] = {-1, -1};
int evtcoll_reply_pipe[2] = {-1, -1};
FILE *wf;
FILE *rf;
char evtcoll_reply[EVTCOLL_REPLY_SIZE];
int evtcoll_reply_timeout_ms = -1;
}

namespace {

constexpr int kWaitOptions = WNOHANG | WUNTRACED | WCONTINUED;

struct ErrText {
    char buf[200];
    explicit ErrText(int err) { text = strerror_r(err, buf, sizeof buf); }
    const char *text;
};

// A script that died before SIGCHLD was handled leaves a pipe without a
// reader: writing to it raises SIGPIPE, which would end the viewer at once
// and skip the orderly shutdown.  While a guard lives, SIGPIPE is blocked
// for this thread only (the signal is directed at the writing thread), so
// the write fails with EPIPE instead; a SIGPIPE raised meanwhile is taken
// off the pending set before the old mask returns.  Unlike ignoring SIGPIPE
// process-wide, this changes nothing for other threads or for children,
// which would inherit an ignored disposition across exec.
class SigpipeGuard {
public:
    SigpipeGuard()
    {
        sigemptyset(&pipe_);
        sigaddset(&pipe_, SIGPIPE);
        sigset_t pending;
        sigpending(&pending);
        was_pending_ = sigismember(&pending, SIGPIPE) == 1;
        blocked_ = pthread_sigmask(SIG_BLOCK, &pipe_, &old_) == 0;
    }
    ~SigpipeGuard()
    {
        if (!blocked_)
            return;
        int saved = errno;
        sigset_t pending;
        if (!was_pending_ && sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1) {
            timespec zero{};
            while (sigtimedwait(&pipe_, nullptr, &zero) < 0 && errno == EINTR) {
            }
        }
        pthread_sigmask(SIG_SETMASK, &old_, nullptr);
        errno = saved;
    }
    SigpipeGuard(const SigpipeGuard &) = delete;
    SigpipeGuard &operator=(const SigpipeGuard &) = delete;

private:
    sigset_t pipe_, old_;
    bool was_pending_ = false;
    bool blocked_ = false;
};

void close_fd(int &fd)
{
    if (fd >= 0)
        close(fd);
    fd = -1;
}

void close_pipes()
{
    close_fd(evtcoll_evt_pipe[0]);
    close_fd(evtcoll_evt_pipe[1]);
    close_fd(evtcoll_reply_pipe[0]);
    close_fd(evtcoll_reply_pipe[1]);
}

// The script's side of the fork: only the pipes, standard error and a
// fresh session go with it into the shell.
[[noreturn]] void run_child(const char *path, long fd_limit)
{
    // Move the pipe ends above 2 first: when the viewer runs without
    // standard input or output, a pipe end may itself be 0 or 1.
    int in = fcntl(evtcoll_evt_pipe[0], F_DUPFD, 3);
    int out = fcntl(evtcoll_reply_pipe[1], F_DUPFD, 3);
    if (in < 0 || out < 0 || dup2(in, STDIN_FILENO) < 0 || dup2(out, STDOUT_FILENO) < 0)
        _exit(127);
    if (fd_limit > 3 && close_range(3, (unsigned)(fd_limit - 1), 0) != 0)
        for (long fd = fd_limit - 1; fd >= 3; --fd)
            close(int(fd));
    // The script gets a clean signal mask whatever the viewer blocks.
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    if (setsid() < 0) {
        tirsklog_r(nullptr, 3, "evtcoll: setsid(event-collector pipe) failed -> %s\n",
                   ErrText(errno).text);
        _exit(126);
    }
    execl("/bin/sh", "sh", "-c", path, static_cast<char *>(nullptr));
    tirsklog_r(nullptr, 3, "evtcoll: execl(\"/bin/sh -c %s\") failed -> %s\n", path,
               ErrText(errno).text);
    _exit(127);
}

// Records how the script ended; false while it has not.
bool note_end(int pid, int wstatus, int *status)
{
    if (WIFEXITED(wstatus)) {
        if (status)
            *status = WEXITSTATUS(wstatus);
        if (verbose_at(1))
            tirsklog_r(nullptr, 6, "(*) event collector script `%s' (pid %d) exited with %d exit status\n",
                       evtcoll_name, pid, WEXITSTATUS(wstatus));
        return true;
    }
    if (WIFSIGNALED(wstatus)) {
        int sig = WTERMSIG(wstatus);
        if (status)
            *status = -sig;
        if (verbose_at(1)) {
            const char *descr = sigdescr_np(sig);
            tirsklog_r(nullptr, 6, "(*) event collector script `%s' (pid %d) was killed by the #%d(%s) signal\n",
                       evtcoll_name, pid, sig, descr ? descr : "unknown signal");
        }
        return true;
    }
    return false;
}

int64_t mono_ms()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// Reads one reply line into evtcoll_reply, a byte at a time so that nothing
// after the line leaves the pipe (an over-long reply's rest is the next
// reply).  The wait also wakes for the signal pipe: a SIGTERM must not wait
// for a script that never answers.  1 a line, 0 end of file, -1 error with
// errno (EINTR: a signal ended the wait).
int read_reply()
{
    const int fd = fileno(rf);
    const int64_t limit = evtcoll_reply_timeout_ms;
    const int64_t deadline = mono_ms() + limit;
    size_t n = 0;
    while (n < EVTCOLL_REPLY_SIZE - 1) {
        pollfd p[2] = {{fd, POLLIN, 0}, {signals_fd(), POLLIN, 0}};
        const int64_t left = limit < 0 ? -1 : std::max<int64_t>(deadline - mono_ms(), 0);
        const int r = poll(p, p[1].fd >= 0 ? 2 : 1, int(left));
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (r == 0) {
            errno = ETIMEDOUT;
            return -1;
        }
        // A reply that is there is taken first; the signals wait meanwhile.
        if (!p[0].revents) {
            if ((p[1].revents & POLLIN) && signals_dispatch()) {
                errno = EINTR;
                return -1;
            }
            continue;
        }
        char c;
        const ssize_t got = read(fd, &c, 1);
        if (got < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (got < 0)
            return -1;
        if (got == 0)
            break;
        evtcoll_reply[n++] = c;
        if (c == '\n')
            break;
    }
    evtcoll_reply[n] = '\0';
    return n > 0 ? 1 : 0;
}

// The script closed its output, most likely by ending: give its SIGCHLD a
// moment, so that its end is reported as such (exit status or signal) and
// nothing more is sent to it.
void await_end_report()
{
    const int fd = signals_fd();
    pollfd p = {fd, POLLIN, 0};
    if (fd >= 0 && evtcoll_exitcode_or_signo == 0 && poll(&p, 1, 1000) > 0)
        signals_dispatch();
}

int64_t mono_seconds()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec;
}

// Waits for the end of the script with SIGCHLD blocked.  0 ended (or
// already reaped by someone else), 1 time-out.
int wait_for_end(int pid, int timeout_s, int *status, int *wstatus)
{
    sigset_t chld;
    sigemptyset(&chld);
    sigaddset(&chld, SIGCHLD);
    const int64_t start = mono_seconds();
    int wait_s = timeout_s;
    for (;;) {
        pid_t r = waitpid(pid, wstatus, kWaitOptions);
        if (r < 0 && errno == ECHILD)
            return 0;
        if (r == pid && note_end(pid, *wstatus, status)) {
            // Reaped here: its SIGCHLD (if it was kept pending) is ours.
            timespec zero{};
            sigtimedwait(&chld, nullptr, &zero);
            return 0;
        }

        siginfo_t si{};
        timespec ts{wait_s, 0};
        if (sigtimedwait(&chld, &si, &ts) == SIGCHLD) {
            if (si.si_pid == pid &&
                (si.si_code == CLD_EXITED || si.si_code == CLD_KILLED || si.si_code == CLD_DUMPED)) {
                if (verbose_at(1))
                    tirsklog_r(nullptr, 6,
                               "(*) got signal SIGCHLD, code %d, pid %d, uid %d, exit status %d\n",
                               si.si_code, int(si.si_pid), int(si.si_uid), si.si_status);
                int ws = si.si_code == CLD_EXITED ? (si.si_status & 0xff) << 8 : si.si_status & 0x7f;
                note_end(pid, ws, status);
                return 0;
            }
            // Another child, or ours stopped or continued: keep waiting
            // for what is left of the time-out.
            wait_s = int(timeout_s - (mono_seconds() - start));
            if (wait_s > 0)
                continue;
            errno = EAGAIN;
        }
        if (errno == EAGAIN) {
            tirsklog_r(nullptr, 3,
                       "evtcoll: exceed timeout %d seconds of waiting script `%s' (pid %d) termination\n",
                       timeout_s, evtcoll_name, pid);
            return 1;
        }
        if (errno == EINTR) {
            signals_dispatch(); // a SIGTERM meanwhile is logged, the wait goes on
            wait_s = int(timeout_s - (mono_seconds() - start));
            if (wait_s < 1)
                wait_s = 1;
            continue;
        }
        tirsklog_r(nullptr, 3, "evtcoll: sigtimedwait(SIGCHLD) failed -> %s\n", ErrText(errno).text);
        return 0;
    }
}

} // namespace

extern "C" {

int evtcoll_open(const char *path, long fd_limit, int *pid)
{
    if (!path || !pid) {
        errno = EINVAL;
        return -1;
    }
    if (wf || rf || evtcoll_evt_pipe[1] >= 0 || evtcoll_reply_pipe[0] >= 0) {
        tirsklog_r(nullptr, 3, "evtcoll: evtcoll_open(): a collector is already open\n");
        errno = EBUSY;
        return -1;
    }
    const char *base = strrchr(path, '/');
    snprintf(evtcoll_name, sizeof evtcoll_name, "%s", base ? base + 1 : path);

    // Close-on-exec keeps the pipes out of every other program the viewer
    // may start; otherwise such a program would hold the reply pipe open and
    // a dead script would never be seen at end of file.
    if (pipe2(evtcoll_evt_pipe, O_CLOEXEC) != 0 || pipe2(evtcoll_reply_pipe, O_CLOEXEC) != 0) {
        int err = errno;
        tirsklog_r(nullptr, 3, "evtcoll: pipe() failed -> %s\n", ErrText(err).text);
        close_pipes();
        errno = err;
        return -1;
    }
    pid_t child = fork();
    if (child < 0) {
        int err = errno;
        tirsklog_r(nullptr, 3, "evtcoll: evtcoll_open(): fork() failed -> %s\n", ErrText(err).text);
        close_pipes();
        errno = err;
        return -1;
    }
    if (child == 0)
        run_child(path, fd_limit);

    // The pid goes out first, so that the caller can wait for the script
    // even when a step below fails.
    *pid = child;
    int rc = 0;
    if (close(evtcoll_evt_pipe[0]) != 0)
        rc = -1;
    evtcoll_evt_pipe[0] = -1;
    if (close(evtcoll_reply_pipe[1]) != 0)
        rc = -1;
    evtcoll_reply_pipe[1] = -1;
    if (rc != 0)
        return -1;

    rf = fdopen(evtcoll_reply_pipe[0], "r");
    wf = fdopen(evtcoll_evt_pipe[1], "w");
    if (!rf || !wf) {
        tirsklog_r(nullptr, 3, "evtcoll: fdopen() failed -> %s\n", ErrText(errno).text);
        return -1;
    }
    setvbuf(rf, nullptr, _IOLBF, 0);
    setvbuf(wf, nullptr, _IOLBF, 0);
    return 0;
}

// Adds the time of one exchange with the script to g_blocked_usec.
struct BlockedTime {
    static int64_t usec()
    {
        timespec ts{};
        clock_gettime(CLOCK_MONOTONIC, &ts);
        return int64_t(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
    }
    const int64_t start = usec();
    ~BlockedTime() { g_blocked_usec += usec() - start; }
};

int evtcoll_write(const char *fmt, ...)
{
    if (!wf || !rf)
        return 1;
    BlockedTime blocked;

    int err = 0;
    {
        SigpipeGuard guard;
        clearerr(wf);
        int n = -1;
        if (fmt) {
            va_list ap;
            va_start(ap, fmt);
            n = vfprintf(wf, fmt, ap);
            va_end(ap);
        } else {
            errno = EINVAL;
        }
        // Line buffering has sent a complete line; the flush also sends a
        // line whose format lacks the newline instead of waiting for ever.
        if (n < 0 || fflush(wf) != 0) {
            err = errno ? errno : EIO;
            __fpurge(wf); // nothing of a failed line stays to be sent later
            clearerr(wf);
        }
    }
    if (err) {
        tirsklog_r(nullptr, 3, "write to evtcoll \"%s\" error: %s\n", evtcoll_name, ErrText(err).text);
        return 0;
    }

    const int got = read_reply();
    if (got <= 0) {
        const int err = errno;
        evtcoll_reply[0] = '\0';
        tirsklog_r(nullptr, 3, "read from evtcoll \"%s\" error: %s\n", evtcoll_name,
                   got < 0 ? ErrText(err).text : "end of file");
        if (got == 0)
            await_end_report();
        return 0;
    }
    if (strncmp(evtcoll_reply, "done", 4) == 0)
        return 1;
    tirsklog_r(nullptr, 3, "evtcoll \"%s\" return error: %s", evtcoll_name, evtcoll_reply);
    return 0;
}

int evtcoll_close(int pid, int timeout_s, int *status)
{
    if (pid < 0) {
        errno = EINVAL;
        return -1;
    }
    int result = 0;
    int wstatus = 0;
    bool blocked = false;
    // End of input first: a script that reads until then ends at once
    // instead of after the whole time-out.
    if (wf) {
        int rc, err;
        {
            SigpipeGuard guard; // a failed line may still sit in the buffer
            rc = fclose(wf);
            err = errno;
        }
        if (rc != 0)
            tirsklog_r(nullptr, 3, "evtcoll: fclose(wf) failed -> %s\n", ErrText(err).text);
        wf = nullptr;
        evtcoll_evt_pipe[1] = -1;
    }
    if (timeout_s < 1) {
        if (waitpid(pid, &wstatus, kWaitOptions) == pid)
            note_end(pid, wstatus, status);
    } else {
        sigset_t chld, old;
        sigemptyset(&chld);
        sigaddset(&chld, SIGCHLD);
        int err = pthread_sigmask(SIG_BLOCK, &chld, &old);
        if (err != 0)
            tirsklog_r(nullptr, 3, "evtcoll: sigprocmask(%s) failed with #%d(%s)", "SIG_BLOCK", err,
                       ErrText(err).text);
        blocked = err == 0;
        // Keeps SIGCHLD blocked afterwards when the caller had it blocked.
        bool was_blocked = blocked && sigismember(&old, SIGCHLD) == 1;

        result = wait_for_end(pid, timeout_s, status, &wstatus);
        waitpid(pid, &wstatus, kWaitOptions); // reaps a script that has ended

        if (blocked && !was_blocked) {
            err = pthread_sigmask(SIG_UNBLOCK, &chld, nullptr);
            if (err != 0)
                tirsklog_r(nullptr, 3, "evtcoll: sigprocmask(%s) failed with #%d(%s)", "SIG_UNBLOCK",
                           err, ErrText(err).text);
        }
    }
    if (verbose_at(2))
        tirsklog_r(nullptr, 7, "(D) evtcoll: exiting, ret %d,  sigchld_blocked %d, status %d\n", result,
                   blocked ? 1 : 0, wstatus);

    if (rf) {
        if (fclose(rf) != 0)
            tirsklog_r(nullptr, 3, "evtcoll: fclose(rf) failed -> %s\n", ErrText(errno).text);
        rf = nullptr;
        evtcoll_reply_pipe[0] = -1;
    }
    close_pipes();
    return result;
}

} // extern "C"
