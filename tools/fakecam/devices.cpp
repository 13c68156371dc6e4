// Device table and the emulated open, ioctl, read and close.
#include "fakecam.h"

#include <fcntl.h>
#include <linux/videodev2.h>
#include <pthread.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace fakecam {

static_assert(FMT_I420 == V4L2_PIX_FMT_YUV420 &&
              FMT_GREY == V4L2_PIX_FMT_GREY && FMT_YUYV == V4L2_PIX_FMT_YUYV);

namespace {

constexpr std::string_view DEV_PREFIX = "/dev/video";

std::once_flag g_init_once;
bool g_active = false;
pid_t g_init_pid = 0;
// The process-wide state below is created on first use and never
// destroyed: other libraries' constructors and destructors may call
// open() or close() before our own initialisers ran or after exit began.
struct Globals {
    std::vector<std::unique_ptr<Device>> devices;
    std::string ctl_dir;
    std::string stats_path;
    std::vector<std::shared_ptr<Handle>> handles; // under g_fd_mu
};
Globals &G()
{
    static Globals *g = new Globals;
    return *g;
}

// Open emulated descriptors.  The count lets every call on an ordinary
// descriptor skip the lock.
std::mutex g_fd_mu;
std::atomic<int> g_nhandles{0};

// A fork must not leave a lock held by another thread locked for ever in
// the child, where a close() of an inherited descriptor would then hang.
void fork_prepare()
{
    generator_fork_prepare();
    g_fd_mu.lock();
    for (auto &d : G().devices)
        d->mu.lock();
    events_fork_prepare();
}
void fork_unlock_devices()
{
    events_fork_release();
    for (auto it = G().devices.rbegin(); it != G().devices.rend(); ++it)
        (*it)->mu.unlock();
    g_fd_mu.unlock();
}
void fork_parent()
{
    fork_unlock_devices();
    generator_fork_parent();
}
void fork_child()
{
    fork_unlock_devices();
    generator_fork_child();
}

std::string default_ctl_dir(const char *config)
{
    std::string s = config;
    size_t slash = s.rfind('/');
    return (slash == std::string::npos ? std::string(".")
                                       : s.substr(0, slash)) +
           "/ctl";
}

void init()
{
    const char *config = std::getenv("FAKECAM_CONFIG");
    if (!config || !*config)
        return;
    std::vector<DeviceConfig> cfgs;
    load_config(config, cfgs); // an unreadable file leaves no devices
    for (DeviceConfig &c : cfgs) {
        auto d = std::make_unique<Device>();
        d->cfg = std::move(c);
        G().devices.push_back(std::move(d));
    }
    const char *ctl = std::getenv("FAKECAM_CTL_DIR");
    G().ctl_dir = ctl && *ctl ? std::string(ctl) : default_ctl_dir(config);
    if (mkdir(G().ctl_dir.c_str(), 0777) != 0 && errno != EEXIST)
        std::fprintf(stderr,
                     "fakecam: cannot create control directory \"%s\": %s\n",
                     G().ctl_dir.c_str(), std::strerror(errno));
    if (const char *s = std::getenv("FAKECAM_STATS"); s && *s)
        G().stats_path = s;
    if (const char *e = std::getenv("FAKECAM_EVENTS"); e && *e)
        events_open(e);
    pthread_atfork(fork_prepare, fork_parent, fork_child);
    g_init_pid = getpid();
    g_active = true;
}

void set_cloexec(int fd, bool on)
{
    int f = fcntl(fd, F_GETFD);
    if (f >= 0)
        fcntl(fd, F_SETFD, on ? (f | FD_CLOEXEC) : (f & ~FD_CLOEXEC));
}

void set_nonblock(int fd)
{
    int f = fcntl(fd, F_GETFL);
    if (f >= 0)
        fcntl(fd, F_SETFL, f | O_NONBLOCK);
}

// Cuts one descriptor off its device.  The library's end holds an unread
// byte, so closing it resets the connection: the application's end then
// reports EPOLLERR | EPOLLHUP until it is closed.  Called with d.mu held.
void hang(Handle &h, int err)
{
    if (h.dead)
        return;
    h.dead = err;
    if (h.peer >= 0) {
        real::close(h.peer);
        h.peer = -1;
    }
}

void unregister(const std::shared_ptr<Handle> &h)
{
    {
        std::lock_guard lk(g_fd_mu);
        auto it = std::find(G().handles.begin(), G().handles.end(), h);
        if (it == G().handles.end())
            return;
        G().handles.erase(it);
        g_nhandles.store(int(G().handles.size()), std::memory_order_release);
    }
    Device &d = *h->dev;
    std::lock_guard lk(d.mu);
    std::erase(d.handles, h);
    if (h->peer >= 0) {
        real::close(h->peer);
        h->peer = -1;
    }
}

// The program no longer has fd; its last descriptor releases the handle.
void forget(const std::shared_ptr<Handle> &h, int fd)
{
    {
        std::lock_guard lk(g_fd_mu);
        std::erase(h->fds, fd);
        if (!h->fds.empty())
            return;
    }
    unregister(h);
    std::lock_guard lk(h->dev->mu);
    h->mapped.reset();
    if (h->fd >= 0) {
        real::close(h->fd);
        h->fd = -1;
    }
}

size_t frame_size(const DeviceConfig &c)
{
    return geometry(c.fmt, c.width, c.height).sizeimage;
}

} // namespace

