// The real viewer against collectors that are stopped, never answer, die at
// once or read to the end of their input.
#include <signal.h>

#include "harness.h"
#include "viewer.h"

using namespace testsupport;

class Faults : public ViewerTest {
protected:
    // A collector running on_line for each line, then tail; "break" ends it
    // before the viewer has started.
    bool start_with(const std::string &on_line, const std::string &tail)
    {
        run_ = std::make_unique<ViewerRun>("camera 0 allow_local=1 video_src=yes\ncamera 1-2 work=1 v4l_pipe={nr}\n"
                                           "layout 0 L ONECAM \"A\" 1\nlayout 1 L ONECAM \"B\" 2\n", "video1\nvideo2\n");
        events_ = run_->dir().file("events");
        write_file(run_->dir().file("coll.sh"), collector_script(events_, on_line + "\n") + tail, 0755);
        return run_->start(display_->name(), {"-e", run_->dir().file("coll.sh")}, on_line == "break" ? 2000 : 20000);
    }
    bool wait_event(const std::string &e)
    {
        return wait_until(10000, [&] { return read_file(events_).find(e) != std::string::npos; });
    }
    pid_t collector() { return atoi(run({"pgrep", "-P", std::to_string(run_->child()->pid())}).out.c_str()); }
    std::string events_;
};

TEST_F(Faults, StoppedAndContinuedCollectorIsStillThere)
{
    ASSERT_TRUE(start_with("echo done", "")) << run_->log();
    kill(collector(), SIGSTOP);
    kill(collector(), SIGCONT);
    ASSERT_TRUE(run_->xdotool({"key", "1"}));
    EXPECT_TRUE(wait_event("L layout 1 0")) << run_->log();
}

TEST_F(Faults, SignalsAreTakenWhileTheCollectorKeepsTheViewerWaiting)
{
    // Never answers the switch: SIGTERM still ends the viewer in bounded time.
    ASSERT_TRUE(start_with("case \"$line\" in *'layout 1'*) sleep 600;; *) echo done;; esac", "")) << run_->log();
    const pid_t coll = collector();
    ASSERT_TRUE(run_->xdotool({"key", "1"}));
    ASSERT_TRUE(wait_event("L layout 1 0"));
    RunResult r = run_->stop(15000);
    kill(-coll, SIGKILL);
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(occurrences(r.err, "Got Terminated signal, terminate process."), 1) << r.err;

    // Reads to the end of its input: ends once that is closed; a second
    // SIGTERM during that wait is logged.
    ASSERT_TRUE(start_with("echo done", "sleep 1\n")) << run_->log();
    run_->child()->signal(SIGTERM);
    ASSERT_TRUE(wait_event("L program exiting"));
    run_->child()->signal(SIGTERM);
    ASSERT_TRUE(run_->child()->wait(15000, &r));
    EXPECT_EQ(run_->log_count("Got Terminated signal"), 2u) << run_->log();
    EXPECT_EQ(run_->log_count("exceed timeout"), 0u) << run_->log();

    // Dies at start: its end is reported at error level, nothing more is written.
    EXPECT_FALSE(start_with("break", "exit 0\n"));
    r = run_->stop();
    EXPECT_EQ(occurrences(r.err, "(*) event collector script"), 0) << r.err;
    EXPECT_EQ(occurrences(r.err, ") exited with 0 exit status"), 1) << r.err;
    EXPECT_EQ(r.err.find("write to evtcoll"), std::string::npos) << r.err;
}
