/* Stand-in for the installation's host library (log facility and
 * configuration-file parser).  The names and argument lists are those the
 * viewer calls, so the real library can be linked instead of this one. */
#ifndef TIRSKCONF_H
#define TIRSKCONF_H

#include <stddef.h>
#include <stdint.h>
#include <netinet/in.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- log facility ------------------------------------------------------ */

/* Log context: embedded by callers in their own records, never read by them.
 * A null context means the program-wide one. */
typedef struct log_ctx {
    const struct log_ctx *parent; /* null or the enclosing object's context */
    char prefix[48];              /* "cam[07]", "win[03]", "<-- v4l2" ... */
} log_ctx;

/* Print one message at a syslog level (3 error .. 7 debug).  Exactly one
 * output line per call whether or not the format ends in a newline.
 * Thread-safe.  Messages above the current level are dropped. */
void tirsklog_r(const log_ctx *ctx, int level, const char *fmt, ...)
    __attribute__((format(printf, 3, 4)));

/* Initialise ctx with a prefix built from fmt; parent may be null.  The viewer
 * always passes -1 and 0 for the two middle arguments. */
void tirsklog_set_context_r(log_ctx *ctx, const log_ctx *parent, int facility,
                            int flags, const char *fmt, ...)
    __attribute__((format(printf, 5, 6)));

/* Highest level printed (default 4 = warning). */
void tirsklog_level_set(int level);
int tirsklog_level_get(void);

/* Output flags: the viewer calls (3, 32) once after the final level. */
void tirsklog_update_flags(int set, int clear);

/* Wall-clock microseconds since the epoch used to stamp messages; the second
 * argument is always INT64_MIN in the viewer. */
void tirsklog_update_time_r(int64_t usec, int64_t mask);

/* Redirect output (tests); null restores standard error.  Not exported by
 * the real library; only tests use it. */
void tirsklog_set_stream(void *file /* FILE* */);

/* ---- configuration-file parser ------------------------------------------ */

/* Called for each key/value pair of the named section; returns non-zero when
 * it accepted the pair, 0 when it rejected the value. */
typedef int tirskconf_handler_fn(void *user, void *arg1, void *arg2,
                                 const char *key, const char *value);

/* Parse the section `section` of `path` with `handler`.  Returns 1 on
 * success; 0 on a syntax error (file and line reported), a rejected value
 * (key and line reported) or a missing/unreadable file (reported).  The
 * viewer passes 1 as flags.  Sections of other programs are skipped. */
int tirskconf_parse(const char *path, const char *section,
                    tirskconf_handler_fn *handler, int flags, void *user);

/* 1 for yes/true/on/1 (any case), 0 otherwise. */
int tirskconf_parse_bool(const char *text);

/* Next token of text split at any of delims (blanks around a token are
 * trimmed); null at the end.  *len receives the token length; continue at
 * token + *len. */
const char *tirskconf_str_get_next_token(const char *text, const char *delims,
                                         size_t *len);

/* "a.b.c.d", "host" or "a.b.c.d/prefix" -> address and mask in network byte
 * order.  Non-zero on success. */
int tirskconf_parse_ip4_acl(const char *text, uint32_t *addr, uint32_t *mask);

/* 0 when (addr & mask) lies in net/netmask (all network byte order). */
int tirskconf_ipv4_cmp(uint32_t addr, uint32_t mask, uint32_t net,
                       uint32_t netmask);

/* Comma/blank separated list of integers into out (at most max_count values
 * in [min, max]).  Returns the number stored; stops at the first bad item. */
int tirskconf_parse_numlist2(int flags, const char *text, int max_count,
                             int64_t min, int64_t max, int flags2,
                             uint32_t *out);

/* Resolve host to at most `count` IPv4 socket addresses of this machine
 * ("*" gives 0.0.0.0).  Returns the number written; on failure err holds
 * the reason. */
int tirskconf_getaddr(const char *host, int flags, struct sockaddr_in *out,
                      int count, char *err, size_t errlen);

/* Geometry "WxH" -> out[0] = width, out[1] = height.  Non-zero on success. */
int tirskconf_get_q(const char *text, int a, int b, int c, uint32_t *out);

/* Name table row; the table ends with id 0. */
typedef struct tirskconf_hash_row {
    int32_t id;
    const char *name;
    int32_t len;
} tirskconf_hash_row;

const tirskconf_hash_row *tirskconf_hash_find(const tirskconf_hash_row *table,
                                              const char *name, int flags);

/* Keyword table row; the table ends with a null keyword. */
typedef struct tirskconf_dict_row {
    const char *keyword;
    int32_t value;
    const char *extra;
} tirskconf_dict_row;

/* Row whose keyword equals name ignoring case, or null. */
const tirskconf_dict_row *tirskconf_dict_find(const tirskconf_dict_row *table,
                                              const char *name, int flags);

/* OR of the values of the keywords listed in text ("tcp+udp", "tcp|udp" or
 * "tcp,udp"), stored through the first variadic argument (uint32_t *).
 * Returns 1 on success, 0 for an unknown keyword or an empty list. */
int tirskconf_parse_flags(const tirskconf_dict_row *table, const char *text,
                          int flags, ...);

/* {bit, name} row; the table ends with {0, null}. */
typedef struct tirskconf_flag_row {
    uint32_t flag;
    const char *name;
} tirskconf_flag_row;

/* Names of the rows whose bit is set in flags, joined by ",", into buf. */
char *tirskconf_u32flag2str_r(const tirskconf_flag_row *table, uint32_t flags,
                              char *buf, size_t size);

#ifdef __cplusplus
}
#endif

#endif