bool active()
{
    std::call_once(g_init_once, init);
    return g_active;
}

bool owns_path(const char *path)
{
    return path &&
           std::strncmp(path, DEV_PREFIX.data(), DEV_PREFIX.size()) == 0 &&
           active();
}

std::vector<std::unique_ptr<Device>> &devices()
{
    return G().devices;
}

Device *find_device(std::string_view name)
{
    for (auto &d : G().devices)
        if (d->cfg.name == name)
            return d.get();
    return nullptr;
}

const std::string &ctl_dir()
{
    return G().ctl_dir;
}

int emu_open(const char *path, int flags)
{
    Device *d = find_device(std::string_view(path).substr(5));
    if (!d) {
        errno = ENOENT;
        return -1;
    }
    {
        std::lock_guard lk(d->mu);
        if (d->cfg.missing || d->cfg.fail == Fail::open) {
            ++d->stats.open_refused;
            errno = d->cfg.missing ? ENOENT : EIO;
            return -1;
        }
    }
    int sv[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0)
        return -1;
    auto h = std::make_shared<Handle>();
    h->fds = {sv[0]};
    h->peer = sv[1];
    h->dev = d;
    set_cloexec(sv[0], flags & O_CLOEXEC);
    if (flags & O_NONBLOCK)
        set_nonblock(sv[0]);
    set_nonblock(h->peer);
    // The byte that makes closing the library's end a connection reset.
    struct stat st {};
    h->fd = fcntl(sv[0], F_DUPFD_CLOEXEC, 0);
    if (h->fd < 0 || send(h->fd, "h", 1, MSG_DONTWAIT | MSG_NOSIGNAL) != 1 ||
        fstat(h->fd, &st) != 0) {
        int e = errno;
        real::close(sv[0]);
        real::close(sv[1]);
        if (h->fd >= 0)
            real::close(h->fd);
        errno = e;
        return -1;
    }
    h->st_dev = st.st_dev;
    h->st_ino = st.st_ino;
    // The queue's buffers are allocated here, outside the device's lock.
    DeviceConfig cfg;
    {
        std::lock_guard lk(d->mu);
        cfg = d->cfg;
    }
    h->queue.set_depth(cfg.buffers, frame_size(cfg));
    {
        std::lock_guard lk(g_fd_mu);
        G().handles.push_back(h);
        g_nhandles.store(int(G().handles.size()), std::memory_order_release);
    }
    {
        std::lock_guard lk(d->mu);
        // A buffers command may have come meanwhile.
        if (h->queue.depth() != d->cfg.buffers)
            h->queue.set_depth(d->cfg.buffers, frame_size(d->cfg));
        // Only frames made after the open are queued for it.
        d->handles.push_back(h);
        ++d->stats.opens;
    }
    generator_wake();
    return sv[0];
}

