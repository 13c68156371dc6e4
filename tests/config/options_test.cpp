// Options from the configuration file and the command line, and the
// remote-control URL parser (one table of cases each, every option case on a
// fresh record), and the room for layout lines in the on-screen help.
#include <arpa/inet.h>
#include <string.h>
#include <unistd.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "config/options_private.h"
#include "harness.h"
#include "strhelp_guard.h"

namespace {

using namespace testsupport;

std::string text(const char *s) { return s ? s : "(null)"; }

#define NUM(f) {#f, [](const CONF &c) { return std::to_string(c.f); }}
#define TEXT(f) {#f, [](const CONF &c) { return text(c.f); }}
#define PAIR(name, a, b) {name, [](const CONF &c) { return std::to_string(c.a) + "x" + std::to_string(c.b); }}

// The record's fields a case may name, as text.
const std::map<std::string, std::function<std::string(const CONF &)>> FIELDS = {
    NUM(framerate), NUM(single_source), NUM(verbose), NUM(quiet), NUM(help), NUM(version),
    NUM(start_layout), NUM(fullscreen), NUM(no_winframe), NUM(keep_aspect), NUM(smart_scale),
    NUM(no_mouse), NUM(no_keyboard), NUM(fit2screen), NUM(iyuv), NUM(asyncblit), NUM(db_port),
    NUM(no_signal), NUM(camname_timeout), NUM(cursor_timeout), NUM(reconnect_timeout),
    NUM(font_factor), NUM(display_set), NUM(rctrl_enabled), NUM(rctrl_url.port),
    TEXT(db_type), TEXT(db_name), TEXT(db_passwd), TEXT(shot_dir), TEXT(event_collector),
    TEXT(conf_path), TEXT(rctrl_url.host), PAIR("geo", geo.width, geo.height),
    PAIR("force_aspect", force_aspect.w, force_aspect.h), PAIR("border_size", border_size.tb, border_size.lr),
    {"display", [](const CONF &c) { return std::string(1, c.display); }},
    {"rctrl_addr", [](const CONF &c) { return std::string(inet_ntoa({c.rctrl_addr})); }},
    {"allowed_from", [](const CONF &c) {
         std::string s;
         for (uint32_t i = 0; i < c.allowed_from_count; i++)
             s += std::string(i ? " " : "") + inet_ntoa({c.allowed_from[i].addr}) + "/" +
                  std::to_string(__builtin_popcount(c.allowed_from[i].mask));
         return s;
     }},
    {"disable_keys", [](const CONF &c) {
         std::string s;
         for (uint64_t i = 0; i < c.disable_keys_count && i < DISABLE_KEYS_MAX; i++)
             s += (i ? " " : "") + std::to_string(c.disable_keys[i]);
         return s;
     }},
    {"alarm_msgs", [](const CONF &c) {
         return std::string(c.alarm_msgs[0]) + "|" + c.alarm_msgs[1] + "|" + c.alarm_msgs[2] + "|" + c.alarm_msgs[3];
     }},
};

const std::string HINT = "\nsee `tirsk-mon --help' or tirsk.conf tirsk-mon { ... }\n";

struct OptionCase {
    std::string name;
    std::vector<std::string> args; // "@" stands for the test's directory
    const char *file = "";         // the tirsk-mon section; null: no file
    bool accepted = true;
    std::string want = "";    // "field=value;..." afterwards
    std::string said = "";    // on standard error
    std::string printed = ""; // on standard output, which is otherwise empty
    const char *unsaid = nullptr;
};

std::string repeat(const std::string &s, int n)
{
    std::string out;
    while (n-- > 0)
        out += s;
    return out;
}

std::string addresses(int n, const std::string &sep, const std::string &suffix = "")
{
    std::string out;
    for (int i = 1; i <= n; i++)
        out += (i > 1 ? sep : "") + "10.0.0." + std::to_string(i) + suffix;
    return out;
}

} // namespace

