// mkcatalog: builds the viewer's camera and layout catalogue (tables CAMERAS
// and LOCAL_LAYOUTS) in a database from a short readable description.  It
// writes through libdbi, so an sqlite file, a MariaDB/MySQL and a PostgreSQL
// database get the same rows.  Syntax: see README.md next to this file.
#include <ctype.h>
#include <dbi/dbi.h>
#include <errno.h>
#include <getopt.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "layouts.h"

namespace {


// A description token; `quoted` tells a quoted "NULL" text from SQL NULL.
struct token {
    std::string text;
    size_t quote_at = std::string::npos; // first quoted character, if any
};

using value = std::optional<std::string>; // nullopt = SQL NULL

struct cam_row {
    long long nr;
    std::string name;
    value val;
};

struct layout_row {
    long long nr;
    value display, type, name, bind_mac = std::string("local");
    std::vector<value> wins; // text of the window's camera number
};

struct catalogue {
    std::string int_type = "INTEGER";
    bool omit_cameras = false, omit_layouts = false;
    std::vector<cam_row> cams;
    std::vector<layout_row> layouts;
};

int g_line;
bool g_unchecked_types; // "unchecked-types": try how the viewer rejects them
std::string g_partial; // sqlite file being built, removed on failure

[[noreturn]] void give_up()
{
    if (!g_partial.empty())
        unlink(g_partial.c_str());
    exit(1);
}

[[noreturn]] void fail(const std::string &why)
{
    fprintf(stderr, "mkcatalog: line %d: %s\n", g_line, why.c_str());
    give_up();
}

// Split a line into tokens: blanks separate, "..." quotes (with \" and \\),
// '#' outside quotes starts a comment.
std::vector<token> tokenize(const std::string &line)
{
    std::vector<token> out;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && isspace(static_cast<unsigned char>(line[i])))
            ++i;
        if (i >= line.size() || line[i] == '#')
            break;
        token t;
        while (i < line.size() && !isspace(static_cast<unsigned char>(line[i]))) {
            if (line[i] != '"') {
                t.text += line[i++];
                continue;
            }
            if (t.quote_at == std::string::npos)
                t.quote_at = t.text.size();
            for (++i;; ++i) {
                if (i >= line.size())
                    fail("unterminated quote");
                if (line[i] == '"')
                    break;
                if (line[i] == '\\' && i + 1 < line.size())
                    ++i;
                t.text += line[i];
            }
            ++i;
        }
        out.push_back(std::move(t));
    }
    return out;
}

long long to_int(const std::string &s, const char *what)
{
    char *end = nullptr;
    errno = 0;
    long long v = strtoll(s.c_str(), &end, 10);
    if (s.empty() || *end || errno)
        fail(std::string("bad ") + what + " \"" + s + "\"");
    return v;
}

// A bare NULL is SQL NULL; anything quoted is text.
value to_value(const token &t, size_t from = 0)
{
    if (t.text.compare(from, std::string::npos, "NULL") == 0 &&
        t.quote_at == std::string::npos)
        return std::nullopt;
    return t.text.substr(from);
}

std::string replace_nr(std::string s, long long nr)
{
    for (size_t p; (p = s.find("{nr}")) != std::string::npos;)
        s.replace(p, 4, std::to_string(nr));
    return s;
}

void parse_camera(catalogue &cat, const std::vector<token> &t)
{
    if (t.size() < 2)
        fail("camera needs a number");
    long long first, last;
    const std::string &range = t[1].text;
    size_t dash = range.find('-', 1);
    if (dash != std::string::npos) {
        first = to_int(range.substr(0, dash), "camera number");
        last = to_int(range.substr(dash + 1), "camera number");
        if (last < first || last - first > 100000)
            fail("bad camera range \"" + range + "\"");
    } else {
        first = last = to_int(range, "camera number");
    }
    for (long long nr = first; nr <= last; ++nr)
        for (size_t i = 2; i < t.size(); ++i) {
            size_t eq = t[i].text.find('=');
            if (eq == std::string::npos || eq == 0 || eq > t[i].quote_at)
                fail("expected name=value, got \"" + t[i].text + "\"");
            value v = to_value(t[i], eq + 1);
            if (v)
                v = replace_nr(*v, nr);
            cat.cams.push_back({nr, t[i].text.substr(0, eq), v});
        }
}

