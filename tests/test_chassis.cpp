// The multi-node chassis: reading the chassis controller, the node table and its texts, the
// VKT_PXInfo and VKT_PXList providers, and the settings routines, against the simulated
// controller on the private bus.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "chassis_fixture.h"
#include "cimhost.h"
#include "varkolt/bmc.h"

using chassistest::ChassisTest;
using cimhost::EnumResult;
using cimhost::Host;
using testkit::Bytes;
using testkit::IpmiRequest;
using testkit::IpmiResponse;
using testkit::McuModel;
using Family = testkit::McuModel::Family;

namespace {

class Chassis : public ChassisTest {
protected:
    void SetUp() override {
        ChassisTest::SetUp();
        host_ = Host::inProcess();
    }
    std::vector<std::string> listKeys() {
        std::vector<std::string> keys;
        for (const cimhost::Instance& i : host_->enumerate("PXListProvider").instances) keys.push_back(i.keys.at(0).second);
        return keys;
    }
    cimhost::Instance info() {
        EnumResult r = host_->enumerate("PXInfoProvider");
        return r.instances.empty() ? cimhost::Instance{} : r.instances[0];
    }
    std::unique_ptr<Host> host_;
};

// ---- recognising and reading the chassis ----------------------------------------------------

TEST_F(Chassis, SignatureDecidesFamilyOrSingleNode) {
    EXPECT_EQ(bmc_PXInfo(0), VKT_BMC_ABSENT);  // nothing answers at 80h
    EXPECT_EQ(transfers(0x80), std::vector<std::string>{"FD/1"});

    chassis(Family::nimbet, 12, 1);
    EXPECT_EQ(bmc_PXInfo(0), VKT_BMC_OK);
    EXPECT_TRUE(isNimbet);
    mcu().registers[McuModel::regSignature] = 0xA5;
    EXPECT_EQ(bmc_PXInfo(0), VKT_BMC_OK);
    EXPECT_FALSE(isNimbet);

    // Another signature, or a failing read, is a single-node server; the record stays.
    const int configBefore = pairexMCU.configID;
    mcu().registers[McuModel::regConfigId] = 4;
    for (uint8_t other : {0x00, 0xFF, 0xA4}) {
        mcu().registers[McuModel::regSignature] = other;
        EXPECT_EQ(bmc_PXInfo(0), VKT_BMC_ABSENT) << int(other);
    }
    mcu().registers[McuModel::regSignature] = 0xAC;
    bmc().inject(testkit::busAddress(0x80), IpmiResponse::error(0xD5), 1);
    EXPECT_EQ(bmc_PXInfo(0), VKT_BMC_ABSENT);
    EXPECT_FALSE(isNimbet);
    EXPECT_EQ(pairexMCU.configID, configBefore);
}

TEST_F(Chassis, PairexCollectionSkipsNodeOneForConfigurationTwo) {
    chassis(Family::pairex, 2, 3);
    mcu().registers[McuModel::regPresent] = 0x05;  // MCU nodes 0 and 2
    mcu().registers[McuModel::regPowerOn] = 0x01;  // node 2 is off
    EXPECT_EQ(bmc_PXInfo(0), VKT_BMC_OK);
    EXPECT_EQ(transfers(0x80), (std::vector<std::string>{"FD/1", "FC/1", "00/1", "01/1", "11/1", "21/1", "FB/1",
                                                          "29/20", "41/24", "61/24", "81/24", "A1/24", "C1/24",
                                                          "E1/24", "BB/5", "FE/2", "7A/1", "7B/2"}));
    EXPECT_EQ(transfers(0x82), (std::vector<std::string>{"00/24", "18/24", "30/4", "34/2", "36/2", "38/1", "39/1",
                                                          "3A/1", "80/24", "98/24", "B0/4", "B4/2", "B6/2", "B8/1",
                                                          "B9/1", "BA/1"}));
    EXPECT_EQ(pairexMCU.nodeID, 2);  // 3 less the skipped node
    EXPECT_STREQ(pxList[0].power, "Act");
    EXPECT_STREQ(pxList[1].power, "Inact");
    EXPECT_STREQ(pxList[1].ip, "10.0.0.2");
    EXPECT_STREQ(pxList[1].nodePN, "PN2");
    EXPECT_STREQ(pxList[2].node, "");
}

TEST_F(Chassis, NimbetReadsPagedNodeBlocksAndSixteenBitMaps) {
    chassis(Family::nimbet, 12, 6);
    mcu().registers[McuModel::regPresent] = 0xFF;
    mcu().registers[McuModel::regPresent + 1] = 0x0D;      // nodes 8, 10, 11
    mcu().registers[McuModel::regPowerOn + 1] = 0x08;      // only node 11 of those is on
    EXPECT_EQ(bmc_PXInfo(0), VKT_BMC_OK);
    const std::vector<std::string> chassisReads = transfers(0x80);
    EXPECT_EQ(std::vector<std::string>(chassisReads.begin() + 3, chassisReads.begin() + 6),
              (std::vector<std::string>{"01/2", "11/4", "FB/1"}));  // no 12 V map on this family
    const std::vector<std::string> nodeReads = transfers(0x82);
    ASSERT_EQ(nodeReads.size(), 12u * 8u);
    EXPECT_EQ(nodeReads[5 * 8], "01 40/24");      // node 6: page 1, second block
    EXPECT_EQ(nodeReads[11 * 8 + 1], "02 D8/24");  // node 12's serial number
    EXPECT_EQ(pairexMCU.nodeID, 6);
    EXPECT_STREQ(pxList[8].power, "Inact");
    EXPECT_STREQ(pxList[9].power, "");
    EXPECT_STREQ(pxList[11].power, "Act");
    EXPECT_STREQ(pxList[11].nodeSN, "SN11");
    EXPECT_STREQ(pxList[11].node, "12");
}

TEST_F(Chassis, ReadingTextsFollowPresencePowerAndInvalidValues) {
    chassis(Family::pairex, 4, 1);
    uint8_t* n0 = mcu().nodeBlock(0);
    n0[McuModel::nodeCpu1] = 0x80;
    n0[McuModel::nodeCpu2] = 0x00;
    n0[McuModel::nodeSysTemp] = 0xFF;
    n0[McuModel::nodeCurrent] = 0x0F;
    n0[McuModel::nodeCurrent + 1] = 0x00;
    n0[McuModel::nodePower] = 0xFF;
    n0[McuModel::nodePower + 1] = 0xFF;
    uint8_t* n1 = mcu().nodeBlock(1);
    n1[McuModel::nodePower] = 0xFF;
    n1[McuModel::nodePower + 1] = 0x00;
    n1[McuModel::nodeCurrent] = 0xFF;
    n1[McuModel::nodeCurrent + 1] = 0xFF;
    n1[McuModel::nodeCpu1] = 0xE2;  // -30
    mcu().registers[McuModel::regPowerOn] = 0x03;  // node 3 present but off
    mcu().registers[McuModel::regPresent] = 0x07;  // node 4 absent
    bmc_PXInfo(0);

    auto row = [](int i) {
        const PXList& r = pxList[i];
        return std::vector<std::string>{r.power, r.ip, r.watts, r.current, r.cpu1Temp, r.cpu2Temp, r.sysTemp};
    };
    EXPECT_EQ(row(0), (std::vector<std::string>{"Act", "10.0.0.0", "N/A", "1.5A", "-128C", "N/A", "N/A"}));
    EXPECT_EQ(row(1), (std::vector<std::string>{"Act", "10.0.0.1", "255W", "N/A", "-30C", "41C", "30C"}));
    EXPECT_EQ(row(2), (std::vector<std::string>{"Inact", "10.0.0.2", "N/A", "N/A", "N/A", "N/A", "N/A"}));
    EXPECT_EQ(row(3), (std::vector<std::string>{"", "", "", "", "", "", ""}));
    EXPECT_STREQ(pxList[3].nodePN, "PN3");  // part numbers are shown whatever the node's state
}

TEST_F(Chassis, IdentityTextsAreBoundedAndErasedFieldsReadEmpty) {
    chassis(Family::pairex, 1, 1);
    mcu().registers[McuModel::regChassisPN] = 0xFF;
    mcu().setText(McuModel::regSystemSN, 24, "AB\xFF" "CD");
    mcu().setText(McuModel::regSystemName, 20, std::string(20, 'N'));
    mcu().setText(McuModel::regBackplanePN, 24, std::string(24, 'B'));
    uint8_t* n0 = mcu().nodeBlock(0);
    for (int i = 0; i < 24; ++i) n0[McuModel::nodePN + i] = static_cast<uint8_t>('a' + i);  // no terminator
    for (int i = 0; i < 24; ++i) n0[McuModel::nodeSN + i] = static_cast<uint8_t>('A' + i);
    bmc().inject([](const IpmiRequest& r) { return testkit::busAddress(0x80)(r) && r.data.size() > 3 && r.data[3] == 0xA1; },
                 IpmiResponse::error(0xCE), 1);
    bmc_PXInfo(0);
    EXPECT_STREQ(reinterpret_cast<char*>(pairexMCU.chassisPN), "(Empty)");
    EXPECT_STREQ(reinterpret_cast<char*>(pairexMCU.systemSN), "AB");
    EXPECT_STREQ(reinterpret_cast<char*>(pairexMCU.chassisSN), "");  // its read failed
    EXPECT_EQ(std::string(reinterpret_cast<char*>(pairexMCU.userDefineSystemName)), std::string(20, 'N'));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(pairexMCU.backplanePN)), std::string(24, 'B'));
    // A 24-byte node text keeps its first 19 characters; the next field is not touched.
    EXPECT_STREQ(pxList[0].nodePN, "abcdefghijklmnopqrs");
    EXPECT_STREQ(pxList[0].nodeSN, "ABCDEFGHIJKLMNOPQRS");
}

