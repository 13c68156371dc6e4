// Processes, files and waiting.
#pragma once

#include <stdint.h>
#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

namespace testsupport {

// A private temporary directory, removed with its contents on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const std::string &path() const { return path_; }
    std::string file(const std::string &name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

void write_file(const std::string &path, const std::string &text, int mode = 0644);
std::string read_file(const std::string &path);
int occurrences(const std::string &text, const std::string &needle); // non-overlapping
std::string tool_path(const std::string &relative); // in the build tree

struct RunResult {
    int status = -1; // exit status, or -1 when killed by a signal
    int signal = 0;
    bool timed_out = false;
    std::string out, err;
};

// Runs argv[0] (searched in PATH) with this environment plus env entries
// ("NAME=value"; "NAME=" removes NAME); killed after timeout_ms.
RunResult run(const std::vector<std::string> &argv, const std::vector<std::string> &env = {},
              int timeout_ms = 30000);

// A program in the background, in a process group of its own, its output
// and errors in files; killed with its group when destroyed still running.
class Child {
public:
    Child(const std::vector<std::string> &argv, const std::vector<std::string> &env,
          const std::string &out_path, const std::string &err_path);
    ~Child();
    Child(const Child &) = delete;
    Child &operator=(const Child &) = delete;
    pid_t pid() const { return pid_; }
    void signal(int signo);
    bool wait(int timeout_ms, RunResult *result); // false: still running
    bool running();

private:
    pid_t pid_ = -1;
    bool reaped_ = false;
    int status_ = 0;
};

// A TCP port of the loopback interface that was free a moment ago.
uint16_t free_port();

// Polls predicate until it holds (true) or timeout_ms passes: never sleep
// to synchronise.
bool wait_until(int timeout_ms, const std::function<bool()> &predicate);

// fakecamctl -c config device command... (split at blanks); its status.
int fakecamctl(const std::string &config, const std::string &device, const std::string &command,
               std::string *output = nullptr);
std::string fakecam_library(); // the simulated devices, to preload

} // namespace testsupport
