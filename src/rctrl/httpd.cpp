// The remote-control HTTP server: who may connect, how a GET request
// becomes a 32-bit message in the event queue, and the status document.
//
// Server thread: reads only what is fixed before the server starts (the
// CONF fields of the URL, allowed-from, verbosity and replies, the video
// output table) and the published status document.
#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <syslog.h>

#include <SDL/SDL.h>

#include <array>
#include <string_view>

#include "conf.h"
#include "rctrl.h"
#include "rctrl/rctrl_private.h"
#include "vout.h"

namespace {

enum reply { REPLY_OK, REPLY_NOT_FOUND, REPLY_NOT_ALLOWED, REPLY_ERROR };
enum state : intptr_t { NEW = 0, HEADERS_SEEN = 1, ANSWERED = 2 };

constexpr uint32_t OBJECT_STATUS = 0x100; // answered here, never queued

struct path_row {
    std::string_view path;
    uint32_t object;
};
constexpr std::array<path_row, 10> paths = {{
    {"/camera", RCTRL_CAMERA},   {"/camera.cgi", RCTRL_CAMERA},
    {"/window", RCTRL_WINDOW},   {"/window.cgi", RCTRL_WINDOW},
    {"/layout", RCTRL_LAYOUT},   {"/layout.cgi", RCTRL_LAYOUT},
    {"/message", RCTRL_MESSAGE}, {"/message.cgi", RCTRL_MESSAGE},
    {"/status", OBJECT_STATUS},  {"/status.cgi", OBJECT_STATUS},
}};

uint32_t path_object(std::string_view rest)
{
    for (const path_row &p : paths)
        if (rest == p.path)
            return p.object;
    return 0;
}

// The text after the first occurrence of the URL's path prefix, or null.
// Trailing slashes of the prefix are not part of it: "http://h:2001/"
// serves "/camera" like "http://h:2001".
const char *after_prefix(const char *url, const char *prefix)
{
    std::string_view p(prefix);
    while (!p.empty() && p.back() == '/')
        p.remove_suffix(1);
    if (p.empty())
        return url;
    const char *at = strstr(url, std::string(p).c_str());
    return at ? at + p.size() : nullptr;
}

uint32_t lookup(std::string_view arg, std::initializer_list<std::string_view> names)
{
    uint32_t i = 1;
    for (std::string_view n : names) {
        if (arg == n)
            return i;
        i++;
    }
    return 0;
}

MHD_Result queue(MHD_Connection *c, unsigned status, reply r)
{
    // The replies were prepared with the CONF record, before the server.
    return MHD_queue_response(c, status, conf->http_replies[r]);
}

MHD_Result queue_status(MHD_Connection *c)
{
    const std::shared_ptr<const std::string> doc = rctrl_status::current();
    if (!doc)
        return queue(c, MHD_HTTP_INTERNAL_SERVER_ERROR, REPLY_ERROR);
    MHD_Response *r = MHD_create_response_from_buffer(
        doc->size(), const_cast<char *>(doc->data()), MHD_RESPMEM_MUST_COPY);
    if (!r)
        return queue(c, MHD_HTTP_INTERNAL_SERVER_ERROR, REPLY_ERROR);
    MHD_add_response_header(r, MHD_HTTP_HEADER_CONTENT_TYPE,
                            "application/json; charset=utf-8");
    MHD_add_response_header(r, MHD_HTTP_HEADER_CACHE_CONTROL, "no-store");
    // Operators' pages are served from elsewhere; they only read it.
    MHD_add_response_header(r, MHD_HTTP_HEADER_ACCESS_CONTROL_ALLOW_ORIGIN, "*");
    const MHD_Result ret = MHD_queue_response(c, MHD_HTTP_OK, r);
    MHD_destroy_response(r);
    return ret;
}

MHD_Result queue_message(MHD_Connection *c, uint32_t object)
{
    auto arg = [c](const char *name) {
        return MHD_lookup_connection_value(c, MHD_GET_ARGUMENT_KIND, name);
    };
    const char *nr_text = arg("nr");
    const long nr = nr_text ? strtol(nr_text, nullptr, 10) : 0;
    const char *p = arg("param");
    const char *a = arg("action");
    const uint32_t param = p ? lookup(p, {"alarm", "fullscreen"}) : 0;
    const uint32_t action = a ? lookup(a, {"get", "set", "reset"}) : 0;

    char *copy = nullptr;
    if (const char *value = arg("value")) {
        copy = strdup(value);
        if (!copy) {
            const int err = errno;
            char text[200];
            tirsklog_r(nullptr, LOG_ERR, "iface:%u %s(): strdup() failed\n failed with #%d(%s)",
                       734u, "on_rcontrol_req", err, strerror_r(err, text, sizeof text));
            return queue(c, MHD_HTTP_INTERNAL_SERVER_ERROR, REPLY_ERROR);
        }
    }
    const rctrl_msg msg = action << 24 | param << 16 | (uint32_t(nr) & 0xFF) << 8 | object;
    if (!rctrl_handover::reserve()) {
        tirsklog_r(nullptr, LOG_ERR, "remote control: request 0x%0X not queued, %s\n", msg,
                   "the viewer does not take requests now");
        free(copy);
        return queue(c, MHD_HTTP_INTERNAL_SERVER_ERROR, REPLY_ERROR);
    }
    video_out *vo = vout;
    if (!vo || !vo->push_rctrl_event || !vo->push_rctrl_event(msg, copy, nullptr)) {
        rctrl_handover::cancel();
        tirsklog_r(nullptr, LOG_ERR, "remote control: request 0x%0X not queued, %s\n", msg,
                   "the event queue is full");
        free(copy);
        return queue(c, MHD_HTTP_INTERNAL_SERVER_ERROR, REPLY_ERROR);
    }
    rctrl_handover::queued();
    return queue(c, MHD_HTTP_OK, REPLY_OK);
}

// The server's own diagnostics (refused connections over the limit,
// malformed requests): debug lines.  During start-up the last one is kept
// to tell why the server could not start.
char start_error[300];
bool starting = false;

void httpd_log(void *, const char *fmt, va_list ap)
{
    char text[300];
    vsnprintf(text, sizeof text, fmt, ap);
    text[strcspn(text, "\n")] = 0;
    if (starting)
        snprintf(start_error, sizeof start_error, "%s", text);
    if (verbose_at(2))
        tirsklog_r(nullptr, LOG_DEBUG, "(D) httpd: %s\n", text);
}

} // namespace

