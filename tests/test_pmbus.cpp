// Power modules and their status EEPROMs: detection, readings, status texts, identity from
// the FRU EEPROM, and the VKT_PMBus and VKT_PMBusFRU providers against the simulated bus.
#include <cstdio>

#include "power_test_support.h"
#include "varkolt/bmc.h"

using powertest::PowerTest;
using testkit::Bytes;
using testkit::IpmiResponse;
using testkit::busAddress;
using testkit::busRegister;
namespace pmbus = testkit::pmbus;

namespace {

// The key first; each input reading under the name that ends in a blank and under the
// name the class declares.
const std::vector<std::string> pmbusProperties = {
    "DeviceID",
    "VKT_PMBus_ModuleID",          "VKT_PMBus_StatusStr",         "VKT_PMBus_InputVoltage ",
    "VKT_PMBus_InputVoltage",      "VKT_PMBus_InputCurrent ",     "VKT_PMBus_InputCurrent",
    "VKT_PMBus_MainOutputVoltage", "VKT_PMBus_MainOutputCurrent",
    "VKT_PMBus_Temperature1",      "VKT_PMBus_Temperature2",      "VKT_PMBus_Fan1",
    "VKT_PMBus_Fan2",              "VKT_PMBus_MainOutputPower",   "VKT_PMBus_InputPower",
    "VKT_PMBus_PMBusRevision",     "VKT_PMBus_ZUR_Revision",      "VKT_PMBus_ZUR_SerialNumber",
    "VKT_PMBus_ZUR_ModuleNumber",
};

std::string statusOf(void (*decode)(BYTE, StatusText&), BYTE value) {
    StatusText s;
    decode(value, s);
    return s;
}

TEST(PmbusFormats, LinearWordsAndStatusTexts) {
    EXPECT_DOUBLE_EQ(linearDataFormat(0xD3E8), 15.625);
    EXPECT_DOUBLE_EQ(linearDataFormat(0x0801), 2.0);
    EXPECT_DOUBLE_EQ(linearDataFormat(0x07FF), -1.0);
    EXPECT_DOUBLE_EQ(linearDataFormat(0x7BFF), 1023.0 * 32768);  // exponent 15
    EXPECT_DOUBLE_EQ(linearDataFormat(0x8400), -1024.0 / 65536);  // exponent -16
    EXPECT_DOUBLE_EQ(voutValue(0x1800, 0x17), 12.0);
    EXPECT_DOUBLE_EQ(voutValue(0xFFFF, 0x0F), 65535.0 * 32768);
    EXPECT_DOUBLE_EQ(voutValue(0xD3E8, 0x00), 15.625);

    EXPECT_EQ(statusOf(getStatus_PM1_2, 0x42), "[UNIT IS OFF](42h)");
    EXPECT_EQ(statusOf(getStatus_PM1_2, 0x00), "[STATUS OK](00h)");
    EXPECT_EQ(statusOf(getStatus_PM1_2, 0x81), "[UNIT WAS BUSY](81h)");
    EXPECT_EQ(statusOf(getStatus_Old_Ps, 0x06), "[Over Temperature Fault][Under Voltage Fault](06h)");
    EXPECT_EQ(statusOf(getStatus_Old_Ps, 0x20), "(20h)");
    EXPECT_EQ(statusOf(getStatus_Old_Ps, 0xFF).size(), 101u);
    StatusText s;
    getStatus_B0Addr_PM1_2(0x40, 0x08, s);
    EXPECT_STREQ(s, "OFF (08 40)");
    getStatus_B0Addr_PM1_2(0x00, 0xF7, s);
    EXPECT_STREQ(s, "ON (F7 00)");

    EXPECT_STREQ(getModuleName(0xB2), "Module 2");
    EXPECT_STREQ(getModuleName(0xB4), "N/A");
    EXPECT_STREQ(getModuleNameFRU(0x76), "Module 4");
    EXPECT_STREQ(getModuleNameFRU(0xA0), "N/A");
    EXPECT_EQ(checkNoneStandardVKTPowerSupplies("XX-TRN-2K-R1\r\n"), 1);
    EXPECT_EQ(checkNoneStandardVKTPowerSupplies(""), 0);
    EXPECT_EQ(isVKTOldPower("OKR-0652A"), 1);
    EXPECT_EQ(isVKTOldPower(nullptr), 0);
}

using Pmbus = PowerTest;

TEST_F(Pmbus, ProbesSortDevicesByTheirAnswers) {
    bmc().inject(busRegister(0x78, 0x20), IpmiResponse::ok({0xFF}), -1);  // answers, but FFh: nothing there
    addModule(0x78);
    addModule(0x7A).setByte(0x20, 0x14);
    EXPECT_EQ(detectSlaveAddress(), 1);
    EXPECT_EQ(Bytes(pmBusAvailableSlaveAddrs, pmBusAvailableSlaveAddrs + 6), (Bytes{0x7A, 0, 0, 0, 0, 0}));
    const std::vector<std::string> probe = busRequests();
    ASSERT_EQ(probe.size(), 8u);
    EXPECT_EQ(probe.front(), "06/52 07 78 01 20");
    EXPECT_EQ(probe.back(), "06/52 07 B6 01 20");

    addEeprom(0x72, {0, 0, 0, 0x01});
    EXPECT_EQ(detectSlaveAddressFRU(), 1);
    EXPECT_EQ(detectBatterySlaveAddressFRU(), 0);  // present, but not a battery
    sim().bus.deviceAs<testkit::EepromDevice>(0x72)->bytes[0x0C] = 0x81;
    EXPECT_EQ(detectBatterySlaveAddressFRU(), 1);
    EXPECT_EQ(batteryAvailableSlaveAddrsFRU[0], 0x72);

    bmc().clearLog();
    EXPECT_EQ(isB0Addr(0x78), 0);
    EXPECT_TRUE(bmc().log().empty());
    EXPECT_EQ(isB0Addr(0xB2), 1);  // companion A2h does not answer
    EXPECT_EQ(slaveAddrFRU, 0xA2);
    addEeprom(0xA2, {0, 0, 0, 0x80});
    EXPECT_EQ(isB0Addr(0xB2), 0);
    EXPECT_EQ(busRequests().back(), "06/52 07 A2 01 0C");
}

TEST_F(Pmbus, EveryAddressAnsweringFillsNoMoreThanTheListsAndRecords) {
    for (BYTE a : pmBusSlaveAddrs) addModule(a);
    for (BYTE a : pmBusSlaveAddrsFRU) addEeprom(a, {20, 10, 10, 0x81});
    EXPECT_EQ(detectSlaveAddress(), 6);
    EXPECT_EQ(pmBusAvailableSlaveAddrs[5], 0xB2);
    EXPECT_EQ(enumerate("PMBusProvider").instances.size(), 4u);
    EXPECT_EQ(enumerate("PMBusFRUProvider").instances.size(), 4u);
    EXPECT_EQ(enumerate("PMBusBBPProvider").instances.size(), 4u);
}

TEST_F(Pmbus, OneModulePublishesItsTelemetryAsTexts) {
    testkit::PmbusModule& m = addModule(0x7A, "ZUR-1K6-R1\r\n");
    m.setWord(0x88, pmbus::linear11(230.5));
    m.setWord(0x8C, 0xD317);  // 12.359375 A
    m.setWord(0x8D, pmbus::linear11(35.0));
    m.setWord(0x8E, pmbus::linear11(-40.0));
    m.setByte(0x20, 0x17);
    m.setWord(0x8B, 0x1800);
    m.setWord(0x90, pmbus::linear11(8960.0));
    m.setWord(0x96, pmbus::linear11(258.5));
    m.setWord(0x98, 0x1122);
    bmc().inject(busRegister(0x7A, 0x89), IpmiResponse::error(0xA1), -1);
    bmc().inject(busRegister(0x7A, 0x91), IpmiResponse::ok({0x11}), -1);  // one byte of two
    bmc().inject(busRegister(0x7A, 0xD3), IpmiResponse::ok({0xFF}), -1);

    cimhost::EnumResult r = enumerate("PMBusProvider");
    EXPECT_EQ(r.doneCount, 1);
    ASSERT_EQ(r.instances.size(), 1u);
    const cimhost::Instance& inst = r.instances[0];
    EXPECT_EQ(inst.className, "VKT_PMBus");
    EXPECT_EQ(inst.keys, (std::vector<std::pair<std::string, std::string>>{{"DeviceID", " [SlaveAddress = 7Ah] [Module 2]"}}));
    EXPECT_EQ(inst.propertyNames(), pmbusProperties);
    const std::vector<std::string> expected = {
        " [SlaveAddress = 7Ah] [Module 2]", " [SlaveAddress = 7Ah] [Module 2]", "[STATUS OK](00h)", "230.5 V",
        "230.5 V", "N/A", "N/A", "12.00 V", "12.35 A", "35C/95F",
        "-40C/-39F", "8960 RPM", "17 RPM", "258 W", "260 W", "0x1122", "R2", "SN0", "ZUR-1K6-R1"};
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(inst.get(pmbusProperties[i]), expected[i]) << pmbusProperties[i];
    EXPECT_EQ(Bytes(pmBusHealth[0].zurModuleNumber, pmBusHealth[0].zurModuleNumber + 13),
              Bytes({'Z', 'U', 'R', '-', '1', 'K', '6', '-', 'R', '1', 0, 0, 0}));  // cut in the record itself
}

TEST_F(Pmbus, HugeReadingsAreCutToTheirFieldsWithoutOverflow) {
    testkit::PmbusModule& m = addModule(0x78);
    for (uint8_t code : {0x88, 0x8C, 0x8D, 0x90, 0x97}) m.setWord(code, 0x7BFF);
    m.setByte(0x20, 0x0F);
    m.setWord(0x8B, 0xFFFF);
    ASSERT_EQ(getPMBusInfo(), 1);
    const PmBusRecord& r = pmBusHealth[0];
    EXPECT_STREQ(r.acInputVoltage, "33521664.0 V");
    EXPECT_STREQ(r.dc12VOutputCurrent, "33521664.00 A");
    EXPECT_STREQ(r.dc12VOutputVoltage, "2147450880.00 V");
    EXPECT_STREQ(r.temperature1, "33521664C/60339");  // cut to its 16-byte field
    EXPECT_STREQ(r.fan1, "33521664 RPM");
    EXPECT_STREQ(r.acInputPower, "33521664 W");
}

TEST_F(Pmbus, ForeignModulesTakeTheirIdentityFromTheFruEeprom) {
    addModule(0x7C, "XPS-650\r\n");
    addEeprom(0x74, {0, 0, 0, 0x01},
              {"Acme", "A product name that is longer than thirty-one", "P", "Rev-7", "SN-44", "", ""});
    ASSERT_EQ(getPMBusInfo(), 1);
    EXPECT_STREQ(pmBusHealth[0].zurModuleNumber, "A product name that is longer t");
    EXPECT_STREQ(pmBusHealth[0].zurSerialNumber, "SN-44");
    EXPECT_STREQ(pmBusHealth[0].zurRevision, "Rev-7");
    EXPECT_EQ(slaveAddrFRU, 0x74);
    const std::vector<testkit::BusTransfer> eeprom = sim().bus.transfersTo(0x74);
    ASSERT_EQ(eeprom.size(), 196u);
    EXPECT_EQ(eeprom.back().write, Bytes{195});
    EXPECT_EQ(eeprom.back().readCount, 1);

    // A vendor module keeps what its registers say; an empty module number reads no EEPROM.
    addModule(0x7C, "");
    sim().bus.transfers.clear();
    ASSERT_EQ(getPMBusInfo(), 1);
    EXPECT_TRUE(sim().bus.transfersTo(0x74).empty());
}

TEST_F(Pmbus, StatusDecoderFollowsTheModuleAsItIsNow) {
    pmbus::Telemetry t;
    t.statusByte = 0x40;
    t.statusWord = 0x0840;
    addModule(0xB0, "", t);
    testkit::EepromDevice& companion = addEeprom(0xA0, {0, 0, 0, 0x01}, {"M", "B0-PSU", "P", "V", "S", "", ""});
    cimhost::EnumResult r = enumerate("PMBusProvider");
    ASSERT_EQ(r.instances.size(), 1u);
    EXPECT_EQ(r.instances[0].get("VKT_PMBus_StatusStr"), "OFF (08 40)");
    EXPECT_EQ(r.instances[0].get("VKT_PMBus_ZUR_ModuleNumber"), "B0-PSU");

    // The companion now marks the module as not of the B0 layout: the flag follows.
    companion.bytes[0x0C] = 0x81;
    r = enumerate("PMBusProvider");
    ASSERT_EQ(r.instances.size(), 1u);
    EXPECT_EQ(r.instances[0].get("VKT_PMBus_StatusStr"), "[UNIT IS OFF](40h)");
    EXPECT_EQ(pmBusHealth[0].isB0Addr, 0);

    // Listed non-standard modules use the old status layout and, for "OKR", the old fan units.
    sim().bus.detach(0xB0);
    addModule(0x78, "OKR-0451A", t).setWord(0x90, 0x4064);
    addEeprom(0x70, {0, 0, 0, 0x01}, {"M", "OKR-0451A", "P", "V", "S", "", ""});
    r = enumerate("PMBusProvider");
    ASSERT_EQ(r.instances.size(), 1u);
    EXPECT_EQ(r.instances[0].get("VKT_PMBus_StatusStr"), "(40h)");
    EXPECT_EQ(r.instances[0].get("VKT_PMBus_Fan1"), "11450 RPM");  // 100 counts
}

TEST_F(Pmbus, VoltageStatusModulesAreOnWhileTheOutputHolds) {
    pmbus::Telemetry t;
    t.statusByte = 0x42;
    t.vout = 11.9;
    addModule(0x78, "ZUR-DCB12-01", t);
    ASSERT_EQ(getPMBusInfo(), 1);
    EXPECT_EQ(pmBusHealth[0].statusByte, 1);
    t.vout = 10.99;
    addModule(0x78, "ZUR-DCB12-01", t);
    getPMBusInfo();
    EXPECT_EQ(pmBusHealth[0].statusByte, 0);
    // Without a voltage the module's own status byte stands.
    bmc().inject(busRegister(0x78, 0x8B), IpmiResponse::error(0xC3), -1);
    getPMBusInfo();
    EXPECT_EQ(pmBusHealth[0].statusByte, 0x42);
    EXPECT_STREQ(pmBusHealth[0].dc12VOutputVoltage, "N/A");
}

TEST_F(Pmbus, StatusDevicesPublishStatusTemperatureAndFans) {
    testkit::EepromDevice& e = addEeprom(0x70, {30, 50, 0, 0x01});
    addEeprom(0xA2, {0, 0, 0, 0x01});
    cimhost::EnumResult r = enumerate("PMBusFRUProvider");
    EXPECT_EQ(r.doneCount, 1);
    ASSERT_EQ(r.instances.size(), 2u);
    EXPECT_TRUE(r.instances[0].keys.empty());
    EXPECT_EQ(r.instances[0].propertyNames(), (std::vector<std::string>{"ModuleID", "Status", "Temperature", "Fan1", "Fan2"}));
    auto values = [](const cimhost::Instance& i) {
        std::vector<std::string> v;
        for (const auto& p : i.properties) v.push_back(p.second.value_or("(null)"));
        return v;
    };
    EXPECT_EQ(values(r.instances[0]), (std::vector<std::string>{" [SlaveAddress = 70h] [Module 1]", "On", "30C/86F", "5725 RPM", "0 RPM"}));
    EXPECT_EQ(values(r.instances[1]), (std::vector<std::string>{" [SlaveAddress = A2h]", "N/A", "N/A", "N/A", "N/A"}));

    // A failed read keeps the earlier text.
    e.bytes[0x09] = 45;
    bmc().inject(busRegister(0x70, 0x09), IpmiResponse::error(0xC3), -1);
    bmc().inject(busAddress(0xA2), IpmiResponse::error(0x83), -1);
    r = enumerate("PMBusFRUProvider");
    ASSERT_EQ(r.instances.size(), 1u);
    EXPECT_EQ(r.instances[0].get("Temperature"), "30C/86F");
}

TEST_F(Pmbus, NothingFoundGivesNoInstanceAndTheCollectorsMessage) {
    testkit::CaptureOutput err(2);
    cimhost::EnumResult pm = enumerate("PMBusProvider");
    cimhost::EnumResult fru = enumerate("PMBusFRUProvider");
    EXPECT_EQ(err.text(), "Not detect the power module.\n");
    EXPECT_EQ(pm.rc, CMPI_RC_OK);
    EXPECT_EQ(pm.instances.size() + fru.instances.size(), 0u);
    EXPECT_EQ(pm.doneCount + fru.doneCount, 2);
    int count = -1;
    testkit::Outcome o = testkit::captureOutcome([&] { return bmc_GetPMBusInfo(&count); });
    EXPECT_EQ(o.rc, 13);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(testkit::captureOutcome([] { return bmc_GetPMBusInfo(nullptr); }).rc, 13);
}

TEST_F(Pmbus, DemoChassisCostsTheExchangesItsModulesImply) {
    useServer(testkit::makeScenario("demo"));
    cimhost::EnumResult r = enumerate("PMBusProvider");
    ASSERT_EQ(r.instances.size(), 2u);
    EXPECT_EQ(r.instances[1].get("VKT_PMBus_StatusStr"), "ON (00 00)");
    EXPECT_EQ(r.instances[1].get("VKT_PMBus_ZUR_SerialNumber"), "AXR16T2312000457");
    // 8 probes; 78h: 15 + 13 + 6 identity registers (all filled but the last serial one),
    // 15 registers; B2h: one failing read per identity text, 15 registers, one B0 test and
    // the 196 bytes of its EEPROM.
    const std::vector<testkit::IpmiRequest> sent = commandsOnly();
    EXPECT_EQ(sent.size(), 8u + (34 + 15) + (3 + 15 + 1 + 196));
    for (const testkit::IpmiRequest& q : sent) EXPECT_TRUE(q.is(0x06, 0x52)) << q.toString();
}

TEST(PmbusDemo, DemoToolShowsTheModulesOverBothInterfaces) {
    for (const char* transport : {"", "--kcs "}) {
        const std::string cmd = std::string(VKT_CIM_TOOL) + " --simulate " + transport + "enumerate VKT_PMBus 2>&1";
        FILE* p = popen(cmd.c_str(), "r");
        ASSERT_NE(p, nullptr);
        std::string out;
        char buf[512];
        while (fgets(buf, sizeof buf, p) != nullptr) out += buf;
        ASSERT_EQ(pclose(p), 0) << out;
        EXPECT_NE(out.find("    VKT_PMBus_InputVoltage  = \"230.5 V\"\n    VKT_PMBus_InputVoltage = \"230.5 V\"\n"),
                  std::string::npos)
            << transport << out;
        EXPECT_NE(out.find("    VKT_PMBus_ZUR_ModuleNumber = \"ZUR-1K2D-R1\"\n"), std::string::npos) << transport;
        EXPECT_NE(out.find("DeviceID=\" [SlaveAddress = B2h] [Module 2]\""), std::string::npos) << transport;
    }
}

}  // namespace