TEST_F(Chassis, ShortAnswersAndGarbledSignaturesNeverOverrun) {
    chassis(Family::pairex, 12, 1);  // twelve slots on a family with four node blocks
    bmc().inject(testkit::busAddress(0x82), IpmiResponse::ok({0x31, 0x32}), -1);
    EXPECT_EQ(bmc_PXInfo(0), VKT_BMC_OK);
    EXPECT_STREQ(pxList[11].nodePN, "12");
    EXPECT_STREQ(pxList[11].node, "12");
    EXPECT_STREQ(pxList[8].power, "");  // no bit of an 8-bit map
    bmc().clearFaults();
    bmc().inject(testkit::busAddress(0x80), IpmiResponse::ok(Bytes(125, 0xAC)), -1);
    EXPECT_EQ(bmc_PXInfo(0), VKT_BMC_OK);
    EXPECT_EQ(pairexMCU.configID, 0xAC);
    EXPECT_EQ(pairexMCU.nodeSize, 0);
    EXPECT_STREQ(reinterpret_cast<char*>(pairexMCU.systemPN), "\xAC\xAC\xAC\xAC\xAC\xAC\xAC\xAC\xAC\xAC\xAC\xAC"
                                                              "\xAC\xAC\xAC\xAC\xAC\xAC\xAC\xAC\xAC\xAC\xAC\xAC");
}

