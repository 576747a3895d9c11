#include "platform/CvIpAdapters.h"

#include <gtest/gtest.h>

namespace {

CvIpInterfaceInfo Interface(std::string name, unsigned index, uint32_t address, bool up = true,
                            bool loopback = false, bool broadcast = true) {
    CvIpInterfaceInfo info;
    info.name = std::move(name);
    info.index = index;
    info.up = up;
    info.loopback = loopback;
    info.hasBroadcast = broadcast;
    info.address = address;
    info.netmask = 0xFFFFFF00;
    info.broadcast = broadcast ? (address | 0xFF) : 0;
    return info;
}

std::vector<std::string> Names(const std::vector<CvIpAdapter>& adapters) {
    std::vector<std::string> names;
    for (const auto& adapter : adapters) {
        names.push_back(adapter.interfaceName + "=" + std::to_string(adapter.lana));
    }
    return names;
}

TEST(CvAdapterNumbering, KeepsOnlyUsableInterfacesNumberedByIndex) {
    CvAdapterNumbering numbering;
    auto adapters = numbering.Number(
        {Interface("lo", 1, 0x7F000001, true, true), Interface("eth1", 3, 0xC6120102),
         Interface("eth0", 2, 0xC6120002), Interface("down0", 4, 0xC6120202, false),
         Interface("tun0", 5, 0x0A000001, true, false, false),
         Interface("eth0", 2, 0xC6120003)},  // a second address of eth0 is ignored
        {});
    EXPECT_EQ(Names(adapters), (std::vector<std::string>{"eth0=0", "eth1=1"}));
    EXPECT_EQ(adapters[0].address, 0xC6120002u);
    EXPECT_EQ(adapters[0].broadcast, 0xC61200FFu);
}

TEST(CvAdapterNumbering, NumbersStayWhileOthersComeAndGo) {
    CvAdapterNumbering numbering;
    numbering.Number({Interface("eth0", 2, 0xC6120002), Interface("eth1", 3, 0xC6120102)}, {});
    auto adapters = numbering.Number({Interface("eth1", 3, 0xC6120102)}, {});
    EXPECT_EQ(Names(adapters), (std::vector<std::string>{"eth1=1"}));
    adapters =
        numbering.Number({Interface("wlan0", 9, 0xC6120202), Interface("eth0", 2, 0xC6120002),
                          Interface("eth1", 3, 0xC6120102)},
                         {});
    EXPECT_EQ(Names(adapters), (std::vector<std::string>{"eth0=0", "eth1=1", "wlan0=2"}));
}

TEST(CvAdapterNumbering, AllowedNamesRestrictTheSet) {
    CvAdapterNumbering numbering;
    auto adapters = numbering.Number(
        {Interface("eth0", 2, 0xC6120002), Interface("veth1", 3, 0xC6120102)}, {"veth1"});
    EXPECT_EQ(Names(adapters), (std::vector<std::string>{"veth1=0"}));
}

}  // namespace
