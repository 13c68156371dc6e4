// End-to-end harness: a virtual display, a catalogue of simulated cameras,
// the real viewer started against them, screenshots read back as pixels.
#pragma once

#include <stdint.h>

#include <memory>
#include <string>
#include <vector>

#include "process.h"

namespace testsupport {

// An X display: the one in DISPLAY, or a private Xvfb when DISPLAY is unset
// or a particular screen size is asked for.
class Display {
public:
    explicit Display(int width = 0, int height = 0);
    ~Display();
    Display(const Display &) = delete;
    Display &operator=(const Display &) = delete;
    const std::string &name() const { return name_; }
    bool ok() const { return !name_.empty(); }

private:
    std::string name_;
    pid_t xvfb_ = -1;
};

struct Image {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb; // 3 bytes a pixel, rows top to bottom
    bool ok() const { return width > 0; }
    const uint8_t *at(int x, int y) const { return &rgb[(size_t(y) * width + x) * 3]; }
};

// Reads a PNG file into 8-bit RGB; an empty image on failure.
Image read_png(const std::string &path);
// Screenshot of the whole display, written to path and read back.
Image screenshot(const Display &display, const std::string &path);

// Average colour of a rectangle.
struct Rgb {
    double r, g, b;
};
Rgb average(const Image &img, int x, int y, int w, int h);

// A viewer run: catalogue, simulated devices and the program's log.
class ViewerRun {
public:
    // description: mkcatalog text; cams: fakecam device lines.
    ViewerRun(const std::string &description, const std::string &cams);
    ~ViewerRun();

    // Starts the viewer with extra options on display; true when it
    // reached its main loop ("started" logged) within timeout_ms.
    bool start(const Display &display, const std::vector<std::string> &options,
               int timeout_ms = 20000);
    // Waits until the log contains text.
    bool wait_log(const std::string &text, int timeout_ms = 10000);
    std::string log() const;
    // How often text occurs in the log.
    size_t log_count(const std::string &text) const;
    // Extra environment entries ("NAME=value") for the viewer; call before
    // start().  Later entries win over the harness's own.
    void add_env(const std::string &entry) { extra_env_.push_back(entry); }
    // fakecamctl command for a device, e.g. ("video3", "stall").
    bool cam_command(const std::string &device, const std::string &command);
    // xdotool arguments, e.g. {"key", "F2"}.
    bool xdotool(const std::vector<std::string> &args);
    // Ends the viewer with SIGTERM (if running) and returns its exit status.
    RunResult stop(int timeout_ms = 10000);
    Child *child() { return child_.get(); }
    const TempDir &dir() const { return dir_; }
    std::string lock_dir() const { return dir_.file("locks"); }
    std::string db_file() const { return dir_.file("tirsk6_db"); }

private:
    TempDir dir_;
    std::string display_;
    std::vector<std::string> extra_env_;
    std::unique_ptr<Child> child_;
    bool stopped_ = false;
    RunResult result_;
};

std::string tool_path(const std::string &relative); // under the build tree
std::string fakecam_library();

} // namespace testsupport
