// The catalogue on real sqlite files built with mkcatalog.
#include <string.h>
#include <sys/stat.h>

#include <string>

#include <gtest/gtest.h>

#include "catalogue_fixture.h"
#include "catalogue_scenarios.h"
#include "conf.h"
#include "harness.h"

namespace {

using namespace catalogue_scenarios;
using testsupport::TempDir;

class CatalogueSqlite : public ::testing::Test {
protected:
    TempDir dir;
    // "-T sqlite -H dir -D tirsk6_db": the file is named like the default
    // database so that messages read as they would in an installation.
    Env env{{"sqlite", dir.path(), "tirsk6_db", "tirsk-mon", "", 0},
            dir.path()};
};

TEST_F(CatalogueSqlite, MainFixture)
{
    main_fixture(env);
    main_fixture_variants(env);
}

TEST_F(CatalogueSqlite, IntegerColumnsOfOtherTypes)
{
    main_fixture(env, "BIGINT");
    main_fixture(env, "TEXT");
    // Text columns order "50" before "6": layout 6 is still read.
    ASSERT_TRUE(env.build("int-type VARCHAR(10)\n"
                          "camera 0 allow_local=1 video_src=x\n"
                          "camera 9 work=1 v4l_pipe=9\n"
                          "layout 50 L ONECAM \"Far\" 9\n"
                          "layout 6 L ONECAM \"Six\" 9\n"));
    CatalogueConf c(env.target);
    std::string log;
    ASSERT_EQ(c.load(&log), 1) << log;
    EXPECT_NE(c->layouts[6].def, nullptr);
    EXPECT_EQ(c->layouts_count, 7);
    EXPECT_EQ(c->start_layout, 6);
    EXPECT_EQ(occurrences(log, "layout #50 can not accepted"), 1) << log;
}

TEST_F(CatalogueSqlite, Limits) { limits(env); }
TEST_F(CatalogueSqlite, NothingToShow) { nothing_to_show(env); }
TEST_F(CatalogueSqlite, BadValues) { bad_values(env); }
TEST_F(CatalogueSqlite, LongTexts) { long_texts(env); }

TEST_F(CatalogueSqlite, NoDefaultsGive640x480)
{
    ASSERT_TRUE(env.build("camera 5 work=1 v4l_pipe=0 allow_local=1 video_src=x\n"
                          "layout 0 L ONECAM \"A\" 5\n"));
    CatalogueConf c(env.target);
    std::string log;
    ASSERT_EQ(c.load(&log), 1) << log;
    ASSERT_EQ(c->cams_count, 1);
    EXPECT_STREQ(c->cams[0].srcs[0].uri, "/dev/video0");
    EXPECT_EQ(c->cams[0].srcs[0].width, 640u);
    EXPECT_EQ(c->cams[0].srcs[0].height, 480u);
    EXPECT_EQ(c->cams[0].srcs[0].hx2, 0u);
}

TEST_F(CatalogueSqlite, RepeatedRowsAndWindows)
{
    // Two captions make the join return camera 1 twice; one camera 1 results.
    // One camera may fill several windows and layouts.
    ASSERT_TRUE(env.build("camera 0 allow_local=1 video_src=x\n"
                          "camera 1 work=1 v4l_pipe=1 text_left=A text_left=B\n"
                          "camera 2 work=1 v4l_pipe=2\n"
                          "layout 0 L QUAD_4_4 \"A\" 1 1 2 1\n"
                          "layout 1 L ONECAM \"B\" 1\n"));
    CatalogueConf c(env.target);
    std::string log;
    ASSERT_EQ(c.load(&log), 1) << log;
    ASSERT_EQ(c->cams_count, 2);
    EXPECT_EQ(c->cams[0].nr, 1);
    EXPECT_EQ(c->cams[1].nr, 2);
    EXPECT_EQ(c->layouts[0].ncams, 4);
    EXPECT_EQ(c->layouts[0].cams[3], &c->cams[0]);
    EXPECT_EQ(c->layouts[1].cams[0], &c->cams[0]);
}

TEST_F(CatalogueSqlite, ConnectionFailures)
{
    ASSERT_TRUE(env.build("camera 1 work=1 v4l_pipe=1\n"));
    {
        DbTarget t = env.target;
        t.type = "nosuchdb";
        CatalogueConf c(t);
        std::string log;
        EXPECT_EQ(c.load(&log), 0);
        EXPECT_EQ(occurrences(log, "connect to \"nosuchdb\" sql server/engine failed: unknown \"db-type\", use mysql (package libdbd-mysql), pgsql (libdbd-pgsql) or sqlite (libdbd-sqlite3)"), 1) << log;
        EXPECT_EQ(c->db_conn, nullptr);
    }
    {
        // A mistyped file name must not leave an empty database behind.
        DbTarget t = env.target;
        t.name = "missing.db";
        CatalogueConf c(t);
        std::string log;
        EXPECT_EQ(c.load(&log), 0);
        EXPECT_EQ(occurrences(log, "could not connect to \"sqlite\" database \"missing.db\" on \"" + dir.path() + "\" as user \"tirsk-mon\" -> " + dir.file("missing.db") + ": No such file or directory"), 1) << log;
        struct stat st;
        EXPECT_NE(stat(dir.file("missing.db").c_str(), &st), 0);
    }
    {
        // Without db-host the files live in the installation's directory.
        DbTarget t = env.target;
        t.host = "";
        t.name = "no-such-catalogue-file";
        CatalogueConf c(t);
        std::string log;
        EXPECT_EQ(c.load(&log), 0);
        EXPECT_EQ(occurrences(log, "-> /var/lib/tirsk/no-such-catalogue-file: "), 1) << log;
    }
    {
        // "sqlite3" names the driver directly; a directory is not a database.
        DbTarget t = env.target;
        t.type = "sqlite3";
        t.name = ".";
        CatalogueConf c(t);
        std::string log;
        EXPECT_EQ(c.load(&log), 0);
        EXPECT_EQ(occurrences(log, "not a regular file"), 1) << log;
    }
}

TEST_F(CatalogueSqlite, AddSourceRefusesWhatDoesNotFit)
{
    camera cam{};
    cam.nr = 4;
    tirsklog_set_context_r(&cam.log, nullptr, -1, 0, "cam[%2.2d]", cam.nr);
    std::string log;
    {
        testsupport::LogCapture cap;
        EXPECT_EQ(add_source(&cam, nullptr), nullptr);
        EXPECT_EQ(add_source(nullptr, "/dev/video1"), nullptr);
        EXPECT_EQ(add_source(&cam, "no scheme"), nullptr);
        EXPECT_EQ(cam.nsrcs, 0);
        EXPECT_EQ(cam.srcs[0].cam, nullptr) << "a refused source leaves no trace";
        for (int i = 0; i < CAM_MAX_SRCS; ++i)
            EXPECT_NE(add_source(&cam, "/dev/video1"), nullptr);
        EXPECT_EQ(add_source(&cam, "/dev/video1"), nullptr);
        EXPECT_EQ(cam.nsrcs, CAM_MAX_SRCS);
        log = cap.text();
    }
    EXPECT_EQ(occurrences(log, "unexpected uri no scheme, skip this source"), 1) << log;
    EXPECT_EQ(occurrences(log, "no free source slot"), 1) << log;
    for (int i = 0; i < cam.nsrcs; ++i)
        source_free(&cam.srcs[i]);
}

TEST(CatalogueNumbers, ReadLikeAtoiWithoutOverflow)
{
    TempDir dir;
    Env env{{"sqlite", dir.path(), "tirsk6_db", "", "", 0}, dir.path()};
    ASSERT_TRUE(env.build(
        "camera 0 allow_local=1 video_src=x\n"
        "camera 1 work=1 v4l_pipe=\" 7x\"\n"                  // leading blank, trailing junk
        "camera 2 work=1 v4l_pipe=99999999999999999999999\n" // overflow: no device
        "camera 3 work=1 v4l_pipe=-0\n"
        "camera 4 work=1 v4l_pipe=abc\n"                      // reads as 0
        "camera 5 work=1 v4l_pipe=1 allow_local=\" 0\"\n"
        "layout 0 L QUAD_4_4 \"A\" 1 2 3 4\n"));
    CatalogueConf c(env.target);
    std::string log;
    ASSERT_EQ(c.load(&log), 1) << log;
    ASSERT_EQ(c->cams_count, 3) << log;
    EXPECT_STREQ(c->cams[0].srcs[0].uri, "/dev/video7");
    EXPECT_STREQ(c->cams[1].srcs[0].uri, "/dev/video0");
    EXPECT_EQ(c->cams[1].nr, 3);
    EXPECT_STREQ(c->cams[2].srcs[0].uri, "/dev/video0");
}

} // namespace
