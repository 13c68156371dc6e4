// Layout switching with live streams and the event-collector script on the
// real program with simulated cameras: what the collector hears, refusals,
// and how its end or its silence ends the viewer.
#include <fcntl.h>
#include <signal.h>
#include <string.h>
#include <unistd.h>

#include <chrono>
#include <regex>

#include <gtest/gtest.h>

#include "viewer.h"

using namespace testsupport;

namespace {

const std::string CATALOGUE = sim_catalogue(5, "layout 0 L QUAD_4_4 \"Hall\" 1 2 3 4\n"
                                               "layout 1 L WIDE_2_2 \"Pair\" 4 5\n"
                                               "layout 2 L ONECAM \"Busy\" 3\n");
// Only a reply starting with "done" accepts: layout 2 is refused (at
// start "Done", later " done"); ends on the viewer's last line, unanswered.
const char *const REFUSE_2 =
    "  case \"$line\" in *'program exiting'*) exit 0;; esac\n"
    "  case \"$line\" in *'layout 2 1000'*) echo Done;; *'layout 2 '*) echo ' done';;\n"
    "    *'layout 0 1000'*) echo 'done, and more';; *) echo done;; esac";

class LiveLayouts : public ViewerTest {
protected:
    // A run of CATALOGUE with a collector running on_line for each line
    // (then tail); true when the viewer started within timeout_ms.
    bool start_with(const std::string &on_line, std::vector<std::string> options = {},
                    const std::string &tail = "", int timeout_ms = 20000)
    {
        run_ = std::make_unique<ViewerRun>(CATALOGUE, cams_);
        events_ = run_->dir().file("events");
        const std::string script = run_->dir().file("coll.sh");
        write_file(script, collector_script(events_, on_line) + tail, 0755);
        options.insert(options.begin(), {"--verbose=3", "-e", script});
        return run_->start(display_->name(), options, timeout_ms) &&
               run_->xdotool({"mousemove", "300", "250"});
    }
    std::string events() { return read_file(events_); }
    bool wait_event(const std::string &e)
    {
        return wait_until(10000, [&] { return events().find(e) != std::string::npos; });
    }
    bool popup(const Image &img) { return count_colour(img, {264, 224, 120, 40}, POPUP_BLUE) > 1000; }
    std::string events_, cams_ = sim_cams(5);
};

} // namespace

