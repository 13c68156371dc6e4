// Remote-control URL and event-collector path.
#include <ctype.h>
#include <errno.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string_view>

#include "conf.h"
#include "config/options_private.h"

namespace {

constexpr size_t scheme_max = 8;

void invalid_url(const char *text)
{
    tirsklog_r(nullptr, 3, "invalid url (proto://host:port[/path]) - \"%s\"\n",
               text);
}

} // namespace

extern "C" int tirsk_parse_URL(const char *text, tirsk_URL *url)
{
    if (!text || !url)
        return 0;
    url->port = 0;
    memset(url->host, 0, sizeof url->host);
    memset(url->path, 0, sizeof url->path);

    // scheme "://" host ":" port [path]; a part too long for its field
    // makes the whole URL invalid rather than pointing somewhere else.
    std::string_view s(text);
    size_t colon = s.find(':');
    if (colon == 0 || colon == s.npos || colon > scheme_max ||
        s.substr(colon, 3) != "://") {
        invalid_url(text);
        return 0;
    }
    char scheme[scheme_max + 1] = {};
    s.copy(scheme, colon);
    s.remove_prefix(colon + 3);

    size_t host_end = s.find_first_of(":/");
    if (host_end == 0 || host_end == s.npos || s[host_end] != ':' ||
        host_end >= sizeof url->host) {
        invalid_url(text);
        return 0;
    }
    std::string_view host = s.substr(0, host_end);
    s.remove_prefix(host_end + 1);

    uint32_t port = 0;
    size_t digits = 0;
    while (digits < s.size() && isdigit(static_cast<unsigned char>(s[digits]))) {
        port = port * 10 + static_cast<uint32_t>(s[digits] - '0');
        if (port > UINT16_MAX)
            break;
        digits++;
    }
    if (digits == 0 || port > UINT16_MAX) {
        invalid_url(text);
        return 0;
    }
    s.remove_prefix(digits);

    std::string_view path = s.substr(0, s.find_first_of("\r\n"));
    if ((!path.empty() && path[0] != '/') || path.size() >= sizeof url->path) {
        invalid_url(text);
        return 0;
    }

    const tirskconf_hash_row *row =
        tirskconf_hash_find(http_methods_hash, scheme, 0);
    if (!row)
        return 0;
    if (row->id == 0) {
        tirsklog_r(nullptr, 3, "unsupported url scheme (protocol) [ %s ]\n",
                   scheme);
        return 0;
    }
    url->scheme = static_cast<uint32_t>(row->id);
    host.copy(url->host, host.size());
    url->port = static_cast<uint16_t>(port);
    path.copy(url->path, path.size());
    tirsklog_r(nullptr, 7, "[%s]://[%s]:[%hu]/[%s]\n", scheme, url->host,
               url->port, url->path);
    return 1;
}

extern "C" int set_remote_control(CONF *c, const char *text)
{
    if (!c)
        return 0;
    tirsk_URL url{};
    if (!tirsk_parse_URL(text, &url)) {
        tirsklog_r(nullptr, 3,
                   "remote-control URL should be this format: "
                   "http://HOST:PORT[/PATH-PREFIX]%s\n",
                   "");
        return 0;
    }
    struct sockaddr_in addr {};
    char err[200] = "non local";
    if (tirskconf_getaddr(url.host, 0x1071, &addr, 1, err, sizeof err) < 1) {
        tirsklog_r(nullptr, 3,
                   "could not found a local ip address of \"%s\" -> %s\n",
                   url.host, err);
        return 0;
    }
    c->rctrl_url = url;
    c->rctrl_enabled = 1;
    c->rctrl_addr = addr.sin_addr.s_addr;
    return 1;
}

extern "C" int set_event_collector(CONF *c, const char *path)
{
    if (!c)
        return 0;
    int rc = path ? access(path, R_OK | X_OK) : (errno = EINVAL, -1);
    struct stat st;
    // A directory passes the access test but cannot be run.
    if (rc == 0 && stat(path, &st) == 0 && S_ISDIR(st.st_mode)) {
        errno = EISDIR;
        rc = -1;
    }
    if (rc != 0) {
        int e = errno;
        char buf[200];
        const char *msg = strerror_r(e, buf, sizeof buf);
        tirsklog_r(nullptr, 3,
                   "event-collector path \"%s\" value is invalid (#%d %s)\n",
                   path ? path : "(null)", e, msg);
        return 0;
    }
    return replace_string(&c->event_collector, path);
}
