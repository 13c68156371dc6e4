#include "capture.h"

#include <stdio.h>
#include <unistd.h>

#include "process.h"
#include "tirskconf.h"

namespace testsupport {

FdCapture::FdCapture(int fd) : fd_(fd)
{
    fflush(nullptr);
    FILE *tmp = tmpfile();
    file_ = dup(fileno(tmp));
    fclose(tmp);
    saved_ = dup(fd_);
    dup2(file_, fd_);
}

FdCapture::~FdCapture()
{
    take();
    close(file_);
}

std::string FdCapture::text() const
{
    fflush(nullptr);
    std::string out;
    char buf[4096];
    for (ssize_t n, at = 0; (n = pread(file_, buf, sizeof buf, at)) > 0; at += n)
        out.append(buf, size_t(n));
    return out;
}

std::string FdCapture::take()
{
    const std::string out = text();
    if (saved_ >= 0) {
        dup2(saved_, fd_);
        close(saved_);
        saved_ = -1;
    }
    return out;
}

void FdCapture::clear()
{
    fflush(nullptr);
    if (ftruncate(file_, 0) == 0)
        lseek(file_, 0, SEEK_SET);
}

LogCapture::LogCapture(int level) : FdCapture(2), old_level_(tirsklog_level_get())
{
    tirsklog_set_stream(nullptr);
    tirsklog_level_set(level);
}

LogCapture::~LogCapture() { tirsklog_level_set(old_level_); }

int LogCapture::count(const std::string &s) const { return occurrences(text(), s); }

} // namespace testsupport