// A refused start layout leaves the viewer running with the error and no
// layout; a later switch shows one.  A switch keeps the streams the layouts
// share; a refused one keeps the layout; the collector hears every switch.
TEST_F(LiveLayouts, RefusedLayoutsShowTheErrorSwitchKeepsSharedStreamsAndTheCollectorHearsAll)
{
    ASSERT_TRUE(start_with(REFUSE_2, {"-l", "2", "--camname-timeout=0"})) << run_->log();
    ASSERT_TRUE(run_->wait_log("evtcoll \"coll.sh\" return error: Done\n")) << run_->log();
    EXPECT_TRUE(shot_until([&](const Image &img) { return popup(img); }));
    EXPECT_EQ(run_->log_count("+++ PLAY /dev/video"), 0u) << "no layout shown";
    ASSERT_TRUE(key("0"));
    ASSERT_TRUE(run_->wait_log("cam[04] src#0: playback started")) << run_->log();
    EXPECT_TRUE(shot_until([&](const Image &b) { return count_colour(b, {0, 0, 648, 488}, POPUP_BLUE) < 50; }))
        << "popup gone";
    // A collector stopped and continued is still there.
    kill(run_->collector(), SIGSTOP);
    kill(run_->collector(), SIGCONT);
    const size_t before = run_->log().size();
    ASSERT_TRUE(key("1"));
    ASSERT_TRUE(run_->wait_log("layout WIDE_2_2(Pair) used")) << run_->log();
    ASSERT_TRUE(run_->wait_log("cam[05] src#0: playback started")) << run_->log();
    const std::string after = run_->log().substr(before);
    // Camera 4 goes on from the old layout: never stopped, never waiting;
    // the others stop, the new one starts waiting.
    EXPECT_EQ(run_->log_count("+++ PLAY /dev/video4 +++"), 1u);
    EXPECT_EQ(after.find("+++ STOP /dev/video4"), std::string::npos) << after;
    EXPECT_EQ(after.find("cam[04] src#0: playback started"), std::string::npos);
    EXPECT_FALSE(std::regex_search(after, std::regex(R"(cam\[04\] win\[.*set flags \[Wt\])"))) << after;
    for (const char *dev : {"/dev/video1", "/dev/video2", "/dev/video3"})
        EXPECT_NE(after.find(std::string("+++ STOP ") + dev + " +++"), std::string::npos) << dev;
    EXPECT_TRUE(std::regex_search(after, std::regex(R"(cam\[05\] win\[02\].*set flags \[Wt\])"))) << after;
    // Both windows show their moving cameras with their own names.
    wins_ = window_boxes(run_->log());
    for (int w : {1, 2}) {
        EXPECT_TRUE(moving(w)) << "window " << w;
        EXPECT_TRUE(shot_until([&](const Image &b) {
            return label(b, w, w == 1 ? " Cam 4 " : " Cam 5 ", NAME_FG, NAME_BG, Place::bottom_left) &&
                   !label(b, w, w == 1 ? " Cam 5 " : " Cam 4 ", NAME_FG, NAME_BG, Place::bottom_left);
        })) << "window " << w;
    }

    // Refused: not made, the layout and its streams stay, the error shows.
    ASSERT_TRUE(key("2"));
    ASSERT_TRUE(run_->wait_log("layout #2 not shown, layout #1 kept")) << run_->log();
    EXPECT_TRUE(shot_until([&](const Image &img) { return popup(img); }));
    EXPECT_NE(run_->log().find("evtcoll \"coll.sh\" return error:  done\n"), std::string::npos);
    EXPECT_EQ(run_->log_count("layout ONECAM(Busy) used") + run_->log_count("+++ STOP /dev/video5"), 0u);

    ASSERT_TRUE(key("0"));
    ASSERT_TRUE(wait_until(5000, [&] { return run_->log_count("layout QUAD_4_4(Hall) used") == 2; }));
    // SIGQUIT ends it in order.
    run_->child()->signal(SIGQUIT);
    RunResult r;
    ASSERT_TRUE(run_->child()->wait(10000, &r)) << run_->log();
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(run_->log().find("Got Quit signal, terminate process.\n"), std::string::npos);
    EXPECT_FALSE(std::regex_search(run_->log(), std::regex("<3>[^\n]*collector script"))) << "its end was asked for";
    EXPECT_EQ(events(), "L program starting\nL layout 2 1000\nL layout 0 1000\nL layout 1 0\nL layout 2 1\n"
                        "L layout 0 1\nL program exiting\n");
}

