// A change of failure cause, a fullscreen that cannot be built and stream
// sizes that wrapped the scaling.
#include "monitor_fixture.h"

using namespace monitortest;

// Server failure, then the server is back while the device stays dark:
// the cause changes, which is no recovery.
TEST_F(MonitorTest, ChangingTheFailureCauseIsNoRecovery)
{
    testsupport::TempDir dir;
    setenv("TIRSK_LOCK_DIR", dir.path().c_str(), 1);
    windows[0].cam = add_camera(1);
    testsupport::LogCapture log;
    set_src_fail_state(&windows[0], "/dev/video1");
    testsupport::write_file(dir.file("DB:tirsk6_db..cam01"), std::to_string(getpid()));
    set_src_fail_state(&windows[0], "/dev/video1");
    EXPECT_EQ(windows[0].state & (WS_CF | WS_SF), WS_CF);
    EXPECT_TRUE(log.contains("server failure!") && log.contains("capture failed")) << log.text();
    EXPECT_FALSE(log.contains("restore surveillance")) << log.text();
    unsetenv("TIRSK_LOCK_DIR");
}

TEST_F(MonitorTest, FullscreenThatCannotBeBuiltKeepsTheLayout)
{
    add_layout(0, "ONECAM", {add_camera(1)});
    cur_layout = 0;
    ASSERT_EQ(apply_layout(&conf->layouts[0]), 1);
    conf->force_aspect = {1, 60000}; // taller than any screen
    quit = 0;
    layout_to_fullscreen(0);
    EXPECT_EQ(quit, 0);
    EXPECT_EQ(g_fsWinIdx, -1);
    EXPECT_EQ(windows[0].state & WS_PA, 0u);
    EXPECT_NE(vout_calls.back().find("Ошибка переключения"), std::string::npos);

    // Smart scaling of a stream of 2^32-1 squared once divided by zero.
    conf->smart_scale = 1;
    const aspect_pair tall = {1, 200};
    base_cell out;
    ASSERT_EQ(get_layout_base_cell_rects(onecam_layout_def, 1920, 1080, UINT32_MAX, UINT32_MAX, &tall, &out), 1);
    EXPECT_GT(out.video_w, 0u);
}
