// Node Manager: locating the ME, requests bridged to it over the device and over the ports,
// its identity, the VKT_NM provider and the exported Node Manager routines.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "cimhost.h"
#include "ipmb_bridge.h"
#include "nm_util.h"
#include "smipmi.h"
#include "test_support.h"
#include "transport_state.h"
#include "varkolt/bmc.h"
#include "vkt_sleep.h"

using testkit::Bytes;
using testkit::IpmiRequest;
using testkit::IpmiResponse;
using testkit::Outcome;

namespace {

void resetNmState() {
    nmSlaveAddress = nmChannel = 0;
    memset(nmDeviceID, 0, sizeof nmDeviceID);
    memset(nmfirmwareVersion, 0, sizeof nmfirmwareVersion);
    nmPlatform = nmFirewareImplementedVersion = nmImageFlag = nullptr;
    boardID = nullptr;
    memset(firmwareBuildTime, 0, sizeof firmwareBuildTime);
    memset(firmwareVersion, 0, sizeof firmwareVersion);
    memset(tjMax, 0, sizeof tjMax);
    memset(cpuMemTempData, 0, sizeof cpuMemTempData);
}

const std::string notFound = "Slave address and channel of ME device is not found.\n";

class Nm : public testkit::SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        resetNmState();
        recordPauses();
        testkit::SensorFields cpu;
        cpu.name = "CPU Temp";
        cpu.number = 0x01;
        sim().sdr.addFull(cpu);
        sim().sdr.add(testkit::meRecord());
    }
    void overPorts() { testkit::FakeIpmiDevice::get().setPaths({}); }
    Outcome run(int (*routine)()) { return testkit::captureOutcome(routine); }
    // What went to the BMC, without the interface probes and the device's PICMG probe.
    std::vector<std::string> sent() const {
        std::vector<std::string> out;
        for (const IpmiRequest& r : server_->bmc.log())
            if (r.ipmb || (!r.is(0x06, 0x01) && r.netFn != 0x2C)) out.push_back(r.toString());
        return out;
    }
    // What reached the ME, either way.
    std::vector<std::string> meGot() const {
        std::vector<std::string> out;
        for (const IpmiRequest& r : server_->me.received) out.push_back(r.toString());
        return out;
    }
};

// The same behaviour over the device (false) and over the ports (true).
class NmBothWays : public Nm, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        Nm::SetUp();
        if (GetParam()) overPorts();
    }
};
INSTANTIATE_TEST_SUITE_P(Transport, NmBothWays, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& i) { return i.param ? "Ports" : "Device"; });

// ---- locating the ME ----------------------------------------------------------------------------

TEST_F(Nm, OnlyIntelsNodeManagerRecordLocatesTheMe) {
    sim().sdr.clear();
    sim().sdr.add(testkit::oemRecord(0x00BEEF, {0x0D, 0x01, 0x40, 0x00}));  // another vendor's
    sim().sdr.add(testkit::oemRecord(0x000157, {0x0A, 0x01, 0x42, 0x02}));  // Intel, not Node Manager
    sim().sdr.add(testkit::meRecord(0x2C, 0x06));
    EXPECT_EQ(detectNM(), 0);
    EXPECT_EQ(nmSlaveAddress, 0x2C);
    EXPECT_EQ(nmChannel, 0x06);
    EXPECT_EQ(sent(), (std::vector<std::string>{"0A/20", "0A/22", "0A/23 01 00 00 00 00 20", "0A/23 01 00 02 00 00 20",
                                                "0A/23 01 00 03 00 00 20"}));
}

TEST_F(Nm, WithoutTheRecordEveryBridgedRoutineReportsAbsenceAndSendsNothing) {
    sim().sdr.records.pop_back();
    for (auto routine : {bmc_GetDeviceID, bmc_GetNMSDR, bmc_GetHostCPUData, bmc_CPUMemTemp, bmc_GetPState,
                         bmc_GetTState, bmc_ListImagesInfo, bmc_NMSelfTest, bmc_NMUpdateMode, bmc_NMReset2Default,
                         bmc_NMReset, bmc_GetSELTime}) {
        Outcome o = run(routine);
        EXPECT_EQ(o.rc, VKT_BMC_ABSENT);
        EXPECT_EQ(o.err, notFound);
        EXPECT_EQ(o.out, "");
    }
    EXPECT_EQ(bmc().count(0x06, 0x34), 0u);
    EXPECT_TRUE(sim().me.received.empty());
}