void parse_layout(catalogue &cat, const std::vector<token> &t)
{
    if (t.size() < 5)
        fail("layout needs: NR DISPLAY TYPE NAME [cameras...]");
    layout_row l;
    l.nr = to_int(t[1].text, "layout number");
    l.display = to_value(t[2]);
    l.type = to_value(t[3]);
    if (l.type && !g_unchecked_types && !find_layout_def(l.type->c_str()))
        fail("unknown layout type \"" + *l.type + "\" (see tirsk-mon(1) for the 45 types)");
    l.name = to_value(t[4]);
    for (size_t i = 5; i < t.size(); ++i) {
        if (t[i].text.rfind("bind_mac=", 0) == 0) {
            l.bind_mac = to_value(t[i], 9);
            continue;
        }
        if (l.wins.size() == MAX_WINS)
            fail("more than 60 windows");
        value v = to_value(t[i]);
        if (v && t[i].quote_at == std::string::npos)
            to_int(*v, "camera number");
        l.wins.push_back(v);
    }
    cat.layouts.push_back(std::move(l));
}

catalogue parse(std::istream &in)
{
    catalogue cat;
    std::string line;
    for (g_line = 1; std::getline(in, line); ++g_line) {
        std::vector<token> t = tokenize(line);
        if (t.empty())
            continue;
        const std::string &kw = t[0].text;
        if (kw == "camera") {
            parse_camera(cat, t);
        } else if (kw == "layout") {
            parse_layout(cat, t);
        } else if (kw == "unchecked-types" && t.size() == 1) {
            g_unchecked_types = true;
        } else if (kw == "int-type" && t.size() == 2) {
            cat.int_type = t[1].text;
        } else if (kw == "omit-table" && t.size() == 2 &&
                   (t[1].text == "CAMERAS" || t[1].text == "LOCAL_LAYOUTS")) {
            (t[1].text == "CAMERAS" ? cat.omit_cameras : cat.omit_layouts) = true;
        } else {
            fail("unknown line \"" + line + "\"");
        }
    }
    return cat;
}

// ---- writing -------------------------------------------------------------

struct writer {
    dbi_conn conn;
    bool quote_ints;

    void exec(const std::string &sql)
    {
        dbi_result r = dbi_conn_query(conn, sql.c_str());
        if (!r) {
            const char *msg = nullptr;
            dbi_conn_error(conn, &msg);
            fprintf(stderr, "mkcatalog: %s\n  in: %.200s\n", msg ? msg : "?",
                    sql.c_str());
            give_up();
        }
        dbi_result_free(r);
    }
    std::string text(const value &v)
    {
        if (!v)
            return "NULL";
        char *q = nullptr;
        if (!dbi_conn_quote_string_copy(conn, v->c_str(), &q) || !q) {
            fprintf(stderr, "mkcatalog: cannot quote \"%s\"\n", v->c_str());
            give_up();
        }
        std::string s(q);
        free(q);
        return s;
    }
    std::string integer(long long v)
    {
        return quote_ints ? text(std::to_string(v)) : std::to_string(v);
    }
    // Only a plain decimal goes into the statement as it is; any other
    // text (a quoted window value) is quoted by the driver.
    std::string integer(const value &v)
    {
        const bool decimal = v && !v->empty() &&
                             v->find_first_not_of("0123456789", (*v)[0] == '-') ==
                                 std::string::npos &&
                             v->size() > size_t((*v)[0] == '-');
        return decimal && !quote_ints ? *v : text(v);
    }
};

// PostgreSQL statement giving the new table `to` the grants of the table
// `from` (a new table has none: the viewer's read-only user would lose
// its SELECT with every run).
std::string copy_grants(const std::string &from, const std::string &to)
{
    return "DO $$DECLARE g record; BEGIN FOR g IN SELECT a.privilege_type AS p, "
           "a.grantee AS r FROM pg_class c, aclexplode(c.relacl) a WHERE c.oid = "
           "to_regclass('" + from + "') AND a.grantee <> c.relowner LOOP EXECUTE "
           "format('GRANT %s ON " + to + " TO %s', g.p, CASE g.r WHEN 0 THEN 'PUBLIC' "
           "ELSE quote_ident(pg_get_userbyid(g.r)) END); END LOOP; END$$";
}