// ---- providers --------------------------------------------------------------------------------

TEST_F(Chassis, PXInfoPublishesTheChassisRecord) {
    useServer(testkit::makeScenario("multinode"));
    mcu().setText(McuModel::regSystemPN, 24, "  PN  with   blanks ");
    mcu().setText(McuModel::regSystemSN, 24, " SN  kept ");
    const uint8_t location[5] = {1, 2, 3, 4, 5};
    std::copy(location, location + 5, &mcu().registers[McuModel::regChassisLocation]);
    EnumResult r = host_->enumerate("PXInfoProvider");
    EXPECT_EQ(r.rc, CMPI_RC_OK);
    EXPECT_EQ(r.doneCount, 1);
    ASSERT_EQ(r.instances.size(), 1u);
    const cimhost::Instance& i = r.instances[0];
    EXPECT_EQ(i.path(), "varkolt/cimv2:VKT_PXInfo.deviceID=\"PXInfo\"");
    std::vector<std::pair<std::string, std::optional<std::string>>> expected = {
        {"deviceID", "PXInfo"},
        {"VKT_ConfigurationID", "4"},         {"VKT_CurrentNodeID", "1"},
        {"VKT_SystemName", "rack-07 2U4N"},   {"VKT_SystemPN", "PN with blanks"},
        {"VKT_SystemSN", " SN  kept "},       {"VKT_ChassisPN", "CSE-2U4N"},
        {"VKT_ChassisSN", "C2U4N1151"},       {"VKT_BackPlanePN", "BPN-2U4N"},
        {"VKT_BackPlaneSN", "(Empty)"},       {"VKT_ChassisLocation", "01 02 03 04 05"},
        {"VKT_BPLocation", "Left"},           {"VKT_MCUVersion", "1.0A"},
        {"VKT_BPNRevision", "2.01"},
    };
    EXPECT_EQ(i.properties, expected);
}

