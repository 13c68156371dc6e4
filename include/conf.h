/* The CONF record: every setting plus the camera and layout catalogue. */
#ifndef TIRSK_CONF_H
#define TIRSK_CONF_H

#include <stdint.h>

#include "camera.h"
#include "tirskconf.h"

#ifdef __cplusplus
extern "C" {
#endif

struct MHD_Response;
struct MHD_Daemon;
struct _GRegex;

#define TIRSK_PROG_NAME "tirsk-mon"
#define TIRSK_DEFAULT_CONF "/etc/tirsk/tirsk.conf"
#define ALLOWED_FROM_MAX 10
#define ALARM_MSGS_MAX 4
#define ALARM_MSG_LEN 32
#define DISABLE_KEYS_MAX 400
#define STRHELP_SIZE 2000

/* Parsed URL. */
typedef struct tirsk_URL {
    uint32_t scheme; /* id from http_methods_hash */
    char host[50];   /* up to 49 characters */
    uint16_t port;
    char path[52];   /* rest after the port, with its leading "/" */
} tirsk_URL;

typedef struct ip4_acl {
    uint32_t addr; /* network byte order */
    uint32_t mask;
} ip4_acl;

typedef struct u32_size {
    uint32_t width;
    uint32_t height;
} u32_size;

typedef struct CONF {
    char *conf_path;
    uint32_t rctrl_enabled;
    tirsk_URL rctrl_url;
    uint32_t rctrl_addr; /* network byte order; 0 = all interfaces */
    ip4_acl allowed_from[ALLOWED_FROM_MAX];
    uint32_t allowed_from_count;
    struct MHD_Response *http_replies[4]; /* OK, 404, 405, 500 */
    struct MHD_Daemon *httpd;
    char *db_type;
    char *db_name;
    char *db_host;
    uint16_t db_port;
    char *db_user;
    char *db_passwd;
    void *db_conn; /* dbi_conn, only while the catalogue loads */
    uint32_t framerate;
    u32_size geo;
    uint32_t no_signal;         /* s */
    uint32_t fs_timeout;        /* s */
    uint32_t camname_timeout;   /* s */
    uint32_t cursor_timeout;    /* s */
    uint32_t reconnect_timeout; /* ms */
    uint32_t disable_keys[DISABLE_KEYS_MAX];
    uint64_t disable_keys_count;
    double font_factor;
    uint32_t help;
    int32_t verbose;
    uint32_t quiet;
    uint32_t version;
    uint32_t smart_scale;
    uint32_t fullscreen;
    uint32_t test_video_mode;
    uint32_t hw_surface;
    uint32_t yuv_direct;
    uint32_t yuv_hwaccel;
    uint32_t doublebuf;
    uint32_t iyuv;
    uint32_t no_winframe;
    uint32_t asyncblit;
    uint32_t no_mouse;
    uint32_t no_keyboard;
    uint32_t fit2screen;
    uint32_t keep_aspect;
    struct {
        uint32_t w;
        uint32_t h;
    } force_aspect;
    struct {
        uint32_t tb;
        uint32_t lr;
    } border_size;
    uint32_t display_set;
    char display; /* 'L' or 'R' */
    char *shot_dir;
    char alarm_msgs[ALARM_MSGS_MAX][ALARM_MSG_LEN + 1];
    char *gst_rtspsrc_opts;
    char *gst_v4l2src_opts;
    struct _GRegex *gst_blacklist;
    int32_t cams_count;
    camera cams[MAX_CAMS];
    uint32_t single_source;
    local_layout layouts[MAX_LAYOUTS];
    int32_t layouts_count;
    int32_t start_layout;
    char *event_collector;
} CONF;

extern CONF *conf;
extern const tirskconf_hash_row http_methods_hash[];
extern char strHELP[STRHELP_SIZE];

CONF *init_CONF(void);
int parse_configs(CONF *conf, int argc, char **argv);
void free_CONF(CONF *conf);
int conf_key_handler(void *conf, void *arg1, void *arg2, const char *key,
                     const char *value);
int tirsk_parse_URL(const char *text, tirsk_URL *url);
int set_remote_control(CONF *conf, const char *text);
int set_event_collector(CONF *conf, const char *path);

/* The catalogue step of parse_configs: 1 when no error was counted. */
int load_catalogue(CONF *conf);
/* Append one layout line to strHELP if it fits. */
void strhelp_add_layout(int nr, const char *name, int ncams);

/* Verbosity gates of log lines: "(*) " lines need verbose_at(1), "(D) "
 * lines usually verbose_at(2). */
static inline int verbose_at(int level)
{
    return conf && !conf->quiet && conf->verbose >= level;
}

/* Level handed to the host log facility for the verbosity options: the
 * "(*) " lines that -v asks for are info (6) and the "(D) " lines of -vv are
 * debug (7), so -v must reach level 6; -q keeps the errors. */
static inline int log_level_for(const CONF *c)
{
    if (!c)
        return 4;
    if (c->quiet)
        return 3;
    return c->verbose > 0 ? 5 + c->verbose : 4;
}

#ifdef __cplusplus
}
#endif

#endif