TEST_F(Nm, RepositoryFailuresAreReportedWithTheirOwnTexts) {
    bmc().failNext(0x0A, 0x20, 0xC0);
    EXPECT_EQ(run(bmc_GetHostCPUData).err, "Get SDR RepositoryInfo error, Completion Code=10h\n");
    bmc().failNext(0x0A, 0x22, 0xC0);
    EXPECT_EQ(run(bmc_GetSELTime).err, "Get Reserve SDR error, Completion Code=11h\n");
    bmc().failNext(0x0A, 0x23, 0xCA);
    Outcome o = run(bmc_NMUpdateMode);
    EXPECT_EQ(o.rc, VKT_BMC_COMMAND_FAILED);
    EXPECT_EQ(o.err, "Force ME to update mod failed, Completion Code=CAh\n");
    EXPECT_EQ(o.out, "");
}

// ---- the bridge -----------------------------------------------------------------------------------

TEST_F(Nm, PortsCarryChecksummedFramesWithAFreshSequenceNumber) {
    overPorts();
    ASSERT_EQ(detectNM(), 0);
    bmc().clearLog();
    BYTE resp[vkt::nmResponseSize];
    DWORD len = 0;
    EXPECT_EQ(runNMCmd(0x06, 0x01, nullptr, 0, resp, &len), 0);
    EXPECT_EQ(len, 16u);
    EXPECT_EQ(Bytes(resp, resp + 4), (Bytes{0x00, 0x50, 0x01, 0x04}));
    const BYTE tail[] = {0x57, 0x01, 0x00, 0x00};
    EXPECT_EQ(runNMCmd(0x2E, 0xEA, tail, 4, resp, &len), 0);
    EXPECT_EQ(sent(), (std::vector<std::string>{"06/34 06 2C 18 BC 20 00 01 DF", "06/31", "06/33", "06/30 01",
                                                "06/34 06 2C B8 1C 20 04 EA 57 01 00 00 9A", "06/31", "06/33",
                                                "06/30 01"}));
}

TEST_F(Nm, DeviceAddressesTheMeOverIpmbAndPutsTheAddressingBack) {
    ipmi_open_intf.target_channel = 0x03;
    EXPECT_EQ(run(bmc_GetDeviceID).rc, 0);
    EXPECT_EQ(sent().back(), "06/01 @ipmb(6,2C)");  // the record's channel; no probe of the ME
    EXPECT_EQ(bmc().count(0x06, 0x34), 0u);
    sim().me.present = false;
    testkit::adjustTransport([](vkt::TransportConfig& c) { c.openIpmiResponseTimeoutMs = 50; });
    Outcome o = run(bmc_GetDeviceID);
    EXPECT_EQ(o.rc, VKT_BMC_COMMAND_FAILED);
    EXPECT_EQ(o.err, "Failed to get device ID, Completion Code=C3h\n");
    const auto log = bmc().log();
    EXPECT_EQ(std::count_if(log.begin(), log.end(), [](const IpmiRequest& r) { return r.ipmb; }), 2);
    EXPECT_EQ(ipmb_target_addr, 0);
    EXPECT_EQ(ipmb_switch, 0);
    EXPECT_EQ(ipmi_open_intf.target_channel, 0x03);
    EXPECT_EQ(run(bmc_OEMGetTemp).rc, 0);
    EXPECT_EQ(sent().back(), "30/E2 10 00 00");  // the BMC is addressed again
}

TEST_F(Nm, EveryPortFailureEndsWithinItsBound) {
    overPorts();
    struct Case {
        const char* name;
        void (*setup)(testkit::SimServer&);
        int rc;
        const char* err;
        size_t polls;
    } cases[] = {
        {"Send Message refused", [](testkit::SimServer& s) { s.me.sendMessageCc = 0x82; }, 14,
         "Send NM message command error.\n", 0},
        {"no answer", [](testkit::SimServer& s) { s.me.silent = true; }, 14, "Get NM message flag error.\n", 10},
        {"flags 03h", [](testkit::SimServer& s) { s.me.otherFlags = 0x02; }, 14, "Get NM message flag error.\n", 10},
        {"late answer", [](testkit::SimServer& s) { s.me.answerAfterPolls = 3; }, 0, "", 4},
        {"Get Message refused", [](testkit::SimServer& s) { s.bmc.failNext(0x06, 0x33, 0x80); }, 14,
         "Get NM message error.\n", 1},
        {"short message", [](testkit::SimServer& s) { s.me.getMessageLength = 7; }, 14, "Get NM message error.\n", 1},
        {"garbled answer", [](testkit::SimServer& s) { s.me.corruptAnswers = 1; }, 14, "Get NM message flag error.\n", 11},
        {"ME refuses", [](testkit::SimServer& s) { s.me.fail(0x06, 0x04, 0xD5); }, 11,
         "Do self test failed, Completion Code=D5h\n", 1},
    };
    for (const Case& c : cases) {
        sim().me = testkit::MeModel{};
        bmc().clearFaults();
        bmc().clearLog();
        pauses().clear();
        c.setup(sim());
        Outcome o = run(bmc_NMSelfTest);
        EXPECT_EQ(o.rc, c.rc) << c.name;
        EXPECT_EQ(o.err, c.err) << c.name;
        EXPECT_EQ(bmc().count(0x06, 0x31), c.polls) << c.name;
        EXPECT_LE(pauses().size(), 10u) << c.name;
        for (int ms : pauses()) EXPECT_EQ(ms, 1000) << c.name;
    }
}