TEST_F(Chassis, PXListPublishesOneInstancePerNode) {
    useServer(testkit::makeScenario("multinode"));
    EnumResult r = host_->enumerate("PXListProvider");
    EXPECT_EQ(r.doneCount, 1);
    ASSERT_EQ(r.instances.size(), 4u);
    const cimhost::Instance& third = r.instances[2];
    EXPECT_EQ(third.path(), "varkolt/cimv2:VKT_PXList.device_id=\"3\"");
    std::vector<std::pair<std::string, std::optional<std::string>>> expected = {
        {"device_id", "3"},
        {"VKT_Node", "3"},     {"VKT_Power", "Inact"}, {"VKT_IP", "192.0.2.33"}, {"VKT_Watts", "N/A"},
        {"VKT_Current", "N/A"}, {"VKT_Cpu1Temp", "N/A"}, {"VKT_Cpu2Temp", "N/A"},  {"VKT_SysTemp", "N/A"},
        {"VKT_NodePN", "NODE-X11C"}, {"VKT_NodeSN", "SNX11C0042"},
    };
    EXPECT_EQ(third.properties, expected);

    useServer(testkit::makeScenario("multinode-nimbet"));
    r = host_->enumerate("PXListProvider");
    EXPECT_EQ(r.doneCount, 1);
    ASSERT_EQ(r.instances.size(), 12u);
    for (int i = 0; i < 12; ++i) EXPECT_EQ(r.instances[i].keys.at(0).second, std::to_string(i + 1));
    EXPECT_EQ(info().get("VKT_CurrentNodeID"), "6");

    // A smaller chassis, then none: no row of an earlier collection is published again.
    useServer(testkit::makeScenario("multinode"));
    EXPECT_EQ(listKeys(), (std::vector<std::string>{"1", "2", "3", "4"}));
    useServer(testkit::makeScenario("demo"));
    EXPECT_TRUE(listKeys().empty());
}

TEST_F(Chassis, SingleNodeServerPublishesNoChassis) {
    EnumResult infoResult = host_->enumerate("PXInfoProvider");
    EXPECT_EQ(infoResult.rc, CMPI_RC_OK);
    EXPECT_TRUE(infoResult.instances.empty());
    EXPECT_EQ(infoResult.doneCount, 0);
    EnumResult list = host_->enumerate("PXListProvider");
    EXPECT_TRUE(list.instances.empty());
    EXPECT_EQ(list.doneCount, 1);
}

