// X displays for the tests: a private Xvfb, the display of an in-process
// SDL screen, and screenshots read back.  A test that needs a display fails
// when none can be had; there is no fallback to a dummy video driver.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>

#include "image.h"

namespace testsupport {

// A private Xvfb of the given screen size and depth, ended on destruction;
// name() is empty when it could not start.
class Display {
public:
    explicit Display(int width = 1920, int height = 1080, int depth = 24);
    ~Display();
    Display(const Display &) = delete;
    Display &operator=(const Display &) = delete;
    const std::string &name() const { return name_; }
    bool ok() const { return !name_.empty(); }
    pid_t pid() const { return xvfb_; }

private:
    std::string name_;
    pid_t xvfb_ = -1;
};

// For SDL in this process: DISPLAY as given, or a private 1920x1080 Xvfb
// started once for the process; selects the x11 driver and holds one
// connection open for the life of the process (an Xvfb that resets when
// its last client leaves refuses connections for a moment).  "" when no
// display can be had.
std::string use_test_display();

// Screenshot of the whole display, written to path and read back.
Image screenshot(const std::string &display, const std::string &path);

} // namespace testsupport
