// Event collector against real shell scripts in a temporary directory.
#include <gtest/gtest.h>

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

#include "evtcoll.h"
#include "evtcoll/evtcoll_state.h"
#include "harness.h"

using testsupport::LogCapture;

namespace {

class EvtColl : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/evtcoll-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
    }
    void TearDown() override
    {
        if (pid_ > 0) { // a test that failed half-way: do not leave the script
            evtcoll_close(pid_, 0, nullptr);
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        std::string cmd = "rm -rf '" + dir_ + "'";
        EXPECT_EQ(system(cmd.c_str()), 0);
    }
    std::string script(const std::string &name, const std::string &body)
    {
        std::string path = dir_ + "/" + name;
        std::ofstream(path) << "#!/bin/sh\n" << body;
        chmod(path.c_str(), 0755);
        return path;
    }
    void open(const std::string &path)
    {
        ASSERT_EQ(evtcoll_open(path.c_str(), 1024, &pid_), 0);
        ASSERT_GT(pid_, 0);
    }
    // Closes the collector; the script's pid is forgotten afterwards.
    int close(int timeout_s, int *status)
    {
        int r = evtcoll_close(pid_, timeout_s, status);
        pid_ = -1;
        return r;
    }
    std::string file(const std::string &name)
    {
        std::ifstream in(dir_ + "/" + name);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }

    std::string dir_;
    int pid_ = -1;
    LogCapture log_;
};

TEST_F(EvtColl, RepliesStartingWithDoneAccept)
{
    open(script("events.sh", "while read line; do\n"
                             "  printf '%s\\n' \"$line\" >> \"$(dirname \"$0\")/got\"\n"
                             "  case \"$line\" in\n"
                             "    *starting) echo done ;;\n"
                             "    *'layout 2 0') echo 'done extra text' ;;\n"
                             "    *'layout 3 2') echo Done ;;\n"
                             "    *'layout 4 2') echo ' done' ;;\n"
                             "    *'layout 5 2') echo no ;;\n"
                             "    *exiting) echo done; exit 3 ;;\n"
                             "  esac\n"
                             "done\n"));
    EXPECT_EQ(evtcoll_write("%c program starting\n", 'R'), 1);
    EXPECT_EQ(evtcoll_write("%c layout %d %d\n", 'R', 2, 0), 1);
    EXPECT_STREQ(evtcoll_reply, "done extra text\n");
    EXPECT_EQ(evtcoll_write("%c layout %d %d\n", 'R', 3, 2), 0);
    EXPECT_EQ(evtcoll_write("%c layout %d %d\n", 'R', 4, 2), 0);
    EXPECT_EQ(evtcoll_write("%c layout %d %d\n", 'R', 5, 2), 0);
    EXPECT_EQ(evtcoll_write("%c program exiting\n", 'R'), 1);
    int st = -1;
    EXPECT_EQ(close(3, &st), 0);
    EXPECT_EQ(st, 3);

    EXPECT_EQ(file("got"), "R program starting\nR layout 2 0\nR layout 3 2\nR layout 4 2\n"
                           "R layout 5 2\nR program exiting\n");
    auto lines = log_.lines();
    ASSERT_EQ(lines.size(), 3u) << log_.text();
    EXPECT_TRUE(lines[0].ends_with("evtcoll \"events.sh\" return error: Done"));
    EXPECT_TRUE(lines[1].ends_with("evtcoll \"events.sh\" return error:  done"));
    EXPECT_TRUE(lines[2].ends_with("evtcoll \"events.sh\" return error: no"));
    EXPECT_EQ(wf, nullptr);
    EXPECT_EQ(rf, nullptr);
    EXPECT_EQ(evtcoll_evt_pipe[1], -1);
    EXPECT_EQ(evtcoll_reply_pipe[0], -1);
    EXPECT_EQ(evtcoll_write("%c program exiting\n", 'R'), 1) << "closed: accepted again";
}

