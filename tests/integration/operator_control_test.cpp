// The operator's keys and mouse, the time-outs and the snapshot files, on
// the real program with simulated cameras on a virtual display: one viewer
// walked through them in turn.
#include <dlfcn.h>

#include <chrono>
#include <filesystem>
#include <regex>

#include <gtest/gtest.h>

#include "viewer.h"

using namespace testsupport;

namespace {

// The viewer's window is 648x488 in the top-left corner of the display;
// WIDE_2_2 puts window 1 in its left half, window 2 in the right.
constexpr int VIEW_W = 648, VIEW_H = 488;
constexpr Box VIEW = {0, 0, VIEW_W, VIEW_H};

// Is the mouse pointer drawn?  Asks the X server for the cursor image (the
// viewer hides its pointer with an empty one); -1 when the X libraries
// cannot be loaded.
int cursor_visible(const std::string &display)
{
    struct CursorImage { // the X fixes extension's record
        short x, y;
        unsigned short width, height, xhot, yhot;
        unsigned long serial;
        unsigned long *pixels;
    };
    void *x11 = dlopen("libX11.so.6", RTLD_NOW), *xfixes = dlopen("libXfixes.so.3", RTLD_NOW);
    int visible = -1;
    auto open = reinterpret_cast<void *(*)(const char *)>(x11 ? dlsym(x11, "XOpenDisplay") : nullptr);
    auto close = reinterpret_cast<int (*)(void *)>(x11 ? dlsym(x11, "XCloseDisplay") : nullptr);
    auto xfree = reinterpret_cast<int (*)(void *)>(x11 ? dlsym(x11, "XFree") : nullptr);
    auto get = reinterpret_cast<CursorImage *(*)(void *)>(xfixes ? dlsym(xfixes, "XFixesGetCursorImage") : nullptr);
    if (void *dpy = open && close && xfree && get ? open(display.c_str()) : nullptr) {
        if (CursorImage *img = get(dpy)) {
            visible = 0;
            for (int i = 0; i < img->width * img->height; i++)
                visible |= (img->pixels[i] >> 24) != 0; // any opaque pixel
            xfree(img);
        }
        close(dpy);
    }
    return visible;
}

std::vector<std::string> files_in(const std::string &dir)
{
    std::vector<std::string> out;
    for (const auto &e : std::filesystem::directory_iterator(dir))
        out.push_back(e.path().filename());
    return out;
}

class OperatorControl : public ViewerTest {
protected:
    bool click(int button, int x, int y)
    {
        return run_->xdotool({"mousemove", std::to_string(x), std::to_string(y), "click", std::to_string(button)});
    }
    int blue(const Image &img) { return count_colour(img, VIEW, POPUP_BLUE); }
    TempDir shots_;
};

} // namespace

