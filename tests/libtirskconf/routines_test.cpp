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

TEST(ParseBool, TrueWordsInAnyCaseElseFalse)
{
    for (const char *yes : {"Yes", "yes", "YES", "y", "true", "TRUE", "on", "On", "1", " yes "})
        EXPECT_EQ(tirskconf_parse_bool(yes), 1) << yes;
    for (const char *no : {"no", "0", "off", "false", "", "yess", "2", "ye", "ok"})
        EXPECT_EQ(tirskconf_parse_bool(no), 0) << no;
    EXPECT_EQ(tirskconf_parse_bool(nullptr), 0);
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

TEST(GetQ, Geometry)
{
    uint32_t q[2] = {1, 2};
    EXPECT_EQ(tirskconf_get_q("720x576", 1, 0, 0, q), 1);
    EXPECT_EQ(q[0], 720u);
    EXPECT_EQ(q[1], 576u);
    EXPECT_NE(tirskconf_get_q(" 1920 X 1080 ", 1, 0, 0, q), 0);
    EXPECT_EQ(q[1], 1080u);
    EXPECT_NE(tirskconf_get_q("640*480", 1, 0, 0, q), 0);
    EXPECT_EQ(q[0], 640u);
    for (const char *bad : {"0x576", "720x0", "720", "x576", "720x", "-1x5", "720:576", "7a0x5",
                            "4294967296x1", "720x576x3", ""}) {
        uint32_t r[2] = {11, 22};
        EXPECT_EQ(tirskconf_get_q(bad, 1, 0, 0, r), 0) << bad;
        EXPECT_EQ(r[0], 11u) << bad;
    }
    EXPECT_NE(tirskconf_get_q("0x0", 0, 0, 0, q), 0) << "zero allowed without the check";
    EXPECT_EQ(tirskconf_get_q("4000x100", 1, 3840, 0, q), 0);
    EXPECT_EQ(tirskconf_get_q(nullptr, 1, 0, 0, q), 0);
}

TEST(NameTables, HashAndDictLookups)
{
    const tirskconf_hash_row schemes[] = {
        {1, "file", 4}, {2, "http", 4}, {3, "ftp", 3}, {0, nullptr, 0}};
    EXPECT_EQ(tirskconf_hash_find(schemes, "http", 0), &schemes[1]);
    EXPECT_EQ(tirskconf_hash_find(schemes, "ftp", 0), &schemes[2]);
    EXPECT_EQ(tirskconf_hash_find(schemes, "HTTP", 0), nullptr);
    EXPECT_EQ(tirskconf_hash_find(schemes, "HTTP", TIRSKCONF_FIND_NOCASE), &schemes[1]);
    EXPECT_EQ(tirskconf_hash_find(schemes, "htt", 0), nullptr);
    EXPECT_EQ(tirskconf_hash_find(schemes, "https", 0), nullptr);
    EXPECT_EQ(tirskconf_hash_find(schemes, "", 0), nullptr);
    EXPECT_EQ(tirskconf_hash_find(schemes, nullptr, 0), nullptr);

    const tirskconf_dict_row modes[] = {
        {"none", 0, ""}, {"slave", 1, ""}, {"autor", 3, ""}, {nullptr, 0, nullptr}};
    EXPECT_EQ(tirskconf_dict_find(modes, "Slave", 0), &modes[1]);
    EXPECT_EQ(tirskconf_dict_find(modes, "AUTOR", 0), &modes[2]);
    EXPECT_EQ(tirskconf_dict_find(modes, "auto", 0), nullptr);
    EXPECT_EQ(tirskconf_dict_find(modes, "autorr", 0), nullptr);
    EXPECT_EQ(tirskconf_dict_find(nullptr, "none", 0), nullptr);
}

TEST(FlagSets, KeywordSets)
{
    const tirskconf_dict_row transports[] = {
        {"udp", 1, "rtsp"}, {"tcp", 4, "rtspt"}, {"udp-mcast", 2, "rtspu"}, {nullptr, 0, nullptr}};
    uint32_t v = 0;
    EXPECT_EQ(tirskconf_parse_flags(transports, "tcp", 0, &v), 1);
    EXPECT_EQ(v, 4u);
    EXPECT_EQ(tirskconf_parse_flags(transports, "tcp+udp", 0, &v), 1);
    EXPECT_EQ(v, 5u);
    EXPECT_EQ(tirskconf_parse_flags(transports, " UDP | udp-mcast , tcp ", 0, &v), 1);
    EXPECT_EQ(v, 7u);
    for (const char *bad : {"", "  ", "tcp+", "+tcp", "tcp++udp", "tcp+sctp", "tc", "tcp udp"}) {
        v = 99;
        EXPECT_EQ(tirskconf_parse_flags(transports, bad, 0, &v), 0) << bad;
        EXPECT_EQ(v, 99u) << bad;
    }
    EXPECT_EQ(tirskconf_parse_flags(transports, "tcp", 0, nullptr), 0);
}

TEST(FlagSets, NamesOfSetBits)
{
    const tirskconf_flag_row states[] = {{0x1, "PM"}, {0x2, "PA"}, {0x4, "Fs"},
                                         {0x8, "Se"}, {0x400, "Rc"}, {0, nullptr}};
    char buf[50];
    EXPECT_STREQ(tirskconf_u32flag2str_r(states, 0x1 | 0x4 | 0x400, buf, sizeof buf), "PM,Fs,Rc");
    EXPECT_STREQ(tirskconf_u32flag2str_r(states, 0, buf, sizeof buf), "");
    EXPECT_STREQ(tirskconf_u32flag2str_r(states, 0x800, buf, sizeof buf), "");
    EXPECT_STREQ(tirskconf_u32flag2str_r(states, 0xFFFFFFFF, buf, sizeof buf), "PM,PA,Fs,Se,Rc");
    // Small buffers: whole names only, never past the end.
    char small[10];
    memset(small, '#', sizeof small);
    EXPECT_STREQ(tirskconf_u32flag2str_r(states, 0xF, small, 9), "PM,PA...");
    EXPECT_EQ(small[9], '#');
    char two[3];
    EXPECT_STREQ(tirskconf_u32flag2str_r(states, 0xF, two, sizeof two), "PM");
    EXPECT_EQ(tirskconf_u32flag2str_r(states, 0xF, nullptr, 0), nullptr);
}

} // namespace