extern "C" MHD_Result on_rcontrol_accept(void *cls, const struct sockaddr *addr,
                                         socklen_t addrlen)
{
    const CONF *c = static_cast<const CONF *>(cls);
    if (!c || !addr || addrlen != sizeof(sockaddr_in))
        return MHD_NO;
    const auto *in = reinterpret_cast<const sockaddr_in *>(addr);
    char ip[INET_ADDRSTRLEN] = "?";
    inet_ntop(AF_INET, &in->sin_addr, ip, sizeof ip);
    if (c->verbose)
        tirsklog_r(nullptr, LOG_INFO, "(D) new client from %s:%hu\n", ip, ntohs(in->sin_port));
    if (c->allowed_from_count == 0)
        return MHD_YES;
    for (uint32_t i = 0; i < c->allowed_from_count && i < ALLOWED_FROM_MAX; i++)
        if (tirskconf_ipv4_cmp(in->sin_addr.s_addr, 0xFFFFFFFF, c->allowed_from[i].addr,
                               c->allowed_from[i].mask) == 0)
            return MHD_YES;
    tirsklog_r(nullptr, LOG_ERR,
               "client ip %s hasn't belong to the \"allowed-from\" params, reject connection\n",
               ip);
    return MHD_NO;
}

extern "C" MHD_Result on_rcontrol_req(void *cls, MHD_Connection *connection, const char *url,
                                      const char *method, const char *, const char *,
                                      size_t *upload_data_size, void **state)
{
    const CONF *c = static_cast<const CONF *>(cls);
    if (!method || strcmp(method, "GET") != 0)
        return queue(connection, MHD_HTTP_METHOD_NOT_ALLOWED, REPLY_NOT_ALLOWED);
    const intptr_t st = reinterpret_cast<intptr_t>(*state);
    if (st == NEW) {
        *state = reinterpret_cast<void *>(HEADERS_SEEN);
        return MHD_YES;
    }
    if (st >= ANSWERED)
        return MHD_YES;
    if (*upload_data_size) {
        // A body on a GET means nothing here; answer once it is all read.
        *upload_data_size = 0;
        return MHD_YES;
    }
    *state = reinterpret_cast<void *>(ANSWERED);
    const char *rest = c && url ? after_prefix(url, c->rctrl_url.path) : nullptr;
    const uint32_t object = rest ? path_object(rest) : 0;
    if (object == 0)
        return queue(connection, MHD_HTTP_NOT_FOUND, REPLY_NOT_FOUND);
    if (object == OBJECT_STATUS)
        return queue_status(connection);
    return queue_message(connection, object);
}

extern "C" int rctrl_start(void)
{
    if (!conf || !conf->rctrl_enabled || conf->httpd)
        return conf && conf->httpd;
    rctrl_status::publish(true);
    rctrl_handover::open();
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(conf->rctrl_url.port);
    sa.sin_addr.s_addr = conf->rctrl_addr;
    start_error[0] = 0;
    starting = true;
    conf->httpd = MHD_start_daemon(
        MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_ERROR_LOG, conf->rctrl_url.port,
        on_rcontrol_accept, conf, on_rcontrol_req, conf, MHD_OPTION_EXTERNAL_LOGGER, httpd_log,
        nullptr, MHD_OPTION_SOCK_ADDR, &sa, MHD_OPTION_CONNECTION_LIMIT, 5u,
        MHD_OPTION_CONNECTION_TIMEOUT, 10u, MHD_OPTION_END);
    starting = false;
    if (!conf->httpd) {
        // Without this line an installer would look for the fault anywhere
        // but here (a port in use, an address of another machine).
        tirsklog_r(nullptr, LOG_ERR, "remote control httpd could not start on port %hu: %s\n",
                   conf->rctrl_url.port, start_error[0] ? start_error : "unknown error");
        rctrl_handover::close();
        rctrl_status::clear();
        return 0;
    }
    return 1;
}

extern "C" void rctrl_stop(void)
{
    // Refuse new requests and free a server thread waiting for a place,
    // then wait for that thread: after this nothing calls into the viewer.
    rctrl_handover::close();
    if (conf && conf->httpd) {
        MHD_stop_daemon(conf->httpd);
        conf->httpd = nullptr;
    }
    rctrl_status::clear();
    // Requests queued but never executed own their value copies.
    if (SDL_WasInit(SDL_INIT_VIDEO)) {
        SDL_Event ev[16];
        int n;
        while ((n = SDL_PeepEvents(ev, 16, SDL_GETEVENT, SDL_EVENTMASK(SDL_USEREVENT))) > 0)
            for (int i = 0; i < n; i++)
                free(ev[i].user.data1);
    }
}

extern "C" int rctrl_tick(void)
{
    if (!conf || !conf->httpd)
        return 0;
    rctrl_status::publish(false);
    return rctrl_handover::take_early();
}
