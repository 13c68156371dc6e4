// Running the real program (or any command) from tests.
#pragma once

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

struct RunResult {
    int status = -1;     // exit status, or -1 when killed by a signal
    int signal = 0;      // terminating signal, or 0
    bool timed_out = false;
    std::string out;     // standard output
    std::string err;     // standard error
};

// Runs argv[0] with the extra environment entries ("NAME=value") and waits
// at most timeout_ms, killing it after that.
RunResult run(const std::vector<std::string> &argv,
              const std::vector<std::string> &env = {}, int timeout_ms = 30000);

// A program running in the background with standard output and error
// going to files.
class Child {
public:
    Child(const std::vector<std::string> &argv,
          const std::vector<std::string> &env, const std::string &out_path,
          const std::string &err_path);
    ~Child();
    Child(const Child &) = delete;
    Child &operator=(const Child &) = delete;
    pid_t pid() const { return pid_; }
    void signal(int signo);
    // Waits at most timeout_ms; false when still running.
    bool wait(int timeout_ms, RunResult *result);
    bool running();

private:
    pid_t pid_ = -1;
    bool reaped_ = false;
    int status_ = 0;
};

// Polls predicate every 20 ms until it holds or timeout_ms passes.
bool wait_until(int timeout_ms, const std::function<bool()> &predicate);

} // namespace testsupport
