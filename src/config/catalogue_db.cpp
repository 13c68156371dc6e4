// Connection to the installation's database and field readers for the
// catalogue queries.
#include "catalogue_db.h"

#include <errno.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include <memory>
#include <string_view>

namespace {

// The process-wide libdbi instance; it lives only while the catalogue loads.
dbi_inst g_dbi_inst;
bool g_dbi_up;

const char *or_empty(const char *s) { return s ? s : ""; }

bool is_sqlite_type(std::string_view type)
{
    return type == "sqlite" || type == "sqlite3";
}

// libdbi's SQLite drivers take the directory of the database file from an
// option named after the driver ("sqlite3_dbdir") and the file from "dbname".
// The directory comes from db-host so that db-name stays a plain database
// name (it also names lock files and appears in messages).
std::string sqlite_dir(const CONF *c)
{
    const char *host = or_empty(c->db_host);
    return *host ? host : CATALOGUE_SQLITE_DEFAULT_DIR;
}

void log_no_login(const CONF *c, const char *why)
{
    tirsklog_r(nullptr, 3,
               "could not connect to \"%s\" database \"%s\" on \"%s\" as user "
               "\"%s\" -> %s",
               or_empty(c->db_type), or_empty(c->db_name),
               or_empty(c->db_host), or_empty(c->db_user), why);
}

} // namespace

int catalogue_connect(CONF *c)
{
    c->db_conn = nullptr;
    if (dbi_initialize_r(nullptr, &g_dbi_inst) < 0) {
        tirsklog_r(nullptr, 3, "%s failed\n", "dbi_initialize()");
        g_dbi_inst = nullptr;
        return CATDB_FAILED;
    }
    g_dbi_up = true;
    // Errors reach the operator through our own log lines only.
    dbi_set_verbosity_r(0, g_dbi_inst);

    const char *type = or_empty(c->db_type);
    dbi_conn conn = dbi_conn_new_r(type, g_dbi_inst);
    // Current systems ship only the "sqlite3" driver although "sqlite" is the
    // name offered to installers; take it when no "sqlite" driver exists.
    if (!conn && std::string_view(type) == "sqlite")
        conn = dbi_conn_new_r("sqlite3", g_dbi_inst);
    if (!conn) {
        // Debian's names of libdbi's driver packages.
        const std::string_view t(type);
        const char *package = t == "mysql"                      ? "libdbd-mysql"
                              : t == "pgsql"                    ? "libdbd-pgsql"
                              : t == "sqlite" || t == "sqlite3" ? "libdbd-sqlite3"
                                                                : nullptr;
        if (package)
            tirsklog_r(nullptr, 3,
                       "connect to \"%s\" sql server/engine failed: its libdbi "
                       "driver is missing, install the package \"%s\"\n",
                       type, package);
        else
            tirsklog_r(nullptr, 3,
                       "connect to \"%s\" sql server/engine failed: unknown "
                       "\"db-type\", use mysql (package libdbd-mysql), pgsql "
                       "(libdbd-pgsql) or sqlite (libdbd-sqlite3)\n",
                       type);
        catalogue_disconnect(c);
        return CATDB_FAILED;
    }
    c->db_conn = conn;

    const char *driver = dbi_driver_get_name(dbi_conn_get_driver(conn));
    const bool sqlite = is_sqlite_type(or_empty(driver));
    if (sqlite) {
        std::string opt = std::string(driver) + "_dbdir";
        dbi_conn_set_option(conn, opt.c_str(), sqlite_dir(c).c_str());
    } else if (c->db_host && *c->db_host) {
        dbi_conn_set_option(conn, "host", c->db_host);
    }
    if (c->db_port)
        dbi_conn_set_option_numeric(conn, "port", c->db_port);
    if (c->db_user && *c->db_user)
        dbi_conn_set_option(conn, "username", c->db_user);
    if (c->db_passwd && *c->db_passwd)
        dbi_conn_set_option(conn, "password", c->db_passwd);
    if (c->db_name && *c->db_name)
        dbi_conn_set_option(conn, "dbname", c->db_name);
    dbi_conn_set_option(conn, "encoding", "UTF-8");

    if (sqlite) {
        // The driver creates a missing file, which would leave an empty
        // database behind a mistyped path and report missing tables instead.
        std::string path = sqlite_dir(c) + "/" + or_empty(c->db_name);
        struct stat st;
        std::string why;
        char buf[200];
        if (stat(path.c_str(), &st) != 0)
            why = path + ": " + strerror_r(errno, buf, sizeof buf);
        else if (!S_ISREG(st.st_mode))
            why = path + ": not a regular file";
        if (!why.empty()) {
            log_no_login(c, why.c_str());
            return CATDB_NO_LOGIN;
        }
    }

    if (dbi_conn_connect(conn) < 0) {
        log_no_login(c, catalogue_db_error(c));
        return CATDB_NO_LOGIN;
    }
    return CATDB_CONNECTED;
}

