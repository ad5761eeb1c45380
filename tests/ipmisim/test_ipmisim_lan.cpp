// VKT_LAN and VKT_BMCIP through the real library against ipmi_sim, compared with
// ipmitool's and FreeIPMI's reading of LAN channel 1; and an address change made with
// the library's bmc_SetIP, read back by ipmitool.
#include <dlfcn.h>

#include <algorithm>
#include <cctype>

#include "ipmisim_test.h"

using cimhost::Instance;
using ipmisim_test::IpmiSimTest;
namespace peers = testkit::peers;

namespace {

std::string upper(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(toupper(c)); });
    return s;
}

class Lan : public IpmiSimTest {
protected:
    Instance enumerateOne(const char* prefix) {
        cimhost::EnumResult r = so().enumerate(prefix);
        EXPECT_EQ(r.rc, CMPI_RC_OK);
        EXPECT_EQ(r.doneCount, 1);
        EXPECT_EQ(r.instances.size(), 1u) << prefix;
        return r.instances.empty() ? Instance{} : r.instances[0];
    }
    std::map<std::string, std::string> lanPrint() { return peers::parseColonList(ipmitool({"lan", "print", "1"}).out); }

    // An exported routine of the loaded provider library.
    template <typename Fn>
    Fn exported(const char* name) {
        so();
        void* lib = dlopen(VKT_PROVIDER_LIB, RTLD_NOW | RTLD_NOLOAD);
        void* sym = lib != nullptr ? dlsym(lib, name) : nullptr;
        if (lib != nullptr) dlclose(lib);
        return reinterpret_cast<Fn>(sym);
    }
};

TEST_F(Lan, AddressesMatchBothPeers) {
    Instance lan = enumerateOne("LANProvider");
    auto p = lanPrint();
    auto f = peers::parseConfigCheckout(freeipmi("ipmi-config", {"--checkout", "-S", "Lan_Conf"}).out)["Lan_Conf"];
    EXPECT_EQ(lan.path(), "varkolt/cimv2:VKT_LAN.deviceID=\"LAN\"");
    EXPECT_EQ(lan.get("VKT_IP_Address"), p["IP Address"]);
    EXPECT_EQ(lan.get("VKT_IP_Address"), f["IP_Address"]);
    EXPECT_EQ(lan.get("VKT_Subnet_Address"), p["Subnet Mask"]);
    EXPECT_EQ(lan.get("VKT_Subnet_Address"), f["Subnet_Mask"]);
    EXPECT_EQ(lan.get("VKT_Getway_IP_Address"), p["Default Gateway IP"]);
    EXPECT_EQ(lan.get("VKT_Getway_IP_Address"), f["Default_Gateway_IP_Address"]);
    // Upper-case hexadecimal, as FreeIPMI prints it; ipmitool prints lower case.
    EXPECT_EQ(lan.get("VKT_MAC_Address"), upper(p["MAC Address"]));
    EXPECT_EQ(lan.get("VKT_MAC_Address"), f["MAC_Address"]);
    EXPECT_EQ(p["IP Address Source"], "Static Address");
    EXPECT_EQ(lan.get("VKT_DHCP_Status"), "disabled");
    EXPECT_EQ(lan.get("VKT_IP_Address"), "192.0.2.10");
}

TEST_F(Lan, NoHostMacAddressesWithoutTheOemCommands) {
    // The host's MAC addresses come from OEM commands this BMC rejects: no numbered
    // property at all, in either class.
    for (const char* prefix : {"LANProvider", "BMCIPProvider"}) {
        Instance i = enumerateOne(prefix);
        for (const std::string& name : i.propertyNames())
            EXPECT_EQ(name.find("VKT_SYSTEM_MAC_Address"), std::string::npos) << prefix << ": " << name;
    }
}

TEST_F(Lan, BmcIpCarriesTheAddressPairOnly) {
    Instance ip = enumerateOne("BMCIPProvider");
    auto p = lanPrint();
    EXPECT_EQ(ip.path(), "varkolt/cimv2:VKT_BMCIP.deviceID=\"BMCIP\"");
    EXPECT_EQ(ip.propertyNames(), (std::vector<std::string>{"deviceID", "VKT_IP_Address", "VKT_MAC_Address"}));
    EXPECT_EQ(ip.get("VKT_IP_Address"), p["IP Address"]);
    EXPECT_EQ(ip.get("VKT_MAC_Address"), upper(p["MAC Address"]));
}

