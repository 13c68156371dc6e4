// Running a test again in a child process with a library preloaded.
//
// A test that needs LD_PRELOAD (the capture-device emulator, say) starts
// with
//
//     child_result r;
//     if (run_preloaded(lib, {"VAR=value"}, &r)) {
//         EXPECT_EQ(r.status, 0) << r.output;   // parent: checks the child
//         return;
//     }
//     ... test body, run in the child under the preload ...
//
// The parent re-executes this test binary with only the current test
// selected; the child's gtest failures make its exit status non-zero.
#pragma once

#include <string>
#include <vector>

struct child_result {
    int status = -1;    // exit status, or -1 when killed / timed out
    std::string output; // standard output and error, interleaved
};

// True in the child process started by run_preloaded.
bool in_preloaded_child();

// In the parent: runs the current test in a child with LD_PRELOAD=lib (and
// the sanitizer runtime first when this binary has one) and the extra
// environment entries, waits at most timeout_s seconds, fills *res and
// returns true.  In the child: returns false at once.
bool run_preloaded(const std::string &lib, const std::vector<std::string> &env,
                   child_result *res, int timeout_s = 120);

// Path of the address-sanitizer runtime loaded in this process, or "".
// A preloaded library must come after it in LD_PRELOAD.
std::string sanitizer_runtime();

// Runs a program with arguments and an environment without LD_PRELOAD,
// waits, and returns its exit status (-1 if it could not run or was
// killed); output goes to *output when not null.
int run_program(const std::vector<std::string> &argv,
                std::string *output = nullptr, int timeout_s = 60);
