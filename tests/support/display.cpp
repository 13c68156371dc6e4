#include "display.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include "process.h"

namespace testsupport {

Display::Display(int width, int height, int depth)
{
    int fds[2];
    if (pipe(fds) != 0)
        return;
    xvfb_ = fork();
    if (xvfb_ == 0) {
        close(fds[0]);
        const int null = open("/dev/null", O_RDWR);
        dup2(null, 0), dup2(null, 1), dup2(null, 2);
        const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x" +
                                   std::to_string(depth);
        const std::string fd = std::to_string(fds[1]);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-noreset", "-screen", "0",
               screen.c_str(), "-nolisten", "tcp", nullptr);
        _exit(127);
    }
    close(fds[1]);
    // Xvfb writes the number and the newline separately: read both.
    char buf[32] = {0};
    ssize_t n = 0, r;
    while (xvfb_ > 0 && n < ssize_t(sizeof buf - 1) && !memchr(buf, '\n', size_t(n)) &&
           (r = read(fds[0], buf + n, sizeof buf - 1 - n)) > 0)
        n += r;
    close(fds[0]);
    if (memchr(buf, '\n', sizeof buf))
        name_ = ":" + std::string(buf, strcspn(buf, "\n"));
}

Display::~Display()
{
    if (xvfb_ > 0) {
        kill(xvfb_, SIGTERM);
        waitpid(xvfb_, nullptr, 0);
    }
}

std::string use_test_display()
{
    static std::string name;
    if (!name.empty())
        return name;
    setenv("SDL_VIDEODRIVER", "x11", 1);
    const char *env = getenv("DISPLAY");
    if (env && *env) {
        name = env;
    } else {
        static Display own; // lives until the process ends
        if (!own.ok())
            return "";
        name = own.name();
        setenv("DISPLAY", name.c_str(), 1);
    }
    // Never closed: the server may be gone by then.
    if (void *lib = dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL))
        if (auto *open = reinterpret_cast<void *(*)(const char *)>(dlsym(lib, "XOpenDisplay")))
            open(name.c_str());
    return name;
}

Image screenshot(const std::string &display, const std::string &path)
{
    const std::string cmd = "xwd -display " + display + " -root -silent | convert xwd:- png:'" +
                            path + "'";
    return system(cmd.c_str()) == 0 ? read_png(path) : Image();
}

} // namespace testsupport
