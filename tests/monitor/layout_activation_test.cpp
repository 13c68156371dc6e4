// Layout activation, switching and fullscreen.
#include "evtcoll.h"
#include "harness.h"
#include "monitor_fixture.h"
#include "process.h"

using namespace monitortest;

namespace {

class Layouts : public MonitorTest {
protected:
    void SetUp() override
    {
        MonitorTest::SetUp();
        for (int i = 1; i <= 5; i++)
            cams_[i] = add_camera(i, i == 5);
        add_layout(0, "QUAD_4_4", {cams_[1], cams_[2], cams_[3], cams_[4]});
        add_layout(1, "WIDE_2_2", {cams_[4], cams_[5]});
        add_layout(2, "QUAD_9_9", {cams_[1], nullptr, nullptr, nullptr, nullptr});
        cur_layout = 0;
        ASSERT_EQ(apply_layout(&conf->layouts[0]), 1);
    }
    camera *cams_[6] = {};
};

} // namespace

TEST_F(Layouts, ApplySelectsTheMajorWindowAndBindsCameras)
{
    EXPECT_EQ(g_selectetWinIdx, 0);
    for (int i = 0; i < 4; i++) {
        EXPECT_EQ(windows[i].cam, cams_[i + 1]);
        EXPECT_EQ(cams_[i + 1]->win, &windows[i]);
        EXPECT_TRUE(windows[i].state & WS_DN);
        EXPECT_GT(windows[i].video_rect.w, 0u);
    }
    EXPECT_EQ(windows[4].cam, nullptr);
    EXPECT_EQ(count_calls("^draw_win"), 4);
}

TEST_F(Layouts, SwitchToCurrentLayoutLeavesFullscreenWithoutRebuilding)
{
    layout_to_fullscreen(1);
    ASSERT_EQ(g_fsWinIdx, 1);
    EXPECT_TRUE(windows[1].state & WS_FS);
    EXPECT_TRUE(windows[0].state & WS_PA);
    vout_calls.clear();
    EXPECT_EQ(switch_layout(0, 1), 1);
    EXPECT_EQ(g_fsWinIdx, -1);
    EXPECT_FALSE(windows[1].state & WS_FS);
    EXPECT_FALSE(windows[0].state & WS_PA);
    EXPECT_EQ(windows[0].cam, cams_[1]) << "not rebuilt";
}

TEST_F(Layouts, FullscreenOfAOneSourceCameraStartsNothing)
{
    const int plays = stream(cams_[2]).plays;
    const win_rect before = windows[1].rect;
    layout_to_fullscreen(1);
    EXPECT_EQ(stream(cams_[2]).plays, plays);
    EXPECT_GT(windows[1].rect.w, before.w);
    fullscreen_to_layout();
    EXPECT_EQ(windows[1].rect.x, before.x);
    EXPECT_EQ(windows[1].rect.w, before.w);
}

namespace {

// An event-collector script that writes every line it gets to a file and
// refuses the lines that contain `refuse`.
class Collector {
public:
    explicit Collector(const std::string &refuse = "no such line")
    {
        testsupport::write_file(
            dir_.file("coll.sh"),
            "while read -r l; do echo \"$l\" >> '" + dir_.file("lines") +
                "'; case \"$l\" in *exiting*) echo done; exit 0;; *'" +
                refuse + "'*) echo fail;; *) echo done;; esac; done\n",
            0755);
        opened_ = evtcoll_open(dir_.file("coll.sh").c_str(), 64, &pid_) == 0;
    }
    ~Collector()
    {
        if (!opened_)
            return;
        evtcoll_write("%c program exiting\n", 'L');
        evtcoll_close(pid_, 3, nullptr);
    }
    bool opened() const { return opened_; }
    std::string lines() const
    {
        return testsupport::read_file(dir_.file("lines"));
    }

private:
    testsupport::TempDir dir_;
    int pid_ = -1;
    bool opened_ = false;
};

} // namespace

TEST_F(Layouts, AlarmedCameraComesUpAlarmed)
{
    cams_[5]->alarm = 1;
    ASSERT_EQ(switch_layout(1, 1), 1);
    window *w = cams_[5]->win;
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->state & (WS_AL | WS_DN | WS_WT), uint32_t(WS_AL | WS_DN | WS_WT));
    EXPECT_FALSE(cams_[4]->win->state & WS_AL);
}

// A stream that cannot be started is logged; the window stays waiting.
TEST_F(Layouts, StreamThatWillNotStartLeavesTheWindowWaiting)
{
    stream(cams_[5]).play_ok = false;
    testsupport::LogCapture log;
    ASSERT_EQ(switch_layout(1, 1), 1);
    EXPECT_TRUE(log.contains("src#0: start source playing failed with #"))
        << log.text();
    EXPECT_TRUE(cams_[5]->win->state & WS_WT);
    EXPECT_EQ(cams_[5]->win->target_src, 0);
}

// Fullscreen of a camera with its own fullscreen stream: the others hidden,
// the window enlarged, the second stream started; back again, the layout
// geometry returns and the layout stream is asked for again.
TEST_F(Layouts, FullscreenOfATwoStreamCameraAndBack)
{
    ASSERT_EQ(switch_layout(1, 1), 1);
    window *w = cams_[5]->win;
    const int i = int(w - windows);
    const win_rect layout_rect = w->rect;
    g_monotime_microsec += 5000000;
    vout_calls.clear();
    layout_to_fullscreen(i);
    EXPECT_EQ(g_fsWinIdx, i);
    EXPECT_EQ(fs_since, uint64_t(g_monotime_microsec));
    EXPECT_EQ(saved_rect.w, layout_rect.w);
    EXPECT_GT(w->rect.w, layout_rect.w);
    EXPECT_EQ(w->state & (WS_FS | WS_PA | WS_WT), uint32_t(WS_FS | WS_WT));
    EXPECT_TRUE(cams_[4]->win->state & WS_PA);
    EXPECT_EQ(w->target_src, 1);
    EXPECT_EQ(stream(cams_[5], 1).plays, 1);
    EXPECT_EQ(slots(),
              (std::vector<std::string>{"fill", "redisplay", "draw_win"}));

    fullscreen_to_layout();
    EXPECT_EQ(g_fsWinIdx, -1);
    EXPECT_EQ(w->rect.x, layout_rect.x);
    EXPECT_EQ(w->rect.w, layout_rect.w);
    EXPECT_FALSE(w->state & (WS_FS | WS_PA));
    EXPECT_FALSE(cams_[4]->win->state & WS_PA);
}