TEST_F(EvtColl, OverlongReplyRunsIntoTheNextEvent)
{
    std::string tail(50, 'x');
    open(script("long.sh", "read a; echo done" + std::string(95, 'd') + tail +
                               "\nread b; echo done\nread c; exit 0\n"));
    EXPECT_EQ(evtcoll_write("L layout 1 0\n"), 1);
    EXPECT_EQ(strlen(evtcoll_reply), 99u);
    EXPECT_EQ(evtcoll_write("L layout 2 1\n"), 0) << "the rest of the long line is the reply";
    EXPECT_TRUE(log_.text().ends_with("return error: " + tail + "\n")) << log_.text();
    EXPECT_EQ(evtcoll_write("L layout 3 2\n"), 1);
    int st = -1;
    EXPECT_EQ(evtcoll_write("L program exiting\n"), 0);
    EXPECT_EQ(close(3, &st), 0);
    EXPECT_EQ(st, 0);
}

TEST_F(EvtColl, ScriptThatClosesItsOutputRefuses)
{
    // A base name longer than 30 characters is cut in messages.
    open(script("silent-collector-with-a-very-long-name.sh", "exec >&-\nread line\nexit 0\n"));
    EXPECT_EQ(evtcoll_write("L program starting\n"), 0);
    EXPECT_TRUE(log_.text().ends_with(
        "read from evtcoll \"silent-collector-with-a-very-l\" error: end of file\n"))
        << log_.text();
    int st = -1;
    EXPECT_EQ(close(3, &st), 0);
    EXPECT_EQ(st, 0);
}

TEST_F(EvtColl, WritingToADeadScriptFailsWithoutSigpipe)
{
    open(script("quick.sh", "exit 4\n"));
    int ws = 0;
    ASSERT_EQ(waitpid(pid_, &ws, 0), pid_) << "reaped here, as the SIGCHLD handler would";
    sigset_t before, after, pending;
    pthread_sigmask(SIG_SETMASK, nullptr, &before);

    // The default action of SIGPIPE would end this test program.
    EXPECT_EQ(evtcoll_write("L layout %d %d\n", 1, 0), 0);
    EXPECT_TRUE(log_.text().ends_with("write to evtcoll \"quick.sh\" error: Broken pipe\n"))
        << log_.text();
    EXPECT_EQ(evtcoll_write("L program exiting\n"), 0) << "stays refused, nothing stuck";

    pthread_sigmask(SIG_SETMASK, nullptr, &after);
    sigpending(&pending);
    EXPECT_EQ(sigismember(&after, SIGPIPE), sigismember(&before, SIGPIPE));
    EXPECT_EQ(sigismember(&pending, SIGPIPE), 0);

    int st = 77;
    EXPECT_EQ(close(3, &st), 0) << "already reaped: no wait";
    EXPECT_EQ(st, 77) << "the status is left to whoever reaped it";
}

TEST_F(EvtColl, ScriptGetsOnlyItsPipesAndStandardError)
{
    std::string marker = dir_ + "/marker";
    int fd = ::open(marker.c_str(), O_CREAT | O_RDWR, 0600); // inheritable
    ASSERT_GE(fd, 0);
    open(script("fds.sh", "d=$(dirname \"$0\")\n"
                          "read l\n"
                          "ls -l /proc/self/fd > \"$d/fds\"\n"
                          "echo done\nread l\n"));
    EXPECT_EQ(evtcoll_write("L program starting\n"), 1);
    ::close(fd);
    // Above standard error only the directory that ls reads is open.
    std::istringstream fds(file("fds"));
    std::string line;
    int above = 0;
    while (std::getline(fds, line)) {
        size_t arrow = line.find(" -> ");
        if (arrow == std::string::npos)
            continue;
        int n = std::stoi(line.substr(line.rfind(' ', arrow - 1) + 1));
        if (n > 2) {
            ++above;
            EXPECT_EQ(line.find("marker"), std::string::npos) << line;
            EXPECT_EQ(line.find("pipe:"), std::string::npos) << line;
        }
    }
    EXPECT_EQ(above, 1) << file("fds");

    EXPECT_EQ(evtcoll_open("/bin/true", 1024, &fd), -1) << "one collector at a time";
    EXPECT_EQ(errno, EBUSY);
    int st = -1;
    EXPECT_EQ(evtcoll_write("L program exiting\n"), 0);
    EXPECT_EQ(close(3, &st), 0);
    EXPECT_EQ(st, 0);
}

} // namespace
