// Remote-control URLs: parsing into the fixed fields of tirsk_URL.
#include <string.h>

#include <string>

#include "options_fixture.h"

namespace {

// A URL record between guard bytes, so that writing past a field shows.
struct GuardedURL {
    unsigned char before[16];
    tirsk_URL url;
    unsigned char after[16];
};

class UrlTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        memset(&g, 0xA5, sizeof g);
        tirsklog_level_set(4);
    }
    bool guards_intact() const
    {
        const std::string guard(16, '\xA5');
        return !memcmp(g.before, guard.data(), 16) &&
               !memcmp(g.after, guard.data(), 16);
    }
    // Parses text; err receives what was logged.
    int parse(const std::string &text)
    {
        FdCapture cap(2);
        int r = tirsk_parse_URL(text.c_str(), &g.url);
        err = cap.take();
        return r;
    }
    bool said_invalid(const std::string &text) const
    {
        return err.find("invalid url (proto://host:port[/path]) - \"" + text +
                        "\"") != std::string::npos;
    }
    GuardedURL g;
    std::string err;
};

} // namespace

TEST_F(UrlTest, SchemesHostPortAndPath)
{
    ASSERT_EQ(parse("http://localhost:2001/tirsk-mon-cgi"), 1);
    EXPECT_EQ(g.url.scheme, 2u);
    EXPECT_STREQ(g.url.host, "localhost");
    EXPECT_EQ(g.url.port, 2001u);
    EXPECT_STREQ(g.url.path, "/tirsk-mon-cgi");

    // "file" and "ftp" are accepted like "http".
    ASSERT_EQ(parse("ftp://*:2001"), 1);
    EXPECT_EQ(g.url.scheme, 3u);
    EXPECT_STREQ(g.url.host, "*");
    EXPECT_STREQ(g.url.path, "");
    ASSERT_EQ(parse("file://10.1.2.3:65535/a/b?c=d\r\nignored"), 1);
    EXPECT_EQ(g.url.scheme, 1u);
    EXPECT_EQ(g.url.port, 65535u);
    EXPECT_STREQ(g.url.path, "/a/b?c=d");
    EXPECT_TRUE(guards_intact());
}

TEST_F(UrlTest, MissingPartsAreInvalid)
{
    for (const char *bad :
         {"http://*", "http://*:", "http://*:/x", "http://:2001/x", "http:/*:2001",
          "http//*:2001", "://*:2001", "", "http://*:-1", "http://*:+80",
          "http://*:2001x", "http://host/path:80"}) {
        SCOPED_TRACE(bad);
        g.url.port = 77;
        EXPECT_EQ(parse(bad), 0);
        EXPECT_TRUE(said_invalid(bad)) << err;
        EXPECT_EQ(g.url.port, 0u) << "fields not cleared";
    }
    EXPECT_EQ(tirsk_parse_URL(nullptr, &g.url), 0);
    EXPECT_EQ(tirsk_parse_URL("http://*:1", nullptr), 0);
}

TEST_F(UrlTest, OverlongPartsAreRefusedNotCut)
{
    EXPECT_EQ(parse("http://*:65536/x"), 0);
    EXPECT_TRUE(said_invalid("http://*:65536/x"));
    EXPECT_EQ(parse("http://*:99999999999999999999/x"), 0);

    std::string scheme9 = "httpxhttp://*:80/x";
    EXPECT_EQ(parse(scheme9), 0);
    EXPECT_TRUE(said_invalid(scheme9)) << err;

    std::string host49(49, 'h'), host50(50, 'h');
    EXPECT_EQ(parse("http://" + host49 + ":80/x"), 1);
    EXPECT_EQ(std::string(g.url.host), host49);
    EXPECT_EQ(parse("http://" + host50 + ":80/x"), 0);
    EXPECT_TRUE(said_invalid("http://" + host50 + ":80/x"));

    std::string path51 = "/" + std::string(50, 'p');
    std::string path52 = "/" + std::string(51, 'p');
    EXPECT_EQ(parse("http://*:80" + path51), 1);
    EXPECT_EQ(std::string(g.url.path), path51);
    EXPECT_EQ(parse("http://*:80" + path52), 0);
    EXPECT_TRUE(said_invalid("http://*:80" + path52));
    EXPECT_EQ(parse("http://" + std::string(500, 'h') + ":80/" +
                    std::string(500, 'p')),
              0);
    EXPECT_TRUE(guards_intact());
}

TEST_F(OptionsTest, RemoteControlAddressOfThisMachine)
{
    EXPECT_EQ(set_remote_control(c, "http://127.0.0.1:2001/cgi"), 1);
    EXPECT_EQ(c->rctrl_enabled, 1u);
    EXPECT_EQ(c->rctrl_addr, htonl(INADDR_LOOPBACK));
    EXPECT_EQ(c->rctrl_url.port, 2001u);

    // A refused URL leaves the accepted one in place.
    FdCapture cap(2);
    EXPECT_EQ(set_remote_control(c, "http://192.0.2.1:2002/cgi"), 0);
    EXPECT_EQ(set_remote_control(c, "http://*"), 0);
    EXPECT_EQ(set_remote_control(c, nullptr), 0);
    cap.take();
    EXPECT_EQ(c->rctrl_addr, htonl(INADDR_LOOPBACK));
    EXPECT_EQ(c->rctrl_url.port, 2001u);
    EXPECT_STREQ(c->rctrl_url.host, "127.0.0.1");

    EXPECT_EQ(set_remote_control(c, "ftp://*:2001"), 1);
    EXPECT_EQ(c->rctrl_addr, 0u);
}
