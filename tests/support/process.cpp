#include "process.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace testsupport {

TempDir::TempDir()
{
    char tmpl[] = "/tmp/tirsk-test-XXXXXX";
    const char *p = mkdtemp(tmpl);
    path_ = p ? p : "/tmp";
}

TempDir::~TempDir()
{
    std::error_code ec;
    if (path_ != "/tmp")
        std::filesystem::remove_all(path_, ec);
}

void write_file(const std::string &path, const std::string &text, int mode)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    chmod(path.c_str(), mode);
}

std::string read_file(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

int occurrences(const std::string &text, const std::string &needle)
{
    int n = 0;
    for (size_t p = text.find(needle); !needle.empty() && p != std::string::npos;
         p = text.find(needle, p + needle.size()))
        ++n;
    return n;
}

std::string tool_path(const std::string &relative) { return TIRSK_BINARY_DIR "/" + relative; }

RunResult run(const std::vector<std::string> &argv, const std::vector<std::string> &env,
              int timeout_ms)
{
    TempDir dir;
    RunResult r;
    {
        Child c(argv, env, dir.file("out"), dir.file("err"));
        if (!c.wait(timeout_ms, &r)) {
            c.signal(SIGKILL);
            c.wait(5000, &r);
            r.timed_out = true;
        }
    }
    r.out = read_file(dir.file("out"));
    r.err = read_file(dir.file("err"));
    return r;
}

Child::Child(const std::vector<std::string> &argv, const std::vector<std::string> &env,
             const std::string &out_path, const std::string &err_path)
{
    const int out_fd = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err_fd = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if ((pid_ = fork()) == 0) {
        setpgid(0, 0);
        dup2(out_fd, 1), dup2(err_fd, 2), dup2(open("/dev/null", O_RDONLY), 0);
        for (const auto &e : env) // "NAME=" removes NAME
            if (e.find('=') + 1 == e.size())
                unsetenv(e.substr(0, e.size() - 1).c_str());
            else
                putenv(const_cast<char *>(e.c_str()));
        std::vector<char *> args;
        for (const auto &s : argv)
            args.push_back(const_cast<char *>(s.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    close(out_fd);
    close(err_fd);
}

Child::~Child()
{
    if (pid_ > 0 && !reaped_) {
        kill(-pid_, SIGKILL);
        kill(pid_, SIGKILL);
        waitpid(pid_, &status_, 0);
    }
}

void Child::signal(int signo)
{
    if (pid_ > 0 && !reaped_)
        kill(pid_, signo);
}

bool Child::running()
{
    if (pid_ > 0 && !reaped_ && waitpid(pid_, &status_, WNOHANG) == pid_)
        reaped_ = true;
    return pid_ > 0 && !reaped_;
}

bool Child::wait(int timeout_ms, RunResult *result)
{
    if (!wait_until(timeout_ms, [&] { return !running(); }))
        return false;
    if (result && WIFEXITED(status_))
        result->status = WEXITSTATUS(status_);
    else if (result && WIFSIGNALED(status_))
        result->signal = WTERMSIG(status_);
    return true;
}

bool wait_until(int timeout_ms, const std::function<bool()> &predicate)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    for (; !predicate(); std::this_thread::sleep_for(std::chrono::milliseconds(10)))
        if (std::chrono::steady_clock::now() >= end)
            return false;
    return true;
}

uint16_t free_port()
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t len = sizeof a;
    const bool ok = bind(fd, reinterpret_cast<sockaddr *>(&a), len) == 0 &&
                    getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len) == 0;
    close(fd);
    return ok ? ntohs(a.sin_port) : 0;
}

std::string fakecam_library() { return tool_path("tools/fakecam/libfakecam.so"); }

int fakecamctl(const std::string &config, const std::string &device, const std::string &command,
               std::string *output)
{
    std::vector<std::string> argv = {tool_path("tools/fakecam/fakecamctl"), "-c", config, device};
    std::istringstream words(command);
    for (std::string w; words >> w;)
        argv.push_back(w);
    const RunResult r = run(argv, {"LD_PRELOAD="}, 10000);
    if (output)
        *output = r.out + r.err;
    return r.status;
}

} // namespace testsupport
