// Layout switching with live streams, the event-collector script and the
// viewer's end by signal, on the real program with simulated cameras.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <thread>

#include <gtest/gtest.h>

#include "viewer.h"

using namespace testsupport;

namespace {


const char *const CATALOGUE = R"(camera 0 allow_local=1 video_src=yes geometry=352x288
camera 1-5 work=1 v4l_pipe={nr} text_left="Cam {nr}"
layout 0 L QUAD_4_4 "Hall" 1 2 3 4
layout 1 L WIDE_2_2 "Pair" 4 5
)";

const char *const CAMS = "video1 size=352x288\nvideo2 size=352x288\nvideo3 size=352x288\n"
                         "video4 size=352x288\nvideo5 size=352x288\n";

// Accepts everything and ends after the viewer's last line, as a collector
// should.
const char *const ACCEPT_ALL =
    "  echo done\n  case \"$line\" in *'program exiting'*) exit 0;; esac\n";

// Does a line of the log contain both texts?
bool line_with(const std::string &log, const std::string &a, const std::string &b)
{
    for (size_t at = log.find(a); at != std::string::npos; at = log.find(a, at + 1)) {
        const size_t bol = log.rfind('\n', at) + 1, eol = log.find('\n', at);
        if (log.substr(bol, eol - bol).find(b) != std::string::npos)
            return true;
    }
    return false;
}

size_t position(const std::string &log, const std::string &text)
{
    const size_t at = log.find(text);
    if (at == std::string::npos)
        ADD_FAILURE() << "not in the log: " << text << "\n" << log;
    return at;
}

class LiveLayouts : public ViewerTest {
protected:
    void SetUp() override
    {
        ViewerTest::SetUp();
        if (HasFatalFailure())
            return;
        run_ = std::make_unique<ViewerRun>(CATALOGUE, CAMS);
        events_ = run_->dir().file("events");
        script_ = run_->dir().file("coll.sh");
    }
    void start(const std::string &on_line, std::vector<std::string> options = {})
    {
        write_file(script_, collector_script(events_, on_line), 0755);
        options.insert(options.begin(), {"--verbose=3", "-e", script_});
        ASSERT_TRUE(run_->start(display_->name(), options)) << run_->log();
        // Keys go to the window under the pointer (no window manager).
        ASSERT_TRUE(run_->xdotool({"mousemove", "300", "250"}));
    }
    std::string events() { return read_file(events_); }
    bool key(const std::string &k) { return run_->xdotool({"key", k}); }
    // The collector's pid from the log line that names it.
    pid_t collector_pid(const std::string &log)
    {
        const size_t at = log.find("' (pid ");
        return at == std::string::npos ? -1 : atoi(log.c_str() + at + 7);
    }

    std::string events_, script_;
};

} // namespace

TEST_F(LiveLayouts, SwitchKeepsTheStreamOfACameraInBothLayoutsAndTellsTheCollector)
{
    start(ACCEPT_ALL, {"--camname-timeout=0"});
    ASSERT_TRUE(run_->wait_log("cam[04] src#0: playback started")) << run_->log();
    const size_t before = run_->log().size();
    ASSERT_TRUE(key("1"));
    ASSERT_TRUE(run_->wait_log("layout WIDE_2_2(Pair) used")) << run_->log();
    ASSERT_TRUE(run_->wait_log("cam[05] src#0: playback started")) << run_->log();
    const std::string after = run_->log().substr(before);

    // Camera 4 goes on from the old layout: never stopped, never waiting.
    EXPECT_EQ(run_->log_count("+++ PLAY /dev/video4 +++"), 1u);
    EXPECT_EQ(after.find("+++ STOP /dev/video4"), std::string::npos) << after;
    EXPECT_EQ(after.find("cam[04] src#0: playback started"), std::string::npos);
    EXPECT_FALSE(line_with(after, "cam[04] win[", "set flags [Wt]")) << after;
    // The others of the old layout stop; the new one starts waiting.
    for (const char *dev : {"/dev/video1", "/dev/video2", "/dev/video3"})
        EXPECT_NE(after.find(std::string("+++ STOP ") + dev + " +++"), std::string::npos) << dev;
    EXPECT_NE(after.find("cam[05] win[02]: (D) cam[5]:    set flags [Wt]"), std::string::npos)
        << after;

    // Both windows of the new layout show their moving cameras.
    const auto wins = window_boxes(run_->log());
    ASSERT_EQ(wins.size(), 4u); // windows 1 and 2 laid out anew
    wins_ = wins;
    for (int w : {1, 2}) {
        EXPECT_TRUE(moving(w)) << "window " << w;
        EXPECT_TRUE(shot_until([&](const Image &b) { // its own name, not the other's
            return label_mismatch(b, wins.at(w).video, w == 1 ? " Cam 5 " : " Cam 4 ",
                                  {220, 220, 220, 0}, {31, 31, 31, 0}, Place::bottom_left) > 0.05 &&
                   label_mismatch(b, wins.at(w).video, w == 1 ? " Cam 4 " : " Cam 5 ",
                                  {220, 220, 220, 0}, {31, 31, 31, 0}, Place::bottom_left) < 0.02;
        })) << "window " << w;
    }

    ASSERT_TRUE(key("0"));
    ASSERT_TRUE(run_->wait_log("layout QUAD_4_4(Hall) used", 5000));
    ASSERT_TRUE(wait_until(5000, [&] { return run_->log_count("layout QUAD_4_4(Hall) used") == 2; }));
    const RunResult r = run_->stop();
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(events(), "L program starting\nL layout 0 1000\nL layout 1 0\nL layout 0 1\n"
                        "L program exiting\n");
}

