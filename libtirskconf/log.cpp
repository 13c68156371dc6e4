// Log facility: one line per message on standard error (or a test stream),
// with level tag, time stamp and the chain of context prefixes.
#include <pthread.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <string_view>

#include "tirskconf.h"

namespace {

constexpr size_t kMsgMax = 4000;        // longer messages are cut
constexpr int kChainMax = 8;            // parent levels followed
constexpr std::string_view kCut = "..."; // marks a cut message

std::atomic<int> g_level{4};
std::atomic<int> g_flags{TIRSKLOG_F_TIME | TIRSKLOG_F_LEVEL};

// Wall clock handed in by the program and the monotonic time it belongs to.
// Guarded by g_lock like the stream.
std::mutex g_lock;
int64_t g_wall_usec = -1; // < 0: read the system clock for each message
int64_t g_mono_usec = 0;
FILE *g_stream = nullptr; // null: standard error

int64_t clock_usec(clockid_t id)
{
    timespec ts{};
    clock_gettime(id, &ts);
    return int64_t(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

// A child forked while another thread formats a message must not inherit a
// locked mutex (the event-collector child logs its exec failure).
void atfork_prepare() { g_lock.lock(); }
void atfork_release() { g_lock.unlock(); }
const int g_atfork_registered =
    pthread_atfork(atfork_prepare, atfork_release, atfork_release);

// Bounded appender into a fixed buffer; never writes past the end.
struct Line {
    char *buf;
    size_t cap; // bytes usable for text (the buffer holds cap + 1)
    size_t len = 0;

    void put(std::string_view s)
    {
        size_t n = s.size() < cap - len ? s.size() : cap - len;
        memcpy(buf + len, s.data(), n);
        len += n;
    }
    void putc(char c)
    {
        if (len < cap)
            buf[len++] = c;
    }
};

void put_stamp(Line &line, int flags)
{
    int64_t usec = g_wall_usec < 0
                       ? clock_usec(CLOCK_REALTIME)
                       : g_wall_usec + (clock_usec(CLOCK_MONOTONIC) - g_mono_usec);
    time_t secs = time_t(usec / 1000000);
    int ms = int(usec % 1000000) / 1000;
    if (ms < 0) { // before the epoch: keep the arithmetic floor-based
        ms += 1000;
        secs -= 1;
    }
    tm t{};
    if (flags & TIRSKLOG_F_UTC)
        gmtime_r(&secs, &t);
    else
        localtime_r(&secs, &t);
    char tmp[64];
    size_t n = strftime(tmp, sizeof tmp, "%Y-%m-%d %H:%M:%S", &t);
    snprintf(tmp + n, sizeof tmp - n, ".%03d ", ms);
    line.put(tmp);
}

void put_chain(Line &line, const log_ctx *ctx)
{
    const log_ctx *chain[kChainMax];
    int depth = 0;
    for (const log_ctx *c = ctx; c && depth < kChainMax; c = c->parent)
        chain[depth++] = c;
    bool any = false;
    for (int i = depth - 1; i >= 0; --i) {
        std::string_view p(chain[i]->prefix,
                           strnlen(chain[i]->prefix, sizeof chain[i]->prefix));
        if (p.empty())
            continue;
        if (any)
            line.putc(' ');
        line.put(p);
        any = true;
    }
    if (any)
        line.put(": ");
}

// Copy the formatted message so that it stays on one line: trailing line
// breaks go, inner ones become " | ", other control characters '?'.
void put_message(Line &line, std::string_view msg)
{
    while (!msg.empty() && (msg.back() == '\n' || msg.back() == '\r'))
        msg.remove_suffix(1);
    for (size_t i = 0; i < msg.size(); ++i) {
        unsigned char c = msg[i];
        if (c == '\n' || c == '\r') {
            while (i + 1 < msg.size() &&
                   (msg[i + 1] == '\n' || msg[i + 1] == '\r' || msg[i + 1] == ' '))
                ++i;
            line.put(" | ");
        } else if ((c < 0x20 && c != '\t') || c == 0x7f) {
            line.putc('?');
        } else {
            line.putc(char(c));
        }
    }
}

// Cut a UTF-8 text at n bytes without splitting a character.
size_t utf8_cut(const char *s, size_t n)
{
    while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80)
        --n;
    return n;
}

} // namespace

extern "C" {

void tirsklog_r(const log_ctx *ctx, int level, const char *fmt, ...)
{
    if (level > g_level.load(std::memory_order_relaxed) || !fmt)
        return;

    char msg[kMsgMax + 1];
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(msg, sizeof msg, fmt, ap);
    va_end(ap);
    std::string_view text;
    bool cut = false;
    if (n < 0) {
        text = "(message could not be formatted)";
    } else if (size_t(n) > kMsgMax) {
        text = std::string_view(msg, utf8_cut(msg, kMsgMax - kCut.size()));
        cut = true;
    } else {
        text = std::string_view(msg, size_t(n));
    }

    // Room for the tag, stamp, chain (8 x 48) and the message expanded by
    // " | " replacements is not guaranteed; the appender cuts safely.
    char out[kMsgMax + 640];
    Line line{out, sizeof out - 2};
    int flags = g_flags.load(std::memory_order_relaxed);
    if (flags & TIRSKLOG_F_LEVEL) {
        char tag[16];
        snprintf(tag, sizeof tag, "<%d>", level < 0 ? 0 : level > 7 ? 7 : level);
        line.put(tag);
    }

    std::lock_guard<std::mutex> guard(g_lock);
    if (flags & TIRSKLOG_F_TIME)
        put_stamp(line, flags);
    if (flags & TIRSKLOG_F_PID) {
        char pid[80];
        snprintf(pid, sizeof pid, "%s[%ld]: ", program_invocation_short_name,
                 long(getpid()));
        line.put(pid);
    }
    put_chain(line, ctx);
    put_message(line, text);
    if (cut)
        line.put(kCut);
    out[line.len++] = '\n'; // the appender kept two bytes spare
    out[line.len] = '\0';

    FILE *f = g_stream ? g_stream : stderr;
    fwrite(out, 1, line.len, f);
    fflush(f);
}

void tirsklog_set_context_r(log_ctx *ctx, const log_ctx *parent, int, int,
                            const char *fmt, ...)
{
    if (!ctx)
        return;
    ctx->parent = parent == ctx ? nullptr : parent;
    ctx->prefix[0] = '\0';
    if (!fmt)
        return;
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(ctx->prefix, sizeof ctx->prefix, fmt, ap);
    va_end(ap);
    if (n < 0)
        ctx->prefix[0] = '\0';
    else if (size_t(n) >= sizeof ctx->prefix)
        ctx->prefix[utf8_cut(ctx->prefix, sizeof ctx->prefix - 1)] = '\0';
}

void tirsklog_level_set(int level) { g_level.store(level); }

int tirsklog_level_get(void) { return g_level.load(); }

void tirsklog_update_flags(int set, int clear)
{
    int cur = g_flags.load();
    while (!g_flags.compare_exchange_weak(cur, (cur & ~clear) | set)) {
    }
}

int tirsklog_flags_get(void) { return g_flags.load(); }

void tirsklog_update_time_r(int64_t usec, int64_t mono_usec)
{
    int64_t mono = mono_usec == INT64_MIN ? clock_usec(CLOCK_MONOTONIC) : mono_usec;
    std::lock_guard<std::mutex> guard(g_lock);
    g_wall_usec = usec;
    g_mono_usec = mono;
}

void tirsklog_set_stream(void *file)
{
    std::lock_guard<std::mutex> guard(g_lock);
    g_stream = static_cast<FILE *>(file);
}

} // extern "C"
