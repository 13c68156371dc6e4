// Helpers for tests that open the real SDL screen on an X server.
#pragma once

#include <string>

// Points DISPLAY at an X server: the one in the environment, else a private
// 1920x1080 Xvfb started once for the test process.  Selects the x11 video
// driver and holds the display open (below).  "" when no server could start.
std::string use_test_display();

// Xvfb resets when its last client leaves and refuses connections while it
// does, so closing the screen and opening it again at once may fail.  One
// connection held for the life of the process prevents that.  Never close
// it: the server may be gone by then.
void hold_display_open(const std::string &name);

// Puts the project's window icon where the viewer loads it, if missing.
void install_window_icon();

// Collects what the process writes to a descriptor (2 for the log, 1 for
// reports on standard output) until text() is first called.
class CapturedFd {
public:
    explicit CapturedFd(int fd);
    CapturedFd(const CapturedFd &) = delete;
    CapturedFd &operator=(const CapturedFd &) = delete;
    ~CapturedFd() { text(); }
    const std::string &text();

private:
    int fd_;
    int saved_ = -1;
    int file_ = -1;
    std::string text_;
};
