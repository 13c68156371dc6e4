// IPv4 address routines: access-list entries, network comparison and the
// addresses of this machine.
#include <arpa/inet.h>
#include <errno.h>
#include <ifaddrs.h>
#include <netdb.h>
#include <stdio.h>
#include <string.h>
#include <sys/socket.h>

#include <string_view>

#include "tirskconf.h"

namespace {

constexpr size_t kHostMax = 253; // longest DNS name

bool is_host_char(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           c == '-' || c == '.' || c == '_';
}

// Strict dotted quad only; loose numeric forms that inet_aton would take
// ("1.2.3", "0x7f.1", "127.1") are never handed to the resolver either.
enum class Kind { address, name, bad };

Kind classify(const char *s, in_addr *addr)
{
    size_t n = strlen(s);
    if (n == 0 || n > kHostMax)
        return Kind::bad;
    if (inet_pton(AF_INET, s, addr) == 1)
        return Kind::address;
    in_addr loose;
    if (inet_aton(s, &loose))
        return Kind::bad;
    for (size_t i = 0; i < n; ++i)
        if (!is_host_char(s[i]))
            return Kind::bad;
    if (s[0] == '-' || s[0] == '.')
        return Kind::bad;
    return Kind::name;
}

// First IPv4 address of a host name; false when it has none.
bool resolve_first(const char *name, in_addr *addr)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *res = nullptr;
    if (getaddrinfo(name, nullptr, &hints, &res) != 0 || !res)
        return false;
    *addr = reinterpret_cast<sockaddr_in *>(res->ai_addr)->sin_addr;
    freeaddrinfo(res);
    return true;
}

bool parse_prefix(std::string_view s, uint32_t *mask)
{
    if (s.empty() || s.size() > 2)
        return false;
    unsigned bits = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            return false;
        bits = bits * 10 + unsigned(c - '0');
    }
    if (bits > 32)
        return false;
    *mask = bits == 0 ? 0 : htonl(0xFFFFFFFFu << (32 - bits));
    return true;
}

void set_err(char *err, size_t errlen, const char *what, const char *detail = nullptr)
{
    if (!err || errlen == 0)
        return;
    if (detail)
        snprintf(err, errlen, "%s: %s", what, detail);
    else
        snprintf(err, errlen, "%s", what);
}

bool is_loopback(in_addr a) { return (ntohl(a.s_addr) >> 24) == 127; }

} // namespace

extern "C" {

int tirskconf_parse_ip4_acl(const char *text, uint32_t *addr, uint32_t *mask)
{
    if (!text || !addr || !mask)
        return 0;
    std::string_view s(text);
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    size_t slash = s.find('/');
    std::string_view host = s.substr(0, slash);
    if (host.empty() || host.size() > kHostMax)
        return 0;
    uint32_t m = 0xFFFFFFFFu;
    if (slash != std::string_view::npos && !parse_prefix(s.substr(slash + 1), &m))
        return 0;

    char name[kHostMax + 1];
    memcpy(name, host.data(), host.size());
    name[host.size()] = '\0';
    in_addr a{};
    switch (classify(name, &a)) {
    case Kind::address:
        break;
    case Kind::name:
        if (!resolve_first(name, &a))
            return 0;
        break;
    case Kind::bad:
        return 0;
    }
    *addr = a.s_addr;
    *mask = m;
    return 1;
}

int tirskconf_ipv4_cmp(uint32_t addr, uint32_t mask, uint32_t net, uint32_t netmask)
{
    return ((addr & mask) & netmask) == (net & netmask) ? 0 : 1;
}

int tirskconf_getaddr(const char *host, int flags, struct sockaddr_in *out, int count,
                      char *err, size_t errlen)
{
    if (!host || !*host) {
        set_err(err, errlen, "empty host name");
        return 0;
    }
    if (!out || count < 1) {
        set_err(err, errlen, "no room for an address");
        return 0;
    }
    if (strcmp(host, "*") == 0) {
        if (!(flags & TIRSKCONF_ADDR_ANY)) {
            set_err(err, errlen, "\"*\" is not allowed here");
            return 0;
        }
        out[0] = sockaddr_in{};
        out[0].sin_family = AF_INET;
        out[0].sin_addr.s_addr = htonl(INADDR_ANY);
        return 1;
    }

    // Candidate addresses of the host.
    constexpr int kMaxCand = 16;
    in_addr cand[kMaxCand];
    int ncand = 0;
    in_addr a{};
    switch (classify(host, &a)) {
    case Kind::bad:
        set_err(err, errlen, "malformed host name or address");
        return 0;
    case Kind::address:
        if (!(flags & TIRSKCONF_ADDR_NUMERIC)) {
            set_err(err, errlen, "numeric addresses are not allowed here");
            return 0;
        }
        cand[ncand++] = a;
        break;
    case Kind::name: {
        if (!(flags & TIRSKCONF_ADDR_NAMES)) {
            set_err(err, errlen, "host names are not allowed here");
            return 0;
        }
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo *res = nullptr;
        int rc = getaddrinfo(host, nullptr, &hints, &res);
        if (rc != 0) {
            set_err(err, errlen, "cannot resolve host", gai_strerror(rc));
            return 0;
        }
        for (addrinfo *r = res; r && ncand < kMaxCand; r = r->ai_next) {
            in_addr x = reinterpret_cast<sockaddr_in *>(r->ai_addr)->sin_addr;
            bool dup = false;
            for (int i = 0; i < ncand; ++i)
                dup = dup || cand[i].s_addr == x.s_addr;
            if (!dup)
                cand[ncand++] = x;
        }
        freeaddrinfo(res);
        break;
    }
    }

    ifaddrs *ifs = nullptr;
    if ((flags & TIRSKCONF_ADDR_LOCAL) && getifaddrs(&ifs) != 0) {
        char buf[200];
        set_err(err, errlen, "getifaddrs", strerror_r(errno, buf, sizeof buf));
        return 0;
    }
    int written = 0;
    for (int i = 0; i < ncand && written < count; ++i) {
        bool ok = !(flags & TIRSKCONF_ADDR_LOCAL) || is_loopback(cand[i]);
        for (ifaddrs *p = ifs; p && !ok; p = p->ifa_next)
            ok = p->ifa_addr && p->ifa_addr->sa_family == AF_INET &&
                 reinterpret_cast<sockaddr_in *>(p->ifa_addr)->sin_addr.s_addr ==
                     cand[i].s_addr;
        if (!ok)
            continue;
        out[written] = sockaddr_in{};
        out[written].sin_family = AF_INET;
        out[written].sin_addr = cand[i];
        ++written;
    }
    if (ifs)
        freeifaddrs(ifs);
    if (written == 0)
        set_err(err, errlen, "not an address of this machine");
    return written;
}

} // extern "C"
