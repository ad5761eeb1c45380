// Battery backup modules: the image read in pieces, its texts, the VKT_PMBusBBP provider, and
// the discharge commands against the simulated battery.
#include "power_test_support.h"
#include "varkolt/bmc.h"

using powertest::PowerTest;
using testkit::BatteryModule;
using testkit::Bytes;
using testkit::IpmiResponse;
using testkit::busRegister;

namespace {

class Battery : public PowerTest {
protected:
    // One enumeration of VKT_PMBusBBP with a single battery expected.
    cimhost::Instance only() {
        cimhost::EnumResult r = enumerate("PMBusBBPProvider");
        EXPECT_EQ(r.doneCount, 1);
        if (r.instances.size() != 1u) {
            ADD_FAILURE() << r.instances.size() << " instances";
            return {};
        }
        return r.instances[0];
    }
};

TEST_F(Battery, ImageIsReadInPiecesAndPublishedInOrder) {
    BatteryModule& b = addBattery(0x72);
    b.bytes[BatteryModule::remainingEnergy] = 85;
    b.setWord(BatteryModule::current, 0xFFF6);
    b.setWord(BatteryModule::statusWord, 0x0060);
    b.setWord(BatteryModule::cycleCount, 412);
    b.bytes[BatteryModule::dischargeState] = 0x85;
    b.bytes[BatteryModule::dischargeControl] = 0x87;
    b.bytes[BatteryModule::boardTemperature] = 30;
    b.setWord(BatteryModule::power, 1500);

    const cimhost::Instance inst = only();
    EXPECT_TRUE(inst.keys.empty());
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"ModuleID", " [SlaveAddress = 72h] [Module 2]"},
        {"Manufacturer", "BMfg"},
        {"ModelName", "BBP-1"},
        {"SerialNumber", "BSN-7"},
        {"ProductVersion", "1.1"},
        {"FirmwareVersion", "2.01"},
        {"BatteryVoltage", "12.60 V"},
        {"BatteryCurrent", "-100 mA"},
        {"BatteryPackTemp", "25C/77F"},
        {"BoardTemperature", "30C/86F"},
        {"PowerWattage", "1500W"},
        {"CycleCount", "412"},
        {"BatteryPowerStatus", "Normal"},
        {"RemainingEnergy", "85%"},
        {"DischargeStatus", "Discharging (auto)"},
        {"DischargeSetting", "Auto (7 days)"},
        {"DischargeRemainingDays", "5 days"},
        {"BatteryStatus", "0x0060"},
        {"BatteryStatusDescription", "[FULLY CHARGED][DISCHARGING]"},
    };
    ASSERT_EQ(inst.properties.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(inst.properties[i].first, expected[i].first);
        EXPECT_EQ(inst.properties[i].second.value_or("(null)"), expected[i].second) << expected[i].first;
    }
    std::vector<std::string> reads;
    for (const std::string& q : busRequests())
        if (q.rfind("06/52 07 72 20 ", 0) == 0) reads.push_back(q.substr(15));
    EXPECT_EQ(reads, (std::vector<std::string>{"00", "20", "40", "60", "80", "A0", "C0", "E0"}));
}

