#include "sdl_screen.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include "vout/sdl_private.h"

bool PrivateXvfb::start(int width, int height, int depth)
{
    stop();
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        error_ = std::string("pipe: ") + std::strerror(errno);
        return false;
    }
    const std::string screen = std::to_string(width) + "x" +
                               std::to_string(height) + "x" +
                               std::to_string(depth);
    pid_ = fork();
    if (pid_ < 0) {
        error_ = std::string("fork: ") + std::strerror(errno);
        close(fds[0]);
        close(fds[1]);
        return false;
    }
    if (pid_ == 0) {
        dup2(fds[1], 3); // -displayfd 3; dup2 clears close-on-exec
        const int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(null, 1);
        dup2(null, 2);
        execlp("Xvfb", "Xvfb", "-displayfd", "3", "-screen", "0",
               screen.c_str(), "-nolisten", "tcp", "-noreset",
               static_cast<char *>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    // Xvfb writes its display number once it accepts clients.
    std::string number;
    pollfd p = {fds[0], POLLIN, 0};
    while (poll(&p, 1, 10000) > 0) {
        char c;
        if (read(fds[0], &c, 1) != 1 || c == '\n')
            break;
        number += c;
    }
    close(fds[0]);
    if (number.empty()) {
        error_ = "Xvfb did not report a display";
        stop();
        return false;
    }
    display_ = ":" + number;
    return true;
}

void PrivateXvfb::stop()
{
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        while (waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    pid_ = -1;
    display_.clear();
}

namespace {

// Xvfb resets when its last client leaves and refuses connections while it
// does, so a test that closes the screen and opens it again at once may
// fail.  One connection held for the life of the test process prevents the
// reset.  Xlib is reached through dlopen: the tests do not link it.
void hold_display_open(const std::string &name)
{
    static void *held = nullptr;
    if (held != nullptr)
        return;
    void *lib = dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL);
    if (lib == nullptr)
        return;
    using open_fn = void *(const char *);
    auto *open_display =
        reinterpret_cast<open_fn *>(dlsym(lib, "XOpenDisplay"));
    if (open_display != nullptr)
        held = open_display(name.c_str());
}

} // namespace

std::string use_test_display()
{
    setenv("SDL_VIDEODRIVER", "x11", 1);
    const char *env = getenv("DISPLAY");
    if (env != nullptr && *env != '\0') {
        hold_display_open(env);
        return env;
    }
    // Lives until the process ends; its destructor stops the server.
    static PrivateXvfb own;
    if (own.display().empty() && !own.start(1920, 1080)) {
        std::fprintf(stderr, "cannot start Xvfb: %s\n", own.error().c_str());
        return "";
    }
    setenv("DISPLAY", own.display().c_str(), 1);
    hold_display_open(own.display());
    return own.display();
}

void install_window_icon()
{
    namespace fs = std::filesystem;
    const fs::path target = TIRSK_ICON_PATH;
    if (fs::exists(target))
        return;
    std::error_code ec;
    fs::create_directories(target.parent_path(), ec);
    fs::copy_file(fs::path(TIRSK_SOURCE_DIR) / "data/tirsk-mon.xpm", target,
                  ec);
    if (ec)
        std::fprintf(stderr, "cannot install %s: %s\n", target.c_str(),
                     ec.message().c_str());
}

CapturedFd::CapturedFd(int fd) : fd_(fd)
{
    std::fflush(nullptr);
    char name[] = "/tmp/tirsk-capture-XXXXXX";
    file_ = mkstemp(name);
    if (file_ < 0)
        return;
    unlink(name);
    saved_ = dup(fd_);
    dup2(file_, fd_);
}

const std::string &CapturedFd::text()
{
    if (saved_ < 0)
        return text_;
    std::fflush(nullptr);
    dup2(saved_, fd_);
    close(saved_);
    saved_ = -1;
    lseek(file_, 0, SEEK_SET);
    char buf[4096];
    ssize_t n;
    while ((n = read(file_, buf, sizeof buf)) > 0)
        text_.append(buf, size_t(n));
    close(file_);
    file_ = -1;
    return text_;
}
