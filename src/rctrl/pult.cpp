// The control console's way in: a connection to its Unix socket and events
// put into the viewer's queue.  Nothing in the viewer calls these; code
// linked or loaded with it does.
#include <errno.h>
#include <stddef.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <syslog.h>
#include <unistd.h>

#include "rctrl.h"
#include "tirskconf.h"
#include "vout.h"

namespace {

// The path field of the socket address holds 108 bytes, the last one the
// terminating zero.
constexpr size_t PATH_MAX_LEN = sizeof(sockaddr_un{}.sun_path) - 1;
static_assert(PATH_MAX_LEN == 107);
static_assert(sizeof(sockaddr_un) == 110);

void log_errno(const char *fmt, const char *what, int err)
{
    char text[200];
    tirsklog_r(nullptr, LOG_ERR, fmt, what, err, strerror_r(err, text, sizeof text));
}

} // namespace

extern "C" int open_pult(const char *path)
{
    if (!path || !*path) {
        tirsklog_r(nullptr, LOG_ERR, "open_pult(): no socket path\n");
        return -1;
    }
    const size_t len = strlen(path);
    if (len > PATH_MAX_LEN) {
        tirsklog_r(nullptr, LOG_ERR, "\"%s\" is too long for a unix socket path (%zu > %zu)\n",
                   path, len, PATH_MAX_LEN);
        return -1;
    }
    // A path that does not exist (yet) is not judged here: the connect
    // below reports it like any other socket without a listener.
    struct stat st;
    if (stat(path, &st) != 0) {
        if (errno != ENOENT) {
            log_errno("stat(\"%s\") failed with #%d(%s)", path, errno);
            return -1;
        }
    } else if (!S_ISSOCK(st.st_mode)) {
        tirsklog_r(nullptr, LOG_ERR, "\"%s\" not a unix socket\n", path);
        return -1;
    }
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        log_errno("socket(%s) failed with #%d(%s)", "AF_UNIX,SOCK_STREAM", errno);
        return -1;
    }
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    memcpy(addr.sun_path, path, len);
    if (connect(fd, reinterpret_cast<const sockaddr *>(&addr), sizeof addr) != 0) {
        const int err = errno;
        close(fd);
        log_errno("connect(AF_UNIX, \"%s\") failed with #%d(%s)", path, err);
        return -1;
    }
    return fd;
}

extern "C" void close_pult(int fd)
{
    if (fd > 0)
        close(fd);
}

extern "C" int post_event(int type, int code, void *data1, void *data2)
{
    video_out *vo = vout;
    if (!vo || !vo->push_event)
        return -1;
    return vo->push_event(uint8_t(type & 0xFF), code, data1, data2);
}