TEST_F(Battery, ValuesAtTheEdgesOfTheirTexts) {
    BatteryModule& b = addBattery(0x70);
    struct Case {
        uint8_t offset;
        uint16_t word;
        const char* property;
        const char* text;
    };
    const Case cases[] = {
        {BatteryModule::voltage, 1000, "BatteryVoltage", "1000 mV"},
        {BatteryModule::voltage, 1001, "BatteryVoltage", "1.00 V"},
        {BatteryModule::current, 0x0064, "BatteryCurrent", "1000 mA"},
        {BatteryModule::current, 0x0065, "BatteryCurrent", "1.01 A"},
        {BatteryModule::current, 0xFF9B, "BatteryCurrent", "-1.01 A"},
        {BatteryModule::statusWord, 0x0A00, "BatteryStatusDescription", "[REMAINING CAPACITY][TERMINATE DISCHARGE]"},
        {BatteryModule::statusWord, 0xFFFF, "BatteryStatus", "0xFFFF"},
        {BatteryModule::dischargeState, 0x0040, "DischargeStatus", "Discharging (user)"},
        {BatteryModule::dischargeControl, 0x0007, "DischargeSetting", "User"},
    };
    for (const Case& c : cases) {
        b.setWord(c.offset, c.word);
        EXPECT_EQ(only().get(c.property), c.text) << c.property << " " << c.word;
    }
    EXPECT_EQ(only().get("BatteryStatusDescription").size(), 132u);  // all eight descriptions

    const struct {
        uint8_t firmware;
        uint8_t pack;
        const char* version;
        const char* packText;
    } identity[] = {{0x1F, 0, "1.0", "N/A"}, {0x20, 1, "2.00", "1C/34F"}, {0x3A, 255, "3.10", "255C/491F"}};
    for (const auto& c : identity) {
        b.setImage(testkit::pmbus::moduleFruImage({c.pack, 0, 0, 0x81, c.firmware},
                                                  {"A manufacturer name of 31 chars", "M", "P", "V", "S", "", ""}));
        const cimhost::Instance inst = only();
        EXPECT_EQ(inst.get("FirmwareVersion"), c.version);
        EXPECT_EQ(inst.get("BatteryPackTemp"), c.packText);
        EXPECT_EQ(inst.get("Manufacturer"), "A manufacturer name");  // cut to the property's 19
    }
    EXPECT_STREQ(batteryHealth[0].manufacturer, "A manufacturer name of 31 chars");
}

TEST_F(Battery, UnreadablePiecesAndMissingAreasReadAsZero) {
    addBattery(0x70, {40, 0, 0, 0x81, 0x35}).bytes[BatteryModule::boardTemperature] = 33;
    BatteryModule& second = addBattery(0x76);
    second.bytes[BatteryModule::boardTemperature] = 35;
    EXPECT_EQ(enumerate("PMBusBBPProvider").instances.size(), 2u);

    // The second battery's first piece and its status block fail; the first battery was
    // parsed just before, yet none of its bytes may show up as the second one's.
    bmc().inject(busRegister(0x76, 0x00), IpmiResponse::error(0xC3), -1);
    bmc().inject(busRegister(0x76, 0xE0), IpmiResponse::ok({0x00}), -1);  // a short piece
    cimhost::EnumResult r = enumerate("PMBusBBPProvider");
    ASSERT_EQ(r.instances.size(), 2u);
    const cimhost::Instance& b = r.instances[1];
    EXPECT_EQ(b.get("ModuleID"), " [SlaveAddress = 76h] [Module 4]");
    for (const char* p : {"Manufacturer", "ModelName", "SerialNumber", "ProductVersion"}) EXPECT_EQ(b.get(p), "") << p;
    EXPECT_EQ(b.get("FirmwareVersion"), "1.0");
    EXPECT_EQ(b.get("BatteryPackTemp"), "N/A");
    EXPECT_EQ(b.get("BatteryPowerStatus"), "Not Operational");
    EXPECT_FALSE(b.has("BoardTemperature"));  // 35 before, now unavailable: no stale value
    const std::vector<std::pair<const char*, const char*>> zeros = {
        {"BatteryVoltage", "0 mV"},    {"BatteryCurrent", "0 mA"},     {"PowerWattage", "0W"},
        {"CycleCount", "0"},           {"RemainingEnergy", "0%"},      {"DischargeStatus", "None"},
        {"DischargeSetting", "User"},  {"DischargeRemainingDays", "0 days"}, {"BatteryStatus", "0x0000"},
    };
    for (const auto& z : zeros) EXPECT_EQ(b.get(z.first), z.second) << z.first;
    EXPECT_EQ(r.instances[0].get("FirmwareVersion"), "3.05");
    EXPECT_EQ(r.instances[0].get("BoardTemperature"), "33C/91F");
}

