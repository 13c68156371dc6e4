// Collects what the log facility prints, for assertions on messages.
#pragma once

#include <stdio.h>

#include <string>
#include <vector>

class LogCapture {
public:
    // Redirects the log facility into memory and sets the level (7 = all).
    explicit LogCapture(int level = 7);
    ~LogCapture(); // restores standard error and the previous level
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    std::string text();
    std::vector<std::string> lines();
    bool contains(const std::string &needle) { return text().find(needle) != std::string::npos; }
    void clear();

private:
    FILE *stream_ = nullptr;
    char *buf_ = nullptr;
    size_t size_ = 0;
    int old_level_;
};
