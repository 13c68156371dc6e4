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
}

// Refusals of the real program: the message, no usage text, and status 1.
// --help comes last so that an accepted command line would print it.
TEST(UsageText, ProgramRefusesBadOptionsAndFiles)
{
    testsupport::TempDir dir;
    std::string good = dir.file("good.conf"), bad = dir.file("bad.conf");
    testsupport::write_file(good, "tirsk-mon {\n}\n");
    testsupport::write_file(bad, "tirsk-mon {\nframerate 61\n}\n");
    const std::string hint =
        "\nsee `tirsk-mon --help' or tirsk.conf tirsk-mon { ... }\n";
    struct {
        std::vector<std::string> args;
        std::string message; // also on standard error
    } const refused[] = {
        {{"-c", good, "--bogus"}, "unknown option `--bogus'\n" + hint},
        {{"-c", good, "-g", "800*600"}, "tirsk-mon: bad value \"800*600\" for -g, --geo: "
                                        "expected WIDTHxHEIGHT in pixels, e.g. 1280x1024\n" + hint},
        {{"-c", good, "-R", "0"}, "bad value \"0\" for -R, --framerate: expected a whole number "
                                  "from 1 to 60\n" + hint},
        {{"-c", good, "--db-port=x"}, "bad value \"x\" for --db-port: expected a port "
                                      "number from 0 to 65535\n" + hint},
        {{"-c", good, "-vx"}, "ERROR: invalid verbose optarg value \"x\"\n" + hint},
        {{"-c", bad}, "bad.conf:2: invalid value for \"framerate\""},
        {{"-c", dir.file("absent.conf")}, "absent.conf: cannot open"},
    };
    for (const auto &t : refused) {
        SCOPED_TRACE(t.args.back());
        std::vector<std::string> argv = {TIRSK_MON_BIN};
        argv.insert(argv.end(), t.args.begin(), t.args.end());
        argv.push_back("--help");
        auto r = testsupport::run(argv);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find(t.message), std::string::npos) << r.err;
    }
    for (const char *geo : {"800:600", "800x600"}) {
        auto r = testsupport::run({TIRSK_MON_BIN, "-c", good, "-g", geo, "-R",
                                   "60", "--help"});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, expected_usage()) << geo;
    }
}

TEST(HelpText, LayoutLinesAreAddedOnlyWhenTheyFit)
{
    // Fill to 1800 bytes, then offer lines of length n where used + n + 2
    // is 2000 (dropped) or 1999 (taken).
    strhelp_reset();
    memset(strHELP + 814, 'f', 1800 - 814);
    char probe[100];
    size_t fixed = size_t(snprintf(probe, sizeof probe,
                                   "    <1> -- \"%s\",  камер - 1 шт.\n", ""));
    std::string dropped(2000 - 2 - 1800 - fixed, 'd');
    strhelp_add_layout(1, dropped.c_str(), 1);
    EXPECT_EQ(strlen(strHELP), 1800u);
    strhelp_add_layout(1, dropped.substr(1).c_str(), 1);
    EXPECT_EQ(strlen(strHELP), 1997u);
    for (int i = 0; i < 10; i++)
        strhelp_add_layout(1, "", 1);
    EXPECT_EQ(strlen(strHELP), 1997u);
    EXPECT_EQ(strHELP[sizeof strHELP - 1], 0);
}