int emu_stat(const char *path, struct stat *st)
{
    Device *d = find_device(std::string_view(path).substr(5));
    if (d) {
        std::lock_guard lk(d->mu);
        if (d->cfg.missing)
            d = nullptr;
    }
    if (!d) {
        errno = ENOENT;
        return -1;
    }
    if (st) {
        *st = {};
        st->st_mode = S_IFCHR | 0660;
        st->st_nlink = 1;
        st->st_blksize = 4096;
        // Video devices have major 81; the minor is the device's number.
        st->st_rdev =
            makedev(81, std::strtoul(path + DEV_PREFIX.size(), nullptr, 10));
    }
    return 0;
}

std::shared_ptr<Handle> find_handle(int fd)
{
    if (fd < 0 || g_nhandles.load(std::memory_order_acquire) == 0)
        return nullptr;
    std::shared_ptr<Handle> h;
    {
        std::lock_guard lk(g_fd_mu);
        for (auto &x : G().handles)
            if (std::find(x->fds.begin(), x->fds.end(), fd) != x->fds.end()) {
                h = x;
                break;
            }
    }
    if (!h)
        return nullptr;
    // A descriptor closed by other means (dup2 over it, close_range) may
    // now be something else: forget the stale entry.
    struct stat st {};
    if (fstat(fd, &st) != 0 || st.st_dev != h->st_dev ||
        st.st_ino != h->st_ino) {
        forget(h, fd);
        return nullptr;
    }
    return h;
}

ssize_t emu_read(const std::shared_ptr<Handle> &h, void *buf, size_t count,
                 uint32_t *seq, int64_t *ready_us)
{
    Device &d = *h->dev;
    {
        std::lock_guard lk(d.mu);
        if (h->dead) {
            errno = h->dead;
            return -1;
        }
    }
    if (count == 0)
        return 0;
    // Wait for the readiness byte the way the descriptor is set up:
    // blocking, or EAGAIN with O_NONBLOCK.  The byte is only peeked at: it
    // stays while more frames are queued, so the descriptor stays readable.
    char tok[16];
    ssize_t r = recv(h->fd, tok, 1, MSG_PEEK);
    std::lock_guard lk(d.mu);
    if (r <= 0) {
        if (r < 0 && errno == EAGAIN)
            ++d.stats.eagain;
        if (h->dead)
            errno = h->dead;
        else if (r == 0 || errno == ECONNRESET)
            errno = EIO;
        return -1;
    }
    if (h->dead) {
        errno = h->dead;
        return -1;
    }
    if (h->queue.empty()) {
        // Another thread read the last frame between our wait and the lock.
        errno = EAGAIN;
        return -1;
    }
    const Slot &f = h->queue.front();
    size_t n = std::min(count, f.data.size());
    if (d.short_armed) {
        n = std::min(n, d.short_bytes ? d.short_bytes : f.data.size() / 2);
        d.short_armed = false;
        ++d.stats.short_reads;
    }
    std::memcpy(buf, f.data.data(), n);
    if (seq) {
        *seq = f.seq;
        *ready_us = f.ready_us;
    }
    int64_t now = mono_us();
    ++d.stats.delivered;
    d.stats.add_latency(now - f.ready_us);
    event_read(d.cfg.name, f.seq, now, n);
    h->queue.pop();
    if (h->queue.empty()) {
        while (recv(h->fd, tok, sizeof tok, MSG_DONTWAIT) > 0) {
        }
        h->token_pending = false;
    }
    return ssize_t(n);
}

int emu_dup(const std::shared_ptr<Handle> &h, int fd)
{
    std::lock_guard lk(g_fd_mu);
    h->fds.push_back(fd);
    return fd;
}

int emu_close(const std::shared_ptr<Handle> &h, int fd)
{
    forget(h, fd);
    return real::close(fd);
}

