#include "e2e.h"

#include <fcntl.h>
#include <png.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {

namespace {

// Starts "Xvfb -displayfd" and reads the display number it chose.
pid_t start_xvfb(int w, int h, std::string *name)
{
    int fds[2];
    if (pipe(fds) != 0)
        return -1;
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(null, 1);
        dup2(null, 2);
        const std::string screen = std::to_string(w) + "x" + std::to_string(h) + "x24";
        const std::string fd = std::to_string(fds[1]);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-noreset", "-screen", "0",
               screen.c_str(), "-nolisten", "tcp", nullptr);
        _exit(127);
    }
    close(fds[1]);
    char buf[32] = {0};
    ssize_t n = 0, r;
    while (n < ssize_t(sizeof buf - 1) && (r = read(fds[0], buf + n, sizeof buf - 1 - n)) > 0) {
        n += r;
        if (memchr(buf, '\n', size_t(n)))
            break;
    }
    close(fds[0]);
    if (n <= 0) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        return -1;
    }
    *name = ":" + std::string(buf, strcspn(buf, "\n"));
    return pid;
}

} // namespace

Display::Display(int width, int height)
{
    const char *env = getenv("DISPLAY");
    if (!width && env && env[0]) {
        name_ = env;
        return;
    }
    xvfb_ = start_xvfb(width ? width : 1920, height ? height : 1080, &name_);
    if (xvfb_ < 0)
        name_.clear();
}

Display::~Display()
{
    if (xvfb_ > 0) {
        kill(xvfb_, SIGTERM);
        waitpid(xvfb_, nullptr, 0);
    }
}

Image read_png(const std::string &path)
{
    Image img;
    png_image png;
    memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str()))
        return img;
    png.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> buf(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, buf.data(), 0, nullptr)) {
        png_image_free(&png);
        return img;
    }
    img.width = int(png.width);
    img.height = int(png.height);
    img.rgb = std::move(buf);
    return img;
}

Image screenshot(const Display &display, const std::string &path)
{
    const std::string cmd = "xwd -display " + display.name() +
                            " -root -silent | /usr/bin/convert xwd:- png:'" +
                            path + "'";
    if (system(cmd.c_str()) != 0)
        return Image();
    return read_png(path);
}

Rgb average(const Image &img, int x, int y, int w, int h)
{
    Rgb sum = {0, 0, 0};
    int n = 0;
    for (int j = y; j < y + h && j < img.height; j++)
        for (int i = x; i < x + w && i < img.width; i++) {
            const uint8_t *p = img.at(i, j);
            sum.r += p[0];
            sum.g += p[1];
            sum.b += p[2];
            n++;
        }
    if (n)
        sum = {sum.r / n, sum.g / n, sum.b / n};
    return sum;
}

std::string tool_path(const std::string &relative)
{
    return std::string(TIRSK_BINARY_DIR) + "/" + relative;
}

std::string fakecam_library()
{
    return tool_path("tools/fakecam/libfakecam.so");
}

ViewerRun::ViewerRun(const std::string &description, const std::string &cams)
{
    write_file(dir_.file("catalogue.txt"), description);
    write_file(dir_.file("cams.conf"), cams);
    mkdir(lock_dir().c_str(), 0755);
    const RunResult r = run({tool_path("tools/mkcatalog/mkcatalog"), "-o",
                             db_file(), dir_.file("catalogue.txt")});
    if (r.status != 0)
        fprintf(stderr, "mkcatalog failed: %s%s\n", r.out.c_str(), r.err.c_str());
}

ViewerRun::~ViewerRun()
{
    if (child_ && !stopped_)
        stop(5000);
}

bool ViewerRun::start(const Display &display,
                      const std::vector<std::string> &options, int timeout_ms)
{
    display_ = display.name();
    std::vector<std::string> argv = {TIRSK_MON_BIN, "-c", dir_.file("none.conf"),
                                     "-T", "sqlite", "-H", dir_.path(),
                                     "-D", "tirsk6_db", "-v"};
    write_file(dir_.file("none.conf"), "");
    argv.insert(argv.end(), options.begin(), options.end());
    std::vector<std::string> env = {
        "DISPLAY=" + display_,
        "LD_PRELOAD=" + fakecam_library(),
        "FAKECAM_CONFIG=" + dir_.file("cams.conf"),
        "TIRSK_LOCK_DIR=" + lock_dir(),
        "XDG_CONFIG_HOME=" + dir_.path(),
    };
    env.insert(env.end(), extra_env_.begin(), extra_env_.end());
    child_ = std::make_unique<Child>(argv, env, dir_.file("viewer.out"),
                                     dir_.file("viewer.log"));
    return wait_log(") started", timeout_ms);
}

bool ViewerRun::wait_log(const std::string &text, int timeout_ms)
{
    return wait_until(timeout_ms, [&] {
        return log().find(text) != std::string::npos;
    });
}

std::string ViewerRun::log() const
{
    return read_file(dir_.file("viewer.log"));
}

size_t ViewerRun::log_count(const std::string &text) const
{
    const std::string all = log();
    size_t n = 0;
    for (size_t at = all.find(text); at != std::string::npos;
         at = all.find(text, at + text.size()))
        n++;
    return n;
}

bool ViewerRun::cam_command(const std::string &device, const std::string &command)
{
    std::vector<std::string> argv = {tool_path("tools/fakecam/fakecamctl"), "-c",
                                     dir_.file("cams.conf"), device};
    size_t start = 0;
    while (start < command.size()) {
        size_t end = command.find(' ', start);
        if (end == std::string::npos)
            end = command.size();
        argv.push_back(command.substr(start, end - start));
        start = end + 1;
    }
    return run(argv, {}, 10000).status == 0;
}

bool ViewerRun::xdotool(const std::vector<std::string> &args)
{
    std::vector<std::string> argv = {"xdotool"};
    argv.insert(argv.end(), args.begin(), args.end());
    return run(argv, {"DISPLAY=" + display_}, 10000).status == 0;
}

RunResult ViewerRun::stop(int timeout_ms)
{
    if (!child_ || stopped_)
        return result_;
    if (child_->running())
        child_->signal(SIGTERM);
    if (!child_->wait(timeout_ms, &result_)) {
        result_.timed_out = true;
        child_->signal(SIGKILL);
        child_->wait(5000, &result_);
    }
    stopped_ = true;
    result_.err = log();
    return result_;
}

} // namespace testsupport
