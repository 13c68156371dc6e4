// Configuration-file parser on real files in a temporary directory.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "harness.h"

using testsupport::LogCapture;
#include "tirskconf.h"

namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

struct Collector {
    Pairs pairs;
    std::string reject_key; // the handler refuses this key
};

int collect(void *user, void *section, void *path, const char *key, const char *value)
{
    auto *c = static_cast<Collector *>(user);
    EXPECT_STREQ(static_cast<const char *>(section), "tirsk-mon");
    EXPECT_NE(path, nullptr);
    c->pairs.emplace_back(key, value);
    return c->reject_key != key;
}

class ConfParse : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/confparse-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        path_ = dir_ + "/tirsk.conf";
    }
    void TearDown() override
    {
        unlink(path_.c_str());
        rmdir(dir_.c_str());
    }
    // Writes text to the file and parses it; the log goes to log_.
    int parse(const std::string &text, int flags = TIRSKCONF_STOP_ON_REJECT)
    {
        std::ofstream(path_, std::ios::binary) << text;
        return tirskconf_parse(path_.c_str(), "tirsk-mon", collect, flags, &c_);
    }
    // The single error line, without the level tag and stamp.
    std::string error()
    {
        auto lines = log_.lines();
        if (lines.size() != 1)
            return "expected one line, got: " + log_.text();
        size_t at = lines[0].find(dir_);
        if (at == std::string::npos)
            return lines[0];
        at += dir_.size();
        if (lines[0].compare(at, 11, "/tirsk.conf") == 0)
            at += 11;
        return lines[0].substr(at);
    }

    std::string dir_, path_;
    Collector c_;
    LogCapture log_;
};

TEST_F(ConfParse, PairsOfTheNamedSectionInOrder)
{
    ASSERT_EQ(parse("\xEF\xBB\xBF# leading comment\n"
                    "\n"
                    "other { }\n"
                    "tirsk-mon {\r\n"
                    "   framerate   25  \r\n"
                    "\tgeo = 800x600 # comment after a value\n"
                    "alarm-msgs \"door # 1; {lid}; say \\\"hi\\\" \\\\ C:\\dir\"  # c\n"
                    "db-passwd \"\"\n"
                    "gst-rtspsrc-opts latency=100 timeout=3000000\n"
                    "}\n"
                    "recorder {\n"
                    "  storage {\n"
                    "    path \"}{ #\"\n"
                    "  }\n"
                    "  framerate 2\n"
                    "}\n"
                    "empty { }\n"
                    "tirsk-mon {\n"
                    "  display R\n"
                    "}  # trailing comment\n"),
              1)
        << log_.text();
    EXPECT_EQ(c_.pairs, (Pairs{{"framerate", "25"},
                               {"geo", "800x600"},
                               {"alarm-msgs", "door # 1; {lid}; say \"hi\" \\ C:\\dir"},
                               {"db-passwd", ""},
                               {"gst-rtspsrc-opts", "latency=100 timeout=3000000"},
                               {"display", "R"}}));
    EXPECT_EQ(log_.text(), "");
}

TEST_F(ConfParse, SyntaxErrorsNameFileAndLine)
{
    using namespace std::string_literals;
    const std::pair<std::string, const char *> cases[] = {
        {"tirsk-mon {\n  a \"open\n}\n", ":2: unterminated quoted string"},
        {"tirsk-mon {\n  a 1\n", ":2: missing '}' of section \"tirsk-mon\" opened at line 1"},
        {"x {\n y {\n }\n", ":3: missing '}' of section \"x\" opened at line 1"},
        {"\n{\n}\n", ":2: '{' without a section name"},
        {"tirsk-mon {\n { \n}\n", ":2: '{' without a section name"},
        {"}\n", ":1: unexpected '}' outside a section"},
        {"framerate 25\n", ":1: expected '{' after \"framerate\""},
        {"tirsk-mon {\n framerate\n}\n", ":2: missing value for \"framerate\""},
        {"tirsk-mon {\n framerate = # none\n}\n", ":2: missing value for \"framerate\""},
        {"tirsk-mon {\n a \"x\" y\n}\n", ":2: unexpected text after the quoted value of \"a\""},
        {"tirsk-mon {\n a b }\n", ":2: '{', '}' and '\"' in the value of \"a\" must be quoted"},
        {"tirsk-mon {\n sub {\n }\n}\n", ":2: section \"sub\" inside section \"tirsk-mon\""},
        {"tirsk-mon {\n} junk\n", ":2: unexpected text after '}'"},
        {"other {\n a \"b\n}\n", ":2: unterminated quoted string"},
        {"other {\n} tirsk-mon {\n", ":2: unexpected text after '}'"},
        {"tirsk-mon { x\n}\n", ":1: unexpected text after '{'"},
        {"tirsk-mon {\n a b\0c\n}\n"s, ":2: NUL byte in the line"},
    };
    for (const auto &[text, want] : cases) {
        log_.clear();
        EXPECT_EQ(parse(text), 0) << text;
        std::string e = error();
        EXPECT_TRUE(e.starts_with(want)) << "input: " << text << "\ngot: " << e;
        EXPECT_TRUE(log_.text().starts_with("<3>")) << "errors are logged at level 3";
    }
}

TEST_F(ConfParse, OverlongLineIsAnErrorNotAnOverflow)
{
    std::string text = "tirsk-mon {\n a " + std::string(100000, 'v') + "\n}\n";
    EXPECT_EQ(parse(text), 0);
    EXPECT_EQ(error(), ":2: line longer than 8192 bytes");
    // Just below the limit is fine, and the value arrives whole.
    log_.clear();
    std::string value(8192 - 3, 'v');
    EXPECT_EQ(parse("tirsk-mon {\n a " + value + "\n}\n"), 1) << log_.text();
    ASSERT_EQ(c_.pairs.size(), 1u);
    EXPECT_EQ(c_.pairs[0].second, value);
}

TEST_F(ConfParse, RejectedValueStopsOrContinuesByFlag)
{
    const std::string text = "tirsk-mon {\n a 1\n bad 2\n c 3\n}\n";
    c_.reject_key = "bad";
    EXPECT_EQ(parse(text), 0);
    EXPECT_EQ(error(), ":3: invalid value for \"bad\"");
    EXPECT_EQ(c_.pairs.size(), 2u) << "stops at the rejected pair";

    c_.pairs.clear();
    log_.clear();
    EXPECT_EQ(parse(text, 0), 0) << "still a failure";
    EXPECT_EQ(c_.pairs.size(), 3u) << "goes on without the stop flag";
}

TEST_F(ConfParse, UnreadableFilesAreReported)
{
    EXPECT_EQ(tirskconf_parse((dir_ + "/missing.conf").c_str(), "tirsk-mon", collect, 1, &c_), 0);
    EXPECT_EQ(error(), "/missing.conf: cannot open configuration file: No such file or directory");

    log_.clear();
    EXPECT_EQ(tirskconf_parse(dir_.c_str(), "tirsk-mon", collect, 1, &c_), 0);
    EXPECT_NE(log_.text().find(dir_ + ": read error: Is a directory"), std::string::npos)
        << log_.text();

    log_.clear();
    EXPECT_EQ(tirskconf_parse(nullptr, "tirsk-mon", collect, 1, &c_), 0);
    EXPECT_EQ(tirskconf_parse(path_.c_str(), "tirsk-mon", nullptr, 1, &c_), 0);
    EXPECT_EQ(log_.lines().size(), 2u);
}

} // namespace
