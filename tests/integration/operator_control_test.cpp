// The operator's keys and mouse, the time-outs and the snapshot files, on
// the real program with simulated cameras on a virtual display.
#include <dirent.h>
#include <dlfcn.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <regex>
#include <thread>

#include <gtest/gtest.h>

#include "viewer.h"

using namespace testsupport;

namespace {

const char *const CATALOGUE = R"(camera 0 allow_local=1 video_src=yes geometry=352x288
camera 1-4 work=1 v4l_pipe={nr}
layout 0 L WIDE_2_2 "Pair" 1 2
layout 1 L QUAD_4_4 "Hall" 1 2 3 4
layout 2 L ONECAM "One" 3
)";

const char *const CAMS = R"(video1 size=352x288 fps=10
video2 size=352x288 fps=10
video3 size=352x288 fps=10
video4 size=352x288 fps=10
)";

// The viewer opens its window at this size in the top-left corner of the
// display; WIDE_2_2 puts window 1 in the left half, window 2 in the right.
constexpr int VIEW_W = 648, VIEW_H = 488;
constexpr int LEFT_X = 160, RIGHT_X = 480, MID_Y = 244;


// Is the mouse pointer drawn?  Asks the X server for the cursor image; the
// viewer hides its pointer by giving its window an empty one.  The X
// libraries are loaded at run time (the media framework's plug-ins bring
// them); -1 when they cannot be.
int cursor_visible(const std::string &display)
{
    struct CursorImage { // the X fixes extension's cursor image record
        short x, y;
        unsigned short width, height, xhot, yhot;
        unsigned long serial;
        unsigned long *pixels;
    };
    void *x11 = dlopen("libX11.so.6", RTLD_NOW);
    void *xfixes = dlopen("libXfixes.so.3", RTLD_NOW);
    int visible = -1;
    if (x11 && xfixes) {
        auto open = reinterpret_cast<void *(*)(const char *)>(dlsym(x11, "XOpenDisplay"));
        auto close = reinterpret_cast<int (*)(void *)>(dlsym(x11, "XCloseDisplay"));
        auto xfree = reinterpret_cast<int (*)(void *)>(dlsym(x11, "XFree"));
        auto get = reinterpret_cast<CursorImage *(*)(void *)>(
            dlsym(xfixes, "XFixesGetCursorImage"));
        void *dpy = open && close && xfree && get ? open(display.c_str()) : nullptr;
        if (dpy) {
            if (CursorImage *img = get(dpy)) {
                visible = 0;
                for (int i = 0; i < img->width * img->height; i++)
                    if (img->pixels[i] >> 24) // any opaque pixel
                        visible = 1;
                xfree(img);
            }
            close(dpy);
        }
    }
    if (xfixes)
        dlclose(xfixes);
    if (x11)
        dlclose(x11);
    return visible;
}

// Pixels of a rectangle that are near the colour (r, g, b).
int count_colour(const Image &img, int x0, int y0, int w, int h, int r, int g,
                 int b, int tol = 3)
{
    int n = 0;
    for (int y = y0; y < y0 + h && y < img.height; y++)
        for (int x = x0; x < x0 + w && x < img.width; x++) {
            const uint8_t *p = img.at(x, y);
            n += abs(p[0] - r) <= tol && abs(p[1] - g) <= tol && abs(p[2] - b) <= tol;
        }
    return n;
}

// Pixels of a rectangle that differ between two pictures.
int count_changed(const Image &a, const Image &b, int x0, int y0, int w, int h)
{
    int n = 0;
    for (int y = y0; y < y0 + h; y++)
        for (int x = x0; x < x0 + w; x++)
            n += memcmp(a.at(x, y), b.at(x, y), 3) != 0;
    return n;
}

std::vector<std::string> files_in(const std::string &dir)
{
    std::vector<std::string> out;
    if (DIR *d = opendir(dir.c_str())) {
        while (dirent *e = readdir(d))
            if (e->d_name[0] != '.')
                out.push_back(e->d_name);
        closedir(d);
    }
    return out;
}