TEST(BatteryStatusBlock, WordsAreLowByteFirstAndACutImageReadsZero) {
    BYTE image[256] = {};
    const Bytes block = {85, 0xA0, 0x0F, 0xF6, 0xFF, 0x60, 0x00, 0x9C, 0x01, 0x85, 0x87};
    std::copy(block.begin(), block.end(), image + 0xE0);
    image[0xEF] = 30;
    image[0xF2] = 0xDC;
    image[0xF3] = 0x05;
    vkt::BatteryStatusBlock b = vkt::BatteryStatusBlock::decode(vkt::ByteView(image));
    EXPECT_EQ(b.remainingEnergy, 85);
    EXPECT_EQ(b.voltage, 4000);
    EXPECT_EQ(b.current, -10);
    EXPECT_EQ(b.statusWord, 0x0060);
    EXPECT_EQ(b.cycleCount, 412);
    EXPECT_EQ(b.dischargeState, 0x85);
    EXPECT_EQ(b.dischargeControl, 0x87);
    EXPECT_EQ(b.boardTemperature, 30);
    EXPECT_EQ(b.power, 1500);
    // An image that ends inside the voltage word.
    b = vkt::BatteryStatusBlock::decode(vkt::ByteView(image, 0xE2));
    EXPECT_EQ(b.remainingEnergy, 85);
    EXPECT_EQ(b.voltage, 0x00A0);
    EXPECT_EQ(b.current, 0);
    EXPECT_EQ(b.power, 0);
}

TEST_F(Battery, NoBatteryIsReportedByTheCollector) {
    addEeprom(0x70, {30, 50, 50, 0x01});  // a power module's EEPROM, not a battery
    testkit::CaptureOutput err(2);
    cimhost::EnumResult r = enumerate("PMBusBBPProvider");
    EXPECT_EQ(err.text(), "Not detect the battery module.\n");
    EXPECT_EQ(r.rc, CMPI_RC_OK);
    EXPECT_TRUE(r.instances.empty());
    EXPECT_EQ(r.doneCount, 1);
    int count = -1;
    EXPECT_EQ(testkit::captureOutcome([&] { return bmc_GetBatteryInfo(&count); }).rc, 13);
    EXPECT_EQ(count, 0);
}

// ---- discharge ------------------------------------------------------------------------------

using Discharge = Battery;

TEST_F(Discharge, ManualDischargeKeepsTheDaysAndStartsNow) {
    addBattery(0x70);
    BatteryModule& b = addBattery(0x72);
    b.bytes[BatteryModule::dischargeState] = 0x9F;
    b.bytes[BatteryModule::dischargeControl] = 0x9F;
    testkit::Outcome o = testkit::captureOutcome([] { return bmc_Discharge(2); });
    EXPECT_EQ(o.rc, 0);
    EXPECT_EQ(o.out, "Done.\n");
    const std::vector<std::string> sent = busRequests();
    ASSERT_GE(sent.size(), 2u);
    EXPECT_EQ(sent[sent.size() - 2], "06/52 07 72 01 E9");
    EXPECT_EQ(sent.back(), "06/52 07 72 00 EA 5F");
    EXPECT_EQ(b.controlWrites, Bytes{0x5F});
    cimhost::EnumResult r = enumerate("PMBusBBPProvider");
    ASSERT_EQ(r.instances.size(), 2u);
    EXPECT_EQ(r.instances[1].get("DischargeStatus"), "Discharging (auto)");  // bit 7 still set by the module
    b.bytes[BatteryModule::dischargeState] = 0x1F;
    EXPECT_EQ(testkit::captureOutcome([] { return bmc_Discharge(2); }).rc, 0);
    EXPECT_EQ(enumerate("PMBusBBPProvider").instances[1].get("DischargeStatus"), "Discharging (user)");
}