void apply_command(Device &d, const Command &c)
{
    std::lock_guard lk(d.mu);
    DeviceConfig &cfg = d.cfg;
    switch (c.cmd) {
    case Cmd::nosignal:
        cfg.nosignal = c.flag;
        break;
    case Cmd::stall:
        d.stalled = true;
        break;
    case Cmd::resume:
        d.stalled = false;
        break;
    case Cmd::hangup:
        for (auto &h : d.handles)
            if (!h->dead) {
                hang(*h, EIO);
                ++d.stats.hangups;
            }
        break;
    case Cmd::vanish:
        // An unplugged device: gone for new opens, open descriptors hang up
        // and fail with ENODEV.
        cfg.missing = true;
        for (auto &h : d.handles) {
            if (!h->dead)
                ++d.stats.hangups;
            hang(*h, ENODEV);
        }
        break;
    case Cmd::back:
        cfg.missing = false;
        break;
    case Cmd::shortread:
        d.short_armed = true;
        d.short_bytes = c.bytes;
        break;
    case Cmd::format:
    case Cmd::size: {
        uint32_t fmt = c.cmd == Cmd::format ? c.fmt : cfg.fmt;
        unsigned w = c.cmd == Cmd::size ? c.w : cfg.width;
        unsigned hh = c.cmd == Cmd::size ? c.h : cfg.height;
        if (geometry(fmt, w, hh).sizeimage > MAX_FRAME_BYTES) {
            std::fprintf(stderr,
                         "fakecam: %s: frame of %ux%u is too large; ignored\n",
                         cfg.name.c_str(), w, hh);
            break;
        }
        cfg.fmt = fmt;
        cfg.width = w;
        cfg.height = hh;
        break;
    }
    case Cmd::fps:
        cfg.fps = c.fps;
        break;
    case Cmd::cam:
        cfg.cam = c.cam;
        break;
    case Cmd::fail:
        cfg.fail = c.fail;
        break;
    case Cmd::buffers:
        // Open descriptors change at once: the oldest frames beyond the new
        // depth are dropped, and the readiness stays right as a queue that
        // held frames keeps at least one.
        cfg.buffers = c.buffers;
        for (auto &h : d.handles)
            d.stats.skipped += h->queue.set_depth(c.buffers, frame_size(cfg));
        break;
    }
}

void publish(Device &d, std::vector<uint8_t> &rendered)
{
    std::lock_guard lk(d.mu);
    // The frame may be of an old format if a command changed it meanwhile.
    if (rendered.size() != frame_size(d.cfg))
        return;
    int64_t now = mono_us();
    uint32_t seq = d.seq + 1;
    stamp_trailer(rendered, geometry(d.cfg.fmt, d.cfg.width, d.cfg.height), seq,
                  d.cfg.cam, now);
    d.seq = seq;
    ++d.stats.produced;
    // Every live descriptor queues the frame; the last one takes the
    // rendered buffer itself and hands a spare one back for the next frame.
    size_t last = d.handles.size();
    for (size_t i = 0; i < d.handles.size(); ++i)
        if (!d.handles[i]->dead && d.handles[i]->peer >= 0)
            last = i;
    for (size_t i = 0; i < d.handles.size(); ++i) {
        Handle &h = *d.handles[i];
        if (h.dead || h.peer < 0)
            continue;
        if (h.queue.push(rendered, i == last, seq, now))
            ++d.stats.skipped; // the oldest queued frame was overwritten
        if (!h.token_pending &&
            send(h.peer, "f", 1, MSG_DONTWAIT | MSG_NOSIGNAL) == 1)
            h.token_pending = true;
    }
    event_ready(d.cfg.name, seq, now);
}

// Process exit: stop the generator and leave the statistics.  Everything
// else stays allocated, as other destructors may still use a descriptor.
// Runs once, from whichever comes first: the library's destructor, or
// _exit(), by which a program may end without running destructors.
void finish_process()
{
    static std::atomic<bool> done{false};
    if (!g_active || g_init_pid != getpid() || done.exchange(true))
        return;
    generator_stop();
    events_flush();
    if (!G().stats_path.empty())
        write_stats(G().stats_path.c_str());
}

__attribute__((destructor)) static void fakecam_fini() { finish_process(); }

} // namespace fakecam
