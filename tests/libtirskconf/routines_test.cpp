// Text and address routines of the host library: tokens, address lists,
// number lists, local addresses.
#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <string>
#include <vector>

#include "harness.h"
#include "tirskconf.h"

namespace {

using testsupport::LogCapture;
using V = std::vector<std::string>;

V tokens(const char *text, const char *delims)
{
    V out;
    size_t len;
    for (const char *p = text; (p = tirskconf_str_get_next_token(p, delims, &len)); p += len)
        out.emplace_back(p, len);
    return out;
}

} // namespace

TEST(NextToken, SplitTrimAndKeepInnerBlanks)
{
    const std::string big(100000, 'x');
    const struct {
        std::string text;
        const char *delims;
        V want;
    } cases[] = {
        {"localhost, 192.168.43.0/24 ,10.0.0.0/8", " \r\t;,", {"localhost", "192.168.43.0/24", "10.0.0.0/8"}},
        {" was alarms ; CASE OPENED ;\tBATTERY LOW ", "\r\t;,", {"was alarms", "CASE OPENED", "BATTERY LOW"}},
        {";;a;;  ;b;", "\r\t;,", {"a", "b"}},
        {"", ",", {}},
        {" ,;, ", " ;,", {}},
        {"  whole text  ", nullptr, {"whole text"}},
        {"a," + big + ",b", ",", {"a", big, "b"}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(tokens(c.text.c_str(), c.delims), c.want) << c.text.substr(0, 50);
    size_t len = 99;
    EXPECT_EQ(tirskconf_str_get_next_token(nullptr, ",", &len), nullptr);
    EXPECT_EQ(len, 0u);
}

TEST(Ip4Acl, AddressesNamesPrefixesAndRefusals)
{
    const struct {
        std::string text, addr = "", mask = ""; // refused: addr and mask empty
    } cases[] = {
        {"192.168.43.0/24", "192.168.43.0", "255.255.255.0"}, {"10.1.2.3", "10.1.2.3", "255.255.255.255"},
        {"0.0.0.0/0", "0.0.0.0", "0.0.0.0"}, {"1.2.3.4/32", "1.2.3.4", "255.255.255.255"},
        {"localhost", "127.0.0.1", "255.255.255.255"}, {"localhost/8", "127.0.0.1", "255.0.0.0"},
        {"10.0.0.0/33"}, {"1.2.3"}, {"300.1.1.1"}, {"1.2.3.4.5"}, {"10.0.0.0/"}, {"10.0.0.0/-1"}, {"10.0.0.0/8x"},
        {"10.0.0.0/008"}, {"/8"}, {""}, {"0x7f.1"}, {"127.1"}, {"1.2.3.4/8/8"}, {"bad host!"}, {"-lead"},
        {"01.2.3.4"}, {std::string(300, 'a')},
    };
    for (const auto &c : cases) {
        uint32_t addr = 0xAAAAAAAA, mask = 0x55555555;
        const bool ok = !c.addr.empty();
        EXPECT_EQ(tirskconf_parse_ip4_acl(c.text.c_str(), &addr, &mask), ok) << c.text;
        EXPECT_EQ(addr, ok ? inet_addr(c.addr.c_str()) : 0xAAAAAAAA) << c.text;
        EXPECT_EQ(mask, ok ? inet_addr(c.mask.c_str()) : 0x55555555) << c.text;
    }
    uint32_t net, mask;
    EXPECT_EQ(tirskconf_parse_ip4_acl(nullptr, &net, &mask), 0);
    EXPECT_EQ(tirskconf_parse_ip4_acl("1.2.3.4", nullptr, &mask), 0);
    ASSERT_EQ(tirskconf_parse_ip4_acl("192.168.43.0/24", &net, &mask), 1);
    EXPECT_EQ(tirskconf_ipv4_cmp(inet_addr("192.168.43.77"), 0xFFFFFFFF, net, mask), 0);
    EXPECT_NE(tirskconf_ipv4_cmp(inet_addr("192.168.44.1"), 0xFFFFFFFF, net, mask), 0);
    EXPECT_EQ(tirskconf_ipv4_cmp(inet_addr("8.8.8.8"), 0xFFFFFFFF, 0, 0), 0) << "/0 matches all";
}

TEST(NumList, ValuesRangesAndLimits)
{
    LogCapture log;
    uint32_t out[8] = {};
    EXPECT_EQ(tirskconf_parse_numlist2(0, "27, 113;282 \t 0,2147483647", 8, 0, 2147483647, 0, out), 5);
    EXPECT_EQ(std::vector<uint32_t>(out, out + 5), (std::vector<uint32_t>{27, 113, 282, 0, 2147483647}));
    EXPECT_EQ(tirskconf_parse_numlist2(0, " , ;", 8, 0, 10, 0, out), 0);
    EXPECT_EQ(log.text(), "");
    // The first bad item ends the list and is named in a warning.
    for (const char *bad : {"1,2,x,3", "1,2,2147483648", "1,2,-1", "1 2 3a", "1,2,0x10", "1,2,99999999999999999999"}) {
        log.clear();
        out[2] = 77;
        EXPECT_EQ(tirskconf_parse_numlist2(0, bad, 8, 0, 2147483647, 0, out), 2) << bad;
        EXPECT_EQ(out[2], 77u) << "nothing stored past the bad item";
        EXPECT_TRUE(log.text().starts_with("<4>")) << log.text();
    }
    EXPECT_EQ(tirskconf_parse_numlist2(0, "1,2,3,4", 3, 0, 10, 0, out), 3);
    EXPECT_TRUE(log.contains("more than 3")) << log.text();
    EXPECT_EQ(tirskconf_parse_numlist2(0, "-5 5", 3, -10, 10, 0, out), 2);
    EXPECT_EQ(int32_t(out[0]), -5);
    EXPECT_EQ(tirskconf_parse_numlist2(0, nullptr, 3, 0, 10, 0, out), 0);
}

TEST(GetAddr, OnlyAddressesOfThisMachine)
{
    const struct {
        const char *host;
        const char *addr; // null: refused, with a reason
    } cases[] = {{"*", "0.0.0.0"}, {"localhost", "127.0.0.1"}, {"127.0.0.9", "127.0.0.9"},
                 {"192.0.2.1", nullptr}, {"203.0.113.7", nullptr}, // TEST-NET: never configured here
                 {"", nullptr}, {"1.2.3", nullptr}, {"300.1.1.1", nullptr}, {"bad host", nullptr}};
    for (const auto &c : cases) {
        sockaddr_in sa[1];
        char err[200] = "untouched";
        EXPECT_EQ(tirskconf_getaddr(c.host, 0x1071, sa, 1, err, sizeof err), c.addr != nullptr) << c.host;
        if (c.addr)
            EXPECT_EQ(sa[0].sin_addr.s_addr, inet_addr(c.addr)) << c.host;
        else
            EXPECT_STRNE(err, "untouched") << "a reason is given for " << c.host;
    }
    // Without the local check any address is taken; a tiny err is cut safely.
    sockaddr_in sa[1];
    char tiny[4];
    EXPECT_EQ(tirskconf_getaddr("192.0.2.1", 0x0020, sa, 1, tiny, sizeof tiny), 1);
    EXPECT_EQ(tirskconf_getaddr("192.0.2.1", 0x1071, sa, 1, tiny, sizeof tiny), 0);
    EXPECT_STREQ(tiny, "not");
    EXPECT_EQ(tirskconf_getaddr("localhost", 0x1071, nullptr, 1, nullptr, 0), 0);
}
