// Shared by the benchmarks that run the viewer on simulated cameras: their
// command line, the monotonic clock the simulator stamps its events with,
// /proc readings, and the simulator's event log (FAKECAM_EVENTS) turned into
// frames read for display.
#pragma once

#include <dirent.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "process.h"

namespace bench {

using testsupport::read_file;

// The value after flag in "-X value" pairs of the command line, or fallback.
inline double option(int argc, char **argv, const char *flag, double fallback)
{
    for (int i = 1; i + 1 < argc; i += 2)
        if (!strcmp(argv[i], flag))
            return atof(argv[i + 1]);
    return fallback;
}

inline int64_t mono_us()
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return int64_t(t.tv_sec) * 1000000 + t.tv_nsec / 1000;
}

// A kB figure of /proc/PID/status ("VmHWM", "VmRSS"); -1 when absent.
inline long status_kb(pid_t pid, const std::string &field)
{
    const std::string s = read_file("/proc/" + std::to_string(pid) + "/status");
    const size_t at = s.find(field + ":");
    return at == std::string::npos ? -1 : atol(s.c_str() + at + field.size() + 1);
}

// utime + stime in seconds from a /proc .../stat file.
inline double stat_cpu_s(const std::string &path)
{
    const std::string stat = read_file(path);
    const size_t close = stat.rfind(')');
    if (close == std::string::npos)
        return 0;
    std::istringstream in(stat.substr(close + 2));
    std::string field;
    unsigned long long ut = 0, st = 0;
    for (int i = 3; i <= 15 && in >> field; i++) {
        if (i == 14)
            ut = std::stoull(field);
        if (i == 15)
            st = std::stoull(field);
    }
    return double(ut + st) / double(sysconf(_SC_CLK_TCK));
}

// utime + stime of a process, in seconds.
inline double cpu_s(pid_t pid)
{
    return stat_cpu_s("/proc/" + std::to_string(pid) + "/stat");
}

// utime + stime of a process's live threads, in seconds, leaving out the
// threads whose name starts with one of skip (simulated devices and test
// sources that run inside the measured program).
inline double cpu_s_without(pid_t pid, const std::vector<std::string> &skip)
{
    const std::string dir = "/proc/" + std::to_string(pid) + "/task/";
    double sum = 0;
    DIR *d = opendir(dir.c_str());
    if (!d)
        return 0;
    while (dirent *e = readdir(d)) {
        const std::string comm = read_file(dir + e->d_name + "/comm");
        const bool skipped = e->d_name[0] == '.' ||
                             std::any_of(skip.begin(), skip.end(), [&](const std::string &s) {
                                 return comm.rfind(s, 0) == 0;
                             });
        if (!skipped)
            sum += stat_cpu_s(dir + e->d_name + "/stat");
    }
    closedir(d);
    return sum;
}

// Frames read for display within [t0, t1] (microseconds), per device, and
// their latencies from readiness.
struct Reads {
    std::map<std::string, long> per_device;
    std::map<std::string, int64_t> first_us; // first read of each device
    std::vector<int64_t> latency_us;
    long total = 0;
};

// A read that another read of the same device follows within this time was
// read over: the viewer skipped to the newer frame queued behind it.
constexpr int64_t read_over_us = 2000;

inline Reads parse_events(const std::string &path, int64_t t0, int64_t t1)
{
    Reads r;
    std::map<std::pair<std::string, unsigned>, int64_t> ready;
    struct last_read {
        int64_t t;
        long latency_at; // index in latency_us, -1 none
    };
    std::map<std::string, last_read> last;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream ls(line);
        int64_t t;
        std::string what, dev;
        unsigned seq;
        if (!(ls >> t >> what >> dev >> seq))
            continue;
        if (what == "ready") {
            ready[{dev, seq}] = t;
        } else if (what == "read" && t >= t0 && t <= t1) {
            const auto prev = last.find(dev);
            if (prev != last.end() && t - prev->second.t < read_over_us) {
                r.per_device[dev]--;
                r.total--;
                if (prev->second.latency_at >= 0)
                    r.latency_us[size_t(prev->second.latency_at)] = -1;
            }
            if (!r.per_device[dev]++)
                r.first_us[dev] = t;
            r.total++;
            const auto it = ready.find({dev, seq});
            long at = -1;
            if (it != ready.end()) {
                at = long(r.latency_us.size());
                r.latency_us.push_back(t - it->second);
            }
            last[dev] = {t, at};
        }
    }
    std::erase_if(r.latency_us, [](int64_t v) { return v < 0; });
    std::sort(r.latency_us.begin(), r.latency_us.end());
    return r;
}

// Percentile p (0..1) of sorted microseconds, in milliseconds.
inline double percentile(const std::vector<int64_t> &v, double p)
{
    return v.empty() ? 0 : double(v[std::min(v.size() - 1, size_t(p * double(v.size())))]) / 1000.0;
}

} // namespace bench
