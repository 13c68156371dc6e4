// Snapshot file names, and the names too long for their buffer.
#include "monitor_fixture.h"

using namespace monitortest;

TEST_F(MonitorTest, SnapshotNamesCarryTheCameraAndTooLongOnesAreRefusedNotCut)
{
    show_layout("WIDE_2_2", {add_camera(7), add_camera(123)});
    conf->display = 'R';
    conf->shot_dir = strdup("/var/tmp/pics");
    select_win(1);
    cam_shot();
    EXPECT_EQ(count_calls(R"(^win_snapshot w1 /var/tmp/pics/tirskmon\(R\)_cam123_\d{4}-\d\d-\d\d_\d\d:\d\d:\d\d\.png$)"), 1)
        << vout_calls.back();

    // 299 characters fit: the directory plus 35 for the screen's name; the
    // camera's is 6 longer.
    free(conf->shot_dir);
    conf->shot_dir = strdup(("/" + std::string(262, 'd')).c_str());
    vout_calls.clear();
    LogCapture log;
    screen_shot();
    ASSERT_EQ(count_calls("^screen_snapshot "), 1);
    EXPECT_EQ(vout_calls[0].size(), strlen("screen_snapshot ") + 299);
    cam_shot();
    EXPECT_EQ(count_calls("^win_snapshot "), 0);
    EXPECT_TRUE(log.contains("snapshot refused: file name longer than 299")) << log.text();
    free(conf->shot_dir);
    conf->shot_dir = nullptr;
}
