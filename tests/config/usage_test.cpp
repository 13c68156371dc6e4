// The usage and version texts and the on-screen help.
#include <stdio.h>
#include <string.h>

#include <string>

#include "config/options_private.h"
#include "options_fixture.h"

using testsupport::read_file;

namespace {

std::string printed(void (*print)(FILE *))
{
    char *buf = nullptr;
    size_t len = 0;
    FILE *f = open_memstream(&buf, &len);
    print(f);
    fclose(f);
    std::string text(buf, len);
    free(buf);
    return text;
}

void replace(std::string &s, const std::string &what, const std::string &with)
{
    for (size_t at; (at = s.find(what)) != std::string::npos;)
        s.replace(at, what.size(), with);
}

std::string expected_usage()
{
    std::string text =
        read_file(std::string(TIRSK_SOURCE_DIR) + "/tests/config/data/usage.txt");
    replace(text, "@VERSION@", TIRSK_VERSION);
    replace(text, "@BUILD_DATE@", TIRSK_BUILD_DATE);
    return text;
}

} // namespace

TEST(UsageText, MatchesTheReferenceByteForByte)
{
    std::string want = expected_usage();
    ASSERT_GT(want.size(), 5000u);
    std::string got = printed(print_usage);
    EXPECT_EQ(got, want);
    // Every description starts at column 30, after at least one blank.
    size_t option_lines = 0;
    for (size_t at = 0; at < got.size();) {
        size_t end = got.find('\n', at);
        std::string line = got.substr(at, end - at);
        bool option = line.starts_with("  -") || line.starts_with("      --");
        if (option || line.starts_with(std::string(30, ' '))) {
            ASSERT_GT(line.size(), 30u) << line;
            EXPECT_EQ(line[29], ' ') << line;
            EXPECT_NE(line[30], ' ') << line;
            option_lines += option;
        }
        at = end + 1;
    }
    EXPECT_EQ(option_lines, 47u);
}

TEST(UsageText, VersionBanner)
{
    EXPECT_EQ(printed(print_version),
              "\ntirsk-mon-" TIRSK_VERSION " build date " TIRSK_BUILD_DATE
              "\nTirsk cameras local viewer\n"
              "Copyright (C) the tirsk-mon developers.\n"
              "This is free software; see the source for copying "
              "conditions.\n\n");
}

TEST(UsageText, ProgramPrintsItOnHelp)
{
    testsupport::TempDir dir;
    std::string conf_file = dir.file("tirsk.conf");
    testsupport::write_file(conf_file, "tirsk-mon {\n}\n");
    auto r = testsupport::run({TIRSK_MON_BIN, "-c", conf_file, "--help"});
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.out, expected_usage());
    EXPECT_EQ(r.err.find("see `tirsk-mon --help'"), std::string::npos) << r.err;
}

TEST(HelpText, BaseTextAndLayoutLines)
{
    strhelp_reset();
    EXPECT_EQ(strlen(strHELP), 814u);
    EXPECT_EQ(strhelp_base.size(), 814u);
    EXPECT_TRUE(strhelp_base.starts_with("СПРАВКА ПО УПРАВЛЕНИЮ ПРОГРАММОЙ\n\n-> "));
    EXPECT_TRUE(strhelp_base.ends_with("    переключение на раскладки камер:\n"));
    for (size_t i = 814; i < sizeof strHELP; i++)
        ASSERT_EQ(strHELP[i], 0) << i;

    strhelp_add_layout(3, "Hall", 4);
    EXPECT_STREQ(strHELP + 814, "    <3> -- \"Hall\",  камер - 4 шт.\n");
}

TEST(HelpText, LayoutLinesStopBeforeTheBufferEnds)
{
    strhelp_reset();
    const std::string name(32, 'n');
    char line[200];
    int len = snprintf(line, sizeof line, "    <%d> -- \"%s\",  камер - %d шт.\n",
                       10, name.c_str(), 60);
    ASSERT_GT(len, 0);
    // Add long lines until one no longer fits.
    size_t before;
    do {
        before = strlen(strHELP);
        strhelp_add_layout(10, name.c_str(), 60);
    } while (strlen(strHELP) > before);
    EXPECT_GE(before + size_t(len) + 2, 2000u);
    EXPECT_LT(before, 2000u);

    // A shorter line may still fit; the last byte stays a terminator.
    size_t room = 2000 - before;
    if (room > 40) {
        strhelp_add_layout(1, "", 1);
        EXPECT_GT(strlen(strHELP), before);
    }
    for (int i = 0; i < 100; i++)
        strhelp_add_layout(1, "", 1);
    EXPECT_LT(strlen(strHELP), 2000u - 2);
    EXPECT_EQ(strHELP[sizeof strHELP - 1], 0);
}

TEST(HelpText, ExactLimit)
{
    // Fill to a known length, then offer lines of length n where
    // used + n + 2 is 1999 (taken) or 2000 (dropped).
    strhelp_reset();
    std::string fill(2000 - 814 - 200, 'f');
    memcpy(strHELP + 814, fill.data(), fill.size());
    size_t used = strlen(strHELP); // 1800
    // "    <1> -- \"NAME\",  камер - 1 шт.\n" has 36 bytes plus the name.
    char probe[100];
    int fixed = snprintf(probe, sizeof probe, "    <1> -- \"%s\",  камер - 1 шт.\n", "");
    std::string dropped(size_t(2000 - 2 - used - size_t(fixed)), 'd');
    strhelp_add_layout(1, dropped.c_str(), 1);
    EXPECT_EQ(strlen(strHELP), used);
    std::string taken(dropped.size() - 1, 't');
    strhelp_add_layout(1, taken.c_str(), 1);
    EXPECT_EQ(strlen(strHELP), 1999u - 2);
}
