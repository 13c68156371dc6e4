// Helpers of the capture-emulator tests: each test runs its body in a child
// process with libfakecam.so preloaded, and talks to the devices with the
// same plain calls the viewer uses.
#pragma once

#include <fcntl.h>
#include <linux/videodev2.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "harness.h"

using testsupport::in_preloaded_child;
using testsupport::run_preloaded;

// Runs a program without the preload; its exit status, output in *out.
inline int run_program(const std::vector<std::string> &argv, std::string *out = nullptr)
{
    const testsupport::RunResult r = testsupport::run(argv, {"LD_PRELOAD="}, 60000);
    if (out)
        *out = r.out + r.err;
    return r.status;
}

namespace fk {

inline const std::string LIB =
    std::string(TIRSK_BINARY_DIR) + "/tools/fakecam/libfakecam.so";
inline const std::string CTL =
    std::string(TIRSK_BINARY_DIR) + "/tools/fakecam/fakecamctl";

// The current test, run in a child under the preload with its own
// configuration file in a fresh directory.  In the parent the child has
// already finished when the constructor returns.
class Child {
public:
    explicit Child(const std::string &config, std::vector<std::string> env = {})
    {
        if (in_preloaded_child())
            return;
        parent_ = true;
        char tmpl[] = "/tmp/fakecam-test-XXXXXX";
        dir = mkdtemp(tmpl) ? tmpl : "/tmp";
        config_path = dir + "/cams.conf";
        stats_path = dir + "/stats.txt";
        std::ofstream(config_path) << config;
        bool own_config = true;
        for (const std::string &e : env)
            own_config = own_config && e.rfind("FAKECAM_CONFIG=", 0) != 0;
        if (own_config)
            env.push_back("FAKECAM_CONFIG=" + config_path);
        env.push_back("FAKECAM_STATS=" + stats_path);
        run_preloaded(LIB, env, &result);
    }
    ~Child()
    {
        if (parent_ && dir.rfind("/tmp/fakecam-test-", 0) == 0) {
            std::error_code ec;
            std::filesystem::remove_all(dir, ec);
        }
    }
    bool parent() const { return parent_; }
    std::string stats() const
    {
        std::ifstream f(stats_path);
        std::stringstream s;
        s << f.rdbuf();
        return s.str();
    }

    testsupport::RunResult result;
    std::string dir, config_path, stats_path;

private:
    bool parent_ = false;
};

// ---- in the child ----------------------------------------------------------

inline std::string config_path()
{
    const char *c = getenv("FAKECAM_CONFIG");
    return c ? c : "";
}

// Sends a command with fakecamctl; returns its exit status once the
// library picked the command up.
inline int ctl(const std::string &dev, const std::string &command,
               std::string *out = nullptr)
{
    std::vector<std::string> argv = {CTL, "-c", config_path(), dev};
    std::istringstream words(command);
    for (std::string w; words >> w;)
        argv.push_back(w);
    return run_program(argv, out);
}

inline int64_t now_us()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

inline v4l2_format get_format(int fd, unsigned long req = VIDIOC_G_FMT)
{
    v4l2_format f{};
    f.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    EXPECT_EQ(ioctl(fd, req, &f), 0) << strerror(errno);
    return f;
}

// Poll mask of fd after waiting at most timeout_ms (0 = not ready).
inline short wait_ready(int fd, int timeout_ms)
{
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, timeout_ms) == 1 ? p.revents : 0;
}

struct Frame {
    std::vector<uint8_t> data; // what read() returned
    ssize_t n = -1;
    int err = 0;
    bool trailer = false; // "FCAM" found at the end of the luma plane
    uint32_t seq = 0, cam = 0;
    int64_t ready_us = 0;
};

inline uint64_t get_le(const uint8_t *p, int bytes)
{
    uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = v << 8 | p[i];
    return v;
}

// Waits for readability (at most timeout_ms), then reads once with a buffer
// of buf_size; luma_size locates the trailer.
inline Frame read_frame(int fd, size_t buf_size, size_t luma_size,
                        int timeout_ms = 2000)
{
    Frame f;
    if (timeout_ms > 0)
        wait_ready(fd, timeout_ms);
    f.data.resize(buf_size);
    f.n = read(fd, f.data.data(), buf_size);
    f.err = f.n < 0 ? errno : 0;
    f.data.resize(f.n > 0 ? size_t(f.n) : 0);
    if (f.n >= ssize_t(luma_size) && luma_size >= 40) {
        const uint8_t *t = f.data.data() + luma_size - 20;
        f.trailer = memcmp(t, "FCAM", 4) == 0;
        f.seq = uint32_t(get_le(t + 4, 4));
        f.cam = uint32_t(get_le(t + 8, 4));
        f.ready_us = int64_t(get_le(t + 12, 8));
    }
    return f;
}

} // namespace fk
