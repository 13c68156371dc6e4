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
    // Starts the viewer with extra options; true when it logged "started"
    // within timeout_ms.
    bool start(const std::string &display, const std::vector<std::string> &options,
               int timeout_ms = 20000);
    bool wait_log(const std::string &text, int timeout_ms = 10000)
    {
        return wait_until(timeout_ms, [&] { return log().find(text) != std::string::npos; });
    }
    std::string log() const { return read_file(dir_.file("viewer.log")); }
    size_t log_count(const std::string &text) const { return size_t(occurrences(log(), text)); }
    void add_env(const std::string &entry) { extra_env_.push_back(entry); } // before start()
    // fakecamctl command for a device, e.g. ("video3", "stall").
    bool cam_command(const std::string &device, const std::string &command)
    {
        return fakecamctl(dir_.file("cams.conf"), device, command) == 0;
    }
    bool xdotool(const std::vector<std::string> &args);
    // Ends the viewer with SIGTERM (if running): its exit status and log.
    RunResult stop(int timeout_ms = 10000);
    Child *child() { return child_.get(); }
    const TempDir &dir() const { return dir_; }
    // The collector the viewer runs (its only child), or -1.
    pid_t collector() const;

private:
    TempDir dir_;
    std::string display_;
    std::vector<std::string> extra_env_;
    std::unique_ptr<Child> child_;
    bool stopped_ = false;
    RunResult result_;
};

// "camera" lines of n simulated cameras named "Cam N", then the layouts.
std::string sim_catalogue(int n, const std::string &layouts);
// n simulated devices video1..videoN with the same options.
std::string sim_cams(int n, const std::string &options = "size=352x288");
// An event-collector script: appends every line it gets to `events', then
// runs the shell snippet on_line with the line in $line (it may answer).
std::string collector_script(const std::string &events, const std::string &on_line);

// What the viewer draws.
constexpr SDL_Color NAME_FG = {220, 220, 220, 0}, NAME_BG = {31, 31, 31, 0},
                    ALERT_BG = {64, 0, 0, 0}, RED = {255, 0, 0, 0}, BLACK = {0, 0, 0, 0};
constexpr Rgb POPUP_BLUE = {71, 86, 140}, SELECTED = {153, 102, 51}, UNSELECTED = {51, 0, 0},
              NO_SIGNAL_BORDER = {255, 0, 0}, ALARM_BORDER = {192, 255, 255};
constexpr const char *NO_SIGNAL = " НЕТ СИГНАЛА  ", *SERVER_FAILURE = " СБОЙ СЕРВЕРА ";

struct WinBoxes {
    Box rect;  // the window's cell, border included
    Box video; // where its picture goes
};
// Window geometry by window number from the viewer's verbose-3 "create new
// win with rect(...) and video_rect(...)" lines; the last wins.
std::map<int, WinBoxes> window_boxes(const std::string &log);
// Where source src of camera cam was fitted last ("update/create window
// rect(...), video_rect(...)" lines); empty when never.
Box source_video(const std::string &log, int cam, int src);
enum class Place { bottom_left, centre };
// Share of a label's pixels that differ from `text' rendered the way the
// viewer does (its font and size for the box's height, fg on bg, cut to the
// label limits): 0 exact, 1 nothing alike.
double label_mismatch(const Image &img, const Box &area, const char *text, SDL_Color fg,
                      SDL_Color bg, Place place);

// A private 800x600 display (a test fails without it) and one viewer run.
class ViewerTest : public ::testing::Test {
protected:
    void SetUp() override;
    // A run of its own at verbose level 3 (window geometry into wins_), the
    // pointer over its window (keys go there: no window manager).
    void start(const std::string &catalogue, const std::string &cams,
               std::vector<std::string> options = {});
    bool key(const std::string &k) { return run_->xdotool({"key", k}); }
    Image shot(const std::string &name);
    bool shot_until(const std::function<bool(const Image &)> &pred, Image *last = nullptr,
                    int timeout_ms = 10000);
    // Screenshots until two in a row (earlier, later) satisfy pred.
    bool pair_until(const std::function<bool(const Image &, const Image &)> &pred,
                    int timeout_ms = 10000);
    // Does the picture in b move (two screenshots in a row differ in more
    // than 1 % of it) within timeout_ms?
    bool moving(const Box &b, int timeout_ms = 5000);
    bool moving(int w, int timeout_ms = 5000) { return moving(wins_.at(w).video.inner(4), timeout_ms); }
    // Share of window w's picture that differs between two screenshots.
    double moved(const Image &a, const Image &b, int w);
    bool label(const Image &img, int w, const char *text, SDL_Color fg, SDL_Color bg, Place place)
    {
        return label_mismatch(img, wins_.at(w).video, text, fg, bg, place) <= 0.02;
    }
    // Share of the one-pixel frame just outside window w's video box near c.
    double border(const Image &img, int w, Rgb c)
    {
        const Box &v = wins_.at(w).video;
        return double(count_colour(img, {v.x, v.y - 1, v.w, 1}, c) + count_colour(img, {v.x, v.y + v.h, v.w, 1}, c) +
                      count_colour(img, {v.x - 1, v.y, 1, v.h}, c) + count_colour(img, {v.x + v.w, v.y, 1, v.h}, c)) /
               (2 * (v.w + v.h));
    }

    std::unique_ptr<Display> display_;
    std::unique_ptr<ViewerRun> run_; // ends before its display
    std::map<int, WinBoxes> wins_;
};

} // namespace testsupport
