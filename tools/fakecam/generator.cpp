// The frame generator: one thread for all devices.  It draws a frame for
// every open device when the device's period is due, and every 50 ms picks
// up the command files of the control directory.
#include "fakecam.h"

#include <dirent.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace fakecam {

namespace {

constexpr int64_t CTL_PERIOD_US = 50'000;
constexpr size_t MAX_CTL_FILE = 64 * 1024;

std::mutex g_gen_mu;
// A pointer, so that a forked child can start over with a fresh one: the
// parent's waiting thread does not exist there, and waking a condition
// variable that still counts it as a waiter can block.
std::condition_variable *g_gen_cv = nullptr; // set by generator_start
bool g_wake = false;
bool g_stop = false;
bool g_done = false;
// The thread is starting or making frames, rather than waiting.  A fork
// waits until it is false: while busy, the thread may hold locks we cannot
// see (the allocator's, when the sanitizer runtime does not guard them
// across fork), and a child that inherits one locked for ever deadlocks its
// own generator on its first allocation.
bool g_busy = false;
pid_t g_gen_pid = 0; // process in which the thread runs
pthread_t g_thread{};

bool device_wants_frames(Device &d, DeviceConfig &cfg)
{
    std::lock_guard lk(d.mu);
    cfg = d.cfg;
    return !d.handles.empty() && !d.cfg.missing && !d.stalled;
}

void produce_due_frames(int64_t now, int64_t &earliest)
{
    for (auto &dp : devices()) {
        Device &d = *dp;
        DeviceConfig cfg;
        if (!device_wants_frames(d, cfg)) {
            d.next_due_us = 0; // first frame comes at once after an open
            continue;
        }
        int64_t period = std::max<int64_t>(1000, int64_t(1e6 / cfg.fps));
        if (d.next_due_us == 0)
            d.next_due_us = now;
        if (now >= d.next_due_us) {
            d.painter.render(cfg, now, d.back);
            publish(d, d.back);
            d.next_due_us += period;
            // A thread that fell behind skips frames rather than bursting.
            if (d.next_due_us <= now)
                d.next_due_us = now + period;
        }
        earliest = std::min(earliest, d.next_due_us);
    }
}

void apply_file(const std::string &path, std::string_view target)
{
    FILE *f = std::fopen(path.c_str(), "re");
    if (!f)
        return;
    std::string text(MAX_CTL_FILE, '\0');
    size_t n = std::fread(text.data(), 1, text.size(), f);
    std::fclose(f);
    text.resize(n);
    // Removed only once applied: fakecamctl waits for the file to go.
    struct Unlink {
        const std::string &p;
        ~Unlink() { unlink(p.c_str()); }
    } unlink_after{path};

    std::vector<Device *> targets;
    if (target == "all") {
        for (auto &d : devices())
            targets.push_back(d.get());
    } else if (Device *d = find_device(target)) {
        targets.push_back(d);
    } else {
        std::fprintf(
            stderr,
            "fakecam: control file for unknown device \"%.*s\" ignored\n",
            int(target.size()), target.data());
        return;
    }
    std::string_view rest = text;
    while (!rest.empty()) {
        size_t nl = rest.find('\n');
        std::string_view line = rest.substr(0, nl);
        rest = nl == std::string_view::npos ? std::string_view{}
                                            : rest.substr(nl + 1);
        Command c;
        std::string err;
        int r = parse_command(line, c, err);
        if (r < 0)
            std::fprintf(stderr, "fakecam: %.*s: %s; ignored\n",
                         int(target.size()), target.data(), err.c_str());
        if (r <= 0)
            continue;
        for (Device *d : targets)
            apply_command(*d, c);
    }
}

void *generator_main(void *)
{
    int64_t last_ctl = 0;
    for (;;) {
        int64_t now = mono_us();
        int64_t earliest = now + CTL_PERIOD_US;
        produce_due_frames(now, earliest);
        if (now - last_ctl >= CTL_PERIOD_US) {
            poll_ctl_dir();
            events_flush();
            last_ctl = now;
        }
        earliest = std::min(earliest, last_ctl + CTL_PERIOD_US);

        std::unique_lock lk(g_gen_mu);
        g_busy = false;
        g_gen_cv->notify_all(); // a fork waiting for us to be idle
        if (g_stop)
            break;
        int64_t wait = earliest - mono_us();
        if (!g_wake && wait > 0)
            g_gen_cv->wait_for(lk, std::chrono::microseconds(wait),
                               [] { return g_wake || g_stop; });
        g_wake = false;
        if (g_stop)
            break;
        g_busy = true;
    }
    std::lock_guard lk(g_gen_mu);
    g_done = true;
    g_gen_cv->notify_all();
    return nullptr;
}

} // namespace

void poll_ctl_dir()
{
    const std::string &dir = ctl_dir();
    DIR *dp = opendir(dir.c_str());
    if (!dp)
        return;
    std::vector<std::string> names;
    while (dirent *e = readdir(dp))
        if (e->d_name[0] != '.')
            names.emplace_back(e->d_name);
    closedir(dp);
    // Writers name files "<device>.<time>.<pid>": name order is time order.
    std::sort(names.begin(), names.end());
    for (const std::string &n : names) {
        std::string path = dir + "/" + n;
        struct stat st {};
        if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        apply_file(path, std::string_view(n).substr(0, n.find('.')));
    }
}

void generator_start()
{
    std::lock_guard lk(g_gen_mu);
    if (g_gen_pid == getpid())
        return;
    g_stop = g_done = g_wake = false;
    // Busy from before its creation: the thread's own start-up allocates.
    g_busy = true;
    if (!g_gen_cv)
        g_gen_cv = new std::condition_variable;
    // The host process decides which of its threads takes signals; ours
    // takes none.
    sigset_t all, old;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &old);
    int r = pthread_create(&g_thread, nullptr, generator_main, nullptr);
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    if (r != 0) {
        std::fprintf(stderr, "fakecam: cannot start the frame generator: %s\n",
                     std::strerror(r));
        g_busy = false;
        return;
    }
    // Named, so that benchmarks can leave the simulator's work out of the
    // CPU time of the program they measure.
    pthread_setname_np(g_thread, "fakecam-gen");
    pthread_detach(g_thread);
    g_gen_pid = getpid();
}

void generator_wake()
{
    // After a fork the child has no generator thread yet.
    if (g_gen_pid != getpid())
        generator_start();
    std::lock_guard lk(g_gen_mu);
    g_wake = true;
    g_gen_cv->notify_all();
}

bool generator_stop()
{
    std::unique_lock lk(g_gen_mu);
    if (g_gen_pid != getpid())
        return true;
    g_stop = true;
    g_gen_cv->notify_all();
    // Never hang the exit of the host process on our thread.
    // g_gen_pid stays: nothing restarts the thread while the process exits.
    return g_gen_cv->wait_for(lk, std::chrono::seconds(1),
                              [] { return g_done; });
}

void generator_fork_prepare()
{
    std::unique_lock lk(g_gen_mu);
    // The child then starts from a thread that was idle, holding nothing.
    if (g_gen_pid == getpid())
        g_gen_cv->wait(lk, [] { return !g_busy; });
    lk.release(); // held across the fork
}
void generator_fork_parent()
{
    g_gen_mu.unlock();
}
void generator_fork_child()
{
    g_gen_cv = new std::condition_variable; // the old one is abandoned
    g_gen_mu.unlock();
}

} // namespace fakecam
