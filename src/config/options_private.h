/* Helpers shared by the option files: value readers, the usage and help
 * texts.  Internal to the configuration module (and its tests). */
#ifndef TIRSK_CONFIG_OPTIONS_PRIVATE_H
#define TIRSK_CONFIG_OPTIONS_PRIVATE_H

#include <stdint.h>
#include <stdio.h>

#include <string_view>

#include "conf.h"

/* Unsigned decimal read the way "%u" reads it (leading blanks, optional
 * "+", digits, anything after them ignored), except that a minus sign and
 * values above max are refused instead of wrapping.  1 on success. */
int read_unsigned(const char *text, uint32_t max, uint32_t *out);

/* "%u%c%u": unsigned, exactly one separator character, unsigned.  The
 * separator is returned for the caller to check.  1 on success. */
int read_pair(const char *text, uint32_t *first, char *sep, uint32_t *second);

/* Replace an owned string with a copy of value; 0 when the copy fails (the
 * field is then null). */
int replace_string(char **field, const char *value);

/* Switch value of the configuration file: 1 for the words of
 * tirskconf_parse_bool, 0 for no/n/false/off/0, -1 for anything else. */
int switch_value(const char *value);

/* What a key accepts, for the message about a refused value; null for
 * keys whose values are never refused (and for unknown keys). */
const char *conf_key_accepts(const char *key);
/* The i-th key the configuration file takes, null past the last. */
const char *conf_file_key(size_t i);
/* 1 when key (compared ignoring case) is a key or long option name. */
int conf_key_known(std::string_view key);
/* With -v: a warning naming file and line for each key of the section that
 * no option knows (a typo would otherwise pass unnoticed).  The file has
 * been parsed without error. */
void warn_unknown_keys(const char *path, const char *section);
/* parse_configs without the catalogue: 1 when the viewer may go on. */
int parse_options(CONF *c, int argc, char **argv);

/* Write the --help and --version texts. */
void print_usage(FILE *out);
void print_version(FILE *out);

/* The fixed first part of the on-screen help; strhelp_reset copies it into
 * strHELP and zero-fills the rest of the buffer. */
extern const std::string_view strhelp_base;
void strhelp_reset(void);

/* Snapshot directory found at start: xdg-user-dir's pictures folder, then
 * /var/tmp, then the current directory; a heap copy or null. */
char *find_shot_dir(void);

#endif
