// Catalogue scenarios shared by the sqlite tests and the tests against real
// MariaDB and PostgreSQL servers: each builds its database with mkcatalog,
// loads it into a fresh CONF record and checks records and messages.
#pragma once

#include <string.h>

#include <string>

#include <gtest/gtest.h>

#include "catalogue_fixture.h"
#include "harness.h"
#include "conf.h"

namespace catalogue_scenarios {

using testsupport::CatalogueConf;
using testsupport::DbTarget;
using testsupport::occurrences;

// Cameras 1, 2 and 10 are usable; 3 to 9 are left out for one reason each.
inline const char *const MAIN_FIXTURE = R"(
# defaults for every camera; v4l_pipe of CAM_NR 0 has no effect
camera 0 allow_local=1 video_src=yes geometry=704x576 Hx2=7 v4l_pipe=99
camera 1 work=1 v4l_pipe=1 text_left="Entrance" geometry=1280x720 Hx2=3
camera 2 work=1 v4l_pipe=2 mon_fs_uri=rtsp://127.0.0.1:8554/cam2
camera 3 work=1 v4l_pipe=-1
camera 4 work=1 v4l_pipe=4 allow_local=0
camera 5 work=0 v4l_pipe=5
camera 6 v4l_pipe=6
camera 7 work=1
camera 8 work=1 v4l_pipe=""
camera 9 work=NULL v4l_pipe=9
camera 10 work=yes v4l_pipe=10 text_left=NULL mon_fs_uri=NULL
unchecked-types
layout 0 L QUAD_4_4 "Hall" 1 2 3 4
layout 1 L quad_4_4 "" 10 0 NULL 77
layout 2 L NO_SUCH_TYPE "Odd" 1
layout 3 L QUAD_4_4 "Gone" 3 4 5 6
layout 4 R QUAD_4_4 "Right side" 1
layout 5 L QUAD_4_4 "Remote" 1 bind_mac=00:11:22:33:44:55
layout -1 L QUAD_4_4 "Negative" 1
layout 7 L ONECAM "Entrance only" 1 2
)";

struct Env {
    DbTarget target;
    std::string scratch; // a directory for description files
    bool build(const std::string &desc) const
    {
        return testsupport::build_catalogue(target, desc, scratch);
    }
};