void catalogue_disconnect(CONF *c)
{
    if (c->db_conn) {
        dbi_conn_close(static_cast<dbi_conn>(c->db_conn));
        c->db_conn = nullptr;
    }
    if (g_dbi_up) {
        dbi_shutdown_r(g_dbi_inst);
        g_dbi_inst = nullptr;
        g_dbi_up = false;
    }
}

const char *catalogue_db_error(CONF *c)
{
    const char *msg = nullptr;
    if (c->db_conn)
        dbi_conn_error(static_cast<dbi_conn>(c->db_conn), &msg);
    return msg && *msg ? msg : "unknown error";
}

long long parse_decimal(std::string_view text)
{
    size_t i = 0;
    while (i < text.size() &&
           (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    bool neg = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        neg = text[i++] == '-';
    unsigned long long v = 0;
    const unsigned long long lim =
        neg ? static_cast<unsigned long long>(LLONG_MAX) + 1 : LLONG_MAX;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        unsigned d = text[i] - '0';
        v = (v > (lim - d) / 10) ? lim : v * 10 + d;
    }
    if (neg)
        return v == lim ? LLONG_MIN : -static_cast<long long>(v);
    return static_cast<long long>(v);
}

std::string db_text(dbi_result r, unsigned idx)
{
    if (dbi_result_field_is_null_idx(r, idx) != 0)
        return {};
    switch (dbi_result_get_field_type_idx(r, idx)) {
    case DBI_TYPE_STRING: {
        const char *s = dbi_result_get_string_idx(r, idx);
        return s ? s : "";
    }
    case DBI_TYPE_BINARY: {
        // Some servers report TEXT columns as binary; the text ends at the
        // first zero byte like any C string.
        const unsigned char *b = dbi_result_get_binary_idx(r, idx);
        size_t n = dbi_result_get_field_length_idx(r, idx);
        if (!b || n == DBI_LENGTH_ERROR)
            return {};
        std::string_view v(reinterpret_cast<const char *>(b), n);
        return std::string(v.substr(0, v.find('\0')));
    }
    case DBI_TYPE_INTEGER:
        return std::to_string(dbi_result_get_as_longlong_idx(r, idx));
    default: {
        std::unique_ptr<char, decltype(&free)> s(
            dbi_result_get_as_string_copy_idx(r, idx), &free);
        return s ? s.get() : "";
    }
    }
}

long long db_int(dbi_result r, unsigned idx)
{
    if (dbi_result_field_is_null_idx(r, idx) != 0)
        return 0;
    switch (dbi_result_get_field_type_idx(r, idx)) {
    case DBI_TYPE_INTEGER:
    case DBI_TYPE_DECIMAL:
        return dbi_result_get_as_longlong_idx(r, idx);
    default:
        return parse_decimal(db_text(r, idx));
    }
}
