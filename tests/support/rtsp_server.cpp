#include "rtsp_server.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <sstream>

namespace testsupport {

RtspServer::RtspServer(const std::string &dir, const RtspServerConfig &config, int timeout_ms)
    : dir_(dir), config_(config)
{
    start(timeout_ms);
}

// Lines of its output equal to line.
size_t RtspServer::count(const std::string &line) const
{
    std::istringstream in(output());
    size_t n = 0;
    for (std::string l; std::getline(in, l);)
        n += l == line;
    return n;
}

bool RtspServer::start(int timeout_ms)
{
    kill();
    std::vector<std::string> argv = {tool_path("tools/rtspcam/rtspcam"), "-s", config_.size, "-r",
                                     std::to_string(config_.fps), "-c", config_.colour, "-C", path(".ctl")};
    if (port_ > 0)
        argv.insert(argv.end(), {"-p", std::to_string(port_)});
    if (config_.tcp_only)
        argv.push_back("-t");
    if (!config_.label.empty())
        argv.insert(argv.end(), {"-l", config_.label});
    child_ = std::make_unique<Child>(argv, std::vector<std::string>{}, path(".out"), path(".err"));
    // A port given back by the kernel may be taken by another program
    // meanwhile: the server then exits.
    wait_until(timeout_ms, [&] { return count("ready") > 0 || !child_->running(); });
    const std::string text = output();
    port_ = count("ready") > 0 ? atoi(text.c_str() + text.find(':', 7) + 1) : 0;
    return port_ > 0;
}

void RtspServer::kill()
{
    if (child_) {
        child_->signal(SIGKILL);
        child_->wait(5000, nullptr);
        child_.reset();
    }
}

bool RtspServer::command(const std::string &line, int timeout_ms)
{
    const size_t oks = count("ok " + line), ups = count("up");
    const int fd = open(path(".ctl").c_str(), O_WRONLY | O_NONBLOCK);
    if (fd < 0)
        return false; // not running
    const std::string text = line + "\n";
    const bool sent = write(fd, text.data(), text.size()) == ssize_t(text.size());
    close(fd);
    if (!sent || !wait_until(timeout_ms, [&] { return count("ok " + line) > oks; }))
        return false;
    if (line != "up" && line.rfind("restart", 0) != 0)
        return true;
    const double delay = line == "up" ? 0 : line == "restart" ? 1 : atof(line.c_str() + 8);
    return wait_until(timeout_ms + int(delay * 1000), [&] { return count("up") > ups; });
}

} // namespace testsupport
