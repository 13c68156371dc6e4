#include "log_capture.h"

#include <stdlib.h>

#include "tirskconf.h"

LogCapture::LogCapture(int level) : old_level_(tirsklog_level_get())
{
    stream_ = open_memstream(&buf_, &size_);
    tirsklog_set_stream(stream_);
    tirsklog_level_set(level);
}

LogCapture::~LogCapture()
{
    tirsklog_set_stream(nullptr);
    tirsklog_level_set(old_level_);
    if (stream_)
        fclose(stream_);
    free(buf_);
}

std::string LogCapture::text()
{
    fflush(stream_);
    return std::string(buf_ ? buf_ : "", size_);
}

std::vector<std::string> LogCapture::lines()
{
    std::vector<std::string> out;
    std::string all = text();
    size_t pos = 0, nl;
    while ((nl = all.find('\n', pos)) != std::string::npos) {
        out.push_back(all.substr(pos, nl - pos));
        pos = nl + 1;
    }
    if (pos < all.size())
        out.push_back(all.substr(pos)); // an unterminated last line
    return out;
}

void LogCapture::clear()
{
    tirsklog_set_stream(nullptr);
    fclose(stream_);
    free(buf_);
    buf_ = nullptr;
    size_ = 0;
    stream_ = open_memstream(&buf_, &size_);
    tirsklog_set_stream(stream_);
}
