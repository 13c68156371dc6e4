// Event collector against real shell scripts in a temporary directory: what
// the end-to-end runs cannot see (SIGPIPE, inherited descriptors).
#include <gtest/gtest.h>

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "evtcoll.h"
#include "harness.h"

namespace {

using namespace testsupport;

class EvtColl : public ::testing::Test {
protected:
    void TearDown() override
    {
        if (pid_ > 0) { // a test that failed half-way: do not leave the script
            evtcoll_close(pid_, 0, nullptr);
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    void open(const std::string &name, const std::string &body)
    {
        write_file(dir_.file(name), "#!/bin/sh\n" + body, 0755);
        ASSERT_EQ(evtcoll_open(dir_.file(name).c_str(), 1024, &pid_), 0);
        ASSERT_GT(pid_, 0);
    }
    // Closes the collector; the script's exit status, or `unset' when the
    // close left it alone.
    int close(int unset = -1)
    {
        int st = unset;
        EXPECT_EQ(evtcoll_close(pid_, 3, &st), 0);
        pid_ = -1;
        return st;
    }
    TempDir dir_;
    int pid_ = -1;
    LogCapture log_;
};

} // namespace

TEST_F(EvtColl, WritingToADeadScriptFailsWithoutSigpipe)
{
    open("quick.sh", "exit 4\n");
    ASSERT_EQ(waitpid(pid_, nullptr, 0), pid_) << "reaped here, as the SIGCHLD handler would";
    sigset_t before, after, pending;
    pthread_sigmask(SIG_SETMASK, nullptr, &before);
    // The default action of SIGPIPE would end this test program.
    EXPECT_EQ(evtcoll_write("L layout %d %d\n", 1, 0), 0);
    EXPECT_TRUE(log_.text().ends_with("write to evtcoll \"quick.sh\" error: Broken pipe\n")) << log_.text();
    EXPECT_EQ(evtcoll_write("L program exiting\n"), 0) << "stays refused, nothing stuck";
    pthread_sigmask(SIG_SETMASK, nullptr, &after);
    sigpending(&pending);
    EXPECT_EQ(sigismember(&after, SIGPIPE), sigismember(&before, SIGPIPE));
    EXPECT_EQ(sigismember(&pending, SIGPIPE), 0);
    EXPECT_EQ(close(77), 77) << "already reaped: the status is left to whoever reaped it";
}

TEST_F(EvtColl, ScriptGetsOnlyItsPipesAndStandardError)
{
    const int fd = ::open(dir_.file("marker").c_str(), O_CREAT | O_RDWR, 0600); // inheritable
    ASSERT_GE(fd, 0);
    // Above standard error only the directory that ls reads is open.
    open("fds.sh", "read l\nls /proc/self/fd | awk '$1 > 2' | wc -l > \"$(dirname \"$0\")/fds\"\necho done\nread l\n");
    EXPECT_EQ(evtcoll_write("L program starting\n"), 1);
    ::close(fd);
    EXPECT_EQ(read_file(dir_.file("fds")), "1\n");
    int other;
    EXPECT_EQ(evtcoll_open("/bin/true", 1024, &other), -1) << "one collector at a time";
    EXPECT_EQ(errno, EBUSY);
    EXPECT_EQ(evtcoll_write("L program exiting\n"), 0);
    EXPECT_EQ(close(), 0);
}