void write_catalogue(dbi_conn conn, const catalogue &cat, bool pgsql)
{
    const std::string &it = cat.int_type;
    writer w{conn, it.find("CHAR") != std::string::npos ||
                       it.find("TEXT") != std::string::npos ||
                       it.find("char") != std::string::npos ||
                       it.find("text") != std::string::npos};
    // The new tables are built beside the old ones and take their place
    // only when everything is written: an error leaves the catalogue as it
    // was (some servers commit table changes at once, whatever the
    // transaction).
    w.exec("DROP TABLE IF EXISTS CAMERAS_MKCAT");
    w.exec("DROP TABLE IF EXISTS LOCAL_LAYOUTS_MKCAT");
    w.exec("BEGIN");
    if (!cat.omit_cameras) {
        w.exec("CREATE TABLE CAMERAS_MKCAT (CAM_NR " + it +
               " NOT NULL, PARNAME VARCHAR(64) NOT NULL, PARVAL TEXT)");
        for (const cam_row &r : cat.cams)
            w.exec("INSERT INTO CAMERAS_MKCAT (CAM_NR, PARNAME, PARVAL) VALUES (" +
                   w.integer(r.nr) + ", " + w.text(r.name) + ", " +
                   w.text(r.val) + ")");
    }
    if (!cat.omit_layouts) {
        std::string ddl = "CREATE TABLE LOCAL_LAYOUTS_MKCAT (MON_NR " + it +
                          " NOT NULL, MON_TYPE VARCHAR(32), MON_NAME "
                          "VARCHAR(255)";
        std::string cols = "MON_NR, MON_TYPE, MON_NAME";
        for (int i = 1; i <= MAX_WINS; ++i) {
            ddl += ", WIN" + std::to_string(i) + " " + it;
            cols += ", WIN" + std::to_string(i);
        }
        w.exec(ddl + ", BIND_MAC VARCHAR(64), DISPLAY VARCHAR(8))");
        for (const layout_row &l : cat.layouts) {
            std::string vals = w.integer(l.nr) + ", " + w.text(l.type) + ", " +
                               w.text(l.name);
            for (int i = 0; i < MAX_WINS; ++i)
                vals += ", " + (i < static_cast<int>(l.wins.size())
                                    ? w.integer(l.wins[i])
                                    : std::string("NULL"));
            w.exec("INSERT INTO LOCAL_LAYOUTS_MKCAT (" + cols +
                   ", BIND_MAC, DISPLAY) VALUES (" + vals + ", " +
                   w.text(l.bind_mac) + ", " + w.text(l.display) + ")");
        }
    }
    if (pgsql && !cat.omit_cameras)
        w.exec(copy_grants("cameras", "cameras_mkcat"));
    if (pgsql && !cat.omit_layouts)
        w.exec(copy_grants("local_layouts", "local_layouts_mkcat"));
    w.exec("DROP TABLE IF EXISTS CAMERAS");
    w.exec("DROP TABLE IF EXISTS LOCAL_LAYOUTS");
    if (!cat.omit_cameras)
        w.exec("ALTER TABLE CAMERAS_MKCAT RENAME TO CAMERAS");
    if (!cat.omit_layouts)
        w.exec("ALTER TABLE LOCAL_LAYOUTS_MKCAT RENAME TO LOCAL_LAYOUTS");
    w.exec("COMMIT");
}

// Starts the new sqlite file from the old one, so that tables other than
// the catalogue's are kept.  A missing old file is no error.
void copy_file(const std::string &from, const std::string &to)
{
    std::ifstream in(from, std::ios::binary);
    if (!in)
        return;
    std::ofstream out(to, std::ios::binary);
    out << in.rdbuf();
    if (!out.flush()) {
        fprintf(stderr, "mkcatalog: cannot copy %s to %s\n", from.c_str(), to.c_str());
        give_up();
    }
}

void usage(FILE *f)
{
    fputs("usage: mkcatalog [-T TYPE] [-H HOST|DIR] [--port N] [-D NAME] "
          "[-U USER] [-P PASSWD]\n"
          "                 [-o FILE] [DESCRIPTION|-]\n"
          "  -T  libdbi driver: sqlite3 (default; \"sqlite\" means the same), "
          "mysql, pgsql\n"
          "  -H  server host, or for sqlite the directory of the file\n"
          "  -D  database name, or for sqlite the file name in that directory\n"
          "  -o  sqlite file path (sets -T sqlite3, -H and -D)\n"
          "The tables CAMERAS and LOCAL_LAYOUTS are dropped and built anew.\n",
          f);
}

} // namespace

