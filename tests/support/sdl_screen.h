// Helpers for tests that open the real SDL screen on an X server.
#pragma once

#include <string>
#include <sys/types.h>

// A private Xvfb with a screen of the given size, for tests that need a
// display of their own (a small one, say).  Stopped when destroyed.
class PrivateXvfb {
public:
    PrivateXvfb() = default;
    PrivateXvfb(const PrivateXvfb &) = delete;
    PrivateXvfb &operator=(const PrivateXvfb &) = delete;
    ~PrivateXvfb() { stop(); }

    // Starts "Xvfb -displayfd"; false (and a reason in error()) on failure.
    bool start(int width, int height, int depth = 24);
    void stop();
    const std::string &display() const { return display_; }
    const std::string &error() const { return error_; }

private:
    pid_t pid_ = -1;
    std::string display_;
    std::string error_;
};

// Points DISPLAY at an X server: the one in the environment, else a private
// 1920x1080x24 Xvfb started once for the whole test process.  Selects the
// x11 video driver.  Returns the display name ("" when none could start).
std::string use_test_display();

// Puts the project's window icon where the viewer loads it, if missing.
void install_window_icon();

// Collects what the process writes to a descriptor (2 for the log, 1 for
// reports on standard output) while it lives or until text() is called.
class CapturedFd {
public:
    explicit CapturedFd(int fd);
    CapturedFd(const CapturedFd &) = delete;
    CapturedFd &operator=(const CapturedFd &) = delete;
    ~CapturedFd() { text(); }
    // Stops capturing (first call) and returns everything written.
    const std::string &text();

private:
    int fd_;
    int saved_ = -1;
    int file_ = -1;
    std::string text_;
};
