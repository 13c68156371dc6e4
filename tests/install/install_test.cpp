// What an installer reads and edits checked against the program itself, and
// the messages of a first start.
#include <regex>
#include <set>

#include <gtest/gtest.h>

#include "config/options_private.h"
#include "layouts.h"
#include "harness.h"

using namespace testsupport;

namespace {

const std::string SRC = TIRSK_SOURCE_DIR;

std::set<std::string> matches(const std::string &text, const std::string &re)
{
    std::set<std::string> out;
    const std::regex r(re, std::regex::multiline);
    for (std::sregex_iterator i(text.begin(), text.end(), r), end; i != end; ++i)
        out.insert((*i)[1]);
    return out;
}

} // namespace

TEST(Install, ManPageNamesTheOptionsOfTheUsageText)
{
    const std::string usage = run({TIRSK_MON_BIN, "-c", "/dev/null", "--help"}).out;
    const std::string man = read_file(SRC + "/data/tirsk-mon.1");
    const size_t from = man.find(".SH OPTIONS"), to = man.find(".SH KEYS");
    const std::string options = std::regex_replace(man.substr(from, to - from),
                                                   std::regex(R"(\\-)"), "-");
    const auto in_usage = matches(usage, R"(^ +(?:-\w,? +)?--([a-z0-9-]+))");
    EXPECT_EQ(in_usage.size(), 47u);
    EXPECT_EQ(matches(options, R"(^\.BR? (?:-\w ", " )?--([a-z0-9-]+))"), in_usage);
}

// Every key, commented out with a default (or example) the viewer takes.
TEST(Install, ExampleConfigurationHasEveryKeyWithAValidValue)
{
    std::set<std::string> want, got;
    for (size_t i = 0; const char *key = conf_file_key(i); i++)
        want.insert(key);
    TempDir dir;
    for (const std::string &l : matches(read_file(SRC + "/data/tirsk.conf"), R"(^\s*(#[a-z].*)$)")) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(l, m, std::regex(R"(#([a-z0-9-]+)\s+(.*))"))) << l;
        got.insert(m[1]);
        const std::string value = m[1] == "event-collector" ? SRC + "/data/collector-example.sh"
                                                            : std::string(m[2]);
        write_file(dir.file("one.conf"), "tirsk-mon {\n" + m[1].str() + " " + value + "\n}\n");
        CONF *c = init_CONF();
        EXPECT_EQ(tirskconf_parse(dir.file("one.conf").c_str(), "tirsk-mon", conf_key_handler,
                                  1, c), 1) << l;
        free_CONF(c);
    }
    EXPECT_EQ(got, want);
}

TEST(Install, ReadmeAndManPageListEveryLayoutTypeWithItsWindows)
{
    for (const char *doc : {"/README.md", "/data/tirsk-mon.1"}) {
        const std::string text = read_file(SRC + doc);
        EXPECT_EQ(matches(text, R"(\b([A-Z]+(?:_\d+)*) \(\d+\))").size(), 45u) << doc;
        for (int i = 0; i < LAYOUT_DEFS_COUNT; i++) {
            const layout_def &d = layouts_defs[i];
            EXPECT_NE(text.find(std::string(d.name) + " (" + std::to_string(d.wins) + ")"),
                      std::string::npos) << doc << ": " << d.name;
        }
    }
}

TEST(Install, UnknownKeysAreWarnedAtVerboseWithFileAndLine)
{
    TempDir dir;
    const std::string file = dir.file("tirsk.conf");
    write_file(file, "other {\n db-pasword x\n}\ntirsk-mon {\n  DB-Host = h # ok\n"
                     "  db-pasword \"a { b\"\n}\n");
    for (const char *verbose : {"-q", "-v"}) {
        LogCapture log;
        CONF *c = init_CONF();
        const char *argv[] = {"tirsk-mon", "-c", file.c_str(), "-T", "nosuchdb", verbose};
        parse_configs(c, 6, const_cast<char **>(argv));
        free_CONF(c);
        EXPECT_EQ(log.contains(file + ":6: unknown key \"db-pasword\" ignored"), verbose[1] == 'v')
            << log.text();
        EXPECT_FALSE(log.contains(":2: unknown") || log.contains("DB-Host")) << log.text();
    }
}

TEST(Install, NoDisplayIsNamedAsSuch)
{
    TempDir dir;
    write_file(dir.file("none"), "");
    write_file(dir.file("d.cat"), "camera 1 work=1 v4l_pipe=1 allow_local=1 video_src=yes "
                                  "geometry=352x288\nlayout 0 L ONECAM \"\" 1\n");
    RunResult r = run({TIRSK_BINARY_DIR "/tools/mkcatalog/mkcatalog", "-o",
                       dir.file("cat.db"), dir.file("d.cat")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("wrote 5 CAMERAS rows and 1 LOCAL_LAYOUTS rows"), std::string::npos);
    r = run({TIRSK_MON_BIN, "-c", dir.file("none"), "-T", "sqlite", "-H", dir.path(), "-D",
             "cat.db"}, {"DISPLAY=", "SDL_VIDEODRIVER="});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot open display \"\" (DISPLAY is not set)"), std::string::npos)
        << r.err;
    EXPECT_EQ((r.out + r.err).find('\x1b'), std::string::npos) << r.out;
}
