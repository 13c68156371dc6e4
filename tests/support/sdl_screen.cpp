#include "sdl_screen.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <filesystem>
#include <set>
#include <unistd.h>

#include "e2e.h"
#include "vout/sdl_private.h"

void hold_display_open(const std::string &name)
{
    static std::set<std::string> held;
    if (!held.insert(name).second)
        return;
    void *lib = dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL);
    if (lib == nullptr)
        return;
    using open_fn = void *(const char *);
    auto *open_display =
        reinterpret_cast<open_fn *>(dlsym(lib, "XOpenDisplay"));
    if (open_display != nullptr)
        open_display(name.c_str());
}

std::string use_test_display()
{
    setenv("SDL_VIDEODRIVER", "x11", 1);
    const char *env = getenv("DISPLAY");
    if (env != nullptr && *env != '\0') {
        hold_display_open(env);
        return env;
    }
    // Lives until the process ends; its destructor stops the server.
    static testsupport::Display own;
    if (!own.ok())
        return "";
    setenv("DISPLAY", own.name().c_str(), 1);
    hold_display_open(own.name());
    return own.name();
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