int main(int argc, char **argv)
{
    std::string type = "sqlite3", host, name = "tirsk6_db", user, pass;
    int port = 0;
    static const option longopts[] = {
        {"port", required_argument, nullptr, 'p'},
        {"help", no_argument, nullptr, 'h'},
        {nullptr, 0, nullptr, 0}};
    for (int ch; (ch = getopt_long(argc, argv, "T:H:D:U:P:o:h", longopts,
                                   nullptr)) != -1;) {
        switch (ch) {
        case 'T': type = optarg; break;
        case 'H': host = optarg; break;
        case 'D': name = optarg; break;
        case 'U': user = optarg; break;
        case 'P': pass = optarg; break;
        case 'p': port = atoi(optarg); break;
        case 'o': {
            std::string path = optarg;
            size_t slash = path.rfind('/');
            type = "sqlite3";
            host = slash == std::string::npos ? "." : path.substr(0, slash);
            if (host.empty())
                host = "/";
            name = slash == std::string::npos ? path : path.substr(slash + 1);
            break;
        }
        case 'h': usage(stdout); return 0;
        default: usage(stderr); return 1;
        }
    }
    if (argc - optind > 1) {
        usage(stderr);
        return 1;
    }
    if (type == "sqlite")
        type = "sqlite3";

    catalogue cat;
    const char *src = optind < argc ? argv[optind] : "-";
    if (strcmp(src, "-") == 0) {
        cat = parse(std::cin);
    } else {
        std::ifstream in(src);
        if (!in) {
            fprintf(stderr, "mkcatalog: cannot read %s\n", src);
            return 1;
        }
        cat = parse(in);
    }

    dbi_inst inst;
    if (dbi_initialize_r(nullptr, &inst) < 0) {
        fprintf(stderr, "mkcatalog: libdbi initialisation failed\n");
        return 1;
    }
    dbi_set_verbosity_r(0, inst);
    dbi_conn conn = dbi_conn_new_r(type.c_str(), inst);
    if (!conn) {
        fprintf(stderr, "mkcatalog: no libdbi driver \"%s\"\n", type.c_str());
        dbi_shutdown_r(inst);
        return 1;
    }
    // An sqlite catalogue is built in a new file that replaces the old one
    // only on success.
    const std::string dir = host.empty() ? "." : host;
    const std::string final_name = name;
    if (type == "sqlite3") {
        // libdbi only says it could not connect; name the directory instead.
        struct stat st;
        const char *bad = stat(dir.c_str(), &st) != 0 ? strerror(errno)
                          : !S_ISDIR(st.st_mode)     ? "not a directory"
                                                     : nullptr;
        if (bad) {
            fprintf(stderr, "mkcatalog: %s: %s\n", dir.c_str(), bad);
            dbi_conn_close(conn);
            dbi_shutdown_r(inst);
            return 1;
        }
        dbi_conn_set_option(conn, "sqlite3_dbdir", dir.c_str());
        name = "." + name + ".mkcatalog-" + std::to_string(getpid());
        g_partial = dir + "/" + name;
        unlink(g_partial.c_str());
        copy_file(dir + "/" + final_name, g_partial);
    }
    else if (!host.empty())
        dbi_conn_set_option(conn, "host", host.c_str());
    if (port)
        dbi_conn_set_option_numeric(conn, "port", port);
    if (!user.empty())
        dbi_conn_set_option(conn, "username", user.c_str());
    if (!pass.empty())
        dbi_conn_set_option(conn, "password", pass.c_str());
    dbi_conn_set_option(conn, "dbname", name.c_str());
    dbi_conn_set_option(conn, "encoding", "UTF-8");
    if (dbi_conn_connect(conn) < 0) {
        const char *msg = nullptr;
        dbi_conn_error(conn, &msg);
        fprintf(stderr, "mkcatalog: connect failed: %s\n", msg ? msg : "?");
        dbi_conn_close(conn);
        dbi_shutdown_r(inst);
        return 1;
    }
    // PostgreSQL tells of every "DROP TABLE IF EXISTS" that found nothing.
    if (type == "pgsql")
        dbi_result_free(dbi_conn_query(conn, "SET client_min_messages TO WARNING"));
    write_catalogue(conn, cat, type == "pgsql");
    printf("mkcatalog: wrote %zu CAMERAS rows%s and %zu LOCAL_LAYOUTS rows%s to %s database "
           "\"%s\"%s%s\n", cat.cams.size(), cat.omit_cameras ? " (table omitted)" : "",
           cat.layouts.size(), cat.omit_layouts ? " (table omitted)" : "", type.c_str(),
           final_name.c_str(), host.empty() ? "" : " on ", host.c_str());
    dbi_conn_close(conn);
    dbi_shutdown_r(inst);
    if (!g_partial.empty() &&
        rename(g_partial.c_str(), (dir + "/" + final_name).c_str()) != 0) {
        fprintf(stderr, "mkcatalog: cannot rename %s: %s\n", g_partial.c_str(),
                strerror(errno));
        give_up();
    }
    return 0;
}
