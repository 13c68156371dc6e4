// Layout 1 keeps camera 1 (a frame a second, one queued) and adds camera 2,
// after a 3-second collector wait: the viewer's own wait fails neither.
#include "viewer.h"

using namespace testsupport;

class CollectorStall : public ViewerTest {};

TEST_F(CollectorStall, TheViewersOwnWaitFailsNoCamera)
{
    TempDir dir;
    const std::string script = dir.file("slow.sh");
    write_file(script, "#!/bin/sh\nwhile read -r d what nr rest; do\n"
                       "  [ \"$what $nr\" = 'layout 1' ] && sleep 3\n  echo done\ndone\n", 0755);
    ASSERT_NO_FATAL_FAILURE(start(
        "camera 0 allow_local=1 video_src=yes geometry=352x288\n"
        "camera 1-2 work=1 v4l_pipe={nr}\nlayout 0 L ONECAM \"A\" 1\nlayout 1 L WIDE_2_2 \"B\" 1 2\n",
        "video1 size=352x288 fps=1 buffers=1\nvideo2 size=352x288 fps=2\n",
        {"-e", script, "--no-signal=2", "-l", "0"}));
    ASSERT_TRUE(run_->wait_log("cam[01] src#0: playback started")) << run_->log();
    ASSERT_TRUE(run_->xdotool({"mousemove", "300", "250"}) && run_->xdotool({"key", "1"}));
    ASSERT_TRUE(run_->wait_log("cam[02] src#0: playback started", 15000)) << run_->log();
    EXPECT_FALSE(wait_until(1500, [&] { return run_->log_count("capture failed") +
                                                   run_->log_count("server failure"); }));
}
