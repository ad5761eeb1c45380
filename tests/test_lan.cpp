// LAN configuration queries, the host MAC addresses, the address texts and the VKT_LAN and
// VKT_BMCIP providers, against the simulated BMC.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bounded.h"
#include "cimhost.h"
#include "lan_user_helpers.h"

using cimhost::EnumResult;
using cimhost::Host;
using testkit::Bytes;
using testkit::IpmiRequest;
using testkit::IpmiResponse;

namespace {

// Matches Get (cmd 02h) or Set (01h) LAN Configuration Parameters of one selector.
testkit::SimBmc::Predicate lanParam(uint8_t cmd, uint8_t selector) {
    return [cmd, selector](const IpmiRequest& r) { return r.is(0x0C, cmd) && r.data.size() > 1 && r.data[1] == selector; };
}

class Lan : public lantest::LanUserTest {
protected:
    void SetUp() override {
        LanUserTest::SetUp();
        testkit::LanModel& lan = sim().lan;
        lan.ip = {10, 0, 0, 255};
        lan.mac = {0x02, 0x1A, 0x2B, 0xAB, 0xCD, 0xEF};
        lan.gateway = {10, 0, 0, 1};
        lan.subnetMask = {255, 255, 255, 0};
        lan.addressSource = 0x01;
    }
};

// ---- LAN settings ---------------------------------------------------------------------------

TEST_F(Lan, SettingsAreReadWithStandardRequestsAndFormatted) {
    EXPECT_EQ(getLanSetting(), 0);
    EXPECT_STREQ(ip_addr, "10.0.0.255");
    EXPECT_STREQ(mac_addr, "02:1A:2B:AB:CD:EF");
    EXPECT_STREQ(gwip_addr, "10.0.0.1");
    EXPECT_STREQ(subnetip_addr, "255.255.255.0");
    EXPECT_STREQ(dhcpStatus, "disabled");
    EXPECT_EQ(commandTexts(), (std::vector<std::string>{"0C/02 01 03 00 00", "0C/02 01 05 00 00", "0C/02 01 0C 00 00",
                                                        "0C/02 01 06 00 00", "0C/02 01 04 00 00"}));
}

TEST_F(Lan, EveryAddressSourceButStaticCountsAsEnabled) {
    const struct {
        uint8_t source;
        const char* text;
        int status;
    } cases[] = {{0x00, "enabled", 1}, {0x01, "disabled", 0}, {0x02, "enabled", 1},
                 {0x03, "enabled", 1}, {0x04, "enabled", 1}};
    for (const auto& c : cases) {
        sim().lan.addressSource = c.source;
        EXPECT_EQ(getLanSetting(), 0);
        EXPECT_STREQ(dhcpStatus, c.text) << int(c.source);
        int status = -1;
        EXPECT_EQ(getDHCPStatus(&status), 0);
        EXPECT_EQ(status, c.status) << int(c.source);
    }
}

TEST_F(Lan, ARejectedQueryLeavesOnlyItsOwnBuffer) {
    sim().lan.getFailures[0x03] = 0xC1;
    EXPECT_EQ(getLanSetting(), 0);  // the address queries' codes are not examined
    EXPECT_STREQ(ip_addr, "");
    EXPECT_STREQ(mac_addr, "02:1A:2B:AB:CD:EF");
    EXPECT_STREQ(gwip_addr, "10.0.0.1");
    EXPECT_STREQ(subnetip_addr, "255.255.255.0");
    EXPECT_STREQ(dhcpStatus, "disabled");

    // A buffer filled earlier keeps that text while its query fails.
    sim().lan.getFailures.clear();
    getLanSetting();
    sim().lan.ip = {192, 0, 2, 99};
    sim().lan.mac = {0, 0, 0, 0, 0, 1};
    sim().lan.getFailures[0x03] = 0xD5;
    getLanSetting();
    EXPECT_STREQ(ip_addr, "10.0.0.255");
    EXPECT_STREQ(mac_addr, "00:00:00:00:00:01");
}

TEST_F(Lan, FailedSourceQueryIsReturnedAndKeepsTheOldStatus) {
    getLanSetting();
    sim().lan.addressSource = 0x02;
    sim().lan.getFailures[0x04] = 0xC3;
    EXPECT_EQ(getLanSetting(), 0xC3);
    EXPECT_STREQ(dhcpStatus, "disabled");
    int status = 7;
    EXPECT_EQ(getDHCPStatus(&status), 0xC3);
    EXPECT_EQ(status, 7);
}

TEST_F(Lan, ShortAnswersReadMissingBytesAsZero) {
    bmc().inject(lanParam(0x02, 0x03), IpmiResponse::ok({0x11, 192, 0}), 1);
    bmc().inject(lanParam(0x02, 0x05), IpmiResponse::ok({0x11}), 1);
    bmc().inject(lanParam(0x02, 0x04), IpmiResponse::ok({0x11}), 1);  // source 00h: unspecified
    getLanSetting();
    EXPECT_STREQ(ip_addr, "192.0.0.0");
    EXPECT_STREQ(mac_addr, "00:00:00:00:00:00");
    EXPECT_STREQ(dhcpStatus, "enabled");
}

TEST_F(Lan, VlanIsReadFromItsTwoBytes) {
    sim().lan.vlanId = 0xFFF;
    sim().lan.vlanEnabled = true;
    EXPECT_EQ(getVLan(), 0);
    EXPECT_EQ(vLanStatus, 1);
    EXPECT_EQ(vLanTag, 4095);
    bmc().inject(lanParam(0x02, 0x14), IpmiResponse::ok({0x11, 0x64, 0x70}), 1);  // reserved bits only
    EXPECT_EQ(getVLan(), 0);
    EXPECT_EQ(vLanStatus, 0);
    EXPECT_EQ(vLanTag, 100);
    bmc().failNext(0x0C, 0x02, 0x80);
    EXPECT_EQ(getVLan(), 0x80);
    EXPECT_EQ(vLanTag, 100);
}

// ---- host MAC addresses ---------------------------------------------------------------------

TEST_F(Lan, ConsecutiveNicPairNeedsNoListCommand) {
    sim().oem.nicLayout = 0x0A;  // low bits 2
    const uint8_t mac[6] = {0x3C, 0xEC, 0xEF, 0x10, 0x20, 0x30};
    std::copy(mac, mac + 6, sim().oem.hostMac);
    EXPECT_EQ(getSystemMacAddress(), 0);
    EXPECT_STREQ(mac_list[0], "3C:EC:EF:10:20:30");
    EXPECT_STREQ(mac_list[1], "3C:EC:EF:10:20:31");
    EXPECT_STREQ(mac_list[2], "");
    EXPECT_EQ(bmc().count(0x30, 0x9F), 0u);
    EXPECT_EQ(bmc().count(0x30, 0x21), 1u);
}

TEST_F(Lan, SecondNicOfALastByteFFCarriesIntoTheNextByte) {
    sim().oem.nicLayout = 0x02;
    const uint8_t mac[6] = {0x3C, 0xEC, 0xEF, 0x10, 0x12, 0xFF};
    std::copy(mac, mac + 6, sim().oem.hostMac);
    getSystemMacAddress();
    EXPECT_STREQ(mac_list[1], "3C:EC:EF:10:13:00");

    const uint8_t top[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    std::copy(top, top + 6, sim().oem.hostMac);
    getSystemMacAddress();
    EXPECT_STREQ(mac_list[0], "FF:FF:FF:FF:FF:FF");
    EXPECT_STREQ(mac_list[1], "00:00:00:00:00:00");
}

TEST_F(Lan, ListedAddressesFollowTheFirstOne) {
    sim().oem.nicLayout = 0x04;
    sim().lan.hostMacList = {{0, 1, 2, 3, 4, 5}, {0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF}, {0x10, 0x20, 0x30, 0x40, 0x50, 0x60}};
    EXPECT_EQ(getSystemMacAddress(), 0);
    EXPECT_STREQ(mac_list[0], "3C:EC:EF:10:20:30");
    EXPECT_STREQ(mac_list[1], "00:01:02:03:04:05");
    EXPECT_STREQ(mac_list[2], "AA:BB:CC:DD:EE:FF");
    EXPECT_STREQ(mac_list[3], "10:20:30:40:50:60");
    EXPECT_STREQ(mac_list[4], "");
    EXPECT_EQ(commandTexts(), (std::vector<std::string>{"30/21", "30/9F"}));
}

TEST_F(Lan, TooLongListIsCutToTheTable) {
    sim().oem.nicLayout = 0x00;
    for (uint8_t i = 0; i < 25; ++i) sim().lan.hostMacList.push_back({0x02, 0, 0, 0, 0, i});
    getSystemMacAddress();  // 25 addresses do not even fit one answer: 20 arrive
    EXPECT_STREQ(mac_list[1], "02:00:00:00:00:00");
    EXPECT_STREQ(mac_list[19], "02:00:00:00:00:12");  // entry 20 holds the 19th address

    // A count larger than the addresses that follow takes only the whole ones.
    lantest::clearLibraryTables();
    sim().lan.macListAnswer = Bytes{5, 1, 1, 1, 1, 1, 1, 2, 2, 2, 2, 2, 2, 3, 3, 3};
    getSystemMacAddress();
    EXPECT_STREQ(mac_list[1], "01:01:01:01:01:01");
    EXPECT_STREQ(mac_list[2], "02:02:02:02:02:02");
    EXPECT_STREQ(mac_list[3], "");
}

TEST_F(Lan, FailedListCommandWritesNothingAndIsReturned) {
    sim().oem.nicLayout = 0x00;
    bmc().failAlways(0x30, 0x9F, 0xC1);
    EXPECT_EQ(getSystemMacAddress(), 0xC1);
    EXPECT_STREQ(mac_list[0], "3C:EC:EF:10:20:30");
    EXPECT_STREQ(mac_list[1], "");

    // Nor is a failed system information command followed by anything.
    bmc().clearLog();
    std::string before = mac_list[0];
    bmc().failAlways(0x30, 0x21, 0xD5);
    EXPECT_EQ(getSystemMacAddress(), 0xD5);
    EXPECT_EQ(mac_list[0], before);
    EXPECT_EQ(bmc().count(0x30, 0x9F), 0u);
}

// ---- address texts --------------------------------------------------------------------------

TEST(AddressText, IpTextsAreCheckedAndReadLeniently) {
    struct Case {
        const char* text;
        int result;
        Bytes record;
    };
    const Case cases[] = {
        {"192.168.1.5", 0, {192, 168, 1, 5}},
        {"192.168..1.5", 0, {192, 168, 1, 5}},   // an empty piece is skipped
        {"10.0.0.1.7", 0, {10, 0, 0, 1}},        // pieces after the fourth are ignored
        {".255.255.255.0.", 0, {255, 255, 255, 0}},
        {"0000000000001.2.3.4", 0, {1, 2, 3, 4}},
        {"192.168.1.300", 1, {}},
        {"192.168.1", 1, {}},
        {"4294967297.1.1.1", 1, {}},  // would wrap to 1 in 32 bits
        {"99999999999999999999.1.1.1", 1, {}},
        {"256.0.0.0", 1, {}},
        {"192.168.1.5 ", 1, {}},
        {"192,168,1,5", 1, {}},
        {"-1.0.0.0", 1, {}},
        {"", 1, {}},
        {"...", 1, {}},
    };
    for (const Case& c : cases) {
        BYTE record[4] = {0xEE, 0xEE, 0xEE, 0xEE};
        EXPECT_EQ(ip_addr2ip_record(c.text, record), c.result) << c.text;
        if (c.result == 0) {
            EXPECT_EQ(Bytes(record, record + 4), c.record) << c.text;
        }
    }
    BYTE record[4];
    EXPECT_EQ(ip_addr2ip_record(nullptr, record), 1);
}

TEST(AddressText, ParsingLeavesTheCallersTextAlone) {
    char text[] = "192.168..1.5";
    BYTE record[4];
    EXPECT_EQ(ip_addr2ip_record(text, record), 0);
    EXPECT_STREQ(text, "192.168..1.5");
    char mac[] = "00:1a:2B:3c:4D:5e";
    BYTE macRecord[6];
    EXPECT_EQ(mac_addr2mac_record(mac, macRecord), 0);
    EXPECT_STREQ(mac, "00:1a:2B:3c:4D:5e");
}

TEST(AddressText, MacTextsWithAndWithoutColons) {
    const Bytes expected = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
    for (const char* ok : {"00:1a:2B:3c:4D:5e", "001A2B3C4D5E", "001a2b3c4d5e",
                           "001A2B3C4D5E12345" /* 17 digits: the last five are not read */,
                           "00:1A:2B:3C:4D5E:" /* nor is anything after the twelfth digit */}) {
        BYTE record[6] = {};
        EXPECT_EQ(mac_addr2mac_record(ok, record), 0) << ok;
        EXPECT_EQ(Bytes(record, record + 6), expected) << ok;
    }
    for (const char* bad : {"00-1A-2B-3C-4D-5E", "00:1A:2B:3C4", "00:1A:2B:3C:4D:5", "00:1A:2B:3C:4D:5E:",
                            "001A2B3C4D5", "001A2B3C4D5E0", "00:1A:2B:3C:4D:5G", "0:01A:2B:3C:4D:5E",
                            "001A2B3C4D:E", "", " 00:1A:2B:3C:4D:5E"}) {
        BYTE record[6] = {};
        EXPECT_EQ(mac_addr2mac_record(bad, record), 1) << bad;
    }
    BYTE record[6];
    EXPECT_EQ(mac_addr2mac_record(nullptr, record), 1);
}

TEST(AddressText, RecordsAreFormattedWhole) {
    IpText ip;
    const BYTE broadcast[4] = {255, 255, 255, 255};
    ip_record2ip_addr(broadcast, ip);
    EXPECT_STREQ(ip, "255.255.255.255");
    MacText mac;
    const BYTE record[6] = {0x02, 0x1A, 0x2B, 0xAB, 0xCD, 0xEF};
    mac_record2mac_addr(record, mac);
    EXPECT_STREQ(mac, "02:1A:2B:AB:CD:EF");
}

// ---- providers ------------------------------------------------------------------------------

class LanProviders : public Lan {
protected:
    void SetUp() override {
        Lan::SetUp();
        host_ = Host::inProcess();
    }
    std::unique_ptr<Host> host_;
};

std::vector<std::string> lanFixed = {"VKT_IP_Address", "VKT_MAC_Address", "VKT_Getway_IP_Address",
                                     "VKT_Subnet_Address", "VKT_DHCP_Status"};

TEST_F(LanProviders, LanPublishesTheSettingsAndTheFilledMacEntries) {
    sim().oem.nicLayout = 0x03;
    sim().lan.hostMacList = {{0x3C, 0xEC, 0xEF, 0x10, 0x20, 0x41}, {0x3C, 0xEC, 0xEF, 0x10, 0x20, 0x42}};
    EnumResult r = host_->enumerate("LANProvider");
    EXPECT_EQ(r.rc, CMPI_RC_OK);
    EXPECT_EQ(r.doneCount, 1);
    ASSERT_EQ(r.instances.size(), 1u);
    const cimhost::Instance& inst = r.instances[0];
    EXPECT_EQ(inst.path(), "varkolt/cimv2:VKT_LAN.deviceID=\"LAN\"");
    std::vector<std::string> names = {"deviceID"};
    names.insert(names.end(), lanFixed.begin(), lanFixed.end());
    for (const char* n : {"VKT_SYSTEM_MAC_Address1", "VKT_SYSTEM_MAC_Address2", "VKT_SYSTEM_MAC_Address3"})
        names.push_back(n);
    EXPECT_EQ(inst.propertyNames(), names);
    EXPECT_EQ(inst.get("VKT_IP_Address"), "10.0.0.255");
    EXPECT_EQ(inst.get("VKT_MAC_Address"), "02:1A:2B:AB:CD:EF");
    EXPECT_EQ(inst.get("VKT_Getway_IP_Address"), "10.0.0.1");
    EXPECT_EQ(inst.get("VKT_Subnet_Address"), "255.255.255.0");
    EXPECT_EQ(inst.get("VKT_DHCP_Status"), "disabled");
    EXPECT_EQ(inst.get("VKT_SYSTEM_MAC_Address1"), "3C:EC:EF:10:20:30");
    EXPECT_EQ(inst.get("VKT_SYSTEM_MAC_Address3"), "3C:EC:EF:10:20:42");
}

TEST_F(LanProviders, BmcIpCarriesNoGatewayMaskOrSource) {
    EnumResult r = host_->enumerate("BMCIPProvider");
    ASSERT_EQ(r.instances.size(), 1u);
    EXPECT_EQ(r.doneCount, 1);
    const cimhost::Instance& inst = r.instances[0];
    EXPECT_EQ(inst.path(), "varkolt/cimv2:VKT_BMCIP.deviceID=\"BMCIP\"");
    EXPECT_EQ(inst.propertyNames(), (std::vector<std::string>{"deviceID", "VKT_IP_Address", "VKT_MAC_Address",
                                                              "VKT_SYSTEM_MAC_Address1", "VKT_SYSTEM_MAC_Address2"}));
    EXPECT_EQ(inst.get("deviceID"), "BMCIP");
    EXPECT_EQ(inst.get("VKT_IP_Address"), "10.0.0.255");
    EXPECT_EQ(inst.get("VKT_SYSTEM_MAC_Address2"), "3C:EC:EF:10:20:31");
}

TEST_F(LanProviders, NumberingFollowsTheEntriesWithGaps) {
    bmc().failAlways(0x30, 0x21, 0xC1);  // the table is published as it stands
    vkt::copyText(mac_list[0], "02:00:00:00:00:01");
    vkt::copyText(mac_list[4], "02:00:00:00:00:05");
    vkt::copyText(mac_list[19], "02:00:00:00:00:20");
    for (const char* provider : {"LANProvider", "BMCIPProvider"}) {
        const cimhost::Instance inst = host_->enumerate(provider).instances.at(0);
        EXPECT_TRUE(inst.has("VKT_SYSTEM_MAC_Address1")) << provider;
        EXPECT_FALSE(inst.has("VKT_SYSTEM_MAC_Address2")) << provider;
        EXPECT_EQ(inst.get("VKT_SYSTEM_MAC_Address5"), "02:00:00:00:00:05") << provider;
        EXPECT_EQ(inst.get("VKT_SYSTEM_MAC_Address20"), "02:00:00:00:00:20") << provider;
        EXPECT_FALSE(inst.has("VKT_SYSTEM_MAC_Address21")) << provider;
    }
}

TEST_F(LanProviders, EntriesOfAnEarlierLongerListArePublishedAgain) {
    sim().oem.nicLayout = 0x04;
    sim().lan.hostMacList = {{2, 0, 0, 0, 0, 2}, {2, 0, 0, 0, 0, 3}, {2, 0, 0, 0, 0, 4}};
    host_->enumerate("LANProvider");
    sim().lan.hostMacList = {{2, 0, 0, 0, 0, 9}};
    const cimhost::Instance inst = host_->enumerate("LANProvider").instances.at(0);
    EXPECT_EQ(inst.get("VKT_SYSTEM_MAC_Address2"), "02:00:00:00:00:09");
    EXPECT_EQ(inst.get("VKT_SYSTEM_MAC_Address3"), "02:00:00:00:00:03");
    EXPECT_EQ(inst.get("VKT_SYSTEM_MAC_Address4"), "02:00:00:00:00:04");
}

TEST_F(LanProviders, ABmcThatRejectsEverythingGivesEmptyTexts) {
    bmc().inject([](const IpmiRequest& r) { return r.netFn == 0x0C || r.netFn == 0x30; }, IpmiResponse::error(0xC1), -1);
    EnumResult r = host_->enumerate("LANProvider");
    EXPECT_EQ(r.rc, CMPI_RC_OK);
    EXPECT_EQ(r.doneCount, 1);
    ASSERT_EQ(r.instances.size(), 1u);
    std::vector<std::string> names = {"deviceID"};
    names.insert(names.end(), lanFixed.begin(), lanFixed.end());
    EXPECT_EQ(r.instances[0].propertyNames(), names);
    for (const std::string& name : lanFixed) EXPECT_EQ(r.instances[0].get(name), "") << name;
}

TEST_F(LanProviders, PropertyFilterKeepsTheRequestedProperties) {
    const char* wanted[] = {"VKT_DHCP_Status", "VKT_SYSTEM_MAC_Address2", nullptr};
    const cimhost::Instance inst = host_->enumerate("LANProvider", wanted).instances.at(0);
    EXPECT_EQ(inst.propertyNames(), (std::vector<std::string>{"VKT_DHCP_Status", "VKT_SYSTEM_MAC_Address2"}));
}

TEST_F(LanProviders, DemoServerLooksReal) {
    useServer(testkit::makeScenario("demo"));
    const cimhost::Instance inst = host_->enumerate("LANProvider").instances.at(0);
    EXPECT_EQ(inst.get("VKT_IP_Address"), "192.0.2.10");
    EXPECT_EQ(inst.get("VKT_DHCP_Status"), "disabled");
    EXPECT_EQ(inst.get("VKT_SYSTEM_MAC_Address4"), "00:00:5E:00:53:23");
}

}  // namespace
