// A SIGTERM before the handlers exist (held back by the supervisor's mask, which
// the viewer inherits) and a log reader gone before the first line: the viewer
// still ends in order, with status 1, and its event collector hears the end.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "viewer.h"

using namespace testsupport;

TEST(ProcessRobustness, AnEarlySigtermWithTheLogReaderGoneEndsInOrder)
{
    ViewerRun run("camera 0 allow_local=1 video_src=yes\ncamera 1 work=1 v4l_pipe=1\n"
                  "layout 0 L ONECAM \"One\" 1\n", "");
    Display display;
    const std::string events = run.dir().file("events"), script = run.dir().file("collector.sh");
    write_file(script, "#!/bin/sh\nwhile read -r l; do echo \"$l\" >>'" + events + "'; echo done; done\n",
               0755);
    int p[2];
    ASSERT_EQ(pipe2(p, O_CLOEXEC), 0);
    sigset_t term, old;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &term, &old);
    Child c({TIRSK_MON_BIN, "-c", "/dev/null", "-T", "sqlite", "-H", run.dir().path(), "-D", "tirsk6_db",
             "-v", "-e", script},
            {"DISPLAY=" + display.name()}, run.dir().file("out"), "/dev/fd/" + std::to_string(p[1]));
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
