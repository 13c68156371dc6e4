// libFuzzer targets, one per FUZZ_* definition: the parsers of everything
// that comes from outside, each with its real handlers.
#include <arpa/inet.h>
#include <dlfcn.h>
#include <microhttpd.h>
#include <netdb.h>
#include <sys/mman.h>

#include "config/catalogue.h"
#include "config/options_private.h"
#include "globals.h"
#include "media.h"
#include "rctrl.h"
#include "vout.h"
#include "vout/text_util.h"

// Seams of the platform: no shell for xdg-user-dir and no name service in a
// run, only numeric addresses (a run must be fast and depend on its input).
extern "C" FILE *popen(const char *, const char *) { return nullptr; }
extern "C" int getaddrinfo(const char *node, const char *service, const addrinfo *hints, addrinfo **res)
{
    addrinfo h = hints ? *hints : addrinfo{};
    h.ai_flags |= AI_NUMERICHOST;
    using fn = int(const char *, const char *, const addrinfo *, addrinfo **);
    return reinterpret_cast<fn *>(dlsym(RTLD_NEXT, "getaddrinfo"))(node, service, &h, res);
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    tirsklog_set_stream(fopen("/dev/null", "w"));
    char name[] = "fuzz", *args[] = {name, nullptr}, **argv = args;
    int argc = 1;
    return sources_drivers_init(&argc, &argv) ? 0 : 1;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *d, size_t n)
{
#if defined(FUZZ_HTTP) // the real server on loopback; an input is one connection's bytes
    static video_out refusing{}; // the event queue is full: no request stays queued
    static const uint16_t port = [] {
        conf = init_CONF();
        conf->rctrl_enabled = 1;
        conf->rctrl_addr = htonl(INADDR_LOOPBACK);
        strcpy(conf->rctrl_url.path, "/cgi");
        refusing.push_rctrl_event = [](uint32_t, void *, void *) { return 0; };
        vout = &refusing;
        rctrl_start();
        return MHD_get_daemon_info(static_cast<MHD_Daemon *>(conf->httpd), MHD_DAEMON_INFO_BIND_PORT)->port;
    }();
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in sa{AF_INET, htons(port), {htonl(INADDR_LOOPBACK)}, {}};
    const timeval tv{2, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    char reply[4096];
    if (connect(fd, reinterpret_cast<const sockaddr *>(&sa), sizeof sa) == 0 && write(fd, d, n) == ssize_t(n))
        for (shutdown(fd, SHUT_WR); read(fd, reply, sizeof reply) > 0;) {
        }
    close(fd);
    return 0;
#endif
    std::vector<std::string> f(1); // the input split at NUL bytes into at most FUZZ_FIELDS
    for (size_t i = 0; i < n; i++)
        if (d[i] || f.size() == FUZZ_FIELDS)
            f.back() += char(d[i]);
        else
            f.emplace_back();
    CONF *c = conf = init_CONF();
#if defined(FUZZ_CONF_FILE)
    const int fd = memfd_create("conf", MFD_CLOEXEC);
    if (write(fd, d, n) == ssize_t(n))
        tirskconf_parse(("/proc/self/fd/" + std::to_string(fd)).c_str(), "tirsk-mon", conf_key_handler, 1, c);
    close(fd);
#elif defined(FUZZ_OPTIONS)
    std::vector<char *> argv{const_cast<char *>("tirsk-mon"), const_cast<char *>("-c/dev/null")};
    for (std::string &s : f)
        argv.push_back(s.data());
    argv.push_back(nullptr);
    parse_options(c, int(argv.size() - 1), argv.data());
#elif defined(FUZZ_URL)
    tirsk_URL url;
    tirsk_parse_URL(f[0].c_str(), &url);
#elif defined(FUZZ_NUMBERS)
    uint32_t out[20];
    tirskconf_parse_numlist2(0, f[0].c_str(), 20, -5, 2147483647, 0, out);
    tirskconf_get_q(f[0].c_str(), 1, 16384, 16384, out);
#elif defined(FUZZ_CATALOGUE_ROWS) // 8 fields a row, the camera number from the first one's length
    std::vector<camera_row> rows;
    for (size_t i = 0; i + 7 < f.size(); i += 8)
        rows.push_back({int32_t(f[i].size()), f[i + 1], f[i + 2], f[i + 3], f[i + 4], f[i + 5], f[i + 6], f[i + 7]});
    int errors = 0;
    accept_camera_rows(c, cam_defaults{}, rows, &errors);
    free_cams_and_wins();
#elif defined(FUZZ_TEXT)
    popup_split_lines(f[0], 50);
    utf8_clean(f[0], f[0].size() / 2);
#endif
    free_CONF(c);
    return 0;
}
