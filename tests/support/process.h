// Processes, files and waiting: temporary directories, running programs,
// conditions with a deadline, the simulated devices' control tool.
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
// Times needle occurs in text (non-overlapping).
int occurrences(const std::string &text, const std::string &needle);
// A file of the build tree, e.g. "tools/fakecam/fakecamctl".
std::string tool_path(const std::string &relative);

struct RunResult {
    int status = -1;     // exit status, or -1 when killed by a signal
    int signal = 0;      // terminating signal, or 0
    bool timed_out = false;
    std::string out;     // standard output
    std::string err;     // standard error
};

// Runs argv[0] (searched in PATH) with this environment plus env entries
// ("NAME=value"; "NAME=" alone removes NAME), waits at most timeout_ms and
// kills it after that.
RunResult run(const std::vector<std::string> &argv,
              const std::vector<std::string> &env = {}, int timeout_ms = 30000);

// A program running in the background, in a process group of its own, with
// standard output and error going to files; killed with its group when
// destroyed while still running.
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

// fakecamctl -c config device command... (command split at blanks);
// its exit status.
int fakecamctl(const std::string &config, const std::string &device,
               const std::string &command, std::string *output = nullptr);
// The simulated devices' library (preloaded into the viewer or a test).
std::string fakecam_library();
// Path of the address-sanitizer runtime loaded in this process, or "": a
// preloaded library must come after it in LD_PRELOAD.
std::string sanitizer_runtime();

// Runs the current test again in a child with `lib' preloaded (after the
// sanitizer runtime, if any) and the env entries; in the parent fills *r
// and returns true, in that child returns false at once:
//     if (run_preloaded(lib, {"VAR=1"}, &r)) { EXPECT_EQ(r.status, 0) << r.out; return; }
bool run_preloaded(const std::string &lib, const std::vector<std::string> &env,
                   RunResult *r, int timeout_ms = 120000);
bool in_preloaded_child();

} // namespace testsupport