// The main fixture, optionally with integer columns of another SQL type.
inline void main_fixture(const Env &env, const std::string &int_type = "")
{
    SCOPED_TRACE("main fixture " + int_type);
    std::string desc = MAIN_FIXTURE;
    if (!int_type.empty())
        desc = "int-type " + int_type + "\n" + desc;
    ASSERT_TRUE(env.build(desc));
    CatalogueConf c(env.target);
    c->verbose = 1;
    memset(strHELP, 0, sizeof strHELP);
    std::string log;
    ASSERT_EQ(c.load(&log), 1) << log;

    // Cameras, ascending, with their own values or the CAM_NR 0 defaults.
    ASSERT_EQ(c->cams_count, 3) << log;
    const camera &c1 = c->cams[0], &c2 = c->cams[1], &c10 = c->cams[2];
    EXPECT_EQ(c1.nr, 1);
    EXPECT_STREQ(c1.name, " Entrance ");
    EXPECT_STREQ(c1.log.prefix, "cam[01]");
    ASSERT_EQ(c1.nsrcs, 1);
    EXPECT_STREQ(c1.srcs[0].uri, "/dev/video1");
    EXPECT_EQ(c1.srcs[0].cam, &c1);
    EXPECT_EQ(c1.srcs[0].index, 0);
    EXPECT_STREQ(c1.srcs[0].log.prefix, "src#0");
    EXPECT_EQ(c1.srcs[0].log.parent, &c1.log);
    EXPECT_EQ(c1.srcs[0].width, 1280u);
    EXPECT_EQ(c1.srcs[0].height, 720u);
    EXPECT_EQ(c1.srcs[0].aspect_w * 9, c1.srcs[0].aspect_h * 16);
    EXPECT_EQ(c1.srcs[0].hx2, 3u);

    EXPECT_EQ(c2.nr, 2);
    EXPECT_STREQ(c2.name, " CAM 2 ");
    EXPECT_EQ(c2.srcs[0].width, 704u);
    EXPECT_EQ(c2.srcs[0].height, 576u);
    EXPECT_EQ(c2.srcs[0].hx2, 7u);
    ASSERT_EQ(c2.nsrcs, 2);
    EXPECT_STREQ(c2.srcs[1].uri, "rtsp://127.0.0.1:8554/cam2");
    EXPECT_EQ(c2.srcs[1].index, 1);
    EXPECT_EQ(c2.srcs[1].cam, &c2);

    EXPECT_EQ(c10.nr, 10);
    EXPECT_STREQ(c10.name, " CAM 10 ");
    EXPECT_EQ(c10.nsrcs, 1);
    // Cameras left out by the catalogue's own rules say nothing.
    for (const char *quiet : {"cam[03]", "cam[04]", "/dev/video4",
                              "/dev/video5", "/dev/video9", "cam[07]"})
        EXPECT_EQ(occurrences(log, quiet), 0) << quiet << "\n" << log;

    // Layouts of display L bound to the local viewer.
    EXPECT_EQ(c->layouts_count, 8);
    const local_layout &l0 = c->layouts[0], &l1 = c->layouts[1];
    ASSERT_NE(l0.def, nullptr);
    EXPECT_STREQ(l0.def->name, "QUAD_4_4");
    EXPECT_STREQ(l0.name, "Hall");
    EXPECT_STREQ(l0.log.prefix, "L[0]");
    EXPECT_EQ(l0.ncams, 2);
    EXPECT_EQ(l0.cams[0], &c1);
    EXPECT_EQ(l0.cams[1], &c2);
    EXPECT_EQ(l0.cams[2], nullptr);
    ASSERT_NE(l1.def, nullptr) << "lower-case type name";
    EXPECT_STREQ(l1.name, "QUAD_4_4") << "empty MON_NAME takes the type name";
    EXPECT_EQ(l1.ncams, 1);
    EXPECT_EQ(l1.cams[0], &c10);
    EXPECT_EQ(c->layouts[2].def, nullptr);
    EXPECT_EQ(c->layouts[3].def, nullptr);
    EXPECT_EQ(c->layouts[4].def, nullptr) << "layout of the other display";
    EXPECT_EQ(c->layouts[5].def, nullptr) << "layout of another machine";
    ASSERT_NE(c->layouts[7].def, nullptr);
    EXPECT_EQ(c->layouts[7].ncams, 1) << "ONECAM reads only WIN1";
    EXPECT_EQ(c->start_layout, 0);

    EXPECT_EQ(occurrences(log, "Odd has unknown type = `NO_SUCH_TYPE', reject it"), 1) << log;
    EXPECT_EQ(occurrences(log, "Skip layout #3(QUAD_4_4/Gone) since it has't any active cameras"), 1) << log;
    EXPECT_EQ(occurrences(log, "Layout #1(QUAD_4_4/QUAD_4_4) win #4: cam #77 isn't defined or active"), 1) << log;
    EXPECT_EQ(occurrences(log, "Layout #0(QUAD_4_4/Hall) win #3: cam #3 isn't defined or active"), 1) << log;
    EXPECT_EQ(occurrences(log, "(*) Add layout #0, type `QUAD_4_4'(3), name `Hall' with 2 cameras"), 1) << log;
    EXPECT_EQ(occurrences(log, "(*) Add layout #7, type `ONECAM'(0), name `Entrance only' with 1 cameras"), 1) << log;
    EXPECT_EQ(occurrences(log, "(*) Add layout"), 3) << log;
    EXPECT_EQ(occurrences(log, "layout #-1"), 1) << "negative MON_NR is reported\n" << log;
    EXPECT_EQ(occurrences(log, "Right side"), 0) << log;

    // One help line per accepted layout.
    EXPECT_EQ(occurrences(strHELP, "<0> -- \"Hall\",  камер - 2 шт.\n"), 1) << strHELP;
    EXPECT_EQ(occurrences(strHELP, "<1> -- \"QUAD_4_4\",  камер - 1 шт.\n"), 1) << strHELP;
    EXPECT_EQ(occurrences(strHELP, "<7> -- "), 1) << strHELP;
    EXPECT_EQ(occurrences(strHELP, "Gone"), 0) << strHELP;
}

