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

/* Output lines.  Every message becomes exactly one line:
 *
 *   <3>2026-12-06 18:51:06.123 cam[07] win[03]: message text
 *
 * The "<N>" level tag comes first so that the system journal, reading our
 * standard error, takes the line's severity from it (and strips it); the
 * local date and time with milliseconds follow for a person reading the
 * raw stream; then the context chain, outermost first, and the message.
 * Trailing newlines of the format are dropped, embedded line breaks become
 * " | ", other control characters '?', so that one message never spreads
 * over several lines.  Messages longer than 4000 bytes are cut and end in
 * "...".  Output goes to standard error unless tirsklog_set_stream() says
 * otherwise.  The facility never allocates memory; one mutex covers the
 * formatting and the write, so lines of different threads never
 * interleave.  The globals log_date and in_daemon are not consulted. */

/* Log context: embedded by callers in their own records, never read by them.
 * A null context means the program-wide one (no prefix). */
typedef struct log_ctx {
    const struct log_ctx *parent; /* null or the enclosing object's context */
    char prefix[48];              /* "cam[07]", "win[03]", "<-- v4l2" ... */
} log_ctx;

/* Print one message at a syslog level (3 error .. 7 debug).  Exactly one
 * output line per call whether or not the format ends in a newline.
 * Thread-safe.  Messages above the current level are dropped before any
 * formatting. */
void tirsklog_r(const log_ctx *ctx, int level, const char *fmt, ...)
    __attribute__((format(printf, 3, 4)));

/* Initialise ctx with a prefix built from fmt (cut to 47 bytes); parent may
 * be null.  facility and flags are reserved: the viewer always passes -1
 * and 0.  A parent chain is followed at most 8 levels up. */
void tirsklog_set_context_r(log_ctx *ctx, const log_ctx *parent, int facility,
                            int flags, const char *fmt, ...)
    __attribute__((format(printf, 5, 6)));

/* Highest level printed (default 4 = warning).  A level below 3 silences
 * even errors. */
void tirsklog_level_set(int level);
int tirsklog_level_get(void);

/* Output flags.  tirsklog_update_flags(set, clear) computes
 * flags = (flags & ~clear) | set.  The default is TIME | LEVEL; the
 * viewer's (3, 32) therefore means: time stamps and level tags on, local
 * time rather than UTC. */
#define TIRSKLOG_F_TIME 0x01  /* "YYYY-MM-DD HH:MM:SS.mmm " stamp */
#define TIRSKLOG_F_LEVEL 0x02 /* "<N>" level tag at the start of the line */
#define TIRSKLOG_F_PID 0x04   /* "program[pid]: " after the stamp */
#define TIRSKLOG_F_UTC 0x20   /* stamps in UTC instead of local time */
void tirsklog_update_flags(int set, int clear);
int tirsklog_flags_get(void);

/* Wall-clock microseconds since the epoch used to stamp messages.  The
 * second argument is the monotonic-clock time (CLOCK_MONOTONIC, in
 * microseconds) at which usec was read; INT64_MIN, what the viewer passes,
 * means "just now".  Between two updates stamps advance with the monotonic
 * clock, so they keep millisecond precision and never jump backwards when
 * the system clock is stepped.  Before the first call, and after a call
 * with a negative usec, the system clock is read for each message. */
void tirsklog_update_time_r(int64_t usec, int64_t mono_usec);

/* Redirect output (tests); null restores standard error.  Not exported by
 * the real library; only tests use it. */
void tirsklog_set_stream(void *file /* FILE* */);

/* ---- configuration-file parser ------------------------------------------ */

