// Reading the options: the configuration file first, then the command line,
// which wins.
#include <errno.h>
#include <getopt.h>
#include <libintl.h>
#include <locale.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "conf.h"
#include "config/options_private.h"
#include "globals.h"

namespace {

constexpr char short_options[] = "c:d:l:g:fFka:sr:MKR:T:H:D:U:P:e:hv::qV";

// Options without a letter come back from getopt_long as 0 and are applied
// through the file's key handler under their long name.
constexpr struct option long_options[] = {
    {"conf", required_argument, nullptr, 'c'},
    {"display", required_argument, nullptr, 'd'},
    {"layout", required_argument, nullptr, 'l'},
    {"geo", required_argument, nullptr, 'g'},
    {"fullscreen", no_argument, nullptr, 'f'},
    {"no-winframe", no_argument, nullptr, 'F'},
    {"fit2screen", no_argument, nullptr, 0},
    {"keep-aspect", no_argument, nullptr, 'k'},
    {"force-aspect", required_argument, nullptr, 'a'},
    {"smart-scale", no_argument, nullptr, 's'},
    {"border-size", required_argument, nullptr, 0},
    {"font-factor", required_argument, nullptr, 0},
    {"framerate", required_argument, nullptr, 'R'},
    {"hw-surface", no_argument, nullptr, 0},
    {"yuv-direct", no_argument, nullptr, 0},
    {"yuv-hwaccel", no_argument, nullptr, 0},
    {"iyuv", no_argument, nullptr, 0},
    {"doublebuf", no_argument, nullptr, 0},
    {"asyncblit", no_argument, nullptr, 0},
    {"no-mouse", no_argument, nullptr, 'M'},
    {"no-keyboard", no_argument, nullptr, 'K'},
    {"no-tty", no_argument, nullptr, 0},
    {"disable-keys", required_argument, nullptr, 0},
    {"no-signal", required_argument, nullptr, 0},
    {"fs-timeout", required_argument, nullptr, 0},
    {"camname-timeout", required_argument, nullptr, 0},
    {"cursor-timeout", required_argument, nullptr, 0},
    {"reconnect-timeout", required_argument, nullptr, 0},
    {"gst-rtspsrc-opts", required_argument, nullptr, 0},
    {"gst-v4l2src-opts", required_argument, nullptr, 0},
    {"gst-blacklist", required_argument, nullptr, 0},
    {"remote-control", required_argument, nullptr, 'r'},
    {"allowed-from", required_argument, nullptr, 0},
    {"alarm-msgs", required_argument, nullptr, 0},
    {"single-source", no_argument, nullptr, 0},
    {"db-type", required_argument, nullptr, 'T'},
    {"db-host", required_argument, nullptr, 'H'},
    {"db-port", required_argument, nullptr, 0},
    {"db-name", required_argument, nullptr, 'D'},
    {"db-user", required_argument, nullptr, 'U'},
    {"db-passwd", required_argument, nullptr, 'P'},
    {"shot-dir", required_argument, nullptr, 0},
    {"event-collector", required_argument, nullptr, 'e'},
    {"help", no_argument, nullptr, 'h'},
    {"verbose", optional_argument, nullptr, 'v'},
    {"quit", no_argument, nullptr, 'q'},
    {"version", no_argument, nullptr, 'V'},
    // The usage text has always called -q "--quiet".
    {"quiet", no_argument, nullptr, 'q'},
    {nullptr, 0, nullptr, 0},
};
static_assert(std::size(long_options) == 47 + 1 + 1);

const char *tr(const char *text)
{
    return dcgettext(nullptr, text, LC_MESSAGES);
}

void see_help(void)
{
    fputs(tr("\nsee `tirsk-mon --help' or tirsk.conf tirsk-mon { ... }\n"),
          stderr);
}

// A value the option's handler refused: which option, what it got and what
// it takes (the handler may have said more in the log).
int bad_value(const char *name, int letter, const char *value)
{
    if (letter)
        fprintf(stderr, "tirsk-mon: bad value \"%s\" for -%c, --%s", value, letter, name);
    else
        fprintf(stderr, "tirsk-mon: bad value \"%s\" for --%s", value, name);
    if (const char *accepts = conf_key_accepts(name))
        fprintf(stderr, ": expected %s", accepts);
    fputc('\n', stderr);
    return 0;
}

// Applies a value option through the file's key handler.
int apply_value(CONF *c, const char *name, int letter, const char *value)
{
    return conf_key_handler(c, nullptr, nullptr, name, value) ? 1
                                                              : bad_value(name, letter, value);
}

// Long name of a lettered option.
const char *long_name(int letter)
{
    for (const struct option &o : long_options)
        if (o.name && o.val == letter)
            return o.name;
    return nullptr;
}

// Highest verbose level; the log level is formed from it by additions
// that must not wrap.
constexpr uint32_t VERBOSE_MAX = 99;

// "-v", "-v3", "-vv" (one more than the number of letters); -1 when the
// level is not one of these.
int verbose_level(const char *arg)
{
    if (!arg)
        return 1;
    if (*arg >= '0' && *arg <= '9') {
        uint32_t v;
        return read_unsigned(arg, VERBOSE_MAX, &v) ? static_cast<int>(v) : -1;
    }
    size_t n = strspn(arg, "v");
    if (n == 0 || arg[n])
        return -1;
    return n < VERBOSE_MAX ? static_cast<int>(n) + 1 : -1;
}

// The argument getopt_long has just read: the one before optind when it
// moved on (skipping any operands it passed over), else the current group.
const char *current_arg(int argc, char **argv, int before)
{
    if (optind > before && optind - 1 < argc && argv[optind - 1][0] == '-')
        return argv[optind - 1];
    if (optind < argc)
        return argv[optind];
    return argc > 0 ? argv[argc - 1] : "";
}

// Applies one option of the command line; 0 when it is rejected (the
// reason, if any, is already printed).
int apply_option(CONF *c, int opt, int index, int argc, char **argv,
                 int before)
{
    switch (opt) {
    case 0:
        return apply_value(c, long_options[index].name, 0, optarg ? optarg : "Yes");
    case 'c': // read in the first pass
        return 1;
    case 'f':
        c->fullscreen = 1;
        return 1;
    case 'F':
        c->no_winframe = 1;
        return 1;
    case 'k':
        c->keep_aspect = 1;
        return 1;
    case 's':
        c->smart_scale = 1;
        return 1;
    case 'M':
        c->no_mouse = 1;
        return 1;
    case 'K':
        c->no_keyboard = 1;
        return 1;
    case 'h':
        c->help = 1;
        return 1;
    case 'V':
        c->version = 1;
        return 1;
    case 'q':
        c->quiet = 1;
        c->verbose = 0;
        return 1;
    case 'v': {
        int level = verbose_level(optarg);
        if (level < 0) {
            fprintf(stderr, "ERROR: invalid verbose optarg value \"%s\"\n",
                    optarg);
            return 0;
        }
        c->verbose = level;
        return 1;
    }
    case 'd': case 'l': case 'g': case 'a': case 'R': case 'r': case 'e':
    case 'T': case 'H': case 'D': case 'U': case 'P':
        return apply_value(c, long_name(opt), opt, optarg);
    default:
        fprintf(stderr, tr_format("unknown option `%s'\n"),
                current_arg(argc, argv, before));
        return 0;
    }
}

} // namespace