// A collector that ends, at start or later, ends the viewer in order; its
// end is reported at error level and nothing more is written to it.
TEST_F(LiveLayouts, CollectorThatEndsEndsTheViewer)
{
    const struct {
        const char *on_line;
        bool killed;
        const char *reported, *events;
    } cases[] = {
        {"  echo done\n  case \"$line\" in *'layout 0 1000'*) exit 3;; esac", false,
         ") exited with 3 exit status", "L program starting\nL layout 0 1000\n"},
        {"  echo done", true, ") was killed by the #9(Killed) signal", "L program starting\nL layout 0 1000\n"},
        {"  break", false, ") exited with 0 exit status", "L program starting\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.reported);
        const bool at_start = c.on_line == std::string("  break");
        ASSERT_EQ(start_with(c.on_line, {}, "", at_start ? 2000 : 20000), !at_start) << run_->log();
        const pid_t pid = c.killed ? run_->collector() : 0;
        ASSERT_TRUE(!c.killed || kill(pid, SIGKILL) == 0);
        RunResult r;
        ASSERT_TRUE(run_->child()->wait(10000, &r)) << run_->log();
        EXPECT_EQ(r.status, 1);
        const std::string log = run_->log();
        const size_t at = log.find(c.reported), bol = log.rfind('\n', at) + 1;
        const std::string line = log.substr(bol, log.find('\n', at) - bol);
        EXPECT_EQ(line.rfind("<3>", 0), 0u) << log;
        EXPECT_NE(line.find("event collector script `coll.sh' (pid " + (pid ? std::to_string(pid) : "")),
                  std::string::npos) << line;
        EXPECT_LT(log.find(c.reported), log.find("(D) finished, ret = 0, evtcoll_exitcode_or_signo = "));
        EXPECT_EQ(log.find("write to evtcoll"), std::string::npos) << log;
        EXPECT_EQ(events(), c.events);
    }
}

// A collector slow to answer a switch fails no camera; one slow to end:
// the viewer waits for it 3 seconds, then leaves it; one that never answers
// a switch does not keep SIGTERM from ending the viewer; a second SIGTERM
// while it waits is taken too.
TEST_F(LiveLayouts, SlowCollectorsDelayTheEndBoundedly)
{
    // First it takes 3 seconds over layout 1: camera 4 (a frame a second,
    // one queued) stays and camera 5 comes; the viewer's own wait fails neither.
    cams_ = sim_cams(3) + "video4 size=352x288 fps=1 buffers=1\nvideo5 size=352x288 fps=2\n";
    ASSERT_TRUE(start_with("  case \"$line\" in *'layout 1 '*) sleep 3;;\n"
                           "    *'program exiting'*) echo done; sleep 30;; esac\n  echo done", {"--no-signal=2"}));
    ASSERT_TRUE(run_->wait_log("cam[04] src#0: playback started")) << run_->log();
    ASSERT_TRUE(key("1"));
    ASSERT_TRUE(run_->wait_log("cam[05] src#0: playback started", 15000)) << run_->log();
    EXPECT_FALSE(wait_until(1500, [&] {
        return run_->log_count("capture failed") + run_->log_count("server failure");
    }));
    const pid_t lingering = run_->collector();
    const auto t0 = std::chrono::steady_clock::now();
    RunResult r = run_->stop(15000);
    EXPECT_FALSE(r.timed_out);
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(2900));
    EXPECT_NE(r.err.find("evtcoll: exceed timeout 3 seconds of waiting script `coll.sh' (pid " +
                         std::to_string(lingering) + ") termination"), std::string::npos) << r.err;
    EXPECT_EQ(kill(lingering, 0), 0) << "left running, not killed";
    kill(-lingering, SIGKILL);

    ASSERT_TRUE(start_with("  case \"$line\" in *'layout 1'*) sleep 600;; *) echo done;; esac"));
    const pid_t silent = run_->collector();
    ASSERT_TRUE(key("1"));
    ASSERT_TRUE(wait_event("L layout 1 0"));
    r = run_->stop(15000);
    kill(-silent, SIGKILL);
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(occurrences(r.err, "Got Terminated signal, terminate process."), 1) << r.err;

    ASSERT_TRUE(start_with("  echo done", {}, "sleep 1\n")); // reads to the end of its input
    run_->child()->signal(SIGTERM);
    ASSERT_TRUE(wait_event("L program exiting"));
    run_->child()->signal(SIGTERM);
    ASSERT_TRUE(run_->child()->wait(15000, &r));
    EXPECT_EQ(run_->log_count("Got Terminated signal"), 2u) << run_->log();
    EXPECT_EQ(run_->log_count("exceed timeout"), 0u) << run_->log();
}

// A SIGTERM before the handlers exist (held back by the supervisor's mask,
// which the viewer inherits) and a log reader gone before the first line:
// the viewer still ends in order and its collector hears the end.
TEST_F(LiveLayouts, EarlySigtermWithTheLogReaderGoneEndsInOrder)
{
    ViewerRun run(CATALOGUE, "");
    const std::string events = run.dir().file("events"), script = run.dir().file("coll.sh");
    write_file(script, collector_script(events, "  echo done"), 0755);
    int p[2];
    ASSERT_EQ(pipe2(p, O_CLOEXEC), 0);
    sigset_t term, old;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &term, &old);
    Child c({TIRSK_MON_BIN, "-c", "/dev/null", "-T", "sqlite", "-H", run.dir().path(), "-D", "tirsk6_db",
             "-v", "-e", script},
            {"DISPLAY=" + display_->name()}, run.dir().file("out"), "/dev/fd/" + std::to_string(p[1]));
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    close(p[0]);
    close(p[1]);
    c.signal(SIGTERM);
    RunResult r;
    ASSERT_TRUE(c.wait(20000, &r)) << "hung";
    EXPECT_EQ(r.signal * 1000 + r.status, 1);
    EXPECT_TRUE(wait_until(5000, [&] { return read_file(events).find("L program exiting") != std::string::npos; }))
        << read_file(events);
}