/* File syntax (SYNTAX.md beside this header has examples):
 *
 *   # comment to the end of the line ('#' outside quotes, anywhere)
 *   tirsk-mon {
 *       framerate 25
 *       db-host = db.example.net        # "key value" or "key = value"
 *       alarm-msgs "door open # 1; {lid}; power \"low\""
 *   }
 *   other-program { ... }               # skipped, nested braces allowed
 *
 * - The top level holds only sections: a name, blanks, '{' on the same
 *   line; '}' alone on a line closes it ("name { }" is an empty section).
 *   A file may hold any number of sections; a section of the same name
 *   may appear more than once and is read each time.
 * - Inside a section: one pair per line.  The key is a run of characters
 *   other than blanks, '{', '}', '"', '#' and '='; then blanks, an
 *   optional '=', blanks, and the value to the end of the line (or to a
 *   '#'), trailing blanks removed.  A value that holds '#', '{', '}', '"'
 *   or leading/trailing blanks is written in double quotes, in which \"
 *   stands for a quote and \\ for a backslash (any other backslash is kept
 *   as it is).  An empty value is written "".  Nothing but blanks or a
 *   comment may follow the closing quote.
 * - Blank lines are ignored; lines end in LF or CRLF; at most 8192 bytes a
 *   line.  A UTF-8 byte-order mark at the start is skipped.
 * - Section names are compared exactly; keys are handed over as written.
 *
 * Errors are logged at error level as "FILE:LINE: reason" (unterminated
 * quote, missing '}', '{' without a name, a key outside a section, a key
 * without a value, a section inside the wanted section, junk after '}' or
 * after a quoted value, overlong lines, NUL bytes) and end the parse with 0.
 * A file that cannot be opened or read is reported as "FILE: reason". */

/* Called for each key/value pair of the named section; returns non-zero when
 * it accepted the pair, 0 when it rejected the value.  arg1 is the section
 * name and arg2 the file path (both const char *). */
typedef int tirskconf_handler_fn(void *user, void *arg1, void *arg2,
                                 const char *key, const char *value);

/* flags of tirskconf_parse: stop at the first value the handler rejects
 * (the viewer passes this).  Without it every pair is still offered and
 * each rejection reported; the result is 0 all the same. */
#define TIRSKCONF_STOP_ON_REJECT 0x1

/* Parse the section `section` of `path` with `handler`.  Returns 1 on
 * success; 0 on a syntax error, a rejected value (logged as "FILE:LINE:
 * invalid value for "key"") or a missing/unreadable file.  Sections of
 * other programs are skipped.  A missing section is not an error. */
int tirskconf_parse(const char *path, const char *section,
                    tirskconf_handler_fn *handler, int flags, void *user);

/* 1 for yes/y/true/on/1 (any case, blanks around ignored), 0 otherwise. */
int tirskconf_parse_bool(const char *text);

/* Next token of text: leading blanks and delimiters are skipped, the token
 * runs to the next delimiter and loses its trailing blanks (blanks inside a
 * token stay unless they are delimiters).  Returns null at the end (or for
 * a null text); *len receives the token length.  Continue at
 * token + *len.  A null delims splits at nothing. */
const char *tirskconf_str_get_next_token(const char *text, const char *delims,
                                         size_t *len);

/* "a.b.c.d", "host" or either followed by "/prefix" (0..32) -> address and
 * mask in network byte order; no prefix gives mask 255.255.255.255.  Host
 * names are resolved to their first IPv4 address.  Non-zero on success; a
 * malformed address ("1.2.3", "300.1.1.1"), a bad prefix ("/33", "/-1",
 * "/"), an unresolvable or overlong name gives 0 and leaves the outputs
 * untouched. */
int tirskconf_parse_ip4_acl(const char *text, uint32_t *addr, uint32_t *mask);

/* 0 when (addr & mask) lies in net/netmask (all network byte order), 1
 * otherwise. */
int tirskconf_ipv4_cmp(uint32_t addr, uint32_t mask, uint32_t net,
                       uint32_t netmask);