TEST_F(Nm, StaleAndForeignMessagesAreNeverTakenForTheAnswer) {
    overPorts();
    testkit::MeModel& me = sim().me;
    me.answerAfterPolls = 10;  // the first answer arrives after the caller gave up
    EXPECT_EQ(run(bmc_GetDeviceID).rc, VKT_BMC_BRIDGE_FAILED);
    me.answerAfterPolls = 0;
    me.deviceId[2] = 0x05;
    me.queue.push_back(me.responseMessage(0x06, 0x01, 1, 0x00, Bytes(15, 0xEE), 0x30));  // another controller
    me.queue.push_back(me.responseMessage(0x0A, 0x48, 1, 0x00, {1, 2, 3, 4}));          // another command
    EXPECT_EQ(run(bmc_GetDeviceID).rc, 0);
    EXPECT_STREQ(nmfirmwareVersion, "5.0.1.51");
    EXPECT_TRUE(me.queue.empty());
    EXPECT_EQ(me.lastClearMask, 0x01);

    // A queue that never runs dry cannot hold the caller.
    for (int i = 0; i < 40; ++i) me.queue.push_back(me.responseMessage(0x06, 0x01, 9, 0x00, {}, 0x30));
    pauses().clear();
    EXPECT_EQ(run(bmc_GetDeviceID).rc, VKT_BMC_BRIDGE_FAILED);
    EXPECT_TRUE(pauses().empty());
}

TEST_F(Nm, AnswersNeverRunPastTheCallersBuffer) {
    sim().me.deviceId = Bytes(200, 0xAB);
    ASSERT_EQ(detectNM(), 0);
    BYTE buf[vkt::nmResponseSize + 8];
    memset(buf, 0xA5, sizeof buf);
    DWORD len = 0;
    EXPECT_EQ(runNMCmd(0x06, 0x01, nullptr, 0, buf, &len), 0);
    EXPECT_EQ(len, static_cast<DWORD>(vkt::nmResponseSize));
    for (size_t i = vkt::nmResponseSize; i < sizeof buf; ++i) EXPECT_EQ(buf[i], 0xA5);
    EXPECT_EQ(getDeviceID(), 0);  // kept cut to its 16 bytes
    EXPECT_EQ(nmDeviceID[15], 0xAB);
}

// ---- identity -------------------------------------------------------------------------------------

TEST_F(Nm, DeviceIdDecodesIntoTheFourTexts) {
    const BYTE example[16] = {0, 0, 0, 0x04, 0x01, 0, 0, 0, 0, 0, 0x05, 0, 0x02, 0x05, 0x10, 0x03};
    memcpy(nmDeviceID, example, sizeof example);
    printDeviceID();
    EXPECT_STREQ(nmfirmwareVersion, "4.0.1.51");
    EXPECT_STREQ(nmPlatform, "Grantley");
    EXPECT_STREQ(nmFirewareImplementedVersion, "NM Revision 2.0");
    EXPECT_STREQ(nmImageFlag, "unspecified: flasherror indication");
    nmDeviceID[10] = 10;
    nmDeviceID[12] = 0x30;  // revision nibble 0: the text stays
    nmDeviceID[15] = 4;
    printDeviceID();
    EXPECT_STREQ(nmPlatform, "unknown");
    EXPECT_STREQ(nmFirewareImplementedVersion, "NM Revision 2.0");
    EXPECT_STREQ(nmImageFlag, "");
    nmDeviceID[12] = 0x07;
    nmDeviceID[10] = 9;
    printDeviceID();
    EXPECT_STREQ(nmFirewareImplementedVersion, "");
    EXPECT_STREQ(nmPlatform, "Greenlow");
}

