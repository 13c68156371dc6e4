// The RTSP test server (tools/rtspcam) run by a test or benchmark in its
// own temporary directory.
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
    // Starts the server in dir on a free port and waits at most timeout_ms
    // until it listens; ok() tells whether it did.
    RtspServer(const std::string &dir, const RtspServerConfig &config = {},
               int timeout_ms = 10000);
    ~RtspServer(); // kills it
    RtspServer(const RtspServer &) = delete;
    RtspServer &operator=(const RtspServer &) = delete;

    bool ok() const { return port_ > 0; }
    int port() const { return port_; }
    // URL of a codec's stream: "mjpeg", "h264" or "vp8".
    std::string url(const std::string &codec) const;

    // Sends a control command ("stall", "restart 2"...) and waits until
    // the server took it.  "up" and "restart" also wait until it listens
    // again (at most timeout_ms plus the restart's own delay).
    bool command(const std::string &line, int timeout_ms = 10000);
    // Kills the process at once (SIGKILL) / starts it again on the same
    // port and waits until it listens.
    void kill();
    bool start(int timeout_ms = 10000);
    std::string output() const;

private:
    size_t count(const std::string &line) const;
    std::string dir_;
    RtspServerConfig config_;
    int port_ = 0;
    std::unique_ptr<Child> child_;
};

} // namespace testsupport
