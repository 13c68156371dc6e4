// Configuration-file parser on real files: the pairs of the named section,
// and every syntax error named with its file and line.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "harness.h"
#include "tirskconf.h"

namespace {

using namespace testsupport;
using Pairs = std::vector<std::pair<std::string, std::string>>;

class ConfParse : public ::testing::Test {
protected:
    // The handler: collects the pairs, refuses reject_key.
    static int collect(void *user, void *section, void *, const char *key, const char *value)
    {
        auto *t = static_cast<ConfParse *>(user);
        EXPECT_STREQ(static_cast<const char *>(section), "tirsk-mon");
        t->pairs_.emplace_back(key, value);
        return t->reject_key_ != key;
    }
    // Writes text to the file and parses it; the log lines go to log_.
    int parse(const std::string &text, int flags = TIRSKCONF_STOP_ON_REJECT)
    {
        log_.clear();
        pairs_.clear();
        write_file(path_, text);
        return tirskconf_parse(path_.c_str(), "tirsk-mon", collect, flags, this);
    }
    TempDir dir_;
    std::string path_ = dir_.file("tirsk.conf"), reject_key_;
    Pairs pairs_;
    LogCapture log_;
};

} // namespace

TEST_F(ConfParse, PairsOfTheNamedSectionInOrder)
{
    ASSERT_EQ(parse("\xEF\xBB\xBF# leading comment\n\nother { }\ntirsk-mon {\r\n   framerate   25  \r\n"
                    "\tgeo = 800x600 # comment after a value\n"
                    "alarm-msgs \"door # 1; {lid}; say \\\"hi\\\" \\\\ C:\\dir\"  # c\n"
                    "db-passwd \"\"\ngst-rtspsrc-opts latency=100 timeout=3000000\n}\n"
                    "recorder {\n  storage {\n    path \"}{ #\"\n  }\n  framerate 2\n}\n"
                    "tirsk-mon {\n  display R\n}  # trailing comment\n"),
              1)
        << log_.text();
    EXPECT_EQ(pairs_, (Pairs{{"framerate", "25"},
                               {"geo", "800x600"},
                               {"alarm-msgs", "door # 1; {lid}; say \"hi\" \\ C:\\dir"},
                               {"db-passwd", ""},
                               {"gst-rtspsrc-opts", "latency=100 timeout=3000000"},
                               {"display", "R"}}));
    EXPECT_EQ(log_.text(), "");

    // Just below the length limit the value arrives whole.
    const std::string value(8192 - 3, 'v');
    EXPECT_EQ(parse("tirsk-mon {\n a " + value + "\n}\n"), 1) << log_.text();
    EXPECT_EQ(pairs_, (Pairs{{"a", value}}));

    // A refused value fails the parse; with the stop flag reading ends there.
    reject_key_ = "bad";
    EXPECT_EQ(parse("tirsk-mon {\n a 1\n bad 2\n c 3\n}\n"), 0);
    EXPECT_EQ(pairs_.size(), 2u);
    EXPECT_TRUE(log_.contains("tirsk.conf:3: invalid value for \"bad\"")) << log_.text();
    EXPECT_EQ(parse("tirsk-mon {\n a 1\n bad 2\n c 3\n}\n", 0), 0);
    EXPECT_EQ(pairs_.size(), 3u);
}

TEST_F(ConfParse, ErrorsNameFileAndLine)
{
    using namespace std::string_literals;
    const std::pair<std::string, std::string> cases[] = {
        {"tirsk-mon {\n  a \"open\n}\n", ":2: unterminated quoted string"},
        {"tirsk-mon {\n  a 1\n", ":2: missing '}' of section \"tirsk-mon\" opened at line 1"},
        {"x {\n y {\n }\n", ":3: missing '}' of section \"x\" opened at line 1"},
        {"\n{\n}\n", ":2: '{' without a section name"},
        {"}\n", ":1: unexpected '}' outside a section"},
        {"framerate 25\n", ":1: expected '{' after \"framerate\""},
        {"tirsk-mon {\n framerate\n}\n", ":2: missing value for \"framerate\""},
        {"tirsk-mon {\n framerate = # none\n}\n", ":2: missing value for \"framerate\""},
        {"tirsk-mon {\n a \"x\" y\n}\n", ":2: unexpected text after the quoted value of \"a\""},
        {"tirsk-mon {\n a b }\n", ":2: '{', '}' and '\"' in the value of \"a\" must be quoted"},
        {"tirsk-mon {\n sub {\n }\n}\n", ":2: section \"sub\" inside section \"tirsk-mon\""},
        {"tirsk-mon {\n} junk\n", ":2: unexpected text after '}'"},
        {"other {\n a \"b\n}\n", ":2: unterminated quoted string"},
        {"tirsk-mon { x\n}\n", ":1: unexpected text after '{'"},
        {"tirsk-mon {\n a b\0c\n}\n"s, ":2: NUL byte in the line"},
        {"tirsk-mon {\n a " + std::string(100000, 'v') + "\n}\n", ":2: line longer than 8192 bytes"},
    };
    for (const auto &[text, want] : cases) {
        SCOPED_TRACE(want);
        EXPECT_EQ(parse(text), 0);
        ASSERT_EQ(log_.count("\n"), 1) << log_.text();
        EXPECT_TRUE(log_.text().starts_with("<3>")) << "errors are logged at level 3";
        EXPECT_TRUE(log_.contains(path_ + want)) << log_.text();
    }
    log_.clear();
    EXPECT_EQ(tirskconf_parse(dir_.file("missing.conf").c_str(), "tirsk-mon", collect, 1, this), 0);
    EXPECT_EQ(tirskconf_parse(dir_.path().c_str(), "tirsk-mon", collect, 1, this), 0);
    EXPECT_TRUE(log_.contains("missing.conf: cannot open configuration file: No such file or directory"));
    EXPECT_TRUE(log_.contains(dir_.path() + ": read error: Is a directory")) << log_.text();
    EXPECT_EQ(tirskconf_parse(nullptr, "tirsk-mon", collect, 1, this), 0);
    EXPECT_EQ(tirskconf_parse(path_.c_str(), "tirsk-mon", nullptr, 1, this), 0);
    EXPECT_EQ(log_.count("\n"), 4) << log_.text();
}