TEST_P(NmBothWays, ProviderPublishesTheDemoServer) {
    useServer(testkit::makeScenario("demo"), GetParam() ? std::vector<std::string>{} : std::vector<std::string>{"/dev/ipmi0"});
    auto host = cimhost::Host::inProcess();
    cimhost::EnumResult r = host->enumerate("NMProvider");
    ASSERT_EQ(r.instances.size(), 1u);
    EXPECT_EQ(r.instances[0].path(), "varkolt/cimv2:VKT_NM.deviceID=\"NM\"");
    const std::vector<std::pair<std::string, std::optional<std::string>>> expected = {
        {"deviceID", "NM"},
        {"VKT_BoardID", "VKB-G4D-R1U"},
        {"VKT_NM_FirmwareVersion", "4.0.1.51"},
        {"VKT_NM_Platform", "Grantley"},
        {"VKT_NM_FirewareImplementedVersion", "NM Revision 3.0"},
        {"VKT_NM_ImageFlag", "operational image 1"},
        {"VKT_BMC_FirmwareBuildTime", "2024-03-18"},
        {"VKT_BMC_FirmwareVersion", "1.23"}};
    EXPECT_EQ(r.instances[0].properties, expected);
    EXPECT_EQ(r.doneCount, 1);
}

TEST_F(Nm, ProviderWithoutMeRecordPublishesNullsAndSaysSoOnce) {
    sim().sdr.records.pop_back();
    sim().oem.boardId[0] = 0x3A;  // the product ID the other way round: found in the second pass
    sim().oem.boardId[1] = 0x09;
    sim().device.firmwareMajor = 0x81;
    sim().device.firmwareMinor = 0x10;
    auto host = cimhost::Host::inProcess();
    testkit::CaptureOutput err(2);
    cimhost::Instance inst = host->enumerate("NMProvider").instances.at(0);
    EXPECT_EQ(err.text(), notFound);
    EXPECT_EQ(inst.get("VKT_BoardID"), "VKB-G4D-R1U");
    EXPECT_EQ(inst.properties[2].second, std::optional<std::string>(""));
    for (size_t i = 3; i < 6; ++i) EXPECT_EQ(inst.properties[i].second, std::nullopt) << inst.properties[i].first;
    EXPECT_EQ(inst.get("VKT_BMC_FirmwareVersion"), "81.10");

    // Failing or short answers later: the model stays, the build time shows what arrived.
    bmc().failNext(0x30, 0x21, 0xC1);
    bmc().inject(testkit::command(0x3E, 0x09), IpmiResponse::ok(Bytes{'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x',
                                                                       'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x',
                                                                       '2', '0', '2', '5'}));
    sim().device.firmwareMajor = 0x01;
    sim().device.firmwareMinor = 0x05;
    inst = host->enumerate("NMProvider").instances.at(0);
    EXPECT_EQ(inst.get("VKT_BoardID"), "VKB-G4D-R1U");
    EXPECT_EQ(productID[0], 0);
    EXPECT_EQ(inst.get("VKT_BMC_FirmwareBuildTime"), "2025");
    EXPECT_EQ(inst.get("VKT_BMC_FirmwareVersion"), "1.5");
}

// ---- maintenance and telemetry ----------------------------------------------------------------------

TEST_P(NmBothWays, CpuAndMemoryTemperaturesReadEverySocketUpToTheTable) {
    Outcome o = run(bmc_CPUMemTemp);
    EXPECT_EQ(o.rc, 0);
    const std::string at = " @ipmb(6,2C)";
    EXPECT_EQ(meGot(), (std::vector<std::string>{"2E/EA 57 01 00 00" + at, "04/2D 30" + at, "04/2D 31" + at,
                                                 "2E/4B 57 01 00 0F 00 00 00 00 00 00 00 00" + at,
                                                 "2E/4B 57 01 00 00 FF FF FF FF 00 00 00 00" + at,
                                                 "2E/4B 57 01 00 00 00 00 00 00 FF FF FF FF" + at}));
    EXPECT_EQ(cpuSocketCount, 2);
    EXPECT_EQ(Bytes(tjMax, tjMax + 3), (Bytes{0x5F, 0x5D, 0x00}));
    EXPECT_EQ(Bytes(cpuMemTempData + 23, cpuMemTempData + 29), (Bytes{0x53, 0x00, 0x57, 0x01, 0x00, 0x20}));

    sim().me.cpuSockets = 255;
    sim().me.received.clear();
    EXPECT_EQ(run(bmc_CPUMemTemp).rc, 0);
    EXPECT_EQ(cpuSocketCount, vkt::nmMaxSockets);
    EXPECT_EQ(std::count_if(sim().me.received.begin(), sim().me.received.end(),
                            [](const IpmiRequest& r) { return r.is(0x04, 0x2D); }),
              vkt::nmMaxSockets);
    EXPECT_EQ(meGot()[8], "04/2D 37" + at);
}

