#include "rtsp_server.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <sstream>

namespace testsupport {

RtspServer::RtspServer(const std::string &dir, const std::string &size, const std::string &colour,
                       bool tcp_only)
    : dir_(dir), argv_{tool_path("tools/rtspcam/rtspcam"), "-s", size, "-c", colour, "-C", dir + "/rtspcam.ctl"}
{
    if (tcp_only)
        argv_.push_back("-t");
    start();
}

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
    std::vector<std::string> argv = argv_;
    if (port_ > 0)
        argv.insert(argv.end(), {"-p", std::to_string(port_)});
    child_ = std::make_unique<Child>(argv, std::vector<std::string>{}, dir_ + "/rtspcam.out", dir_ + "/rtspcam.err");
    // A port given back by the kernel may be taken by another program
    // meanwhile: the server then exits.
    wait_until(timeout_ms, [&] { return count("ready") > 0 || !child_->running(); });
    const std::string text = output();
    port_ = count("ready") > 0 ? atoi(text.c_str() + text.find(':', 7) + 1) : 0;
    return port_ > 0;
}

bool RtspServer::command(const std::string &line, int timeout_ms)
{
    const size_t oks = count("ok " + line), ups = count("up");
    const int fd = open((dir_ + "/rtspcam.ctl").c_str(), O_WRONLY | O_NONBLOCK);
    const std::string text = line + "\n";
    const bool sent = fd >= 0 && write(fd, text.data(), text.size()) == ssize_t(text.size());
    close(fd);
    return sent && wait_until(timeout_ms, [&] { return count("ok " + line) > oks; }) &&
           (line != "up" || wait_until(timeout_ms, [&] { return count("up") > ups; }));
}

} // namespace testsupport
