// The RTSP test server (tools/rtspcam) in a directory of the test's: 25
// pictures a second of the given size on a background colour (RRGGBB),
// over TCP only if asked; its control pipe and output in that directory.
#pragma once

#include <memory>
#include <string>

#include "process.h"

namespace testsupport {

class RtspServer {
public:
    // Starts the server on a free port; ok() once it listens.
    RtspServer(const std::string &dir, const std::string &size = "704x576",
               const std::string &colour = "2060c0", bool tcp_only = false);
    ~RtspServer() { kill(); }
    bool ok() const { return port_ > 0; }
    std::string url(const std::string &codec) const // "mjpeg", "h264" or "vp8"
    {
        return "rtsp://127.0.0.1:" + std::to_string(port_) + "/" + codec;
    }
    // Sends a control command ("stall", "up"...) and waits until the server
    // took it; "up" also until it listens again.
    bool command(const std::string &line, int timeout_ms = 10000);
    void kill() { child_.reset(); }     // SIGKILL at once, with its group
    bool start(int timeout_ms = 10000); // again, on the same port
    std::string output() const { return read_file(dir_ + "/rtspcam.out"); }

private:
    size_t count(const std::string &line) const; // lines of its output equal to line
    std::string dir_;
    std::vector<std::string> argv_;
    int port_ = 0;
    std::unique_ptr<Child> child_;
};

} // namespace testsupport
