// mkcatalog: what a description writes, read back with the sqlite3 shell.
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "process.h"

namespace {

using testsupport::run;
using testsupport::TempDir;

const std::string TOOL = TIRSK_BINARY_DIR "/tools/mkcatalog/mkcatalog";

std::string query(const std::string &db, const std::string &sql)
{
    auto r = run({"sqlite3", "-nullvalue", "<null>", db, sql});
    EXPECT_EQ(r.status, 0) << r.err;
    return r.out;
}

TEST(Mkcatalog, WritesWhatTheDescriptionSays)
{
    TempDir dir;
    const std::string desc = dir.file("d.cat"), db = dir.file("cat.db");
    testsupport::write_file(desc, R"(# comment line
camera 0 allow_local=1   # trailing comment
camera 1 text_left="Main \"gate\" # not a comment" a=NULL b="NULL" c=
camera 7-9 v4l_pipe={nr} name=cam{nr}
layout 2 L QUAD_4_4 "Hall" 1 0 NULL 9 bind_mac=aa:bb
layout -1 R ONECAM NULL
)");
    auto r = run({TOOL, "-o", db, desc});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(query(db, "select CAM_NR, PARNAME, PARVAL from CAMERAS"),
              "0|allow_local|1\n"
              "1|text_left|Main \"gate\" # not a comment\n"
              "1|a|<null>\n1|b|NULL\n1|c|\n"
              "7|v4l_pipe|7\n7|name|cam7\n8|v4l_pipe|8\n8|name|cam8\n"
              "9|v4l_pipe|9\n9|name|cam9\n");
    EXPECT_EQ(query(db, "select MON_NR, DISPLAY, MON_TYPE, MON_NAME, WIN1, "
                        "WIN2, WIN3, WIN4, WIN5, WIN60, BIND_MAC from "
                        "LOCAL_LAYOUTS order by MON_NR"),
              "-1|R|ONECAM|<null>|<null>|<null>|<null>|<null>|<null>|<null>|local\n"
              "2|L|QUAD_4_4|Hall|1|0|<null>|9|<null>|<null>|aa:bb\n");

    // A second run replaces both tables.
    testsupport::write_file(desc, "camera 3 work=1\n");
    ASSERT_EQ(run({TOOL, "-o", db, desc}).status, 0);
    EXPECT_EQ(query(db, "select count(*) from CAMERAS; select count(*) from "
                        "LOCAL_LAYOUTS"),
              "1\n0\n");

    // Quoted window values are text, never SQL; a failing write keeps the
    // catalogue as it was and leaves no file behind.
    testsupport::write_file(desc, "layout 0 L ONECAM \"x\" \"abc\" \"1); DROP TABLE CAMERAS; --\"\n");
    ASSERT_EQ(run({TOOL, "-o", db, desc}).status, 0);
    EXPECT_EQ(query(db, "select WIN1, WIN2 from LOCAL_LAYOUTS"), "abc|1); DROP TABLE CAMERAS; --\n");
    testsupport::write_file(desc, "int-type BAD(\ncamera 5 work=1\n");
    EXPECT_EQ(run({TOOL, "-o", db, desc}).status, 1);
    EXPECT_EQ(query(db, "select count(*) from LOCAL_LAYOUTS"), "1\n");
    EXPECT_EQ(run({"sh", "-c", "ls -A " + dir.path()}).out, "cat.db\nd.cat\n");
}

TEST(Mkcatalog, RejectsBadDescriptionsWithTheLine)
{
    TempDir dir;
    std::string many = "layout 0 L WIDE_60_60 \"A\"";
    for (int i = 1; i <= 61; ++i)
        many += " " + std::to_string(i);
    const std::pair<std::string, const char *> cases[] = {
        {"\ncamera x work=1\n", "line 2: bad camera number \"x\""},
        {"camera 1 work\n", "line 1: expected name=value"},
        {"camera 1 t=\"open\n", "line 1: unterminated quote"},
        {"camera 5-2 work=1\n", "line 1: bad camera range"},
        {"layout 0 L QUAD_4_4\n", "line 1: layout needs"},
        {"layout 0 L QUAD_4_4 \"A\" 1 two\n", "line 1: bad camera number \"two\""},
        {"monitor 0\n", "line 1: unknown line"},
        {"layout 0 L QUAD_5_5 \"A\" 1\n", "line 1: unknown layout type \"QUAD_5_5\""},
        {many + "\n", "more than 60 windows"},
    };
    for (const auto &[desc, msg] : cases) {
        SCOPED_TRACE(desc);
        testsupport::write_file(dir.file("d.cat"), desc);
        auto r = run({TOOL, "-o", dir.file("bad.db"), dir.file("d.cat")});
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find(msg), std::string::npos) << r.err;
        EXPECT_NE(access(dir.file("bad.db").c_str(), F_OK), 0) << "nothing written";
    }
    EXPECT_EQ(run({TOOL, "--no-such-option"}).status, 1);
}

} // namespace