// A refused start layout leaves the viewer running with an error popup
// and nothing shown; a later switch the collector accepts shows a layout.
TEST_F(LiveLayouts, RefusedStartLayoutShowsTheErrorAndKeepsRunning)
{
    start("  case \"$line\" in *'layout 1 1000'*) echo 'no: busy';; *) echo done;; esac\n",
          {"-l", "1"});
    ASSERT_TRUE(run_->wait_log("evtcoll \"coll.sh\" return error: no: busy\n")) << run_->log();
    // The error popup: a blue box in the middle of the view (648x488).
    EXPECT_TRUE(shot_until([&](const Image &popup) {
        return count_colour(popup, {324 - 60, 244 - 20, 120, 40}, {71, 86, 140}) > 1000;
    }));
    EXPECT_EQ(run_->log_count("+++ PLAY /dev/video"), 0u) << "no layout shown";
    EXPECT_TRUE(run_->child()->running());

    ASSERT_TRUE(key("0"));
    ASSERT_TRUE(run_->wait_log("layout QUAD_4_4(Hall) used")) << run_->log();
    ASSERT_TRUE(run_->wait_log("cam[04] src#0: playback started")) << run_->log();
    EXPECT_TRUE(shot_until([&](const Image &b) {
        return count_colour(b, {0, 0, 648, 488}, {71, 86, 140}) < 50;
    })) << "popup gone";
    wins_ = window_boxes(run_->log());
    EXPECT_TRUE(moving(1)) << "window 1 plays";
    EXPECT_EQ(run_->stop().status, 1);
    EXPECT_EQ(events(), "L program starting\nL layout 1 1000\nL layout 0 1000\n"
                        "L program exiting\n");
}

// A switch the collector refuses is not made: the old layout and its
// streams stay, with the error popup.
TEST_F(LiveLayouts, RefusedSwitchIsNotMadeAndTheLayoutStays)
{
    start("  case \"$line\" in *'layout 0 '*) echo 'no: busy';; *) echo done;; esac\n"
          "  case \"$line\" in *'program exiting'*) exit 0;; esac\n",
          {"-l", "1"});
    ASSERT_TRUE(run_->wait_log("cam[05] src#0: playback started")) << run_->log();
    ASSERT_TRUE(key("0"));
    ASSERT_TRUE(run_->wait_log("layout #0 not shown, layout #1 kept")) << run_->log();
    EXPECT_TRUE(run_->child()->running());
    EXPECT_EQ(run_->stop().status, 1);
    const std::string log = run_->log();
    const size_t refused = position(log, "evtcoll \"coll.sh\" return error: no: busy\n");
    EXPECT_LT(refused, position(log, "tirsk-mon (L) exiting..."));
    EXPECT_EQ(run_->log_count("layout QUAD_4_4(Hall) used"), 0u);
    EXPECT_EQ(run_->log_count("+++ PLAY /dev/video1 +++"), 0u);
    EXPECT_EQ(log.substr(0, position(log, "exiting...")).find("+++ STOP /dev/video5"),
              std::string::npos)
        << "nothing wound down before the end";
    EXPECT_EQ(events(), "L program starting\nL layout 1 1000\nL layout 0 1\n"
                        "L program exiting\n");
}

TEST_F(LiveLayouts, CollectorThatEndsEndsTheViewerInOrder)
{
    // Accepts the start layout, then exits with status 3.
    start("  echo done\n  case \"$line\" in *'layout 0 1000'*) exit 3;; esac\n");
    RunResult r;
    ASSERT_TRUE(run_->child()->wait(10000, &r)) << run_->log();
    EXPECT_EQ(r.status, 1);
    const std::string log = run_->log();
    const pid_t pid = collector_pid(log);
    ASSERT_GT(pid, 0) << log;
    const std::string msg = "event collector script `coll.sh' (pid " + std::to_string(pid) +
                            ") exited with 3 exit status";
    const size_t died = position(log, msg);
    EXPECT_EQ(log.compare(log.rfind('\n', died) + 1, 3, "<3>"), 0) << "at error level";
    EXPECT_LT(died, position(log, "tirsk-mon (L) exiting..."));
    EXPECT_LT(position(log, "tirsk-mon (L) exiting..."), position(log, "(D) finished, ret = 0"));
    EXPECT_NE(log.find("evtcoll_exitcode_or_signo = -17"), std::string::npos) << log;
    // The script is gone: no "program exiting" for it.
    EXPECT_EQ(events(), "L program starting\nL layout 0 1000\n");
}

