// Text and address routines of the host library.
#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <string>
#include <vector>

#include "harness.h"

using testsupport::LogCapture;
#include "tirskconf.h"

namespace {

std::vector<std::string> tokens(const char *text, const char *delims)
{
    std::vector<std::string> out;
    size_t len;
    const char *p = text;
    while ((p = tirskconf_str_get_next_token(p, delims, &len))) {
        out.emplace_back(p, len);
        p += len;
    }
    return out;
}

TEST(NextToken, SplitTrimAndKeepInnerBlanks)
{
    using V = std::vector<std::string>;
    EXPECT_EQ(tokens("localhost, 192.168.43.0/24 ,10.0.0.0/8", " \r\t;,"),
              (V{"localhost", "192.168.43.0/24", "10.0.0.0/8"}));
    EXPECT_EQ(tokens(" was alarms ; CASE OPENED ;\tBATTERY LOW ", "\r\t;,"),
              (V{"was alarms", "CASE OPENED", "BATTERY LOW"}));
    EXPECT_EQ(tokens(";;a;;  ;b;", "\r\t;,"), (V{"a", "b"}));
    EXPECT_EQ(tokens("", ","), V{});
    EXPECT_EQ(tokens(" ,;, ", " ;,"), V{});
    EXPECT_EQ(tokens("  whole text  ", nullptr), V{"whole text"});
    size_t len = 99;
    EXPECT_EQ(tirskconf_str_get_next_token(nullptr, ",", &len), nullptr);
    EXPECT_EQ(len, 0u);
    std::string big(100000, 'x');
    EXPECT_EQ(tokens(("a," + big + ",b").c_str(), ","), (V{"a", big, "b"}));
}

TEST(Ip4Acl, AddressesNamesAndPrefixes)
{
    uint32_t addr = 0, mask = 0;
    ASSERT_EQ(tirskconf_parse_ip4_acl("192.168.43.0/24", &addr, &mask), 1);
    EXPECT_EQ(addr, inet_addr("192.168.43.0"));
    EXPECT_EQ(mask, inet_addr("255.255.255.0"));
    ASSERT_EQ(tirskconf_parse_ip4_acl("10.1.2.3", &addr, &mask), 1);
    EXPECT_EQ(addr, inet_addr("10.1.2.3"));
    EXPECT_EQ(mask, 0xFFFFFFFFu);
    ASSERT_EQ(tirskconf_parse_ip4_acl("0.0.0.0/0", &addr, &mask), 1);
    EXPECT_EQ(mask, 0u);
    ASSERT_EQ(tirskconf_parse_ip4_acl("10.0.0.0/8", &addr, &mask), 1);
    EXPECT_EQ(mask, inet_addr("255.0.0.0"));
    ASSERT_EQ(tirskconf_parse_ip4_acl("1.2.3.4/32", &addr, &mask), 1);
    EXPECT_EQ(mask, 0xFFFFFFFFu);
    ASSERT_EQ(tirskconf_parse_ip4_acl("localhost", &addr, &mask), 1);
    EXPECT_EQ(addr, inet_addr("127.0.0.1"));
    ASSERT_EQ(tirskconf_parse_ip4_acl("localhost/8", &addr, &mask), 1);
    EXPECT_EQ(mask, inet_addr("255.0.0.0"));
}

TEST(Ip4Acl, MalformedInputLeavesOutputsAlone)
{
    std::string long_name(300, 'a');
    for (const char *bad : {"10.0.0.0/33", "1.2.3", "300.1.1.1", "1.2.3.4.5", "10.0.0.0/",
                            "10.0.0.0/-1", "10.0.0.0/8x", "10.0.0.0/008", "/8", "", "0x7f.1",
                            "127.1", "1.2.3.4/8/8", "bad host!", "-lead", "01.2.3.4",
                            long_name.c_str()}) {
        uint32_t addr = 0xAAAAAAAA, mask = 0x55555555;
        EXPECT_EQ(tirskconf_parse_ip4_acl(bad, &addr, &mask), 0) << bad;
        EXPECT_EQ(addr, 0xAAAAAAAAu) << bad;
        EXPECT_EQ(mask, 0x55555555u) << bad;
    }
    uint32_t a, m;
    EXPECT_EQ(tirskconf_parse_ip4_acl(nullptr, &a, &m), 0);
    EXPECT_EQ(tirskconf_parse_ip4_acl("1.2.3.4", nullptr, &m), 0);
}

TEST(Ip4Cmp, NetworkMembership)
{
    uint32_t net, mask;
    ASSERT_EQ(tirskconf_parse_ip4_acl("192.168.43.0/24", &net, &mask), 1);
    EXPECT_EQ(tirskconf_ipv4_cmp(inet_addr("192.168.43.77"), 0xFFFFFFFF, net, mask), 0);
    EXPECT_NE(tirskconf_ipv4_cmp(inet_addr("192.168.44.1"), 0xFFFFFFFF, net, mask), 0);
    EXPECT_EQ(tirskconf_ipv4_cmp(inet_addr("8.8.8.8"), 0xFFFFFFFF, 0, 0), 0) << "/0 matches all";
    EXPECT_NE(tirskconf_ipv4_cmp(inet_addr("10.0.0.2"), 0xFFFFFFFF, inet_addr("10.0.0.1"),
                                 0xFFFFFFFF),
              0);
}

TEST(NumList, ValuesRangesAndLimits)
{
    LogCapture log;
    uint32_t out[8] = {};
    EXPECT_EQ(tirskconf_parse_numlist2(0, "27, 113;282 \t 0,2147483647", 8, 0, 2147483647, 0, out),
              5);
    EXPECT_EQ(std::vector<uint32_t>(out, out + 5),
              (std::vector<uint32_t>{27, 113, 282, 0, 2147483647}));
    EXPECT_EQ(log.text(), "");

    EXPECT_EQ(tirskconf_parse_numlist2(0, "", 8, 0, 10, 0, out), 0);
    EXPECT_EQ(tirskconf_parse_numlist2(0, " , ;", 8, 0, 10, 0, out), 0);
    EXPECT_EQ(log.text(), "");

    // The first bad item ends the list and is named in a warning.
    for (const char *bad : {"1,2,x,3", "1,2,2147483648", "1,2,-1", "1 2 3a", "1,2,0x10",
                            "1,2,99999999999999999999"}) {
        log.clear();
        out[2] = 77;
        EXPECT_EQ(tirskconf_parse_numlist2(0, bad, 8, 0, 2147483647, 0, out), 2) << bad;
        EXPECT_EQ(out[2], 77u) << "nothing stored past the bad item";
        EXPECT_TRUE(log.text().starts_with("<4>")) << log.text();
    }
    log.clear();
    EXPECT_EQ(tirskconf_parse_numlist2(0, "1,2,3,4", 3, 0, 10, 0, out), 3);
    EXPECT_NE(log.text().find("more than 3"), std::string::npos) << log.text();
    EXPECT_EQ(tirskconf_parse_numlist2(0, "-5 5", 3, -10, 10, 0, out), 2);
    EXPECT_EQ(int32_t(out[0]), -5);
    EXPECT_EQ(tirskconf_parse_numlist2(0, nullptr, 3, 0, 10, 0, out), 0);
    EXPECT_EQ(tirskconf_parse_numlist2(0, "1", 0, 0, 10, 0, out), 0);
}

TEST(GetAddr, OnlyAddressesOfThisMachine)
{
    sockaddr_in sa[2];
    char err[200];
    strcpy(err, "non local");
    ASSERT_EQ(tirskconf_getaddr("*", 0x1071, sa, 1, err, sizeof err), 1);
    EXPECT_EQ(sa[0].sin_family, AF_INET);
    EXPECT_EQ(sa[0].sin_addr.s_addr, 0u);

    ASSERT_EQ(tirskconf_getaddr("localhost", 0x1071, sa, 1, err, sizeof err), 1);
    EXPECT_EQ(sa[0].sin_addr.s_addr, inet_addr("127.0.0.1"));
    ASSERT_EQ(tirskconf_getaddr("127.0.0.9", 0x1071, sa, 1, err, sizeof err), 1);
    EXPECT_EQ(sa[0].sin_addr.s_addr, inet_addr("127.0.0.9"));

    // TEST-NET addresses are never configured here.
    for (const char *host : {"192.0.2.1", "203.0.113.7"}) {
        strcpy(err, "non local");
        EXPECT_EQ(tirskconf_getaddr(host, 0x1071, sa, 1, err, sizeof err), 0) << host;
        EXPECT_STREQ(err, "not an address of this machine");
    }
    for (const char *host : {"", "1.2.3", "300.1.1.1", "bad host"}) {
        strcpy(err, "non local");
        EXPECT_EQ(tirskconf_getaddr(host, 0x1071, sa, 1, err, sizeof err), 0) << host;
        EXPECT_STRNE(err, "non local") << "a reason is given for " << host;
    }
    // Without the local check any address is taken; a tiny err is cut safely.
    char tiny[4];
    EXPECT_EQ(tirskconf_getaddr("192.0.2.1", 0x0020, sa, 1, tiny, sizeof tiny), 1);
    EXPECT_EQ(tirskconf_getaddr("192.0.2.1", 0x1071, sa, 1, tiny, sizeof tiny), 0);
    EXPECT_STREQ(tiny, "not");
    EXPECT_EQ(tirskconf_getaddr("localhost", 0x1071, nullptr, 1, nullptr, 0), 0);
}

} // namespace