class OperatorControl : public ::testing::Test {
protected:
    // One virtual display for the suite; each test runs its own viewer.
    static void SetUpTestSuite() { display_ = new Display(800, 600); }
    static void TearDownTestSuite()
    {
        delete display_;
        display_ = nullptr;
    }
    void SetUp() override
    {
        ASSERT_TRUE(display_ && display_->ok()) << "no Xvfb";
        run_ = std::make_unique<ViewerRun>(CATALOGUE, CAMS);
        shots_ = run_->dir().file("shots");
        mkdir(shots_.c_str(), 0755);
    }
    void TearDown() override { run_.reset(); }
    void start(std::vector<std::string> options)
    {
        options.push_back("--shot-dir=" + shots_);
        ASSERT_TRUE(run_->start(display_->name(), options)) << run_->log();
        ASSERT_TRUE(run_->wait_log("layout WIDE_2_2(Pair) used")) << run_->log();
        // Keys go to the window under the pointer (no window manager).
        ASSERT_TRUE(run_->xdotool({"mousemove", "300", "250"}));
    }
    bool key(const std::string &k) { return run_->xdotool({"key", k}); }
    bool click(int button, int x, int y)
    {
        return run_->xdotool({"mousemove", std::to_string(x), std::to_string(y),
                              "click", std::to_string(button)});
    }
    Image shot(const std::string &name)
    {
        return screenshot(display_->name(), run_->dir().file(name));
    }
    bool running() { return run_->child()->running(); }
    bool shot_until(const std::function<bool(const Image &)> &pred)
    {
        return screenshot_until(display_->name(), run_->dir().file("shot.png"), pred);
    }
    // Screenshots until two in a row satisfy pred.
    bool pair_until(const std::function<bool(const Image &, const Image &)> &pred)
    {
        Image prev;
        return shot_until([&](const Image &img) {
            const bool ok = prev.ok() && pred(prev, img);
            prev = img;
            return ok;
        });
    }
    size_t log_count(const std::string &text)
    {
        const std::string log = run_->log();
        size_t n = 0;
        for (size_t at = log.find(text); at != std::string::npos;
             at = log.find(text, at + 1))
            n++;
        return n;
    }

    static Display *display_;
    std::unique_ptr<ViewerRun> run_;
    std::string shots_;
};

Display *OperatorControl::display_ = nullptr;

} // namespace

TEST_F(OperatorControl, DigitKeysSwitchLayoutsAndUnknownNumbersOnlyTellSo)
{
    ASSERT_NO_FATAL_FAILURE(start({}));
    ASSERT_TRUE(key("1"));
    EXPECT_TRUE(run_->wait_log("layout QUAD_4_4(Hall) used")) << run_->log();
    ASSERT_TRUE(key("KP_2"));
    EXPECT_TRUE(run_->wait_log("layout ONECAM(One) used")) << run_->log();

    // One window whose camera has one stream: no fullscreen.
    ASSERT_TRUE(key("Return"));
    ASSERT_TRUE(key("7"));
    // The "not defined" popup: a blue box in the middle of the view.
    EXPECT_TRUE(shot_until([&](const Image &popup) {
        return count_colour(popup, VIEW_W / 2 - 50, VIEW_H / 2 - 20, 100, 40, 71, 86, 140) > 1000;
    }));
    EXPECT_EQ(log_count("layout -> fullscreen"), 0u) << "the key before the popup's";
    ASSERT_TRUE(key("a")); // any key closes it
    EXPECT_TRUE(shot_until([&](const Image &closed) {
        return count_colour(closed, 0, 0, VIEW_W, VIEW_H, 71, 86, 140) < 50;
    }));
    EXPECT_TRUE(running());
    EXPECT_EQ(log_count("layout WIDE_2_2(Pair) used"), 1u);
    ASSERT_TRUE(key("0"));
    EXPECT_TRUE(wait_until(5000, [&] {
        return log_count("layout WIDE_2_2(Pair) used") == 2;
    }));
}

TEST_F(OperatorControl, EscClosesTheHelpFirstThenQuits)
{
    ASSERT_NO_FATAL_FAILURE(start({"--verbose=2"})); // info lines
    ASSERT_TRUE(key("F1"));
    EXPECT_TRUE(shot_until([&](const Image &help) {
        return count_colour(help, 0, 0, VIEW_W, VIEW_H, 71, 86, 140) > 20000;
    })) << "the help popup";
    ASSERT_TRUE(key("Escape"));
    EXPECT_TRUE(shot_until([&](const Image &img) {
        return count_colour(img, 0, 0, VIEW_W, VIEW_H, 71, 86, 140) < 50;
    })) << "help closed";
    EXPECT_TRUE(running()) << run_->log();
    ASSERT_TRUE(key("Escape"));
    RunResult r;
    ASSERT_TRUE(run_->child()->wait(10000, &r)) << run_->log();
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(run_->log().find("User quit requested, quitting."),
              std::string::npos)
        << run_->log();
}