// Quiet, single-source and start-layout runs of the main fixture, which
// must have been built before.
inline void main_fixture_variants(const Env &env)
{
    SCOPED_TRACE("variants");
    {
        CatalogueConf c(env.target);
        c->single_source = 1;
        c->verbose = 0;
        std::string log;
        ASSERT_EQ(c.load(&log), 1) << log;
        EXPECT_EQ(c->cams_count, 3);
        for (int i = 0; i < c->cams_count; ++i)
            EXPECT_EQ(c->cams[i].nsrcs, 1) << "no fullscreen source";
        EXPECT_EQ(occurrences(log, "isn't defined or active"), 0) << log;
        EXPECT_EQ(occurrences(log, "(*) "), 0) << log;
    }
    struct Case {
        char display;
        int start;
        int expect_rc;
        int expect_start;
        const char *msg;
    } cases[] = {
        {'L', 0, 1, 0, nullptr},
        {'L', 7, 1, 7, nullptr},
        {'L', 3, 0, 3, "Layout #3 on left display is not defined in tirsk6_db database"},
        {'L', 8, 0, 8, "Layout #8 on left display is not defined in tirsk6_db database"},
        {'R', -1, 1, 4, nullptr},
        {'R', 1, 0, 1, "Layout #1 on right display is not defined in tirsk6_db database"},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(std::string("display ") + k.display + " layout " +
                     std::to_string(k.start));
        CatalogueConf c(env.target);
        c->display = k.display;
        c->start_layout = k.start;
        std::string log;
        EXPECT_EQ(c.load(&log), k.expect_rc) << log;
        EXPECT_EQ(c->start_layout, k.expect_start);
        if (k.msg) {
            EXPECT_EQ(occurrences(log, k.msg), 1) << log;
        }
    }
}

// 301 usable cameras and layout numbers up to 51.
inline void limits(const Env &env)
{
    SCOPED_TRACE("limits");
    ASSERT_TRUE(env.build(R"(
camera 0 allow_local=1 video_src=v
camera 1-301 work=1 v4l_pipe={nr}
layout 0 L QUAD_4_4 "First" 1 2 300 301
layout 49 L QUAD_4_4 "Last" 300
layout 50 L QUAD_4_4 "Too far" 1
layout 51 L QUAD_4_4 "Further" 1
)"));
    CatalogueConf c(env.target);
    std::string log;
    ASSERT_EQ(c.load(&log), 1) << log;
    ASSERT_EQ(c->cams_count, 300);
    EXPECT_EQ(c->cams[299].nr, 300);
    EXPECT_STREQ(c->cams[299].srcs[0].uri, "/dev/video300");
    EXPECT_EQ(occurrences(log, "on /dev/video301 can not accepted -> limit max cams was happens (300)"), 1) << log;
    EXPECT_EQ(c->layouts[0].ncams, 3);
    EXPECT_EQ(occurrences(log, "layout #50 can not accepted -> limit max layouts happens (50)"), 1) << log;
    EXPECT_EQ(occurrences(log, "layout #51"), 0) << "reading stops at the first\n" << log;
    EXPECT_EQ(c->layouts_count, 50);
    EXPECT_NE(c->layouts[49].def, nullptr);
}

// Catalogues that leave nothing to show, or cannot be read.
inline void nothing_to_show(const Env &env)
{
    SCOPED_TRACE("nothing to show");
    struct Case {
        const char *desc;
        const char *msg;
    } cases[] = {
        {"camera 1 work=1 v4l_pipe=1\nlayout 0 L QUAD_4_4 \"A\" 1\n",
         "You don't have any ready cameras for local viewing, ask to your Tirsk system administrator"},
        {"camera 1 work=1 v4l_pipe=1 allow_local=1 video_src=x\nlayout 0 L QUAD_4_4 \"A\" 2\nlayout 1 L ONECAM \"B\" 3\n",
         "You don't have any good configured layout for tirsk-mon, ask to your Tirsk system administrator"},
        {"camera 1 work=1 v4l_pipe=1 allow_local=1 video_src=x\nlayout 0 R QUAD_4_4 \"A\" 1\n",
         "Could't find a cameras windows layouts for \"left\" display."},
        {"camera 1 work=1 v4l_pipe=1 allow_local=1 video_src=x\nomit-table LOCAL_LAYOUTS\n",
         "couldn't read MONITORS table. SQL error: "},
        {"omit-table CAMERAS\nlayout 0 L QUAD_4_4 \"A\" 1\n",
         "select from CAMERAS(0) sql failed -> \""},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.desc);
        ASSERT_TRUE(env.build(k.desc));
        CatalogueConf c(env.target);
        std::string log;
        EXPECT_EQ(c.load(&log), 0) << log;
        EXPECT_EQ(occurrences(log, k.msg), 1) << log;
        EXPECT_EQ(c->db_conn, nullptr);
    }
}

