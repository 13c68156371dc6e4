// The real program at start: what it refuses and says, its usage text, the
// catalogue's messages up to the missing display.
#include <string.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "harness.h"

namespace {

using namespace testsupport;

std::string expected_usage()
{
    std::string text = read_file(TIRSK_SOURCE_DIR "/tests/config/data/usage.txt");
    for (auto [what, with] : {std::pair{"@VERSION@", TIRSK_VERSION}, {"@BUILD_DATE@", TIRSK_BUILD_DATE}})
        for (size_t at; (at = text.find(what)) != std::string::npos;)
            text.replace(at, strlen(what), with);
    return text;
}

} // namespace

// Every run ends with status 1: a refusal, the usage text or the display
// that is not there.  "--help" at the end of a refused command line shows
// that it was refused before the usage text.
TEST(Program, StartMessagesAndUsage)
{
    TempDir dir;
    const std::string good = dir.file("good.conf"), bad = dir.file("bad.conf");
    write_file(good, "tirsk-mon {\n}\n");
    write_file(bad, "tirsk-mon {\nframerate 61\n}\n");
    RunResult made = run({tool_path("tools/mkcatalog/mkcatalog"), "-o", dir.file("hall.db"),
                          TIRSK_SOURCE_DIR "/tests/config/data/hall.cat"});
    ASSERT_EQ(made.status, 0) << made.err;

    const std::string hint = "\nsee `tirsk-mon --help' or tirsk.conf tirsk-mon { ... }\n", usage = expected_usage();
    const std::vector<std::string> hall = {"-c", good, "-T", "sqlite", "-H", dir.path(), "-D", "hall.db"};
    auto with = [](std::vector<std::string> a, const std::vector<std::string> &more) {
        a.insert(a.end(), more.begin(), more.end());
        return a;
    };
    const struct {
        std::vector<std::string> args;
        std::string said, out = "";
        const char *unsaid = "\x1b"; // no terminal colours
    } cases[] = {
        {{"-c", good, "-g", "800*600", "--help"},
         "tirsk-mon: bad value \"800*600\" for -g, --geo: expected WIDTHxHEIGHT in pixels, e.g. 1280x1024\n" + hint},
        {{"-c", good, "--db-port=x", "--help"},
         "bad value \"x\" for --db-port: expected a port number from 0 to 65535\n" + hint},
        {{"-c", bad, "--help"}, "bad.conf:2: invalid value for \"framerate\""},
        {{"-c", good, "-g", "800x600", "-R", "60", "--help"}, "", usage},
        {with(hall, {"-v"}), "(*) Add layout #0, type `QUAD_4_4'(3), name `Hall' with 2 cameras"},
        {with(hall, {"-v"}), "cannot open display \"\" (DISPLAY is not set)"},
        {with(hall, {"-v", "-q", "-l", "2"}), "Layout #2 on left display is not defined in hall.db database",
         "", "(*) Add layout"},
    };
    for (const auto &t : cases) {
        SCOPED_TRACE(t.args[2] + " " + t.args.back());
        std::vector<std::string> argv = {TIRSK_MON_BIN};
        argv.insert(argv.end(), t.args.begin(), t.args.end());
        RunResult r = run(argv, {"DISPLAY=", "SDL_VIDEODRIVER="});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, t.out);
        EXPECT_NE(r.err.find(t.said), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find(t.unsaid), std::string::npos) << r.err;
    }
}
