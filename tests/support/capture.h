// What the code under test writes: a descriptor, or the log facility.
#pragma once

#include <string>

namespace testsupport {

// Sends descriptor fd (1 or 2) to an unnamed file until take() or the
// destructor restores it.
class FdCapture {
public:
    explicit FdCapture(int fd);
    ~FdCapture();
    FdCapture(const FdCapture &) = delete;
    FdCapture &operator=(const FdCapture &) = delete;
    std::string text() const; // so far; the capture goes on
    std::string take();       // everything; ends the capture
    void clear();

private:
    int fd_, file_, saved_;
};

// The log facility's lines up to `level' (7: all), through standard error;
// level and stream are restored on destruction.
class LogCapture : public FdCapture {
public:
    explicit LogCapture(int level = 7);
    ~LogCapture();
    bool contains(const std::string &s) const { return text().find(s) != std::string::npos; }
    int count(const std::string &s) const;

private:
    int old_level_;
};

} // namespace testsupport
