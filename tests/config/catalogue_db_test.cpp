// The catalogue against real MariaDB and PostgreSQL servers started on
// 127.0.0.1 by the test itself (tests/config/dbserver.sh): the same
// scenarios as on sqlite files, through the mysql and pgsql drivers.  Each
// server starts once per test program run, for one test that runs every
// scenario.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "catalogue_fixture.h"
#include "catalogue_scenarios.h"
#include "harness.h"

namespace {

using namespace catalogue_scenarios;

const char *const SERVER_SCRIPT = TIRSK_SOURCE_DIR "/tests/config/dbserver.sh";

uint16_t free_port()
{
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    uint16_t port = 0;
    if (fd >= 0 && bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    if (fd >= 0)
        close(fd);
    return port;
}

// A private server for the lifetime of the object.
class Server {
public:
    explicit Server(const std::string &kind) : kind_(kind)
    {
        // Short path: the server's socket lives in it.
        char tmpl[] = "/tmp/tdb-XXXXXX";
        dir_ = mkdtemp(tmpl) ? tmpl : "";
        port_ = free_port();
        testsupport::RunResult r = testsupport::run(
            {"bash", SERVER_SCRIPT, "start", kind_, dir_, std::to_string(port_)},
            {}, 180000);
        started_ = r.status == 0;
        if (!started_)
            ADD_FAILURE() << kind_ << " did not start: " << r.out << r.err;
    }
    ~Server()
    {
        testsupport::run({"bash", SERVER_SCRIPT, "stop", kind_, dir_}, {}, 60000);
        if (!dir_.empty())
            testsupport::run({"rm", "-rf", dir_});
    }
    bool started() const { return started_; }
    Env env(const std::string &type) const
    {
        return {{type, "127.0.0.1", "tirsk6_db", "tirsk-mon", "tirsk-secret",
                 port_},
                dir_};
    }

private:
    std::string kind_, dir_;
    uint16_t port_ = 0;
    bool started_ = false;
};

void wrong_credentials(Env env)
{
    SCOPED_TRACE("wrong credentials");
    env.target.passwd = "not-the-password";
    CatalogueConf c(env.target);
    std::string log;
    EXPECT_EQ(c.load(&log), 0);
    const std::string msg = "could not connect to \"" + env.target.type +
                            "\" database \"tirsk6_db\" on \"127.0.0.1\" as "
                            "user \"tirsk-mon\" -> ";
    EXPECT_EQ(occurrences(log, msg), 1) << log;
    EXPECT_EQ(c->db_conn, nullptr);
}

void all_scenarios(const Server &server, const std::string &type)
{
    ASSERT_TRUE(server.started());
    const Env env = server.env(type);
    main_fixture(env);
    main_fixture_variants(env);
    main_fixture(env, "BIGINT");
    // PostgreSQL refuses CAM_NR=0 on a text column, so only the others can
    // hold the numbers as text.
    if (type != "pgsql")
        main_fixture(env, "VARCHAR(12)");
    limits(env);
    nothing_to_show(env);
    bad_values(env);
    long_texts(env);
    wrong_credentials(env);
}

TEST(CatalogueMariaDB, AllScenarios)
{
    Server server("mariadb");
    all_scenarios(server, "mysql");
}

TEST(CataloguePostgreSQL, AllScenarios)
{
    Server server("pgsql");
    all_scenarios(server, "pgsql");
}

} // namespace
