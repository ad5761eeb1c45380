// The exported routines that report and change the BMC's LAN configuration: request bytes,
// messages, result codes, the settle wait and the firmware family that restarts.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <string>
#include <vector>

#include "cimhost.h"
#include "lan_user_helpers.h"
#include "progress_recorder.h"
#include "varkolt/bmc.h"

using lantest::capture;
using lantest::Outcome;
using testkit::IpmiRequest;
using testkit::IpmiResponse;

namespace {

class LanChanges : public lantest::LanUserTest {
protected:
    void SetUp() override {
        LanUserTest::SetUp();
        testkit::LanModel& lan = sim().lan;
        lan.ip = {192, 0, 2, 10};
        lan.subnetMask = {255, 255, 255, 0};
        lan.gateway = {192, 0, 2, 1};
        lan.mac = {0x00, 0x00, 0x5E, 0x00, 0x53, 0x0A};
        lan.addressSource = 0x01;
        sim().device.systemGuid = testkit::guidWithSignature("3101MS");
    }
};

// ---- address changes ------------------------------------------------------------------------

struct AddressCase {
    const char* name;
    int (*change)(const char*);
    uint8_t selector;
    const char* sourceFailed;
    const char* refused;
    const char* badFormat;
    const char* setFailed;
    const char* report;
    const char* readFailed;
};

const AddressCase addressCases[] = {
    {"ip", bmc_SetIP, 0x03, "Failed to determine lan source, ",
     "IP address can not be changed because DHCP option is enabled.\n", "Not a valid IP address format.\n",
     "Failed to set IP address, ", "IP=", "Failed to get IP Address, "},
    {"mask", bmc_SetSubnetMask, 0x06, "Failed to determine IP address source, ",
     "Subnet mask can not be changed because DHCP option is enabled.\n", "Subnet Mask format error.\n",
     "Failed to set subnet mask, ", "Subnet Mask=", "Failed to get subnet mask, "},
    {"gateway", bmc_SetGWIP, 0x0C, "Failed to determine IP address source, ",
     "Gateway can not be changed because DHCP option is enabled.\n", "Not a valid IP address format.\n",
     "Failed to set gateway IP address, ", "Gateway=", "Failed to get gateway IP Address, "},
};

std::string hex2(uint8_t b) {
    char buf[3];
    snprintf(buf, sizeof buf, "%02X", b);
    return buf;
}

TEST_F(LanChanges, AddressChangeSetsWaitsAndReadsBack) {
    for (const AddressCase& c : addressCases) {
        bmc().clearLog();
        pauses().clear();
        Outcome o = capture([&] { return c.change("198.51.100.77"); });
        EXPECT_EQ(o.rc, 0) << c.name;
        EXPECT_EQ(o.out, std::string(c.report) + "198.51.100.77\n") << c.name;
        EXPECT_EQ(o.err, "") << c.name;
        EXPECT_EQ(pauses(), std::vector<int>{6000}) << c.name;
        const std::string sel = hex2(c.selector);
        EXPECT_EQ(commandTexts(), (std::vector<std::string>{"0C/02 01 04 00 00", "0C/01 01 " + sel + " C6 33 64 4D",
                                                            "0C/02 01 " + sel + " 00 00"}))
            << c.name;
    }
    EXPECT_EQ(sim().lan.ip, (testkit::LanModel::Ip{198, 51, 100, 77}));
    EXPECT_EQ(sim().lan.subnetMask, (testkit::LanModel::Ip{198, 51, 100, 77}));
    EXPECT_EQ(sim().lan.gateway, (testkit::LanModel::Ip{198, 51, 100, 77}));
}

// With a progress handler the same six seconds pass a second at a time, each reported, and
// the exchanges stay the same; a change the BMC refused waits for nothing.
TEST_F(LanChanges, SettleWaitIsReportedSecondBySecondToAProgressHandler) {
    ProgressRecorder progress;
    Outcome o = capture([] { return bmc_SetIP("198.51.100.77"); });
    EXPECT_EQ(o.rc, 0);
    EXPECT_EQ(o.out, "IP=198.51.100.77\n");
    EXPECT_EQ(pauses(), std::vector<int>(6, 1000));
    EXPECT_EQ(progress.all(), (std::vector<std::string>{"8:1/6", "8:2/6", "8:3/6", "8:4/6", "8:5/6", "8:6/6"}));
    EXPECT_EQ(commandTexts(), (std::vector<std::string>{"0C/02 01 04 00 00", "0C/01 01 03 C6 33 64 4D",
                                                        "0C/02 01 03 00 00"}));
    progress.clear();
    pauses().clear();
    bmc().failNext(0x0C, 0x01, 0xCC);
    EXPECT_EQ(capture([] { return bmc_SetMac("02:1a:2b:ab:cd:ef"); }).rc, 11);
    EXPECT_TRUE(progress.all().empty());
    EXPECT_TRUE(pauses().empty());
}

TEST_F(LanChanges, AddressSourceOtherThanStaticRefusesBeforeParsing) {
    for (uint8_t source : {0x02, 0x00, 0x03, 0x04}) {
        sim().lan.addressSource = source;
        for (const AddressCase& c : addressCases) {
            bmc().clearLog();
            Outcome o = capture([&] { return c.change("not an address"); });
            EXPECT_EQ(o.rc, 11) << c.name;
            EXPECT_EQ(o.err, c.refused) << c.name;
            EXPECT_EQ(o.out, "");
            EXPECT_EQ(commandTexts(), std::vector<std::string>{"0C/02 01 04 00 00"}) << c.name;
        }
    }
    EXPECT_EQ(sim().lan.sets, 0);
    EXPECT_TRUE(pauses().empty());
}

TEST_F(LanChanges, UnreadableSourceIsReported) {
    sim().lan.getFailures[0x04] = 0xC1;
    for (const AddressCase& c : addressCases) {
        Outcome o = capture([&] { return c.change("192.0.2.20"); });
        EXPECT_EQ(o.rc, 11) << c.name;
        EXPECT_EQ(o.err, std::string(c.sourceFailed) + "Completion Code=C1h\n") << c.name;
    }
    EXPECT_EQ(sim().lan.sets, 0);
}

TEST_F(LanChanges, MalformedAddressesSendNothing) {
    for (const AddressCase& c : addressCases) {
        for (const char* text : {"192.168.1.300", "192.168.1", "4294967297.0.0.1", "192.0.2.x"}) {
            bmc().clearLog();
            Outcome o = capture([&] { return c.change(text); });
            EXPECT_EQ(o.rc, 12) << c.name << " " << text;
            EXPECT_EQ(o.err, c.badFormat) << c.name << " " << text;
            EXPECT_EQ(commandTexts().size(), 1u) << c.name << " " << text;
        }
    }
    EXPECT_EQ(capture([] { return bmc_SetIP(nullptr); }).rc, 12);
    EXPECT_EQ(sim().lan.sets, 0);
}

TEST_F(LanChanges, LenientTextsAreSentAsRead) {
    char text[] = "192.168..1.5";
    Outcome o = capture([&] { return bmc_SetIP(text); });
    EXPECT_EQ(o.rc, 0);
    EXPECT_EQ(o.out, "IP=192.168.1.5\n");
    EXPECT_STREQ(text, "192.168..1.5");  // the caller's text is not split
    EXPECT_EQ(capture([] { return bmc_SetGWIP("10.0.0.1.7"); }).out, "Gateway=10.0.0.1\n");
}

TEST_F(LanChanges, RejectedSetIsReportedWithoutWaiting) {
    for (const AddressCase& c : addressCases) {
        sim().lan.setFailures[c.selector] = 0xD5;
        Outcome o = capture([&] { return c.change("192.0.2.20"); });
        EXPECT_EQ(o.rc, 11) << c.name;
        EXPECT_EQ(o.err, std::string(c.setFailed) + "Completion Code=D5h\n") << c.name;
        EXPECT_EQ(o.out, "");
    }
    EXPECT_TRUE(pauses().empty());
}

TEST_F(LanChanges, FailedReadBackIsAFailureThoughTheChangeWasMade) {
    for (const AddressCase& c : addressCases) {
        sim().lan.getFailures[c.selector] = 0xC3;
        Outcome o = capture([&] { return c.change("192.0.2.20"); });
        EXPECT_EQ(o.rc, 11) << c.name;
        EXPECT_EQ(o.err, std::string(c.readFailed) + "Completion Code=C3h\n") << c.name;
        EXPECT_EQ(o.out, "");
    }
    EXPECT_EQ(sim().lan.sets, 3);
    EXPECT_EQ(sim().lan.ip, (testkit::LanModel::Ip{192, 0, 2, 20}));
}

TEST_F(LanChanges, AcknowledgedButIgnoredChangeIsAFailure) {
    // The BMC answers the Set with 00h yet still holds the old value afterwards.
    for (const AddressCase& c : addressCases) {
        bmc().inject(testkit::command(0x0C, 0x01), IpmiResponse::ok(), 1);
        Outcome o = capture([&] { return c.change("198.51.100.9"); });
        EXPECT_EQ(o.rc, 11) << c.name;
        EXPECT_EQ(o.err, std::string(c.setFailed) + "the BMC did not apply the change\n") << c.name;
        EXPECT_EQ(o.out.rfind(c.report, 0), 0u) << c.name;  // the value it still holds is shown
        EXPECT_EQ(o.out.find("198.51.100.9"), std::string::npos) << c.name;
    }
    bmc().inject(testkit::command(0x0C, 0x01), IpmiResponse::ok(), 1);
    Outcome o = capture([] { return bmc_SetMac("02:1A:2B:AB:CD:EF"); });
    EXPECT_EQ(o.rc, 11);
    EXPECT_EQ(o.out, "MAC=00:00:5E:00:53:0A\n");
    EXPECT_EQ(o.err, "Failed to set MAC address, the BMC did not apply the change\n");
}

// ---- MAC change ----------------------------------------------------------------------------

TEST_F(LanChanges, MacChangeIsReadBackAfterTheWait) {
    Outcome o = capture([] { return bmc_SetMac("02:1a:2b:ab:cd:ef"); });
    EXPECT_EQ(o.rc, 0);
    EXPECT_EQ(o.out, "MAC=02:1A:2B:AB:CD:EF\n");
    EXPECT_EQ(o.err, "");
    EXPECT_EQ(pauses(), std::vector<int>{6000});
    EXPECT_EQ(commandTexts(),
              (std::vector<std::string>{"06/37", "0C/01 01 05 02 1A 2B AB CD EF", "0C/02 01 05 00 00"}));
    EXPECT_EQ(version, 21);
}

TEST_F(LanChanges, RestartingFamilyGetsNoReadBackAndSeesTheRequestedAddress) {
    sim().device.systemGuid = testkit::guidWithSignature("9001MS");
    Outcome o = capture([] { return bmc_SetMac("021A2BABCDEF"); });
    EXPECT_EQ(o.rc, 0);
    EXPECT_EQ(o.out,
              "MAC=02:1A:2B:AB:CD:EF (After receiving command, BMC will reboot itself. BMC will not response any "
              "commands temporarily.)\n");
    EXPECT_EQ(version, 12);
    EXPECT_TRUE(pauses().empty());
    EXPECT_EQ(commandTexts(), (std::vector<std::string>{"06/37", "0C/01 01 05 02 1A 2B AB CD EF"}));
    EXPECT_EQ(sim().lan.mac, (testkit::LanModel::Mac{0x02, 0x1A, 0x2B, 0xAB, 0xCD, 0xEF}));
}

TEST_F(LanChanges, MacChangeFailures) {
    for (const char* bad : {"02-1A-2B-AB-CD-EF", "02:1A:2B:AB:CD", "02:1A:2B:AB:CD:EF:00"}) {
        bmc().clearLog();
        Outcome o = capture([&] { return bmc_SetMac(bad); });
        EXPECT_EQ(o.rc, 12) << bad;
        EXPECT_EQ(o.err, "Not a valid MAC address format.\n");
        EXPECT_TRUE(commandTexts().empty()) << bad;  // no address source test either
    }

    sim().lan.setFailures[0x05] = 0xD4;
    Outcome set = capture([] { return bmc_SetMac("02:1A:2B:AB:CD:EF"); });
    EXPECT_EQ(set.rc, 11);
    EXPECT_EQ(set.err, "Failed to set MAC address, Completion Code=D4h\n");

    sim().lan.setFailures.clear();
    sim().lan.getFailures[0x05] = 0xC1;
    Outcome read = capture([] { return bmc_SetMac("02:1A:2B:AB:CD:EF"); });
    EXPECT_EQ(read.rc, 11);
    EXPECT_EQ(read.err, "Failed to get MAC Address, Completion Code=C1h\n");
}

TEST_F(LanChanges, UnknownFirmwareRevisionStopsTheMacChange) {
    // Every step of the family test fails; its last command is Get Device ID.
    bmc().failAlways(0x06, 0x37, 0xC1);
    bmc().failAlways(0x06, 0x38, 0xC1);
    bmc().failAlways(0x06, 0x01, 0xC0);
    Outcome o = capture([] { return bmc_SetMac("02:1A:2B:AB:CD:EF"); });
    EXPECT_EQ(o.rc, 11);
    EXPECT_EQ(o.err, "Failed to get IPMI firmware reverison, Completion Code=C0h\n");
    EXPECT_EQ(bmc().count(0x0C, 0x01), 0u);
}

// ---- address source, ARP, VLAN ------------------------------------------------------------

TEST_F(LanChanges, AddressSourceIsSetWithoutReadBack) {
    Outcome on = capture([] { return bmc_SetDHCPStatus(1); });
    EXPECT_EQ(on.rc, 0);
    EXPECT_EQ(on.out, "Successfully enable DHCP.\n");
    EXPECT_EQ(sim().lan.addressSource, 0x02);
    Outcome off = capture([] { return bmc_SetDHCPStatus(2); });
    EXPECT_EQ(off.out, "Successfully disable DHCP.\n");
    EXPECT_EQ(sim().lan.addressSource, 0x01);
    EXPECT_EQ(commandTexts(), (std::vector<std::string>{"0C/01 01 04 02", "0C/01 01 04 01"}));
    EXPECT_TRUE(pauses().empty());

    sim().lan.setFailures[0x04] = 0xD5;
    Outcome failed = capture([] { return bmc_SetDHCPStatus(1); });
    EXPECT_EQ(failed.rc, 11);
    EXPECT_EQ(failed.err, "Failed to enable DHCP, Completion Code=D5h\n");
    EXPECT_EQ(failed.out, "");
}

TEST_F(LanChanges, GratuitousArp) {
    Outcome on = capture([] { return bmc_SetGratuitousARP(1); });
    EXPECT_EQ(on.rc, 0);
    EXPECT_EQ(on.out, "Successfully enable Gratuitous ARP.\n");
    EXPECT_EQ(commandTexts(), std::vector<std::string>{"0C/01 01 0A 01"});
    EXPECT_EQ(sim().lan.arpControl, 0x01);

    sim().lan.gratuitousArpSupported = false;
    Outcome unsupported = capture([] { return bmc_SetGratuitousARP(0); });
    EXPECT_EQ(unsupported.rc, 11);
    EXPECT_EQ(unsupported.err, "Gratuitous ARP is not supported for this BMC.\n");

    sim().lan.gratuitousArpSupported = true;
    sim().lan.setFailures[0x0A] = 0xC1;
    Outcome failed = capture([] { return bmc_SetGratuitousARP(0); });
    EXPECT_EQ(failed.rc, 11);
    EXPECT_EQ(failed.err, "Failed to disable Gratuitous ARP, Completion Code=C1h\n");
}

TEST_F(LanChanges, VlanEnableKeepsOrReplacesTheId) {
    sim().lan.vlanId = 42;
    Outcome keep = capture([] { return bmc_SetVLan(1, 0); });
    EXPECT_EQ(keep.rc, 0);
    EXPECT_EQ(keep.out, "VLAN is now enabled.\nTag: 42\n");
    EXPECT_EQ(commandTexts(),
              (std::vector<std::string>{"0C/02 01 14 00 00", "0C/01 01 14 2A 80", "0C/02 01 14 00 00"}));

    bmc().clearLog();
    Outcome replace = capture([] { return bmc_SetVLan(1, 100); });
    EXPECT_EQ(replace.out, "VLAN is now enabled.\nTag: 100\n");
    EXPECT_EQ(bmc().requests(0x0C, 0x01).at(0).toString(), "0C/01 01 14 64 80");

    bmc().clearLog();
    Outcome highest = capture([] { return bmc_SetVLan(1, 4095); });
    EXPECT_EQ(highest.rc, 0);
    EXPECT_EQ(bmc().requests(0x0C, 0x01).at(0).toString(), "0C/01 01 14 FF 8F");

    bmc().clearLog();
    Outcome off = capture([] { return bmc_SetVLan(0, -3); });
    EXPECT_EQ(off.rc, 0);
    EXPECT_EQ(off.out, "VLAN is now disabled.\n");
    EXPECT_EQ(bmc().requests(0x0C, 0x01).at(0).toString(), "0C/01 01 14 FF 0F");
    EXPECT_FALSE(sim().lan.vlanEnabled);
    EXPECT_EQ(sim().lan.vlanId, 4095);
}

TEST_F(LanChanges, VlanIdsBeyondTwelveBitsAreRefused) {
    for (int tag : {4096, 0x8064, 65536}) {
        bmc().clearLog();
        Outcome o = capture([&] { return bmc_SetVLan(0, tag); });
        EXPECT_EQ(o.rc, 12) << tag;
        EXPECT_EQ(o.err, "Not a valid VLAN ID (1 to 4095).\n");
        EXPECT_TRUE(commandTexts().empty()) << tag;
    }
    EXPECT_FALSE(sim().lan.vlanEnabled);
}

TEST_F(LanChanges, VlanFailures) {
    bmc().failNext(0x0C, 0x02, 0xC1);
    Outcome get = capture([] { return bmc_SetVLan(1, 5); });
    EXPECT_EQ(get.rc, 11);
    EXPECT_EQ(get.err, "Failed to get VLan status, Completion Code=C1h\n");
    EXPECT_EQ(bmc().count(0x0C, 0x01), 0u);

    sim().lan.setFailures[0x14] = 0xCC;
    Outcome set = capture([] { return bmc_SetVLan(1, 5); });
    EXPECT_EQ(set.rc, 11);
    EXPECT_EQ(set.err, "Failed to set VLan status, Completion Code=CCh\n");

    sim().lan.getFailures[0x14] = 0x80;
    Outcome report = capture([] { return bmc_GetVLan(); });
    EXPECT_EQ(report.rc, 11);
    EXPECT_EQ(report.err, "Failed to get VLan status, Completion Code=80h\n");
}

// ---- reports --------------------------------------------------------------------------------

TEST_F(LanChanges, ReportsPrintTheCurrentValues) {
    Outcome both = capture(bmc_GetIPandMac);
    EXPECT_EQ(both.rc, 0);
    EXPECT_EQ(both.out, "IP=192.0.2.10\nMAC=00:00:5E:00:53:0A\n");
    EXPECT_EQ(capture(bmc_GetGWIP).out, "Gateway=192.0.2.1\n");
    EXPECT_EQ(capture(bmc_GetSubnetMask).out, "Subnet Mask=255.255.255.0\n");
    EXPECT_EQ(capture(bmc_GetDHCPStatus).out, "DHCP is currently disabled.\n");
    sim().lan.addressSource = 0x00;
    EXPECT_EQ(capture(bmc_GetDHCPStatus).out, "DHCP is currently enabled.\n");
    EXPECT_EQ(capture(bmc_GetVLan).out, "VLAN is now disabled.\n");
    EXPECT_TRUE(pauses().empty());
}

TEST_F(LanChanges, ReportFailures) {
    sim().lan.getFailures[0x03] = 0xC1;
    bmc().clearLog();
    Outcome ip = capture(bmc_GetIPandMac);
    EXPECT_EQ(ip.rc, 11);
    EXPECT_EQ(ip.out, "");
    EXPECT_EQ(ip.err, "Failed to get IP Address, Completion Code=C1h\n");
    EXPECT_EQ(commandTexts().size(), 1u);  // the MAC is not asked for

    sim().lan.getFailures = {{0x05, 0xC2}, {0x0C, 0xC3}, {0x06, 0xC4}, {0x04, 0xC5}};
    Outcome mac = capture(bmc_GetIPandMac);
    EXPECT_EQ(mac.rc, 11);
    EXPECT_EQ(mac.out, "IP=192.0.2.10\n");
    EXPECT_EQ(mac.err, "Failed to get MAC Address, Completion Code=C2h\n");
    EXPECT_EQ(capture(bmc_GetGWIP).err, "Failed to get gateway IP Address, Completion Code=C3h\n");
    EXPECT_EQ(capture(bmc_GetSubnetMask).err, "Failed to get subnet mask, Completion Code=C4h\n");
    Outcome source = capture(bmc_GetDHCPStatus);
    EXPECT_EQ(source.rc, 11);
    EXPECT_EQ(source.err, "Failed to determine IP address source, Completion Code=C5h\n");
}

// ---- a change as the providers see it ----------------------------------------------------

TEST_F(LanChanges, NewAddressShowsInTheNextEnumeration) {
    auto host = cimhost::Host::inProcess();
    EXPECT_EQ(host->enumerate("LANProvider").instances.at(0).get("VKT_IP_Address"), "192.0.2.10");
    EXPECT_EQ(capture([] { return bmc_SetIP("192.0.2.44"); }).rc, 0);
    EXPECT_EQ(capture([] { return bmc_SetMac("00:00:5E:00:53:44"); }).rc, 0);
    const cimhost::Instance lan = host->enumerate("LANProvider").instances.at(0);
    EXPECT_EQ(lan.get("VKT_IP_Address"), "192.0.2.44");
    EXPECT_EQ(lan.get("VKT_MAC_Address"), "00:00:5E:00:53:44");
    EXPECT_EQ(host->enumerate("BMCIPProvider").instances.at(0).get("VKT_IP_Address"), "192.0.2.44");
}

TEST(LanLibrary, ExportedRoutinesChangeWhatTheLoadedLibraryPublishes) {
    testkit::SimServer server;
    server.lan.addressSource = 0x01;
    testkit::FakeIpmiDevice::get().reset();
    testkit::attachServer(server);
    std::string error;
    auto host = cimhost::Host::load(VKT_PROVIDER_LIB, &error);
    ASSERT_NE(host, nullptr) << error;
    void* lib = dlopen(VKT_PROVIDER_LIB, RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(lib, nullptr);
    for (const char* name : {"bmc_SetIP", "bmc_SetSubnetMask", "bmc_SetGWIP", "bmc_SetMac", "bmc_SetDHCPStatus",
                             "bmc_SetGratuitousARP", "bmc_SetVLan", "bmc_GetVLan", "bmc_GetIPandMac", "bmc_GetGWIP",
                             "bmc_GetSubnetMask", "bmc_GetDHCPStatus"})
        EXPECT_NE(dlsym(lib, name), nullptr) << name;

    EXPECT_EQ(host->enumerate("LANProvider").instances.at(0).get("VKT_DHCP_Status"), "disabled");
    auto setSource = reinterpret_cast<int (*)(int)>(dlsym(lib, "bmc_SetDHCPStatus"));
    ASSERT_NE(setSource, nullptr);
    EXPECT_EQ(capture([&] { return setSource(1); }).out, "Successfully enable DHCP.\n");
    EXPECT_EQ(host->enumerate("LANProvider").instances.at(0).get("VKT_DHCP_Status"), "enabled");
    dlclose(lib);
    testkit::FakeIpmiDevice::get().reset();
}

}  // namespace
