// The CONF record: creation with its defaults and release.
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <glib.h>
#include <microhttpd.h>

#include <string_view>

#include "conf.h"
#include "config/options_private.h"

extern "C" {
constinit CONF *conf = nullptr;

// URL schemes known to tirsk_parse_URL; the row with id 0 ends the table.
constinit const tirskconf_hash_row http_methods_hash[] = {
    {1, "file", 4},
    {2, "http", 4},
    {3, "ftp", 3},
    {0, nullptr, 0},
};
}

namespace {

// Replies of the remote-control server, in the order of CONF.http_replies.
// The server sends them straight from these constants (no copy).
constexpr std::string_view http_reply_texts[] = {
    "OK\r\n",
    "URL path not found\r\n",
    "Method Not Allowed\r\n",
    "Internal Server Error\r\n",
};
static_assert(std::size(http_reply_texts) == std::size(CONF{}.http_replies));

int dir_writable(const char *dir)
{
    return dir && *dir && access(dir, W_OK) == 0;
}

// The user's pictures folder as xdg-user-dir reports it, or null.
char *xdg_pictures_dir(void)
{
    char cmd[64];
    snprintf(cmd, sizeof cmd, "xdg-user-dir %s", "PICTURES");
    FILE *pipe = popen(cmd, "r");
    if (!pipe)
        return nullptr;
    char buf[201];
    size_t n = 0;
    while (n < sizeof buf - 1) {
        size_t got = fread(buf + n, 1, sizeof buf - 1 - n, pipe);
        if (got == 0)
            break;
        n += got;
    }
    pclose(pipe);
    buf[n] = 0;
    if (n > 0 && buf[n - 1] == '\n')
        buf[n - 1] = 0;
    return dir_writable(buf) ? strdup(buf) : nullptr;
}

} // namespace

char *find_shot_dir(void)
{
    if (char *dir = xdg_pictures_dir())
        return dir;
    for (const char *dir : {"/var/tmp", "./"})
        if (dir_writable(dir))
            return strdup(dir);
    return nullptr;
}

extern "C" CONF *init_CONF(void)
{
    CONF *c = static_cast<CONF *>(calloc(1, sizeof(CONF)));
    if (!c)
        return nullptr;
    c->conf_path = strdup(TIRSK_DEFAULT_CONF);
    c->font_factor = 1.0;
    c->display = 'L';
    c->start_layout = -1;
    c->geo = {648, 488};
    c->framerate = 30;
    c->no_signal = 4;
    c->fs_timeout = 300;
    c->camname_timeout = 6;
    c->cursor_timeout = 4;
    c->reconnect_timeout = 1000;
    c->shot_dir = find_shot_dir();
    c->gst_rtspsrc_opts =
        strdup("latency=100 timeout=3000000 tcp-timeout=5000000");
    c->gst_v4l2src_opts = strdup("io-mode=rw");
    for (size_t i = 0; i < std::size(http_reply_texts); i++) {
        std::string_view t = http_reply_texts[i];
        c->http_replies[i] = MHD_create_response_from_buffer(
            t.size(), const_cast<char *>(t.data()), MHD_RESPMEM_PERSISTENT);
    }
    // A 405 names the methods that are allowed.
    if (c->http_replies[2])
        MHD_add_response_header(c->http_replies[2], MHD_HTTP_HEADER_ALLOW, "GET");
    return c;
}

extern "C" void free_CONF(CONF *c)
{
    if (!c)
        return;
    for (char **s : {&c->conf_path, &c->db_type, &c->db_name, &c->db_host,
                     &c->db_user, &c->db_passwd, &c->event_collector,
                     &c->shot_dir, &c->gst_rtspsrc_opts,
                     &c->gst_v4l2src_opts}) {
        free(*s);
        *s = nullptr;
    }
    if (c->gst_blacklist) {
        g_regex_unref(c->gst_blacklist);
        c->gst_blacklist = nullptr;
    }
    // The server may still send the prepared replies: stop it first.
    if (c->httpd) {
        MHD_stop_daemon(c->httpd);
        c->httpd = nullptr;
    }
    for (MHD_Response *&r : c->http_replies) {
        if (r)
            MHD_destroy_response(r);
        r = nullptr;
    }
    if (conf == c)
        conf = nullptr;
    free(c);
}