TEST(Options, FileAndCommandLine)
{
    const std::string ten = addresses(10, ","), ten_read = addresses(10, " ", "/32");
    std::vector<OptionCase> cases = {
        {"no file at the default place", {"-R", "25"}, nullptr, true, "framerate=25"},
        {"named file missing", {"-c", "@/missing.conf", "-R", "20"}, "", false,
         "framerate=30;conf_path=@/missing.conf", "missing.conf: cannot open"},
        {"bad file value", {}, "framerate 0\n", false, "", "tirsk.conf:5: invalid value for \"framerate\": \"0\""},
        {"switch typo refused, not read as no", {}, "fullscreen yes\nkeep-aspect yse\n", false, "fullscreen=1", "6: invalid"},
        {"file keys ignore case; unknown and command-line-only keys ignored", {},
         "FrameRate 20\nGEO 800x600\nSingle-Source yes\nno-such-option 12\nverbose 3\nquit yes\n"
         "help yes\nversion yes\nconf /nonexistent\nlayout -2\n", true,
         "framerate=20;geo=800x600;single_source=1;verbose=0;quiet=0;help=0;version=0;start_layout=-2;"
         "conf_path=@/tirsk.conf"},
        {"layout not a number", {}, "layout two\n", false},
        {"switches follow their value; the command line wins", {"-R", "25", "-D", "from_cli"},
         "fullscreen yes\nfullscreen no\nno-mouse yes\nno-tty false\nkeep-aspect true\niyuv 1\n"
         "framerate 20\ndb-name from_file\n", true,
         "fullscreen=0;no_mouse=0;no_keyboard=0;keep_aspect=1;iyuv=1;framerate=25;db_name=from_cli"},
        {"command-line switches and texts", {"-f", "-F", "-k", "-s", "-M", "--fit2screen", "--iyuv", "--asyncblit",
                                             "-T", "pgsql", "-P", "secret", "--db-port=5432", "-l", "7"}, "", true,
         "fullscreen=1;no_winframe=1;keep_aspect=1;smart_scale=1;no_mouse=1;fit2screen=1;iyuv=1;asyncblit=1;"
         "no_keyboard=0;db_type=pgsql;db_passwd=secret;db_port=5432;start_layout=7"},
        {"unique abbreviation", {"--no-tty", "--fit"}, "", true, "no_keyboard=1;fit2screen=1"},
        {"size pairs", {"-g", "800:600", "-a", "16:9", "--border-size=2 3", "-R", "60"}, "", true,
         "geo=800x600;force_aspect=16x9;border_size=2x3;framerate=60"},
        {"border separator", {"--border-size=2x3"}, "", false, "", HINT},
        {"framerate 0", {"-R", "0"}, "", false, "",
         "bad value \"0\" for -R, --framerate: expected a whole number from 1 to 60\n" + HINT},
        {"framerate 61", {"-R", "61"}, "", false},
        {"numbers read as %u reads them", {"--no-signal=10", "--camname-timeout=+3", "--cursor-timeout=2s"}, "",
         true, "no_signal=10;camname_timeout=3;cursor_timeout=2"},
        {"seconds with a fraction", {"--reconnect-timeout=2.5", "--font-factor=1.25"}, "", true,
         "reconnect_timeout=2500;font_factor=1.250000"},
        {"fraction of a millisecond cut", {"--reconnect-timeout=0.0019"}, "", true, "reconnect_timeout=1"},
        {"verbose letters", {"-vv"}, "", true, "verbose=2"},
        {"verbose number", {"-v3"}, "", true, "verbose=3"},
        {"quiet after verbose", {"-v2", "-q"}, "", true, "verbose=0;quiet=1"},
        {"verbose after quiet", {"-q", "-v2"}, "", true, "verbose=2;quiet=1"},
        {"verbose too high", {"-v99999999999"}, "", false, "", "ERROR: invalid verbose optarg value \"99999999999\"\n"},
        {"unknown long option", {"--bogus"}, "", false, "", "unknown option `--bogus'\n" + HINT},
        {"unknown letter in a group", {"-xf"}, "", false, "", "unknown option `-xf'"},
        {"argument missing", {"-g"}, "", false, "", HINT},
        {"left display", {"--display=left", "-r", "http://*:2001/x"}, "", true,
         "display=L;display_set=1;rctrl_url.port=2001"},
        {"right display listens one port up", {"-d", "r", "-r", "http://*:2001/x"}, "", true,
         "display=R;rctrl_enabled=1;rctrl_addr=0.0.0.0;rctrl_url.port=2002"},
        {"right display without remote control", {"-d", "R"}, "", true, "rctrl_url.port=1"},
        {"right display port never wraps to any port", {"-d", "R", "-r", "http://*:65535"}, "", false,
         "rctrl_url.port=65535"},
        {"remote control without port", {"-r", "http://*"}, "", false, "",
         "remote-control URL should be this format: http://HOST:PORT[/PATH-PREFIX]"},
        {"remote control on this machine", {"-r", "http://127.0.0.1:2001/cgi"}, "", true,
         "rctrl_enabled=1;rctrl_addr=127.0.0.1;rctrl_url.port=2001"},
        {"remote control elsewhere keeps the accepted one",
         {"-r", "http://127.0.0.1:2001/cgi", "-r", "http://192.0.2.1:2002/cgi"}, "", false,
         "rctrl_addr=127.0.0.1;rctrl_url.port=2001;rctrl_url.host=127.0.0.1",
         "could not found a local ip address of \"192.0.2.1\""},
        {"allowed-from list", {"--allowed-from=127.0.0.1, 192.168.43.0/24;10.0.0.0/8"}, "", true,
         "allowed_from=127.0.0.1/32 192.168.43.0/24 10.0.0.0/8"},
        {"allowed-from eleven keeps the old list", {"--allowed-from=" + ten, "--allowed-from=" + addresses(11, " ")},
         "", false, "allowed_from=" + ten_read, "\"allowed-from\" limit(10) occured"},
        {"allowed-from bad address", {"--allowed-from=127.0.0.1,300.1.1.1"}, "", false, "allowed_from="},
        {"alarm messages trimmed", {}, "alarm-msgs \" was alarms ; CASE OPENED ; BATTERY LOW \"\n", true,
         "alarm_msgs=was alarms|CASE OPENED|BATTERY LOW|"},
        {"fewer alarm messages keep the later ones", {"--alarm-msgs=door open"}, "alarm-msgs \"a,b,c\"\n", true,
         "alarm_msgs=door open|b|c|"},
        {"alarm message cut", {"--alarm-msgs=a;b;c;" + repeat("d", 40)}, "", true, "alarm_msgs=a|b|c|" + repeat("d", 32)},
        {"alarm message cut keeps whole letters", {"--alarm-msgs=" + repeat("Ж", 20) + ";x" + repeat("Ж", 20)}, "",
         true, "alarm_msgs=" + repeat("Ж", 16) + "|x" + repeat("Ж", 15) + "||"},
        {"five alarm messages", {"--alarm-msgs=a;b", "--alarm-msgs=1;2;3;4;5"}, "", false, "alarm_msgs=a|b||",
         "\"alarm-msgs\" messages number limit(4) occured"},
        {"snapshot directory missing", {"--shot-dir=@", "--shot-dir=@/none"}, "", false, "shot_dir=@", HINT},
        {"collector missing", {"-e", "@/absent"}, "", false, "", "event-collector path \"@/absent\" value is invalid (#2 "},
        {"collector a directory", {"-e", "@/collector.sh", "-e", "@"}, "", false, "event_collector=@/collector.sh"},
        {"help after every check", {"--help", "-R", "0"}, "", false, "", HINT},
        {"help and version: one banner", {"-h", "-V"}, "", false, "", "", "\nusage: tirsk-mon [OPTIONS]\n"},
        {"unknown keys warned at -v with file and line", {"-v"}, "DB-Host = h # ok\ndb-pasword \"a { b\"\n", true,
         "", "tirsk.conf:6: unknown key \"db-pasword\" ignored"},
        {"unknown keys not warned with -q", {"-v", "-q"}, "db-pasword x\n", true, "", "", "", "unknown key"},
    };
    for (const char *bad : {"800*600", "800", "800x", "x600", "-800x600", "800x-600", "99999999999x1", "4294967295x2"})
        cases.push_back({std::string("geo ") + bad, {"-g", "1024x768", "-g", bad}, "", false, "geo=1024x768", HINT});
    for (const char *bad : {"--no-signal=-1", "--fs-timeout=abc", "--cursor-timeout=4294967296", "--db-port=65536",
                            "--db-port=-1", "--no-signal=", "--reconnect-timeout=-1", "--reconnect-timeout=x",
                            "--reconnect-timeout=1e10", "--font-factor=0", "--font-factor=nan", "--font-factor=-2",
                            "--font-factor=1e300", "-R", "-a4,3", "-d", "-lx", "-l4294967298", "-l2x", "-v2147483647",
                            "--shot-dir=/etc/passwd", "--border-size=2147483648,1", "-vvx", "-dX", "--allowed-from=",
                            "--alarm-msgs=", "--quiet=1"})
        cases.push_back({bad, {"--no-signal=10", "--font-factor=1.5", bad}, "", false,
                         "no_signal=10;font_factor=1.500000", HINT});
    // Keys to disable: the first bad item ends the list and is named.
    cases.push_back({"disabled keys", {"--disable-keys=27, 113;282 \t 0,2147483647"}, "", true,
                     "disable_keys=27 113 282 0 2147483647"});
    for (const char *bad : {"1,2,x,3", "1,2,2147483648", "1,2,-1", "1 2 3a", "1,2,0x10", "1;2;99999999999999999999"})
        cases.push_back({bad, {std::string("--disable-keys=") + bad}, "", true, "disable_keys=1 2",
                         "\" is not an integer in [0, 2147483647]; 2 value(s) before it taken"});
    std::string many, kept;
    for (int i = 0; i <= DISABLE_KEYS_MAX; i++)
        many += "," + std::to_string(i % 10), kept += i < DISABLE_KEYS_MAX ? " " + std::to_string(i % 10) : "";
    cases.push_back({"401 keys", {"--disable-keys=" + many}, "", true, "disable_keys=" + kept.substr(1),
                     "number list: more than 400 values, the rest ignored"});
    if (geteuid() != 0) // root may run anything
        cases.push_back({"collector not executable", {"-e", "@/plain.txt"}, "", false, "",
                         "event-collector path \"@/plain.txt\" value is invalid (#13 "});

    StrHelpGuard keep_help;
    TempDir dir;
    write_file(dir.file("collector.sh"), "#!/bin/sh\ncat >/dev/null\n", 0755);
    write_file(dir.file("plain.txt"), "text\n", 0644);
    auto here = [&](std::string s) {
        for (size_t at; (at = s.find('@')) != std::string::npos;)
            s.replace(at, 1, dir.path());
        return s;
    };
    for (const OptionCase &t : cases) {
        SCOPED_TRACE(t.name);
        const std::string conf_file = dir.file("tirsk.conf");
        unlink(conf_file.c_str());
        if (t.file) // another program's section first: its keys are not ours
            write_file(conf_file, std::string("other {\n db-pasword x\n}\ntirsk-mon {\n") + t.file + "}\n");
        CONF *c = init_CONF();
        free(c->conf_path);
        c->conf_path = strdup(conf_file.c_str());
        std::vector<std::string> args = {"tirsk-mon"};
        for (const std::string &a : t.args)
            args.push_back(here(a));
        std::vector<char *> argv;
        for (std::string &a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        FdCapture out(1);
        LogCapture err(4); // the parse sets the log level: restored afterwards
        EXPECT_EQ(parse_options(c, int(args.size()), argv.data()), t.accepted);
        const std::string printed = out.take(), said = err.text();
        std::string want = t.want;
        for (size_t from = 0, to; from < want.size(); from = to + 1) {
            to = std::min(want.find(';', from), want.size());
            const std::string item = want.substr(from, to - from), name = item.substr(0, item.find('='));
            ASSERT_TRUE(FIELDS.count(name)) << name;
            EXPECT_EQ(FIELDS.at(name)(*c), here(item.substr(name.size() + 1))) << name;
        }
        EXPECT_NE(said.find(here(t.said)), std::string::npos) << said;
        EXPECT_TRUE(t.printed.empty() ? printed.empty() : printed.find(t.printed) != std::string::npos) << printed;
        EXPECT_LE(occurrences(printed, "build date"), 1) << printed;
        EXPECT_TRUE(!t.unsaid || said.find(t.unsaid) == std::string::npos) << said;
        EXPECT_EQ(said.find(":2: unknown"), std::string::npos) << said;
        free_CONF(c);
    }
}

TEST(Url, FieldsBoundsAndRefusals)
{
    const std::string host49(49, 'h'), path51 = "/" + std::string(50, 'p');
    struct UrlCase {
        std::string text;
        int scheme; // 0: refused, and every field cleared
        std::string host = "";
        int port = 0;
        std::string path = "";
    };
    std::vector<UrlCase> cases = {
        {"http://localhost:2001/tirsk-mon-cgi", 2, "localhost", 2001, "/tirsk-mon-cgi"},
        {"ftp://*:2001", 3, "*", 2001, ""},
        {"file://10.1.2.3:65535/a/b?c=d\r\nignored", 1, "10.1.2.3", 65535, "/a/b?c=d"},
        {"http://" + host49 + ":80/x", 2, host49, 80, "/x"},
        {"http://*:80" + path51, 2, "*", 80, path51},
        {"http://" + host49 + "h:80/x", 0},
        {"http://*:80" + path51 + "p", 0},
        {"http://" + std::string(500, 'h') + ":80/" + std::string(500, 'p'), 0},
    };
    for (const char *text : {"httpxhttp://*:80/x", "http://*:65536/x", "http://*:99999999999999999999/x", "http://*",
                             "http://*:", "http://*:/x", "http://:2001/x", "http:/*:2001", "http//*:2001", "://*:2001",
                             "", "http://*:-1", "http://*:+80", "http://*:2001x", "http://host/path:80"})
        cases.push_back({text, 0});
    struct {
        unsigned char before[16];
        tirsk_URL url;
        unsigned char after[16];
    } g;
    const std::string guard(16, '\xA5');
    for (const UrlCase &t : cases) {
        SCOPED_TRACE(t.text);
        memset(&g, 0xA5, sizeof g);
        LogCapture err(4);
        EXPECT_EQ(tirsk_parse_URL(t.text.c_str(), &g.url), t.scheme != 0);
        EXPECT_TRUE(!t.scheme || int(g.url.scheme) == t.scheme);
        EXPECT_EQ(g.url.host, t.host);
        EXPECT_EQ(g.url.port, t.port);
        EXPECT_EQ(g.url.path, t.path);
        EXPECT_TRUE(!memcmp(g.before, guard.data(), 16) && !memcmp(g.after, guard.data(), 16));
        EXPECT_EQ(err.contains("invalid url (proto://host:port[/path]) - \"" + t.text + "\""), t.scheme == 0);
    }
    EXPECT_EQ(tirsk_parse_URL(nullptr, &g.url), 0);
    EXPECT_EQ(tirsk_parse_URL("http://*:1", nullptr), 0);
}

TEST(HelpText, LayoutLinesAreAddedOnlyWhenTheyFit)
{
    StrHelpGuard keep_help;
    // Filled to 1800 bytes, then lines of length n where 1800 + n + 2 is
    // 2000 (dropped: no room for the terminator) or 1999 (taken).
    strhelp_reset();
    memset(strHELP + strhelp_base.size(), 'f', 1800 - strhelp_base.size());
    const size_t fixed = strlen("    <1> -- \"\",  камер - 1 шт.\n");
    const std::string dropped(2000 - 2 - 1800 - fixed, 'd');
    strhelp_add_layout(1, dropped.c_str(), 1);
    EXPECT_EQ(strlen(strHELP), 1800u);
    strhelp_add_layout(1, dropped.substr(1).c_str(), 1);
    EXPECT_EQ(strlen(strHELP), 1997u);
    for (int i = 0; i < 10; i++)
        strhelp_add_layout(1, "", 1);
    EXPECT_EQ(strlen(strHELP), 1997u);
}