/* List of decimal integers separated by commas, semicolons or blanks, into
 * out (at most max_count values, each in [min, max]).  Returns the number
 * stored.  The first item that is not such an integer ends the list: the
 * values before it are kept and a warning names the item; so does an item
 * beyond max_count.  The two flags arguments are reserved (0). */
int tirskconf_parse_numlist2(int flags, const char *text, int max_count,
                             int64_t min, int64_t max, int flags2,
                             uint32_t *out);

/* Flags of tirskconf_getaddr; the viewer passes 0x1071 = all of them. */
#define TIRSKCONF_ADDR_LOCAL 0x0001   /* only addresses of this machine */
#define TIRSKCONF_ADDR_ANY 0x0010     /* "*" means 0.0.0.0 */
#define TIRSKCONF_ADDR_NUMERIC 0x0020 /* dotted-quad addresses accepted */
#define TIRSKCONF_ADDR_NAMES 0x0040   /* host names resolved */
#define TIRSKCONF_ADDR_IPV4 0x1000    /* IPv4 results (the only kind here) */

/* Resolve host to at most `count` IPv4 socket addresses (port 0).  With
 * TIRSKCONF_ADDR_LOCAL an address counts only when a local interface has
 * it or it lies in 127.0.0.0/8.  "*" gives 0.0.0.0.  Returns the number
 * written; on failure (0) err holds the reason. */
int tirskconf_getaddr(const char *host, int flags, struct sockaddr_in *out,
                      int count, char *err, size_t errlen);

/* Geometry "WxH" (also "WXH" or "W*H", blanks around the numbers allowed)
 * -> out[0] = width, out[1] = height, unsigned 32-bit decimals.  With
 * need_nonzero both must be positive; max_w / max_h > 0 are upper limits.
 * The viewer passes (1, 0, 0).  Non-zero on success; out is untouched on
 * failure. */
int tirskconf_get_q(const char *text, int need_nonzero, int max_w, int max_h,
                    uint32_t *out);

/* Name table row; the table ends with id 0. */
typedef struct tirskconf_hash_row {
    int32_t id;
    const char *name;
    int32_t len;
} tirskconf_hash_row;

/* flags of tirskconf_hash_find: compare ignoring case (default exact). */
#define TIRSKCONF_FIND_NOCASE 0x1

/* Row whose name (of length len) equals name, or null. */
const tirskconf_hash_row *tirskconf_hash_find(const tirskconf_hash_row *table,
                                              const char *name, int flags);

/* Keyword table row; the table ends with a null keyword. */
typedef struct tirskconf_dict_row {
    const char *keyword;
    int32_t value;
    const char *extra;
} tirskconf_dict_row;

/* Row whose keyword equals name ignoring case, or null (flags reserved). */
const tirskconf_dict_row *tirskconf_dict_find(const tirskconf_dict_row *table,
                                              const char *name, int flags);

/* Flag set: keywords of the table joined by '+', '|' or ',' (blanks around
 * them allowed, case ignored), e.g. "tcp+udp", "tcp | udp-mcast".  The OR
 * of their values is stored through the first variadic argument, a
 * uint32_t * (replacing what it held).  Returns 1 on success; 0 for an
 * unknown keyword, an empty list or an empty item ("tcp+"), and then
 * nothing is stored.  flags is reserved (0). */
int tirskconf_parse_flags(const tirskconf_dict_row *table, const char *text,
                          int flags, ...);

/* {bit, name} row; the table ends with {0, null}. */
typedef struct tirskconf_flag_row {
    uint32_t flag;
    const char *name;
} tirskconf_flag_row;

/* Names of the rows whose bits are all set in flags, in table order, joined
 * by ",", into buf (always terminated, never overrun; "" when none).  A
 * name that does not fit is left out whole and "..." ends the text when it
 * fits.  Returns buf. */
char *tirskconf_u32flag2str_r(const tirskconf_flag_row *table, uint32_t flags,
                              char *buf, size_t size);

#ifdef __cplusplus
}
#endif

#endif
