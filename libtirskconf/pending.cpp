// Placeholder until the library lands: weak definitions, replaced by the
// real ones at link time.
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "tirskconf.h"

#define WEAK __attribute__((weak))
extern "C" {
WEAK void tirsklog_r(const log_ctx *, int, const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    vfprintf(stderr, fmt, ap);
    va_end(ap);
    fputc('\n', stderr);
}
WEAK void tirsklog_set_context_r(log_ctx *ctx, const log_ctx *parent, int, int, const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    ctx->parent = parent;
    vsnprintf(ctx->prefix, sizeof ctx->prefix, fmt, ap);
    va_end(ap);
}
WEAK void tirsklog_level_set(int) {}
WEAK int tirsklog_level_get(void) { return 4; }
WEAK void tirsklog_update_flags(int, int) {}
WEAK void tirsklog_update_time_r(int64_t, int64_t) {}
WEAK void tirsklog_set_stream(void *) {}
WEAK int tirskconf_parse(const char *, const char *, tirskconf_handler_fn *, int, void *) { return 1; }
WEAK int tirskconf_parse_bool(const char *t) { return t && (!strcasecmp(t, "yes") || !strcmp(t, "1")); }
WEAK const char *tirskconf_str_get_next_token(const char *, const char *, size_t *) { return nullptr; }
WEAK int tirskconf_parse_ip4_acl(const char *, uint32_t *, uint32_t *) { return 0; }
WEAK int tirskconf_ipv4_cmp(uint32_t, uint32_t, uint32_t, uint32_t) { return 1; }
WEAK int tirskconf_parse_numlist2(int, const char *, int, int64_t, int64_t, int, uint32_t *) { return 0; }
WEAK int tirskconf_getaddr(const char *, int, struct sockaddr_in *, int, char *, size_t) { return 0; }
WEAK int tirskconf_get_q(const char *t, int, int, int, uint32_t *out)
{
    return t && sscanf(t, "%ux%u", &out[0], &out[1]) == 2;
}
WEAK const tirskconf_hash_row *tirskconf_hash_find(const tirskconf_hash_row *, const char *, int) { return nullptr; }
WEAK const tirskconf_dict_row *tirskconf_dict_find(const tirskconf_dict_row *, const char *, int) { return nullptr; }
WEAK int tirskconf_parse_flags(const tirskconf_dict_row *, const char *, int, ...) { return 0; }
WEAK char *tirskconf_u32flag2str_r(const tirskconf_flag_row *, uint32_t, char *buf, size_t size)
{
    if (size) buf[0] = 0;
    return buf;
}
}