TEST_F(OperatorControl, SnapshotFilesShowWhatIsOnTheScreen)
{
    ASSERT_NO_FATAL_FAILURE(start({"--camname-timeout=0"}));
    // Freeze both pictures so the screen holds still, window 1 selected.
    ASSERT_TRUE(click(3, RIGHT_X, MID_Y));
    ASSERT_TRUE(click(3, LEFT_X, MID_Y));
    Image before;
    ASSERT_TRUE(wait_until(10000, [&] {
        const Image now = shot("still.png");
        const bool still = before.ok() && now.ok() && now.rgba == before.rgba;
        before = now;
        return still;
    })) << "the screen does not hold still";
    ASSERT_TRUE(key("F2"));
    ASSERT_TRUE(key("shift+F2"));
    ASSERT_TRUE(wait_until(5000, [&] {
        const auto files = files_in(shots_);
        return files.size() == 2 && read_png(shots_ + "/" + files[0]).ok() &&
               read_png(shots_ + "/" + files[1]).ok();
    })) << run_->log();
    const Image screen = shot("screen.png");
    ASSERT_TRUE(screen.ok());

    std::string cam_file, screen_file;
    for (const std::string &f : files_in(shots_))
        (f.find("_cam") != std::string::npos ? cam_file : screen_file) = f;
    const std::string stamp = R"(\d{4}-\d{2}-\d{2}_\d{2}:\d{2}:\d{2})";
    EXPECT_TRUE(std::regex_match(cam_file, std::regex(R"(tirskmon\(L\)_cam01_)" + stamp + R"(\.png)")))
        << cam_file;
    EXPECT_TRUE(std::regex_match(screen_file, std::regex(R"(tirskmon\(L\)_)" + stamp + R"(\.png)")))
        << screen_file;

    const Image whole = read_png(shots_ + "/" + screen_file);
    ASSERT_TRUE(whole.ok());
    EXPECT_EQ(whole.color_type, 2);
    EXPECT_EQ(whole.width, VIEW_W);
    EXPECT_EQ(whole.height, VIEW_H);
    EXPECT_EQ(mismatches(whole, screen, 0, 0), 0);

    // The camera shot is window 1's video area: find it on the screen.
    const Image cam = read_png(shots_ + "/" + cam_file);
    ASSERT_TRUE(cam.ok());
    EXPECT_EQ(cam.color_type, 2);
    ASSERT_GT(cam.width, 100);
    ASSERT_LE(cam.width, VIEW_W / 2);
    auto row_matches = [&](int x, int y) {
        for (int i = 0; i < cam.width; i++)
            if (!(cam.pixel(i, 0) == screen.pixel(x + i, y)))
                return false;
        return true;
    };
    bool found = false;
    for (int y = 0; !found && y + cam.height <= VIEW_H; y++)
        for (int x = 0; !found && x + cam.width <= VIEW_W / 2; x++)
            found = row_matches(x, y) && mismatches(cam, screen, x, y) == 0;
    EXPECT_TRUE(found) << "camera shot not found in the left half";
}

TEST_F(OperatorControl, PauseFreezesTheSelectedPictureUntilResumed)
{
    ASSERT_NO_FATAL_FAILURE(start({"--camname-timeout=0"}));
    ASSERT_TRUE(key("space")); // window 1 is selected at start
    // Inner parts of the two windows, clear of borders and labels' edges:
    // the left one stands still with its pause label (white on red at the
    // top left) while the right one moves and has none.
    EXPECT_TRUE(pair_until([&](const Image &a, const Image &b) {
        return count_changed(a, b, 20, 150, 280, 190) == 0 &&
               count_changed(a, b, 340, 150, 280, 190) > 100 &&
               count_colour(b, 0, 100, VIEW_W / 2, 80, 255, 0, 0) > 100 &&
               count_colour(b, VIEW_W / 2, 100, VIEW_W / 2, 80, 255, 0, 0) == 0;
    })) << "paused";
    ASSERT_TRUE(key("p"));
    EXPECT_TRUE(pair_until([&](const Image &c, const Image &d) {
        return count_changed(c, d, 20, 150, 280, 190) > 100 &&
               count_colour(d, 0, 100, VIEW_W / 2, 80, 255, 0, 0) == 0;
    })) << "resumed, label gone";
}

TEST_F(OperatorControl, CursorNamesAndFullscreenTimeOut)
{
    ASSERT_NO_FATAL_FAILURE(start(
        {"--cursor-timeout=1", "--camname-timeout=1", "--fs-timeout=2"}));
    // Camera name labels: light text on (31, 31, 31).
    auto names = [&](const char *file) {
        return count_colour(shot(file), 0, 0, VIEW_W, VIEW_H, 31, 31, 31, 1);
    };
    ASSERT_TRUE(run_->xdotool({"mousemove", "310", "250"}));
    ASSERT_GE(cursor_visible(display_->name()), 0) << "libX11/libXfixes not loadable";
    EXPECT_TRUE(wait_until(5000, [&] { return cursor_visible(display_->name()) == 1; }));
    int shown = 0;
    EXPECT_TRUE(wait_until(5000, [&] { return (shown = names("names1.png")) > 100; }))
        << "names shown after the mouse moved";
    EXPECT_TRUE(wait_until(10000, [&] { return names("names2.png") < shown / 10; }))
        << "names gone";
    EXPECT_TRUE(wait_until(10000, [&] { return cursor_visible(display_->name()) == 0; }))
        << "cursor hidden";
    ASSERT_TRUE(run_->xdotool({"mousemove", "320", "250"}));
    EXPECT_TRUE(wait_until(5000, [&] { return cursor_visible(display_->name()) == 1; }))
        << "cursor back";

    const auto t0 = std::chrono::steady_clock::now();
    ASSERT_TRUE(key("Return"));
    ASSERT_TRUE(run_->wait_log("layout -> fullscreen")) << run_->log();
    ASSERT_TRUE(run_->wait_log("fullscreen -> layout", 10000)) << run_->log();
    const auto held = std::chrono::steady_clock::now() - t0;
    EXPECT_GE(held, std::chrono::milliseconds(1900)) << "not before the time-out";
    EXPECT_TRUE(running());
}
