// The process around the viewer misbehaves: its log reader goes away, a
// supervisor stops it while it is still starting.  The viewer still ends in
// order, with status 1.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "e2e.h"

using namespace testsupport;

namespace {

const char *const ONE_CAM = R"(camera 0 allow_local=1 video_src=yes geometry=352x288
camera 1 work=1 v4l_pipe=1 text_left="Cam 1"
layout 0 L ONECAM "One" 1
)";

struct Viewer {
    ViewerRun run{ONE_CAM, ""};
    Display display;
    std::vector<std::string> argv()
    {
        write_file(run.dir().file("none.conf"), "");
        return {TIRSK_MON_BIN, "-c", run.dir().file("none.conf"), "-T", "sqlite",
                "-H", run.dir().path(), "-D", "tirsk6_db", "-v"};
    }
    std::vector<std::string> env() { return {"DISPLAY=" + display.name()}; }
};

RunResult wait_end(Child &c)
{
    RunResult r;
    EXPECT_TRUE(c.wait(20000, &r)) << "hung";
    return r;
}

} // namespace

// Standard error is a pipe whose reader is gone before the first line: every
// log line fails, none may end the process, and the event collector still
// hears the end.  Standard output is a file, as for a journal.
TEST(ProcessRobustness, ALogReaderThatWentAwayDoesNotEndTheViewer)
{
    Viewer v;
    const std::string events = v.run.dir().file("events"),
                      script = v.run.dir().file("collector.sh");
    write_file(script,
               "#!/bin/sh\nwhile IFS= read -r line; do echo \"$line\" >> '" + events +
                   "'; echo done; done\n",
               0755);
    auto argv = v.argv();
    argv.insert(argv.end(), {"-e", script});
    int p[2];
    ASSERT_EQ(pipe2(p, O_CLOEXEC), 0);
    Child c(argv, v.env(), v.run.dir().file("out"), "/dev/fd/" + std::to_string(p[1]));
    close(p[0]);
    close(p[1]);
    ASSERT_TRUE(wait_until(20000, [&] { return read_file(events).find("starting") != std::string::npos; }))
        << "no start reported";
    // The screen report on standard output is there while the viewer runs,
    // not only when stdio is flushed at its end.
    EXPECT_TRUE(wait_until(20000, [&] {
        return read_file(v.run.dir().file("out")).find("SDL_SetVideoMode ") != std::string::npos;
    }));
    c.signal(SIGTERM);
    const RunResult r = wait_end(c);
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(wait_until(5000, [&] { return read_file(events).find("L program exiting") != std::string::npos; }))
        << read_file(events);
}

// A SIGTERM that comes before the handlers exist (here: held back by the
// supervisor's signal mask, which the viewer inherits and lifts) still ends
// the viewer in order.
TEST(ProcessRobustness, AnEarlySigtermEndsTheViewerInOrder)
{
    Viewer v;
    sigset_t term, old;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    ASSERT_EQ(pthread_sigmask(SIG_BLOCK, &term, &old), 0);
    Child c(v.argv(), v.env(), v.run.dir().file("out"), v.run.dir().file("log"));
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    c.signal(SIGTERM);
    const RunResult r = wait_end(c);
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.status, 1);
    const std::string log = read_file(v.run.dir().file("log"));
    EXPECT_TRUE(log.find("Got Terminated signal, terminate process.") != std::string::npos) << log;
}