// Bad geometry is reported and counted, and the rest is still read.
inline void bad_values(const Env &env)
{
    SCOPED_TRACE("bad values");
    ASSERT_TRUE(env.build(R"(
camera 0 allow_local=1 video_src=v geometry=abc
camera 1 work=1 v4l_pipe=1
camera 2 work=1 v4l_pipe=2 geometry=wide
camera 3 work=1 v4l_pipe=3 allow_local=NULL Hx2="" text_left=""
camera 4 work=1 v4l_pipe=4 geometry=4294967295x4294967295
layout 0 L QUAD_4_4 "A" 1 2 3
)"));
    CatalogueConf c(env.target);
    std::string log;
    EXPECT_EQ(c.load(&log), 0) << log;
    EXPECT_EQ(occurrences(log, "invalid default \"geometry\" value - \"abc\""), 1) << log;
    EXPECT_EQ(occurrences(log, "invalid \"geometry\" value - \"wide\""), 1) << log;
    EXPECT_EQ(occurrences(log, "value - \"4294967295x4294967295\""), 1) << log;
    ASSERT_EQ(c->cams_count, 2);
    EXPECT_EQ(c->cams[0].srcs[0].width, 640u);
    EXPECT_EQ(c->cams[0].srcs[0].height, 480u);
    EXPECT_EQ(c->cams[1].nr, 3) << "NULL and empty values take the defaults";
    EXPECT_STREQ(c->cams[1].name, " CAM 3 ");
    EXPECT_EQ(c->layouts[0].ncams, 2);
}

// Texts of any length and encoding stay inside their fields.
inline void long_texts(const Env &env)
{
    SCOPED_TRACE("long texts");
    std::string cyr;
    for (int i = 0; i < 40; ++i)
        cyr += "Ж"; // 2 bytes each
    const std::string uri511 = "rtsp://h/" + std::string(502, 'a');
    const std::string uri512 = "rtsp://h/" + std::string(503, 'b');
    ASSERT_EQ(uri511.size(), 511u);
    ASSERT_TRUE(env.build("camera 0 allow_local=1 video_src=v\n"
                          "camera 1 work=1 v4l_pipe=1 text_left=\"" + cyr +
                          "\" mon_fs_uri=" + uri511 + "\n"
                          "camera 2 work=1 v4l_pipe=2 mon_fs_uri=" + uri512 + "\n"
                          "camera 3 work=1 v4l_pipe=3 mon_fs_uri=just-a-file\n"
                          "layout 0 L QUAD_4_4 \"" + cyr + "\" 1 2 3\n"));
    CatalogueConf c(env.target);
    std::string log;
    ASSERT_EQ(c.load(&log), 1) << log;
    ASSERT_EQ(c->cams_count, 3);
    const camera &c1 = c->cams[0];
    // " " + 29 whole characters + " ": the cut never splits a character.
    EXPECT_EQ(std::string(c1.name), " " + cyr.substr(0, 58) + " ");
    ASSERT_EQ(c1.nsrcs, 2);
    EXPECT_EQ(std::string(c1.srcs[1].uri), uri511);
    EXPECT_EQ(c->cams[1].nsrcs, 1) << "an over-long URI is refused, not cut";
    EXPECT_EQ(occurrences(log, "is too long (512 bytes, at most 511)"), 1) << log;
    EXPECT_EQ(c->cams[2].nsrcs, 1);
    EXPECT_EQ(occurrences(log, "unexpected uri just-a-file, skip this source"), 1) << log;
    EXPECT_EQ(std::string(c->layouts[0].name), cyr.substr(0, 32));
}

} // namespace catalogue_scenarios
