// Child processes for tests that need a preloaded library.
#include "preload_child.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

extern char **environ;

namespace {

constexpr const char *CHILD_MARK = "TIRSK_PRELOADED_CHILD=1";

std::string read_all(int fd)
{
    std::string out;
    char buf[4096];
    lseek(fd, 0, SEEK_SET);
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0)
        out.append(buf, size_t(n));
    return out;
}

// Starts argv with env, output into a temporary file; waits with a limit.
int spawn_and_wait(const std::vector<std::string> &argv,
                   const std::vector<std::string> &env, std::string *output,
                   int timeout_s)
{
    char tmpl[] = "/tmp/tirsk-child-XXXXXX";
    int out = mkstemp(tmpl);
    if (out < 0)
        return -1;
    unlink(tmpl);

    std::vector<char *> av, ev;
    for (const std::string &a : argv)
        av.push_back(const_cast<char *>(a.c_str()));
    av.push_back(nullptr);
    for (const std::string &e : env)
        ev.push_back(const_cast<char *>(e.c_str()));
    ev.push_back(nullptr);

    pid_t pid = fork();
    if (pid < 0) {
        close(out);
        return -1;
    }
    if (pid == 0) {
        int devnull = open("/dev/null", O_RDONLY);
        dup2(devnull, 0);
        dup2(out, 1);
        dup2(out, 2);
        execve(av[0], av.data(), ev.data());
        _exit(127);
    }
    int status = 0;
    bool done = false;
    for (int waited_ms = 0; waited_ms < timeout_s * 1000; waited_ms += 10) {
        pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid) {
            done = true;
            break;
        }
        usleep(10000);
    }
    std::string text = read_all(out);
    close(out);
    if (!done) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        text += "\n[child killed after " + std::to_string(timeout_s) + " s]\n";
    }
    if (output)
        *output = text;
    if (!done || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

// This process's environment less the variables named (entries "NAME" or
// "NAME=value").
std::vector<std::string>
environment_without(const std::vector<std::string> &names)
{
    std::vector<std::string> env;
    for (char **e = environ; *e; ++e) {
        bool drop = false;
        for (const std::string &n : names) {
            size_t len = n.find('=');
            if (len == std::string::npos)
                len = n.size();
            drop =
                drop || (strncmp(*e, n.c_str(), len) == 0 && (*e)[len] == '=');
        }
        if (!drop)
            env.emplace_back(*e);
    }
    return env;
}

} // namespace

bool in_preloaded_child()
{
    const char *v = getenv("TIRSK_PRELOADED_CHILD");
    return v && strcmp(v, "1") == 0;
}

std::string sanitizer_runtime()
{
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        size_t slash = line.find('/');
        if (slash != std::string::npos &&
            line.find("/libasan.so", slash) != std::string::npos)
            return line.substr(slash);
    }
    return {};
}

bool run_preloaded(const std::string &lib, const std::vector<std::string> &env,
                   child_result *res, int timeout_s)
{
    if (in_preloaded_child())
        return false;
    const testing::TestInfo *t =
        testing::UnitTest::GetInstance()->current_test_info();
    std::string filter =
        std::string("--gtest_filter=") + t->test_suite_name() + "." + t->name();

    std::vector<std::string> names = env;
    names.push_back("LD_PRELOAD");
    std::vector<std::string> ev = environment_without(names);
    std::string asan = sanitizer_runtime();
    ev.push_back("LD_PRELOAD=" + (asan.empty() ? lib : asan + ":" + lib));
    ev.emplace_back(CHILD_MARK);
    for (const std::string &e : env)
        ev.push_back(e);

    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) {
        res->status = -1;
        res->output = "cannot find the test binary";
        return true;
    }
    self[n] = 0;
    res->status = spawn_and_wait({self, filter, "--gtest_color=no"}, ev,
                                 &res->output, timeout_s);
    return true;
}

int run_program(const std::vector<std::string> &argv, std::string *output,
                int timeout_s)
{
    return spawn_and_wait(argv, environment_without({"LD_PRELOAD"}), output,
                          timeout_s);
}
