#include "log_recorder.h"

extern "C" void __wrap_tirsklog_r(const log_ctx *ctx, int level,
                                  const char *fmt, ...)
{
    char buf[4096];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    std::lock_guard<std::mutex> g(log_lines_lock);
    log_lines.push_back({ctx, level, buf});
}
