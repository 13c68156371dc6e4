// What an installer reads and edits, checked against the program itself.
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
