// The real viewer on a private display with simulated cameras: catalogue,
// devices, log, keys, screenshots, and what the screen shows.
#pragma once

#include <SDL/SDL_ttf.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "display.h"
#include "process.h"

namespace testsupport {

// A viewer run: catalogue (mkcatalog text), simulated devices (fakecam
// lines) and the program's log, all in a temporary directory.
class ViewerRun {
public:
    ViewerRun(const std::string &catalogue, const std::string &cams);
    ~ViewerRun();
    // Starts the viewer with extra options; true when it reached its main
    // loop ("started" logged) within timeout_ms.
    bool start(const std::string &display, const std::vector<std::string> &options,
               int timeout_ms = 20000);
    bool wait_log(const std::string &text, int timeout_ms = 10000);
    std::string log() const;
    size_t log_count(const std::string &text) const { return size_t(occurrences(log(), text)); }
    // Extra environment entries for the viewer; before start().
    void add_env(const std::string &entry) { extra_env_.push_back(entry); }
    // fakecamctl command for a device, e.g. ("video3", "stall").
    bool cam_command(const std::string &device, const std::string &command);
    bool xdotool(const std::vector<std::string> &args);
    // Ends the viewer with SIGTERM (if running); its exit status and log.
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

// An event-collector script: appends every line it gets to `events', then
// runs the shell snippet on_line with the line in $line (it may answer).
std::string collector_script(const std::string &events, const std::string &on_line);

struct WinBoxes {
    Box rect;  // the window's cell, border included
    Box video; // where its picture goes
};
// Window geometry by window number (1..60) from the viewer's verbose-3
// "create new win with rect(...) and video_rect(...)" lines; the last wins.
std::map<int, WinBoxes> window_boxes(const std::string &log);
// Share of the one-pixel frame just outside the video box near colour c.
double border_share(const Image &img, const WinBoxes &w, Rgb c);

// Label placement in a window's video box.
enum class Place { bottom_left, centre };
// Share of the pixels of a label that differ from `text' rendered here the
// way the viewer does (its font, the size for the box's height, colours
// fg on bg, cut to the label limits): 0 exact, 1 nothing alike.
double label_mismatch(const Image &img, const Box &area, const char *text, SDL_Color fg,
                      SDL_Color bg, Place place);

// A private 800x600 display (a test fails without it) and one viewer run.
class ViewerTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // A run of its own at verbose level 3 (window geometry into wins_).
    void start(const std::string &catalogue, const std::string &cams,
               std::vector<std::string> options = {});
    Image shot(const std::string &name);
    // Screenshots until pred holds (true) or timeout_ms passes.
    bool shot_until(const std::function<bool(const Image &)> &pred, Image *last = nullptr,
                    int timeout_ms = 10000);
    // Does window w's picture move: two screenshots in a row differ in more
    // than 1 % of it, within timeout_ms?
    bool moving(int w, int timeout_ms = 5000);

    std::unique_ptr<Display> display_;
    std::unique_ptr<ViewerRun> run_;
    std::map<int, WinBoxes> wins_;
};

} // namespace testsupport