TEST_F(Lan, AnyAddressSourceButStaticIsEnabled) {
    // ipmi_sim refuses to change the address source over IPMI: it is changed where the
    // simulator keeps it, and read by the peers and by us.
    const std::pair<const char*, const char*> sources[] = {
        {"dhcp", "DHCP Address"}, {"bios", "BIOS Assigned Address"}, {"other", "Other"}, {"unknown", "Unspecified"}};
    for (auto [source, peerText] : sources) {
        ASSERT_TRUE(sim().setLanParameter("ip_addr_src", source));
        EXPECT_EQ(lanPrint()["IP Address Source"], peerText) << source;
        EXPECT_EQ(enumerateOne("LANProvider").get("VKT_DHCP_Status"), "enabled") << source;
    }
    ASSERT_TRUE(sim().setLanParameter("ip_addr_src", "static"));
    EXPECT_EQ(lanPrint()["IP Address Source"], "Static Address");
    EXPECT_EQ(enumerateOne("LANProvider").get("VKT_DHCP_Status"), "disabled");
}

TEST_F(Lan, SetIpIsRefusedWhileDhcpIsOn) {
    auto setIp = exported<int (*)(char*)>("bmc_SetIP");
    ASSERT_NE(setIp, nullptr);
    ASSERT_TRUE(sim().setLanParameter("ip_addr_src", "dhcp"));
    char text[] = "192.0.2.99";
    testkit::CaptureOutput err(2);
    int rc = setIp(text);
    std::string message = err.text();
    ASSERT_TRUE(sim().setLanParameter("ip_addr_src", "static"));
    EXPECT_EQ(rc, 11);
    EXPECT_EQ(message, "IP address can not be changed because DHCP option is enabled.\n");
    EXPECT_EQ(lanPrint()["IP Address"], "192.0.2.10");
}

TEST_F(Lan, SetIpIsAcceptedButNotKeptByThisBmc) {
    // bmc_SetIP sends one Set LAN Configuration Parameters and reads the address back
    // after six seconds. ipmi_sim holds a LAN change pending until a "commit write" of
    // the set-in-progress parameter, and a Get of the same parameter before that drops
    // it: the read-back shows the old address, so the routine reports a failure.
    auto setIp = exported<int (*)(char*)>("bmc_SetIP");
    ASSERT_NE(setIp, nullptr);
    link().clearLog();
    char text[] = "192.0.2.77";
    testkit::CaptureOutput out(1);
    testkit::CaptureOutput err(2);
    int rc = setIp(text);  // waits the BMC's six seconds, once
    std::string report = out.text();
    std::string message = err.text();
    EXPECT_EQ(rc, 11);
    EXPECT_EQ(report, "IP=192.0.2.10\n");
    EXPECT_EQ(message, "Failed to set IP address, the BMC did not apply the change\n");

    // The change went out as one Set command, the BMC accepted it, the read-back followed.
    std::vector<std::string> lanCommands;
    bool accepted = false;
    for (const auto& x : link().log()) {
        if (x.request.netFn != 0x0C) continue;
        lanCommands.push_back(x.request.toString());
        if (x.request.cmd == 0x01) accepted = x.response.cc == 0x00;
    }
    EXPECT_EQ(lanCommands, (std::vector<std::string>{"0C/02 01 04 00 00", "0C/01 01 03 C0 00 02 4D", "0C/02 01 03 00 00"}));
    EXPECT_TRUE(accepted);
    EXPECT_EQ(lanPrint()["IP Address"], "192.0.2.10");
    EXPECT_EQ(sim().lanState()["ip_addr"], "192.0.2.10");
}

TEST_F(Lan, AddressSourceChangeIsRefusedByThisBmc) {
    // ipmi_sim answers CCh (invalid data field) to any Set of the address source.
    auto setDhcp = exported<int (*)(int)>("bmc_SetDHCPStatus");
    ASSERT_NE(setDhcp, nullptr);
    testkit::CaptureOutput err(2);
    int rc = setDhcp(1);
    EXPECT_EQ(err.text(), "Failed to enable DHCP, Completion Code=CCh\n");
    EXPECT_EQ(rc, 11);
    EXPECT_EQ(lanPrint()["IP Address Source"], "Static Address");
}

}  // namespace