TEST_F(LiveLayouts, KilledCollectorEndsTheViewer)
{
    start(ACCEPT_ALL);
    // The collector is the only child of the viewer: find it in /proc.
    const std::string out = run({"pgrep", "-P", std::to_string(run_->child()->pid())}).out;
    const pid_t pid = atoi(out.c_str());
    ASSERT_GT(pid, 0) << out;
    ASSERT_EQ(kill(pid, SIGKILL), 0);
    RunResult r;
    ASSERT_TRUE(run_->child()->wait(10000, &r)) << run_->log();
    EXPECT_EQ(r.status, 1);
    const std::string log = run_->log();
    EXPECT_NE(log.find("event collector script `coll.sh' (pid " + std::to_string(pid) +
                       ") was killed by the #9(Killed) signal"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("evtcoll_exitcode_or_signo = "), std::string::npos);
    EXPECT_EQ(events().find("program exiting"), std::string::npos);
}

TEST_F(LiveLayouts, CollectorThatDoesNotEndIsLeftAfterThreeSeconds)
{
    // Answers "program exiting", then lingers.
    start("  echo done\n  case \"$line\" in *'program exiting'*) sleep 30;; esac\n");
    const auto t0 = std::chrono::steady_clock::now();
    const RunResult r = run_->stop(15000);
    const auto took = std::chrono::steady_clock::now() - t0;
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.status, 1);
    const std::string log = run_->log();
    const pid_t pid = collector_pid(log);
    EXPECT_NE(log.find("evtcoll: exceed timeout 3 seconds of waiting script `coll.sh' (pid " +
                       std::to_string(pid) + ") termination"),
              std::string::npos)
        << log;
    EXPECT_GE(took, std::chrono::milliseconds(2900)) << "waited for the script";
    // Left running, not killed; end it here with its process group.
    ASSERT_GT(pid, 0);
    EXPECT_EQ(kill(pid, 0), 0) << "the script still runs";
    kill(-pid, SIGKILL);
    EXPECT_EQ(events(), "L program starting\nL layout 0 1000\nL program exiting\n");
}

// SIGTERM and SIGQUIT end the viewer through its orderly shutdown.
TEST_F(LiveLayouts, TerminateAndQuitSignalsShutDownInOrder)
{
    for (int signo : {SIGTERM, SIGQUIT}) {
        SCOPED_TRACE(strsignal(signo));
        if (signo == SIGQUIT) { // a fresh run
            run_ = std::make_unique<ViewerRun>(CATALOGUE, CAMS);
            events_ = run_->dir().file("events");
            script_ = run_->dir().file("coll.sh");
        }
        start(ACCEPT_ALL);
        ASSERT_TRUE(run_->wait_log("cam[04] src#0: playback started")) << run_->log();
        run_->child()->signal(signo);
        RunResult r;
        ASSERT_TRUE(run_->child()->wait(10000, &r)) << run_->log();
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.signal, 0);
        const std::string log = run_->log();
        const std::string first = std::string("Got ") + strsignal(signo) +
                                  " signal, terminate process.\n";
        const size_t sig = position(log, first);
        EXPECT_EQ(log.compare(log.rfind('\n', sig) + 1, 3, "<3>"), 0) << "at error level";
        const size_t s1 = position(log, "tirsk-mon (L) exiting...");
        const size_t s2 = position(log, "+++ DESTROY +++");
        // The script may be seen ending (-17) before the wait for it blocks
        // that signal, or by the wait itself (its exit status, 0).
        const size_t s7 = position(log, "(D) finished, ret = 0, evtcoll_exitcode_or_signo = ");
        EXPECT_TRUE(log.find("evtcoll_exitcode_or_signo = 0, quit = 0\n") != std::string::npos ||
                    log.find("evtcoll_exitcode_or_signo = -17, quit = 0\n") != std::string::npos);
        EXPECT_LT(sig, s1);
        EXPECT_LT(s1, s2);
        EXPECT_LT(s2, s7);
        EXPECT_EQ(run_->log_count("+++ DESTROY +++"), 5u) << "every camera's source";
        EXPECT_EQ(events(), "L program starting\nL layout 0 1000\nL program exiting\n");
    }
}
