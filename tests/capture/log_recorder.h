// Records every log line of the code under test.  The test executable is
// linked with --wrap=tirsklog_r, so calls of the log facility land here;
// log_recorder.cpp holds the wrapper.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "tirskconf.h"

struct logged_line {
    const log_ctx *ctx;
    int level;
    std::string text;
};

inline std::mutex log_lines_lock;
inline std::vector<logged_line> log_lines;

inline void log_clear()
{
    std::lock_guard<std::mutex> g(log_lines_lock);
    log_lines.clear();
}

inline std::vector<logged_line> log_taken()
{
    std::lock_guard<std::mutex> g(log_lines_lock);
    std::vector<logged_line> out;
    out.swap(log_lines);
    return out;
}

