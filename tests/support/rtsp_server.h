// The RTSP test server (tools/rtspcam) in a directory of the test's.
#pragma once

#include <memory>
#include <string>

#include "process.h"

namespace testsupport {

struct RtspServerConfig {
    std::string name = "rtspcam"; // its files in dir: NAME.ctl, NAME.out, NAME.err
    std::string size = "704x576";
    int fps = 25;
    std::string colour = "2060c0"; // background, RRGGBB
    bool tcp_only = false;
    std::string label;             // text in the picture
};

class RtspServer {
public:
    // Starts the server on a free port; ok() once it listens (at most
    // timeout_ms).
    RtspServer(const std::string &dir, const RtspServerConfig &config = {}, int timeout_ms = 10000);
    ~RtspServer() { kill(); }
    RtspServer(const RtspServer &) = delete;
    RtspServer &operator=(const RtspServer &) = delete;
    bool ok() const { return port_ > 0; }
    int port() const { return port_; }
    std::string url(const std::string &codec) const // "mjpeg", "h264" or "vp8"
    {
        return "rtsp://127.0.0.1:" + std::to_string(port_) + "/" + codec;
    }
    // Sends a control command ("stall", "restart 2"...) and waits until the
    // server took it; "up" and "restart" also until it listens again.
    bool command(const std::string &line, int timeout_ms = 10000);
    void kill();                        // SIGKILL at once
    bool start(int timeout_ms = 10000); // again, on the same port
    std::string output() const { return read_file(path(".out")); }

private:
    std::string path(const char *ext) const { return dir_ + "/" + config_.name + ext; }
    size_t count(const std::string &line) const;
    std::string dir_;
    RtspServerConfig config_;
    int port_ = 0;
    std::unique_ptr<Child> child_;
};

} // namespace testsupport
