// Frame statistics written at exit and the optional per-frame event log.
#include "fakecam.h"

#include <unistd.h>

#include <bit>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace fakecam {

int64_t mono_us()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1'000'000 + ts.tv_nsec / 1000;
}

void Stats::add_latency(int64_t us)
{
    uint64_t v = us < 0 ? 0 : uint64_t(us);
    lat_sum_us += v;
    lat_max_us = std::max(lat_max_us, v);
    lat_min_us = std::min(lat_min_us, v);
    // Bucket i holds [2^(i-1), 2^i) microseconds, bucket 0 holds 0.
    size_t b = std::min<size_t>(std::bit_width(v), LAT_BUCKETS - 1);
    ++lat_hist[b];
}

std::string expand_pid(const char *path)
{
    std::string out;
    for (const char *p = path; *p; ++p) {
        if (p[0] == '%' && p[1] == 'p') {
            out += std::to_string(getpid());
            ++p;
        } else {
            out += *p;
        }
    }
    return out;
}

namespace {
std::mutex g_events_mu;
FILE *g_events = nullptr;
} // namespace

void events_open(const char *path)
{
    std::lock_guard lk(g_events_mu);
    if (g_events)
        return;
    std::string p = expand_pid(path);
    g_events = std::fopen(p.c_str(), "we");
    if (!g_events)
        std::fprintf(stderr, "fakecam: cannot write event log \"%s\": %s\n",
                     p.c_str(), std::strerror(errno));
}

void event_ready(const std::string &dev, uint32_t seq, int64_t t_us)
{
    std::lock_guard lk(g_events_mu);
    if (g_events)
        std::fprintf(g_events, "%" PRId64 " ready %s %u\n", t_us, dev.c_str(),
                     seq);
}

void event_read(const std::string &dev, uint32_t seq, int64_t t_us,
                size_t bytes)
{
    std::lock_guard lk(g_events_mu);
    if (g_events)
        std::fprintf(g_events, "%" PRId64 " read %s %u %zu\n", t_us,
                     dev.c_str(), seq, bytes);
}

void events_fork_prepare()
{
    g_events_mu.lock();
}
void events_fork_release()
{
    g_events_mu.unlock();
}

void events_flush()
{
    std::lock_guard lk(g_events_mu);
    if (g_events)
        std::fflush(g_events);
}

void write_stats(const char *path)
{
    std::string p = expand_pid(path);
    FILE *f = std::fopen(p.c_str(), "we");
    if (!f) {
        std::fprintf(stderr, "fakecam: cannot write statistics \"%s\": %s\n",
                     p.c_str(), std::strerror(errno));
        return;
    }
    std::fprintf(f, "# fakecam statistics of process %d\n", int(getpid()));
    for (auto &dp : devices()) {
        Device &d = *dp;
        // The process is exiting: never wait for a lock another thread may
        // hold for ever (a reader interrupted by the exit, say).
        std::unique_lock lk(d.mu, std::defer_lock);
        bool locked = false;
        for (int i = 0; i < 100 && !(locked = lk.try_lock()); ++i)
            usleep(1000);
        if (!locked) {
            std::fprintf(f, "%s busy\n", d.cfg.name.c_str());
            continue;
        }
        const Stats &s = d.stats;
        std::fprintf(
            f,
            "%s cam=%d format=%s size=%ux%u fps=%g buffers=%u opens=%" PRIu64
            " refused=%" PRIu64 " produced=%" PRIu64 " delivered=%" PRIu64
            " skipped=%" PRIu64 " shortreads=%" PRIu64 " eagain=%" PRIu64
            " hangups=%" PRIu64,
            d.cfg.name.c_str(), d.cfg.cam,
            std::string(fmt_name(d.cfg.fmt)).c_str(), d.cfg.width, d.cfg.height,
            d.cfg.fps, d.cfg.buffers, s.opens, s.open_refused, s.produced, s.delivered,
            s.skipped, s.short_reads, s.eagain, s.hangups);
        if (s.delivered) {
            std::fprintf(f,
                         " lat_min_us=%" PRIu64 " lat_avg_us=%" PRIu64
                         " lat_max_us=%" PRIu64 " lat_hist_us=",
                         s.lat_min_us, s.lat_sum_us / s.delivered,
                         s.lat_max_us);
            const char *sep = "";
            for (int i = 0; i < LAT_BUCKETS; ++i) {
                if (!s.lat_hist[size_t(i)])
                    continue;
                uint64_t lo = i == 0 ? 0 : uint64_t(1) << (i - 1);
                std::fprintf(f, "%s%" PRIu64 ":%" PRIu64, sep, lo,
                             s.lat_hist[size_t(i)]);
                sep = ",";
            }
        }
        std::fputc('\n', f);
    }
    std::fclose(f);
}

} // namespace fakecam
