// Snapshot file names and when a shot is refused.
#include <regex>

#include "monitor_fixture.h"

using namespace monitortest;

namespace {

class Shots : public MonitorTest {
protected:
    void SetUp() override
    {
        MonitorTest::SetUp();
        conf->shot_dir = strdup("/var/tmp/pics");
        cam7_ = add_camera(7);
        cam123_ = add_camera(123);
        add_layout(0, "WIDE_2_2", {cam7_, cam123_});
        cur_layout = 0;
        ASSERT_EQ(apply_layout(&conf->layouts[0]), 1);
        vout_calls.clear();
        // The log facility writes to standard error.
        testing::internal::CaptureStderr();
        capturing_ = true;
    }
    void TearDown() override
    {
        logged();
        free(conf->shot_dir);
        MonitorTest::TearDown();
    }
    // What was logged since SetUp (once per test).
    std::string logged()
    {
        if (capturing_) {
            log_ = testing::internal::GetCapturedStderr();
            capturing_ = false;
        }
        return log_;
    }
    camera *cam7_ = nullptr, *cam123_ = nullptr;
    bool capturing_ = false;
    std::string log_;
};

const std::string STAMP = R"(\d{4}-\d{2}-\d{2}_\d{2}:\d{2}:\d{2})";

} // namespace

TEST_F(Shots, NamesCarryDirectoryDisplayCameraAndLocalTime)
{
    screen_shot();
    conf->display = 'R';
    cam_shot(); // window 1, camera 7
    select_win(1);
    cam_shot(); // camera 123
    const std::vector<std::string> shots = testsupport::calls_except(
        {"border", "alarm", "caption", "status", "free_surfaces", "pause"});
    ASSERT_EQ(shots.size(), 3u);
    EXPECT_TRUE(std::regex_match(
        shots[0],
        std::regex(R"(screen_snapshot /var/tmp/pics/tirskmon\(L\)_)" + STAMP +
                   R"(\.png)")))
        << shots[0];
    EXPECT_TRUE(std::regex_match(
        shots[1],
        std::regex(R"(win_snapshot w\d+ /var/tmp/pics/tirskmon\(R\)_cam07_)" +
                   STAMP + R"(\.png)")))
        << shots[1];
    EXPECT_TRUE(std::regex_match(
        shots[2],
        std::regex(R"(win_snapshot w\d+ /var/tmp/pics/tirskmon\(R\)_cam123_)" +
                   STAMP + R"(\.png)")))
        << shots[2];
}

TEST_F(Shots, ANameTooLongForItsBufferIsRefusedNotCut)
{
    free(conf->shot_dir);
    // 299 characters fit: the directory plus 35 for the screen name.
    conf->shot_dir = strdup(("/" + std::string(262, 'd')).c_str());
    screen_shot();
    ASSERT_EQ(count_calls("^screen_snapshot "), 1);
    EXPECT_EQ(vout_calls[0].size(), strlen("screen_snapshot ") + 299);
    // The camera name is 6 characters longer.
    cam_shot();
    EXPECT_EQ(count_calls("^win_snapshot "), 0);
    EXPECT_NE(logged().find("snapshot refused: file name longer than 299"),
              std::string::npos);
}