TEST_P(NmBothWays, StatesAreReportedAsSoonAsKnown) {
    sim().me.maxPState = 3;
    sim().me.maxTState = 1;
    Outcome p = run(bmc_GetPState);
    EXPECT_EQ(p.out, "Current max allowed P-State   = 3\nNumber of P-State = 14\n");
    EXPECT_EQ(run(bmc_GetTState).out, "Current max allowed T-State   = 1\nNumber of T-State = 8\n");
    sim().me.fail(0x2E, 0xD4, 0xC1);
    p = run(bmc_GetPState);
    EXPECT_EQ(p.rc, VKT_BMC_COMMAND_FAILED);
    EXPECT_EQ(p.out, "Current max allowed P-State   = 3\n");
    EXPECT_EQ(p.err, "Failed to get number of P-States/T-states, Completion Code=C1h\n");
}

TEST_P(NmBothWays, MaintenanceRequestsReachTheMe) {
    testkit::MeModel& me = sim().me;
    EXPECT_EQ(run(bmc_NMUpdateMode).out, "Done.");
    EXPECT_EQ(run(bmc_NMReset2Default).out, "Done.");
    EXPECT_EQ(run(bmc_NMReset).out, "Done.");
    EXPECT_EQ(me.updateModeRequests, 1);
    EXPECT_EQ(me.defaultResets, 1);
    EXPECT_EQ(me.coldResets, 1);
    EXPECT_EQ(sim().device.coldResets, 0);
    EXPECT_EQ(run(bmc_NMSelfTest).rc, 0);
    EXPECT_EQ(Bytes(nmSelfTestData, nmSelfTestData + 3), (Bytes{0x00, 0x55, 0x00}));
    EXPECT_EQ(run(bmc_GetSELTime).rc, 0);
    EXPECT_EQ(Bytes(nmSELTime, nmSELTime + 6), (Bytes{0x00, 0x34, 0x12, 0xF8, 0x65, 0x00}));
    EXPECT_EQ(run(bmc_GetHostCPUData).rc, 0);
    EXPECT_EQ(hostCPUData[vkt::nmSocketCountAt], 2);
    EXPECT_EQ(run(bmc_ListImagesInfo).rc, 0);
    EXPECT_EQ(Bytes(nmListImagesInfo, nmListImagesInfo + 10), (Bytes{0x00, 0x57, 0x01, 0x00, 0x02, 0x04, 0x00, 0x02, 0x07, 0x00}));

    me.images.resize(1);
    me.received.clear();
    Outcome o = run(bmc_ListImagesInfo);
    EXPECT_EQ(o.err, "List ME image information failed, Completion Code=CCh\n");
    EXPECT_EQ(me.received.size(), 2u);
    me.fail(0x2E, 0xDF, 0xC1);
    o = run(bmc_NMUpdateMode);
    EXPECT_EQ(o.rc, VKT_BMC_COMMAND_FAILED);
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.err, "Force ME to update mode failed, Completion Code=C1h\n");
}

TEST_F(Nm, OemReadingsGoToTheBmcItself) {
    EXPECT_EQ(run(bmc_OEMGetTemp).rc, 0);
    EXPECT_EQ(run(bmc_OEMGetPower).rc, 0);
    EXPECT_EQ(sent(), (std::vector<std::string>{"30/E2 10 00 00", "30/E2 00 00 00"}));
    EXPECT_EQ(Bytes(oemTemp, oemTemp + 3), (Bytes{0x24, 0x00, 0x00}));
    EXPECT_EQ(Bytes(oemPower, oemPower + 3), (Bytes{0x8C, 0x01, 0x00}));
    bmc().failAlways(0x30, 0xE2, 0xC1);
    EXPECT_EQ(run(bmc_OEMGetTemp).err, "Failed to get OEM temp, Completion Code=C1h\n");
    Outcome o = run(bmc_OEMGetPower);
    EXPECT_EQ(o.rc, VKT_BMC_COMMAND_FAILED);
    EXPECT_EQ(o.err, "Failed to get power watts level, Completion Code=C1h\n");
}

}  // namespace