TEST_F(Chassis, LabelsAndCurrentNodeFollowConfigurationAndBackplane) {
    struct Case {
        uint8_t config, bp, nodeId;
        std::vector<std::string> labels;
        const char* current;
        const char* location;
    };
    const Case cases[] = {
        {2, 0x10, 1, {"1", "2"}, "1", "Left"},
        {2, 0x01, 1, {"3", "4"}, "3", "Right"},
        {3, 0x01, 2, {"3", "4"}, "4", "Right"},
        {1, 0x01, 1, {"2"}, "2", "Right"},
        {4, 0x01, 1, {"5", "6", "7", "8"}, "5", "Right"},
        {5, 0x10, 3, {"A", "B"}, "B", "Left"},
        {4, 0x00, 2, {"A", "B", "C", "D"}, "B", "N/A (00h)"},
        {12, 0x01, 1, {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11"}, "1", "Right"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "config " << int(c.config) << " bp " << int(c.bp));
        memset(pxList, 0, sizeof pxList);
        chassis(Family::pairex, c.config, c.nodeId, c.bp);
        EXPECT_EQ(listKeys(), c.labels);
        const cimhost::Instance i = info();
        EXPECT_EQ(i.get("VKT_CurrentNodeID"), c.current);
        EXPECT_EQ(i.get("VKT_BPLocation"), c.location);
    }
    // The labels of a Nimbet chassis are slot numbers whatever its backplane says.
    memset(pxList, 0, sizeof pxList);
    chassis(Family::nimbet, 2, 3, 0x01);
    EXPECT_EQ(listKeys(), (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(info().get("VKT_CurrentNodeID"), "2");
}

TEST_F(Chassis, UnknownConfigurationPublishesTheChassisButNoNodes) {
    chassis(Family::pairex, 7, 1);
    EXPECT_EQ(info().get("VKT_ConfigurationID"), "7");
    EXPECT_TRUE(listKeys().empty());
    EXPECT_TRUE(transfers(0x82).empty());
}

// ---- settings ---------------------------------------------------------------------------------

TEST_F(Chassis, FieldWritesSendTheValueThenTheFamilysCommit) {
    chassis(Family::pairex, 4, 1);
    EXPECT_EQ(bmc_SetPXField("SystemPN", "ABC123"), VKT_BMC_OK);
    EXPECT_EQ(writes(0x80), (std::vector<std::string>{"41 41 42 43 31 32 33", "40 40"}));
    EXPECT_EQ(mcu().text(McuModel::regSystemPN, 24), "ABC123");

    clearTransfers();
    EXPECT_EQ(bmc_SetPXField("systemname", std::string(30, 'x').c_str()), VKT_BMC_OK);
    EXPECT_EQ(mcu().text(McuModel::regSystemName, 24), std::string(20, 'x'));
    EXPECT_EQ(bmc_SetPXField("BPNid", "0x1f"), VKT_BMC_OK);
    EXPECT_EQ(bmc_SetPXField("configid", "0"), VKT_BMC_OK);
    EXPECT_EQ(bmc_SetPXField2("BPNRevision", "1", "0"), VKT_BMC_OK);
    EXPECT_EQ(writes(0x80), (std::vector<std::string>{"29 78 78 78 78 78 78 78 78 78 78 78 78 78 78 78 78 78 78 78 78",
                                                      "28 28", "7A 1F", "79 79", "FC 00", "FB FB", "7B 01 00", "7A 7A"}));
    EXPECT_EQ(mcu().registers[McuModel::regBpnRevision + 1], 0x00);

    mcu().setFamily(Family::nimbet);
    clearTransfers();
    EXPECT_EQ(bmc_SetPXField("chassissn", "Z9"), VKT_BMC_OK);
    EXPECT_EQ(writes(0x80), (std::vector<std::string>{"A1 5A 39", "3F 00"}));
    EXPECT_EQ(mcu().text(McuModel::regChassisSN, 24), "Z9");
}

TEST_F(Chassis, MalformedSettingsWriteNothing) {
    chassis(Family::pairex, 4, 1);
    struct Case {
        const char* name;
        const char* value;
    };
    for (const Case& c : std::vector<Case>{{"nosuchfield", "1"}, {"configid", "256"}, {"configid", "1f"},
                                           {"configid", ""}, {"bpnID", "zz"}, {"bpnID", "100"},
                                           {"systempn", nullptr}, {nullptr, "1"}, {"bpnrevision", "1"}}) {
        testkit::Outcome o = testkit::captureOutcome([&] { return bmc_SetPXField(c.name, c.value); });
        EXPECT_EQ(o.rc, VKT_BMC_BAD_ARGUMENT) << (c.name ? c.name : "null") << " " << (c.value ? c.value : "null");
        EXPECT_FALSE(o.err.empty());
    }
    EXPECT_EQ(bmc_SetPXField2("bpnrevision", "1", "x"), VKT_BMC_BAD_ARGUMENT);
    EXPECT_EQ(bmc_SetPXField2("systempn", "1", "2"), VKT_BMC_BAD_ARGUMENT);
    EXPECT_EQ(bmc_SetBPLocation("left"), VKT_BMC_BAD_ARGUMENT);
    char* args[] = {nullptr, nullptr, nullptr, const_cast<char*>("01"), const_cast<char*>("1G")};
    EXPECT_EQ(bmc_SetChassisLocation(5, args), VKT_BMC_BAD_ARGUMENT);
    EXPECT_TRUE(writes(0x80).empty());
    EXPECT_TRUE(writes(0x82).empty());
}

TEST_F(Chassis, NodeTextsGoToTheCurrentNodesBlock) {
    chassis(Family::nimbet, 12, 6);
    EXPECT_EQ(bmc_SetPXField("nodesn", "NEW-SN-6"), VKT_BMC_OK);
    Bytes expected = {0x01, 0x58, 'N', 'E', 'W', '-', 'S', 'N', '-', '6'};
    expected.resize(2 + 24, 0x00);
    EXPECT_EQ(writes(0x82), std::vector<std::string>{testkit::hexBytes(expected)});
    EXPECT_EQ(mcu().nodeText(5, McuModel::nodeSN), "NEW-SN-6");
    EXPECT_EQ(mcu().nodeText(4, McuModel::nodeSN), "SN4");

    // A text longer than the field is cut to its 24 bytes.
    chassis(Family::pairex, 4, 2);
    clearTransfers();
    EXPECT_EQ(bmc_SetPXField("NodePN", std::string(40, 'p').c_str()), VKT_BMC_OK);
    const std::vector<testkit::BusTransfer> sent = sim().bus.transfersTo(0x82);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].write.size(), 25u);
    EXPECT_EQ(sent[0].write[0], 0x40);
    EXPECT_EQ(mcu().nodeText(1, McuModel::nodePN), std::string(24, 'p'));
    EXPECT_EQ(mcu().nodeText(2, McuModel::nodePN), "PN2");
}

TEST_F(Chassis, NodeIdsOutsideTheChassisAreRefused) {
    struct Case {
        Family family;
        uint8_t config, nodeId;
    };
    for (const Case& c : {Case{Family::pairex, 4, 0}, Case{Family::pairex, 4, 5}, Case{Family::pairex, 12, 5},
                          Case{Family::nimbet, 12, 13}, Case{Family::nimbet, 7, 1}, Case{Family::nimbet, 12, 0xFF}}) {
        chassis(c.family, c.config, c.nodeId);
        testkit::Outcome o = testkit::captureOutcome([] { return bmc_SetPXField("nodepn", "X"); });
        EXPECT_EQ(o.rc, VKT_BMC_COMMAND_FAILED) << int(c.config) << "/" << int(c.nodeId);
        EXPECT_NE(o.err.find("Node ID"), std::string::npos) << o.err;
        EXPECT_TRUE(writes(0x82).empty());
    }
    // Configuration 2 keeps the unused node 1's block, so node ID 3 is still a node of it.
    chassis(Family::pairex, 2, 3);
    EXPECT_EQ(bmc_SetPXField("nodepn", "X"), VKT_BMC_OK);
    EXPECT_EQ(mcu().nodeText(2, McuModel::nodePN), "X");
}

TEST_F(Chassis, RejectedWritesAreReportedAndNotCommitted) {
    chassis(Family::pairex, 4, 1);
    auto isWrite = [](const IpmiRequest& r) { return testkit::busAddress(0x80)(r) && r.data.size() > 4; };
    bmc().inject(isWrite, IpmiResponse::error(0xD4), 1);
    testkit::Outcome o = testkit::captureOutcome([] { return bmc_SetPXField("systemsn", "S1"); });
    EXPECT_EQ(o.rc, VKT_BMC_COMMAND_FAILED);
    EXPECT_EQ(o.err, "Failed to set systemsn, Completion Code=D4h\n");
    EXPECT_TRUE(writes(0x80).empty());  // the refused write never reached the controller; no commit followed
    EXPECT_TRUE(mcu().pending.empty());

    // A node ID that cannot be read is no node to write to.
    bmc().inject([](const IpmiRequest& r) { return testkit::busAddress(0x80)(r) && r.data.back() == 0x00; },
                 IpmiResponse::error(0xC3), 1);
    o = testkit::captureOutcome([] { return bmc_SetPXField("nodesn", "S1"); });
    EXPECT_EQ(o.rc, VKT_BMC_COMMAND_FAILED);
    EXPECT_EQ(o.err, "Failed to set nodesn, Completion Code=C3h\n");
    EXPECT_TRUE(writes(0x82).empty());
}

TEST_F(Chassis, LocationsAreWrittenByteByByteWithoutCommit) {
    chassis(Family::pairex, 4, 1);
    EXPECT_EQ(bmc_SetBPLocation("2"), VKT_BMC_OK);
    EXPECT_EQ(bmc_SetBPLocation("1"), VKT_BMC_OK);
    EXPECT_EQ(bmc_SetBPLocation("0x20"), VKT_BMC_OK);
    char* args[] = {const_cast<char*>("tool"), const_cast<char*>("px"), const_cast<char*>("loc"),
                    const_cast<char*>("A1"), const_cast<char*>("b2"), const_cast<char*>("0x3")};
    EXPECT_EQ(bmc_SetChassisLocation(6, args), VKT_BMC_OK);
    EXPECT_EQ(writes(0x80), (std::vector<std::string>{"FB 10", "FB 01", "FB 20", "BB A1", "BC B2", "BD 03", "BE 00",
                                                      "BF 00"}));
    EXPECT_EQ(bmc_GetPXField("BPNREVISION"), VKT_BMC_OK);
    EXPECT_EQ(bmc_GetPXField("what"), VKT_BMC_BAD_ARGUMENT);
}

TEST_F(Chassis, EveryRoutineSaysNotPairexOnASingleNodeServer) {
    char* args[] = {nullptr};
    const std::vector<std::function<int()>> routines = {
        [] { return bmc_SetPXField("systempn", "x"); },
        [] { return bmc_SetPXField2("bpnrevision", "1", "2"); },
        [] { return bmc_GetPXField("systempn"); },
        [] { return bmc_SetBPLocation("1"); },
        [] { return bmc_GetBPLocation(); },
        [&] { return bmc_SetChassisLocation(1, args); },
        [] { return bmc_GetChassisLocation(); },
        [] { return bmcGetPXNodeID(); },
    };
    for (const auto& routine : routines) {
        testkit::Outcome o = testkit::captureOutcome(routine);
        EXPECT_EQ(o.rc, VKT_BMC_ABSENT);
        EXPECT_EQ(o.err, "Not Pairex\n");
        EXPECT_EQ(o.out, "");
    }
    for (const testkit::BusTransfer& t : sim().bus.transfers) EXPECT_EQ(t.write, Bytes{0xFD});
}

}  // namespace
