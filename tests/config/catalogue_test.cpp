// The catalogue read from databases built with mkcatalog: sqlite files, and
// private MariaDB and PostgreSQL servers on 127.0.0.1 started by the test
// (dbserver.sh), all through the same table of cases.
#include <unistd.h>

#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "media.h"
#include "harness.h"
#include "strhelp_guard.h"

namespace {

using namespace testsupport;

// Where a catalogue lives: db-type, host (an sqlite file's directory), name.
struct DbTarget {
    std::string type, host, name, user, passwd;
    uint16_t port = 0;
};

// Builds the catalogue described in mkcatalog's syntax in t.
void build_catalogue(const DbTarget &t, const std::string &desc, const std::string &scratch)
{
    write_file(scratch + "/catalogue.txt", desc);
    std::vector<std::string> argv = {tool_path("tools/mkcatalog/mkcatalog"), "-T", t.type, "-D", t.name,
                                     "--port", std::to_string(t.port), scratch + "/catalogue.txt"};
    for (auto [flag, value] : {std::pair{"-H", t.host}, {"-U", t.user}, {"-P", t.passwd}})
        if (!value.empty())
            argv.insert(argv.begin() + 1, {flag, value});
    const RunResult r = run(argv, {}, 120000);
    ASSERT_EQ(r.status, 0) << "mkcatalog failed: " << r.err;
}

// A record reading t's catalogue; the sources it got are freed with it.
struct CatalogueConf {
    CONF *c = static_cast<CONF *>(calloc(1, sizeof(CONF)));
    explicit CatalogueConf(const DbTarget &t)
    {
        for (auto [field, value] : {std::pair{&c->db_type, &t.type}, {&c->db_host, &t.host}, {&c->db_name, &t.name},
                                    {&c->db_user, &t.user}, {&c->db_passwd, &t.passwd}})
            *field = strdup(value->c_str());
        c->db_port = t.port, c->display = 'L', c->start_layout = -1;
    }
    ~CatalogueConf()
    {
        for (camera &cam : c->cams)
            for (int i = 0; i < cam.nsrcs && i < CAM_MAX_SRCS; ++i)
                source_free(&cam.srcs[i]);
        for (char *s : {c->db_type, c->db_host, c->db_name, c->db_user, c->db_passwd})
            free(s);
        free(c);
    }
    CONF *operator->() { return c; }
    // load_catalogue with the global conf on this record; *log: what it logged.
    int load(std::string *log)
    {
        CONF *saved = std::exchange(conf, c);
        LogCapture cap;
        const int rc = load_catalogue(c);
        *log = cap.text();
        conf = saved;
        return rc;
    }
};

// Cameras 1, 2 and 10 are usable; 3 to 9 are left out for one reason each.
const std::string HALL = read_file(TIRSK_SOURCE_DIR "/tests/config/data/hall.cat");

// The loaded catalogue as text: a line per camera (number, name, sources),
// one per accepted layout (number, name, camera in each window, 0: none),
// then the on-screen help.
std::string describe(const CONF *c)
{
    std::string s;
    for (const camera &cam : std::span(c->cams, c->cams_count)) {
        s += std::to_string(cam.nr) + cam.name;
        for (int i = 0; i < cam.nsrcs; ++i) {
            const media_source &m = cam.srcs[i];
            s += "|" + std::string(m.uri) + " " + std::to_string(m.width) + "x" + std::to_string(m.height) + " " +
                 std::to_string(m.aspect_w) + ":" + std::to_string(m.aspect_h) + " " + std::to_string(m.hx2) +
                 (m.cam == &cam && m.index == i ? "" : " unlinked");
        }
        s += "\n";
    }
    for (int n = 0; n < c->layouts_count; ++n)
        if (const local_layout &l = c->layouts[n]; l.def) {
            s += "#" + std::to_string(n) + " " + l.name + " " + std::to_string(l.ncams) + ":";
            for (int w = 0; w < l.def->wins; ++w)
                s += " " + std::to_string(l.cams[w] ? l.cams[w]->nr : 0);
            s += "\n";
        }
    return s + std::to_string(c->layouts_count) + " layouts\n" + strHELP;
}

struct Case {
    std::string name, desc; // mkcatalog's description
    int rc = 1;             // of the load
    std::vector<std::string> said = {}; // each logged once
    std::vector<std::string> unsaid = {};
    std::string loaded = ""; // describe() afterwards; "": not checked
    char display = 'L';
    int start = -1, expect_start = -1; // -1: not checked
    int verbose = 1;
    bool single_source = false;
    bool text_numbers = false; // not on PostgreSQL, which refuses CAM_NR=0 as text
};

const std::vector<Case> &cases()
{
    static const std::string zh40 = [] { std::string s; for (int i = 0; i < 40; i++) s += "Ж"; return s; }();
    static const std::string uri511 = "rtsp://h/" + std::string(502, 'a');
    static const std::string cam2_fs = "|rtsp://127.0.0.1:8554/cam2 0x0 0:0 0", help = "\",  камер - ",
        hall = "1 Entrance |/dev/video1 1280x720 16:9 3\n2 CAM 2 |/dev/video2 704x576 11:9 7" + cam2_fs +
               "\n10 CAM 10 |/dev/video10 704x576 11:9 7\n#0 Hall 2: 1 2 0 0\n#1 QUAD_4_4 1: 10 0 0 0\n"
               "#7 Entrance only 1: 1\n8 layouts\n    <0> -- \"Hall" + help + "2 шт.\n    <1> -- \"QUAD_4_4" + help +
               "1 шт.\n    <7> -- \"Entrance only" + help + "1 шт.\n";
    static const std::string limits = [] {
        std::string s;
        for (int n = 1; n <= 300; n++)
            s += std::to_string(n) + " CAM " + std::to_string(n) + " |/dev/video" + std::to_string(n) +
                 " 640x480 4:3 0\n";
        return s + "#0 First 3: 1 2 300 0\n#49 Last 1: 300 0 0 0\n50 layouts\n    <0> -- \"First" + help +
               "3 шт.\n    <49> -- \"Last" + help + "1 шт.\n";
    }();
    static const std::vector<Case> all = {
        {"hall", HALL, 1,
         {"Odd has unknown type = `NO_SUCH_TYPE', reject it",
          "Skip layout #3(QUAD_4_4/Gone) since it has't any active cameras",
          "Layout #1(QUAD_4_4/QUAD_4_4) win #4: cam #77 isn't defined or active",
          "Layout #0(QUAD_4_4/Hall) win #3: cam #3 isn't defined or active",
          "(*) Add layout #0, type `QUAD_4_4'(3), name `Hall' with 2 cameras",
          "(*) Add layout #7, type `ONECAM'(0), name `Entrance only' with 1 cameras",
          "layout #50 can not accepted -> limit max layouts happens (50)", "layout #-1"},
         // cameras left out by the catalogue's own rules say nothing
         {"cam[03]", "cam[04]", "/dev/video4", "/dev/video5", "/dev/video9", "cam[07]", "Right side"}, hall},
        {"hall, BIGINT numbers", "int-type BIGINT\n" + HALL, 1, {}, {}, hall},
        {"hall, numbers as text", "int-type VARCHAR(12)\n" + HALL, 1, {}, {}, hall, 'L', -1, -1, 1, false, true},
        {"hall, single source, quiet", HALL, 1, {}, {"isn't defined or active", "(*) "},
         std::string(hall).erase(hall.find(cam2_fs), cam2_fs.size()), 'L', -1, -1, 0, true},
        {"start layout 7", HALL, 1, {}, {}, "", 'L', 7, 7},
        {"start layout skipped", HALL, 0, {"Layout #3 on left display is not defined in tirsk6_db database"}, {}, "",
         'L', 3, 3},
        {"start layout undefined", HALL, 0, {"Layout #8 on left display is not defined in tirsk6_db database"}, {}, "",
         'L', 8, 8},
        {"right display", HALL, 1, {}, {}, "", 'R', -1, 4},
        {"right display, left layout", HALL, 0, {"Layout #1 on right display is not defined in tirsk6_db database"},
         {}, "", 'R', 1, 1},
        {"limits: 300 cameras, 50 layouts",
         "camera 0 allow_local=1 video_src=v\ncamera 1-301 work=1 v4l_pipe={nr}\n"
         "layout 0 L QUAD_4_4 \"First\" 1 2 300 301\nlayout 49 L QUAD_4_4 \"Last\" 300\n"
         "layout 50 L QUAD_4_4 \"Too far\" 1\nlayout 51 L QUAD_4_4 \"Further\" 1\n", 1,
         {"on /dev/video301 can not accepted -> limit max cams was happens (300)",
          "layout #50 can not accepted -> limit max layouts happens (50)"},
         {"layout #51"}, limits}, // reading stops at the first
        {"no camera for local viewing", "camera 1 work=1 v4l_pipe=1\nlayout 0 L QUAD_4_4 \"A\" 1\n", 0,
         {"You don't have any ready cameras for local viewing, ask to your Tirsk system administrator"}},
        {"no usable layout",
         "camera 1 work=1 v4l_pipe=1 allow_local=1 video_src=x\nlayout 0 L QUAD_4_4 \"A\" 2\nlayout 1 L ONECAM \"B\" 3\n",
         0, {"You don't have any good configured layout for tirsk-mon, ask to your Tirsk system administrator"}},
        {"no layout of this display", "camera 1 work=1 v4l_pipe=1 allow_local=1 video_src=x\nlayout 0 R QUAD_4_4 \"A\" 1\n",
         0, {"Could't find a cameras windows layouts for \"left\" display."}},
        {"no layouts table", "camera 1 work=1 v4l_pipe=1 allow_local=1 video_src=x\nomit-table LOCAL_LAYOUTS\n", 0,
         {"couldn't read MONITORS table. SQL error: "}},
        {"no cameras table", "omit-table CAMERAS\nlayout 0 L QUAD_4_4 \"A\" 1\n", 0,
         {"select from CAMERAS(0) sql failed -> \""}},
        {"bad values are counted, the rest is read; NULL and empty values take the defaults",
         "camera 0 allow_local=1 video_src=v geometry=abc\ncamera 1 work=1 v4l_pipe=1\n"
         "camera 2 work=1 v4l_pipe=2 geometry=wide\n"
         "camera 3 work=1 v4l_pipe=3 allow_local=NULL Hx2=\"\" text_left=\"\"\n"
         "camera 4 work=1 v4l_pipe=4 geometry=4294967295x4294967295\nlayout 0 L QUAD_4_4 \"A\" 1 2 3\n", 0,
         {"invalid default \"geometry\" value - \"abc\"", "invalid \"geometry\" value - \"wide\"",
          "value - \"4294967295x4294967295\""}, {},
         "1 CAM 1 |/dev/video1 640x480 4:3 0\n3 CAM 3 |/dev/video3 640x480 4:3 0\n#0 A 2: 1 0 3 0\n1 layouts\n"
         "    <0> -- \"A" + help + "2 шт.\n"},
        {"numbers read like atoi without overflow; repeated rows and windows",
         "camera 0 allow_local=1 video_src=x\ncamera 1 work=1 v4l_pipe=\" 7x\"\n"
         "camera 2 work=1 v4l_pipe=99999999999999999999999\ncamera 3 work=1 v4l_pipe=-0\n"
         "camera 4 work=1 v4l_pipe=abc\ncamera 5 work=1 v4l_pipe=1 allow_local=\" 0\"\n"
         "camera 6 work=1 v4l_pipe=6 text_left=A text_left=B\n" // the join returns camera 6 twice
         "layout 0 L QUAD_4_4 \"A\" 1 6 6 3\nlayout 1 L ONECAM \"B\" 6\n", 1, {}, {},
         "1 CAM 1 |/dev/video7 640x480 4:3 0\n3 CAM 3 |/dev/video0 640x480 4:3 0\n4 CAM 4 |/dev/video0 640x480 4:3 0\n"
         "6 A |/dev/video6 640x480 4:3 0\n#0 A 4: 1 6 6 3\n#1 B 1: 6\n2 layouts\n    <0> -- \"A" + help +
         "4 шт.\n    <1> -- \"B" + help + "1 шт.\n"},
        // A name cut never splits a letter; an over-long URI is refused, not cut.
        {"long texts stay inside their fields",
         "camera 0 allow_local=1 video_src=v\ncamera 1 work=1 v4l_pipe=1 text_left=\"" + zh40 +
             "\" mon_fs_uri=" + uri511 + "\ncamera 2 work=1 v4l_pipe=2 mon_fs_uri=" + uri511 +
             "b\ncamera 3 work=1 v4l_pipe=3 mon_fs_uri=just-a-file\nlayout 0 L QUAD_4_4 \"" + zh40 + "\" 1 2 3\n",
         1, {"is too long (512 bytes, at most 511)", "unexpected uri just-a-file, skip this source"}, {},
         "1 " + zh40.substr(0, 58) + " |/dev/video1 640x480 4:3 0|" + uri511 +
             " 0x0 0:0 0\n2 CAM 2 |/dev/video2 640x480 4:3 0\n3 CAM 3 |/dev/video3 640x480 4:3 0\n#0 " +
             zh40.substr(0, 32) + " 3: 1 2 3 0\n1 layouts\n    <0> -- \"" + zh40.substr(0, 32) + help + "3 шт.\n"},
    };
    return all;
}

// Loads every case from databases of target; scratch receives descriptions.
void run_cases(const DbTarget &target, const std::string &scratch)
{
    std::string built;
    for (const Case &k : cases()) {
        SCOPED_TRACE(target.type + ": " + k.name);
        if (k.text_numbers && target.type == "pgsql")
            continue;
        if (k.desc != built) { // cases on the same catalogue share one build
            ASSERT_NO_FATAL_FAILURE(build_catalogue(target, built = k.desc, scratch));
        }
        CatalogueConf c(target);
        StrHelpGuard help;
        c->display = k.display;
        c->start_layout = k.start;
        c->verbose = k.verbose;
        c->single_source = k.single_source;
        std::string log;
        EXPECT_EQ(c.load(&log), k.rc) << log;
        for (const std::string &s : k.said)
            EXPECT_EQ(occurrences(log, s), 1) << s << "\n" << log;
        for (const std::string &s : k.unsaid)
            EXPECT_EQ(occurrences(log, s), 0) << s << "\n" << log;
        EXPECT_TRUE(k.expect_start < 0 || c->start_layout == k.expect_start) << c->start_layout;
        EXPECT_TRUE(k.rc == 1 || c->db_conn == nullptr);
        if (!k.loaded.empty()) {
            EXPECT_EQ(describe(c.c), k.loaded);
        }
    }
}

// A load that cannot connect: its message, and no connection kept.
void refused(const DbTarget &t, const std::string &message)
{
    SCOPED_TRACE(t.type + " " + t.name);
    CatalogueConf c(t);
    std::string log;
    EXPECT_EQ(c.load(&log), 0);
    EXPECT_EQ(occurrences(log, message), 1) << log;
    EXPECT_EQ(c->db_conn, nullptr);
}

TEST(Catalogue, Sqlite)
{
    TempDir dir;
    // The file is named like the default database, so that messages read
    // as they would in an installation.
    const DbTarget t{"sqlite", dir.path(), "tirsk6_db", "tirsk-mon", "", 0};
    run_cases(t, dir.path());

    refused({"nosuchdb", dir.path(), "tirsk6_db", "tirsk-mon", "", 0},
            "connect to \"nosuchdb\" sql server/engine failed: unknown \"db-type\", use mysql (package "
            "libdbd-mysql), pgsql (libdbd-pgsql) or sqlite (libdbd-sqlite3)");
    // A mistyped file name must not leave an empty database behind.
    refused({"sqlite", dir.path(), "missing.db", "tirsk-mon", "", 0},
            "could not connect to \"sqlite\" database \"missing.db\" on \"" + dir.path() +
                "\" as user \"tirsk-mon\" -> " + dir.file("missing.db") + ": No such file or directory");
    EXPECT_NE(access(dir.file("missing.db").c_str(), F_OK), 0);
    // Without db-host the files live in the installation's directory.
    refused({"sqlite", "", "no-such-catalogue-file", "tirsk-mon", "", 0},
            "-> /var/lib/tirsk/no-such-catalogue-file: ");
    // "sqlite3" names the driver directly; a directory is not a database.
    refused({"sqlite3", dir.path(), ".", "tirsk-mon", "", 0}, "not a regular file");
}

// Every case on a private server (dbserver.sh) through the driver type,
// then a wrong password; the server is stopped however the test ends.
void on_server(const std::string &kind, const std::string &type)
{
    const std::string script = TIRSK_SOURCE_DIR "/tests/config/dbserver.sh";
    TempDir dir; // its path is short enough for the server's socket
    DbTarget t{type, "127.0.0.1", "tirsk6_db", "tirsk-mon", "tirsk-secret", free_port()};
    ASSERT_NE(t.port, 0);
    const std::shared_ptr<void> stop(nullptr, [&](void *) { run({"bash", script, "stop", kind, dir.path()}); });
    const RunResult r = run({"bash", script, "start", kind, dir.path(), std::to_string(t.port)}, {}, 180000);
    ASSERT_EQ(r.status, 0) << kind << " did not start: " << r.out << r.err;
    run_cases(t, dir.path());
    // A read-only user granted the tables keeps reading them after mkcatalog replaced them.
    ASSERT_EQ(run({"bash", script, "grant", kind, dir.path(), std::to_string(t.port)}).status, 0);
    ASSERT_NO_FATAL_FAILURE(build_catalogue(
        t, "camera 0 allow_local=1 video_src=v\ncamera 1 work=1 v4l_pipe=1\nlayout 0 L ONECAM \"A\" 1\n", dir.path()));
    DbTarget ro = t;
    ro.user = "tirsk-ro";
    std::string log;
    EXPECT_EQ(CatalogueConf(ro).load(&log), 1) << log;
    t.passwd = "not-the-password";
    refused(t, "could not connect to \"" + type + "\" database \"tirsk6_db\" on \"127.0.0.1\" as user \"tirsk-mon\"");
}

TEST(Catalogue, MariaDB) { on_server("mariadb", "mysql"); }
TEST(Catalogue, PostgreSQL) { on_server("pgsql", "pgsql"); }

} // namespace
