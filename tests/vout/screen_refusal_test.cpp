// Screens on which no picture could ever be shown are refused when the
// screen is set up, with one clear message, instead of failing later.
#include <gtest/gtest.h>

#include "e2e.h"
#include "sdl_screen.h"
#include "vout_test_conf.h"

using namespace testsupport;

namespace {

class ScreenRefusal : public VoutTest {
protected:
    void TearDown() override
    {
        sdl_fini();
        VoutTest::TearDown();
    }
};

// An X server of the given depth; its name once it is up, else "".
std::string start_xvfb(Child *&xvfb, const TempDir &dir, int depth)
{
    const std::string out = dir.file("xvfb.out");
    xvfb = new Child({"Xvfb", "-displayfd", "1", "-noreset", "-nolisten", "tcp",
                      "-screen", "0", "640x480x" + std::to_string(depth)},
                     {}, out, dir.file("xvfb.err"));
    if (!wait_until(10000, [&] { return read_file(out).find('\n') != std::string::npos; }))
        return "";
    std::string nr = read_file(out);
    return ":" + nr.substr(0, nr.find('\n'));
}

} // namespace

TEST_F(ScreenRefusal, ScreensThatCannotShowPicturesAreRefusedAtSetUp)
{
    const struct {
        int depth; // 0: the test display
        u32_size geo;
        const char *message;
    } cases[] = {
        {8, {640, 480}, "the 640x480x8 screen cannot show YV12 video overlays: "},
        {0, {0, 0}, "Unsupported resolution: 0x0 (set by config or cmdline): "},
        {0, {648, 0}, "Unsupported resolution: 648x0 (set by config or cmdline): "},
    };
    TempDir dir;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.message);
        Child *xvfb = nullptr;
        if (c.depth) {
            const std::string name = start_xvfb(xvfb, dir, c.depth);
            ASSERT_FALSE(name.empty()) << "no Xvfb";
            hold_display_open(name);
            setenv("DISPLAY", name.c_str(), 1);
        }
        cfg->geo = c.geo;
        std::string log;
        {
            CapturedFd err(2);
            EXPECT_EQ(sdl_init(0), 0);
            log = err.text();
        }
        EXPECT_NE(log.find(c.message), std::string::npos) << log;
        sdl_fini();
        delete xvfb;
        setenv("DISPLAY", display.c_str(), 1);
    }
}
