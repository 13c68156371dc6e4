// Address lists of the host library.
#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <string>

#include "harness.h"
#include "tirskconf.h"


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