extern "C" int parse_configs(CONF *c, int argc, char **argv)
{
    return parse_options(c, argc, argv) && (c->test_video_mode || load_catalogue(c));
}

int parse_options(CONF *c, int argc, char **argv)
{
    if (!c)
        return 0;
    opterr = 1;

    // First pass: only the configuration file's path.
    bool conf_given = false;
    optind = 0;
    for (int opt; (opt = getopt_long(argc, argv, short_options, long_options,
                                     nullptr)) != -1;) {
        if (opt == 'c') {
            if (!replace_string(&c->conf_path, optarg))
                return 0;
            conf_given = true;
        }
    }

    // Without a configuration at the default place the defaults stand; a
    // file named on the command line must be there.
    tirsklog_level_set(4);
    bool skip_file = !conf_given && access(c->conf_path, F_OK) != 0 &&
                     errno == ENOENT;
    if (!skip_file &&
        tirskconf_parse(c->conf_path, TIRSK_PROG_NAME, conf_key_handler, 1,
                        c) != 1)
        return 0;

    // Second pass: every option in command-line order.
    optind = 0;
    for (;;) {
        int before = optind;
        int index = -1;
        int opt = getopt_long(argc, argv, short_options, long_options, &index);
        if (opt == -1)
            break;
        if (!apply_option(c, opt, index, argc, argv, before)) {
            see_help();
            return 0;
        }
    }

    if (!skip_file && c->verbose && !c->quiet)
        warn_unknown_keys(c->conf_path, TIRSK_PROG_NAME);

    if (c->display == 'R') {
        // Both displays of a machine listen side by side.
        if (c->rctrl_enabled && c->rctrl_url.port == UINT16_MAX) {
            tirsklog_r(nullptr, 3,
                       "remote-control port %u leaves no port for display R\n",
                       c->rctrl_url.port);
            return 0;
        }
        c->rctrl_url.port++;
    }
    if (c->help) {
        print_usage(stdout);
        return 0;
    }
    if (c->version) {
        print_version(stdout);
        return 0;
    }
    if (c->test_video_mode)
        return 1;

    strhelp_reset();
    struct {
        char *CONF::*field;
        const char *value;
    } const db_defaults[] = {
        {&CONF::db_type, "mysql"},     {&CONF::db_name, "tirsk6_db"},
        {&CONF::db_host, ""},          {&CONF::db_user, "tirsk-mon"},
        {&CONF::db_passwd, ""},
    };
    for (const auto &d : db_defaults)
        if (!(c->*d.field))
            replace_string(&(c->*d.field), d.value);
    return 1;
}
