#include "rtsp_server.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include "viewer.h"

namespace testsupport {

RtspServer::RtspServer(const std::string &dir, const RtspServerConfig &config,
                       int timeout_ms)
    : dir_(dir), config_(config)
{
    start(timeout_ms);
}

RtspServer::~RtspServer()
{
    kill();
}

std::string RtspServer::url(const std::string &codec) const
{
    return "rtsp://127.0.0.1:" + std::to_string(port_) + "/" + codec;
}

size_t RtspServer::count(const std::string &line) const
{
    const std::string all = "\n" + output(), needle = "\n" + line + "\n";
    size_t n = 0;
    for (size_t at = all.find(needle); at != std::string::npos;
         at = all.find(needle, at + 1))
        n++;
    return n;
}

std::string RtspServer::output() const
{
    return read_file(dir_ + "/" + config_.name + ".out");
}

bool RtspServer::start(int timeout_ms)
{
    kill();
    std::vector<std::string> argv = {tool_path("tools/rtspcam/rtspcam"),
                                     "-s", config_.size, "-r", std::to_string(config_.fps),
                                     "-c", config_.colour,
                                     "-C", dir_ + "/" + config_.name + ".ctl"};
    if (port_ > 0)
        argv.insert(argv.end(), {"-p", std::to_string(port_)});
    if (config_.tcp_only)
        argv.push_back("-t");
    if (!config_.label.empty())
        argv.insert(argv.end(), {"-l", config_.label});
    const std::string out = dir_ + "/" + config_.name + ".out";
    child_ = std::make_unique<Child>(argv, std::vector<std::string>{}, out,
                                     dir_ + "/" + config_.name + ".err");
    // A port given back by the kernel may be taken by another program
    // meanwhile; the server then exits and start() reports false.
    const bool ready = wait_until(timeout_ms, [&] {
        return count("ready") > 0 || !child_->running();
    }) && count("ready") > 0;
    if (!ready) {
        port_ = 0;
        return false;
    }
    const std::string text = output();
    port_ = atoi(text.c_str() + text.find(':', 7) + 1);
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
    const int fd = open((dir_ + "/" + config_.name + ".ctl").c_str(), O_WRONLY | O_NONBLOCK);
    if (fd < 0)
        return false; // not running
    const std::string text = line + "\n";
    const bool sent = write(fd, text.data(), text.size()) == ssize_t(text.size());
    close(fd);
    if (!sent || !wait_until(timeout_ms, [&] { return count("ok " + line) > oks; }))
        return false;
    if (line == "up" || line.rfind("restart", 0) == 0) {
        const double delay = line == "up" ? 0 : line == "restart" ? 1 : atof(line.c_str() + 8);
        return wait_until(timeout_ms + int(delay * 1000), [&] { return count("up") > ups; });
    }
    return true;
}

} // namespace testsupport
