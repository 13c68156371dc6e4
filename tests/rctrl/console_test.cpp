// The control console's socket against real Unix listeners, and its events
// in the real queue.
#include <SDL/SDL.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "harness.h"
#include "process.h"
#include "rctrl.h"
#include "vout.h"

namespace {

long open_fds() { return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}); }

int listen_at(const std::string &path)
{
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un a{AF_UNIX, {}};
    path.copy(a.sun_path, sizeof a.sun_path - 1);
    EXPECT_EQ(bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) | listen(fd, 1), 0) << path;
    return fd;
}

} // namespace

TEST(ControlConsole, ConnectsOnlyToAListeningSocketAndPostsEventsTypeCutToEightBits)
{
    testsupport::TempDir dir;
    testsupport::LogCapture log;
    // The longest path that fits the socket address: 107 characters.
    const std::string longest = dir.path() + "/" + std::string(106 - dir.path().size(), 's');
    const int listener = listen_at(longest), fd = open_pult(longest.c_str());
    ASSERT_GE(fd, 0) << log.text();
    const int peer = accept(listener, nullptr, nullptr);
    char c = 0;
    EXPECT_EQ(write(fd, "k", 1) + read(peer, &c, 1), 2);
    close_pult(fd), close(peer), close(listener);

    const std::string plain = dir.file("plain"), orphan = dir.file("orphan.sock"), none = dir.file("none");
    testsupport::write_file(plain, "x");
    close(listen_at(orphan)); // the socket file stays, nobody listens
    const std::pair<std::string, std::string> refused[] = {
        {plain, "\"" + plain + "\" not a unix socket\n"},
        {orphan, "connect(AF_UNIX, \"" + orphan + "\") failed with #111("},
        {none, "connect(AF_UNIX, \"" + none + "\") failed with #2("},
        {longest + "x", "\"" + longest + "x\" is too long for a unix socket path (108 > 107)"},
    };
    const long fds = open_fds();
    for (const auto &[path, message] : refused) {
        EXPECT_EQ(open_pult(path.c_str()), -1) << path;
        EXPECT_TRUE(log.contains(message)) << log.text();
    }
    EXPECT_EQ(open_fds(), fds) << "no descriptor left open";

    EXPECT_EQ(post_event(1, 0, nullptr, nullptr), -1) << "no video output yet";
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0);
    vout = &vout_sdl;
    EXPECT_EQ(post_event(0x1FF, 0x12345678, &c, nullptr), 0);
    SDL_Event ev{};
    while (SDL_PeepEvents(&ev, 1, SDL_GETEVENT, SDL_ALLEVENTS) == 1 && ev.type != 0xFF)
        continue; // the window system's own events
    EXPECT_TRUE(ev.type == 0xFF && ev.user.code == 0x12345678 && ev.user.data1 == &c);
    vout = nullptr;
    SDL_Quit();
}