TEST_F(Discharge, AutomaticDischargeSetsTheInterval) {
    BatteryModule& b = addBattery(0x70);
    testkit::Outcome o = testkit::captureOutcome([] { return bmc_AutoDischarge(1, 30); });
    EXPECT_EQ(o.rc, 0);
    EXPECT_EQ(o.out, "Done.\n");
    EXPECT_EQ(busRequests().back(), "06/52 07 70 00 EA 9E");
    EXPECT_EQ(only().get("DischargeSetting"), "Auto (30 days)");
    EXPECT_EQ(testkit::captureOutcome([] { return bmc_AutoDischarge(1, 63); }).rc, 0);
    EXPECT_EQ(testkit::captureOutcome([] { return bmc_AutoDischarge(1, 0); }).rc, 0);
    EXPECT_EQ(b.controlWrites, (Bytes{0x9E, 0xBF, 0x80}));
}

TEST_F(Discharge, RefusedRequestsWriteNothing) {
    BatteryModule& b = addBattery(0x70);
    addEeprom(0x72, {30, 50, 50, 0x01});
    const struct {
        int module;
        int days;  // < -100: manual discharge
        int rc;
        const char* err;
    } cases[] = {
        {0, -1000, 13, "[Module 0] is not a battery module.\n"},
        {5, -1000, 13, "[Module 5] is not a battery module.\n"},
        {2, -1000, 13, "[Module 2] is not a battery module.\n"},
        {2, 30, 13, "[Module 2] is not a battery module.\n"},
        {-7, 1, 13, "[Module -7] is not a battery module.\n"},
        {1, 64, 12, "Invalid number of days: 64 (0~63).\n"},
        {1, 200, 12, "Invalid number of days: 200 (0~63).\n"},
        {1, -1, 12, "Invalid number of days: -1 (0~63).\n"},
    };
    for (const auto& c : cases) {
        bmc().clearLog();
        testkit::Outcome o = testkit::captureOutcome(
            [&] { return c.days < -100 ? bmc_Discharge(c.module) : bmc_AutoDischarge(c.module, c.days); });
        EXPECT_EQ(o.rc, c.rc) << c.module << "/" << c.days;
        EXPECT_EQ(o.err, c.err);
        EXPECT_EQ(o.out, "");
        if (c.rc == 12) {
            EXPECT_TRUE(busRequests().empty()) << "an out-of-range day count is refused unsent";
        }
    }
    EXPECT_TRUE(b.controlWrites.empty());

    // A state that cannot be read is not guessed at; a refused write is reported.
    bmc().inject(busRegister(0x70, 0xE9), IpmiResponse::error(0xC3), 1);
    testkit::Outcome o = testkit::captureOutcome([] { return bmc_Discharge(1); });
    EXPECT_EQ(o.rc, 11);
    EXPECT_EQ(o.err, "Failed to manually discharge battery, Completion Code=C3h\n");
    bmc().inject(busRegister(0x70, 0xEA), IpmiResponse::error(0xD5), 1);
    o = testkit::captureOutcome([] { return bmc_AutoDischarge(1, 7); });
    EXPECT_EQ(o.rc, 11);
    EXPECT_EQ(o.err, "Failed to set auto discharge by days, Completion Code=D5h\n");
    EXPECT_TRUE(b.controlWrites.empty());

    sim().bus.detach(0x70);
    o = testkit::captureOutcome([] { return bmc_Discharge(1); });
    EXPECT_EQ(o.rc, 13);
    EXPECT_EQ(o.err, "Not detect the battery module.\n");
}

TEST_F(Discharge, DemoBatteryFollowsTheCommands) {
    useServer(testkit::makeScenario("demo"));
    EXPECT_EQ(only().get("DischargeSetting"), "Auto (30 days)");
    EXPECT_EQ(testkit::captureOutcome([] { return bmc_AutoDischarge(3, 14); }).rc, 0);
    EXPECT_EQ(testkit::captureOutcome([] { return bmc_Discharge(3); }).rc, 0);
    const cimhost::Instance inst = only();
    EXPECT_EQ(inst.get("DischargeSetting"), "Auto (14 days)");
    EXPECT_EQ(inst.get("DischargeStatus"), "Discharging (user)");
    EXPECT_EQ(inst.get("DischargeRemainingDays"), "14 days");
    EXPECT_EQ(inst.get("BatteryStatusDescription"), "[FULLY CHARGED][DISCHARGING]");
}

}  // namespace