TEST_F(OperatorControl, KeysMouseTimeOutsAndSnapshots)
{
    start(sim_catalogue(4, "layout 0 L WIDE_2_2 \"Pair\" 1 2\nlayout 1 L QUAD_4_4 \"Hall\" 1 2 3 4\n"
                           "layout 2 L ONECAM \"One\" 3\n"),
          sim_cams(4, "size=352x288 fps=10"),
          {"--cursor-timeout=1", "--camname-timeout=1", "--fs-timeout=2", "--shot-dir=" + shots_.path()});
    const std::string dpy = display_->name();

    // The pointer and the camera names show when the mouse moves, and go
    // after their time-outs.
    ASSERT_TRUE(run_->xdotool({"mousemove", "310", "250"}));
    ASSERT_GE(cursor_visible(dpy), 0) << "libX11/libXfixes not loadable";
    EXPECT_TRUE(wait_until(5000, [&] { return cursor_visible(dpy) == 1; }));
    auto names = [&] { return count_colour(shot("names.png"), VIEW, {31, 31, 31}, 1); };
    int shown = 0;
    EXPECT_TRUE(wait_until(5000, [&] { return (shown = names()) > 100; })) << "names shown";
    EXPECT_TRUE(wait_until(10000, [&] { return names() < shown / 10; })) << "names gone";
    EXPECT_TRUE(wait_until(10000, [&] { return cursor_visible(dpy) == 0; })) << "cursor hidden";
    ASSERT_TRUE(run_->xdotool({"mousemove", "320", "250"}));
    EXPECT_TRUE(wait_until(5000, [&] { return cursor_visible(dpy) == 1; })) << "cursor back";

    // Fullscreen ends by itself after its time-out, not before.
    const auto t0 = std::chrono::steady_clock::now();
    ASSERT_TRUE(key("Return"));
    ASSERT_TRUE(run_->wait_log("layout -> fullscreen")) << run_->log();
    ASSERT_TRUE(run_->wait_log("fullscreen -> layout")) << run_->log();
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(1900));

    // Pause freezes the selected window (1) with its label, white on red at
    // the top left, while the other moves; play resumes it.
    const Box left = {20, 150, 280, 190}, right = {340, 150, 280, 190};
    ASSERT_TRUE(key("space"));
    EXPECT_TRUE(pair_until([&](const Image &a, const Image &b) {
        return count_changed(a, b, left) == 0 && count_changed(a, b, right) > 100 &&
               count_colour(b, {0, 100, VIEW_W / 2, 80}, {255, 0, 0}) > 100 &&
               count_colour(b, {VIEW_W / 2, 100, VIEW_W / 2, 80}, {255, 0, 0}) == 0;
    })) << "paused";
    ASSERT_TRUE(key("p"));
    EXPECT_TRUE(pair_until([&](const Image &a, const Image &b) {
        return count_changed(a, b, left) > 100 && count_colour(b, {0, 100, VIEW_W / 2, 80}, {255, 0, 0}) == 0;
    })) << "resumed, label gone";

    // Snapshots of the selected window and of the screen show what is on
    // it: both pictures paused (right click), window 1 selected.
    ASSERT_TRUE(click(3, 480, 244));
    ASSERT_TRUE(click(3, 160, 244));
    ASSERT_TRUE(pair_until([](const Image &a, const Image &b) { return a.rgba == b.rgba; }))
        << "the screen does not hold still";
    ASSERT_TRUE(key("F2"));
    ASSERT_TRUE(key("shift+F2"));
    ASSERT_TRUE(wait_until(5000, [&] {
        const auto files = files_in(shots_.path());
        return files.size() == 2 && read_png(shots_.file(files[0])).ok() && read_png(shots_.file(files[1])).ok();
    })) << run_->log();
    const Image screen = shot("screen.png");
    std::string cam_file, screen_file;
    for (const std::string &f : files_in(shots_.path()))
        (f.find("_cam") != std::string::npos ? cam_file : screen_file) = f;
    const std::string stamp = R"(_\d{4}-\d{2}-\d{2}_\d{2}:\d{2}:\d{2}\.png)";
    EXPECT_TRUE(std::regex_match(cam_file, std::regex(R"(tirskmon\(L\)_cam01)" + stamp))) << cam_file;
    EXPECT_TRUE(std::regex_match(screen_file, std::regex(R"(tirskmon\(L\))" + stamp))) << screen_file;
    const Image whole = read_png(shots_.file(screen_file)), cam = read_png(shots_.file(cam_file));
    EXPECT_TRUE(whole.rgb8);
    EXPECT_EQ(whole.width * 10000 + whole.height, VIEW_W * 10000 + VIEW_H);
    EXPECT_EQ(mismatches(whole, screen, 0, 0), 0);
    // The camera shot is window 1's video area: find it in the left half.
    EXPECT_TRUE(cam.rgb8);
    ASSERT_TRUE(cam.width > 100 && cam.width <= VIEW_W / 2) << cam.width;
    bool found = false;
    for (int y = 0; !found && y + cam.height <= VIEW_H; y++)
        for (int x = 0; !found && x + cam.width <= VIEW_W / 2; x++)
            found = cam.pixel(0, 0) == screen.pixel(x, y) && mismatches(cam, screen, x, y, 0) == 0;
    EXPECT_TRUE(found) << "camera shot not found in the left half";

    // Digit keys switch layouts; an unknown number only says so, and its
    // popup closes with any key.
    ASSERT_TRUE(key("1"));
    EXPECT_TRUE(run_->wait_log("layout QUAD_4_4(Hall) used")) << run_->log();
    ASSERT_TRUE(key("KP_2"));
    EXPECT_TRUE(run_->wait_log("layout ONECAM(One) used")) << run_->log();
    ASSERT_TRUE(key("Return")); // one window whose camera has one stream: no fullscreen
    ASSERT_TRUE(key("7"));
    EXPECT_TRUE(shot_until([&](const Image &img) { return count_colour(img, {274, 224, 100, 40}, POPUP_BLUE) > 1000; }));
    EXPECT_EQ(run_->log_count("layout -> fullscreen"), 1u);
    ASSERT_TRUE(key("a"));
    EXPECT_TRUE(shot_until([&](const Image &img) { return blue(img) < 50; }));
    ASSERT_TRUE(key("0"));
    EXPECT_TRUE(wait_until(5000, [&] { return run_->log_count("layout WIDE_2_2(Pair) used") == 2; }));

    // Esc closes the help first, then quits.
    ASSERT_TRUE(key("F1"));
    EXPECT_TRUE(shot_until([&](const Image &img) { return blue(img) > 20000; })) << "the help";
    ASSERT_TRUE(key("Escape"));
    EXPECT_TRUE(shot_until([&](const Image &img) { return blue(img) < 50; })) << "help closed";
    EXPECT_TRUE(run_->child()->running());
    ASSERT_TRUE(key("Escape"));
    RunResult r;
    ASSERT_TRUE(run_->child()->wait(10000, &r)) << run_->log();
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(run_->log().find("User quit requested, quitting."), std::string::npos);
}
