// Sensor evaluation as VKT_Sensors publishes it: the threshold classes (whole numbers,
// hundredths, drive slots, watchdog 2), the discrete classes, the firmware family's zero
// rule, and what a failing or misbehaving BMC turns into.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <varkolt/bmc.h>

#include "cimhost.h"
#include "sdr_fixture.h"

using namespace sdrtest;
using cimhost::EnumResult;
using cimhost::Host;
using cimhost::Instance;
using testkit::SensorState;

namespace {

struct Shown {
    std::string reading, low, high, status, typeName;
};

class Sensors : public SdrTest {
protected:
    void SetUp() override {
        SdrTest::SetUp();
        host_ = Host::inProcess();
    }
    void useAtenFirmware() { sim().device.systemGuid = testkit::guidWithSignature("3101MS"); }

    EnumResult enumerate(const char** properties = nullptr) { return host_->enumerate("SensorsProvider", properties); }

    // The published texts of the sensor called `name` in a fresh enumeration.
    Shown shown(const std::string& name) {
        EnumResult r = enumerate();
        for (const Instance& i : r.instances)
            if (i.get("VKT_SensorName") == name)
                return {i.get("VKT_Reading"), i.get("VKT_LowLimit"), i.get("VKT_HighLimit"), i.get("VKT_Status"),
                        i.get("VKT_SensorTypeName")};
        ADD_FAILURE() << name << " not published";
        return {};
    }

    // A threshold sensor (full record, event/reading type 01h).
    SensorState& analog(const std::string& name, uint8_t number, uint8_t sensorType, uint8_t unit,
                        std::array<uint8_t, 6> thresholds = {}, int m = 1, int b = 0, int rExp = 0) {
        SensorFields f = fields(name, number, sensorType, 0x01, unit);
        f.thresholds = thresholds;
        f.m = m;
        f.b = b;
        f.rExp = rExp;
        return sdr().addFull(f);
    }
    SensorState& discrete(const std::string& name, uint8_t number, uint8_t sensorType, uint8_t readingType) {
        return sdr().addCompact(fields(name, number, sensorType, readingType, 0x00));
    }

    std::unique_ptr<Host> host_;
};

std::array<uint8_t, 6> critical(uint8_t low, uint8_t high) { return {0, low, 0, 0, high, 0}; }

// ---- whole-number units: temperature, fan, power ---------------------------------------------

TEST_F(Sensors, TemperatureWithCriticalLimits) {
    analog("CPU Temp", 0x01, 0x01, 1, critical(5, 90)).reading = 45;
    EnumResult r = enumerate();
    EXPECT_EQ(r.rc, CMPI_RC_OK);
    EXPECT_EQ(r.doneCount, 1);
    ASSERT_EQ(r.instances.size(), 1u);
    const Instance& i = r.instances[0];
    EXPECT_EQ(i.className, "VKT_Sensors");
    EXPECT_EQ(i.nameSpace, "varkolt/cimv2");
    EXPECT_EQ(i.keys, (std::vector<std::pair<std::string, std::string>>{{"DeviceID", "CPU Temp"}}));
    EXPECT_EQ(i.propertyNames(), (std::vector<std::string>{"DeviceID", "VKT_SensorName", "VKT_SensorTypeName",
                                                           "VKT_Reading", "VKT_LowLimit", "VKT_HighLimit", "VKT_Status"}));
    EXPECT_EQ(i.get("DeviceID"), "CPU Temp");
    EXPECT_EQ(i.get("VKT_SensorName"), "CPU Temp");
    EXPECT_EQ(i.get("VKT_SensorTypeName"), "Temperature");
    EXPECT_EQ(i.get("VKT_Reading"), "45C/113F");
    EXPECT_EQ(i.get("VKT_LowLimit"), "5C/41F");
    EXPECT_EQ(i.get("VKT_HighLimit"), "90C/194F");
    EXPECT_EQ(i.get("VKT_Status"), "OK");
}

TEST_F(Sensors, TemperatureBytesWithBit7AreNegative) {
    analog("Inlet Temp", 0x02, 0x01, 1, critical(0xF9, 0)).reading = 0xF6;  // 246 read as -10
    Shown s = shown("Inlet Temp");
    EXPECT_EQ(s.reading, "-10C/14F");
    EXPECT_EQ(s.low, "-7C/19F");
    EXPECT_EQ(s.high, "N/A");
    EXPECT_EQ(s.status, "Fail") << "-10 is below -7";
}

TEST_F(Sensors, TemperatureStatusComparesWithTheCriticalLimits) {
    SensorState& t = analog("T", 0x03, 0x01, 1, {3, 10, 1, 80, 90, 99});
    for (auto [raw, status] : {std::pair<int, const char*>{10, "OK"}, {90, "OK"}, {9, "Fail"}, {91, "Fail"}}) {
        t.reading = static_cast<uint8_t>(raw);
        EXPECT_EQ(shown("T").status, status) << raw;
    }
    t.thresholdsCc = 0xC1;  // no limits: nothing to compare with
    t.reading = 120;
    Shown s = shown("T");
    EXPECT_EQ(s.status, "OK");
    EXPECT_EQ(s.low, "N/A");
    EXPECT_EQ(s.high, "N/A");
}

TEST_F(Sensors, FanAtZeroRpmFailsOnlyOnTheFamilyThatReportsDeadFansAsZero) {
    analog("FAN1", 0x41, 0x04, 18, critical(5, 254), 100).reading = 0;
    analog("FAN2", 0x42, 0x04, 18, {}, 100).reading = 0;  // no limits
    for (int pass = 0; pass < 2; ++pass) {
        Shown s = shown("FAN1");
        EXPECT_EQ(s.reading, "N/A");
        EXPECT_EQ(s.low, "500 RPM");
        EXPECT_EQ(s.high, "25400 RPM");
        EXPECT_EQ(s.typeName, "Fan");
        EXPECT_EQ(s.status, pass == 0 ? "" : "Fail");
        EXPECT_EQ(shown("FAN2").status, "");
        useAtenFirmware();
    }
    sim().device.systemGuid = testkit::guidWithSignature("9001MS");  // another family
    EXPECT_EQ(shown("FAN1").status, "");
    useAtenFirmware();
    bmc().failAlways(0x06, 0x37, 0xC1);  // family unknown: treated as not that family
    EXPECT_EQ(shown("FAN1").status, "");
}

TEST_F(Sensors, FamilyIsAskedOncePerEnumeration) {
    useAtenFirmware();
    for (uint8_t n = 1; n <= 3; ++n) analog("Fan" + std::to_string(n), n, 0x04, 18, critical(5, 0), 100).reading = 0;
    enumerate();
    EXPECT_EQ(bmc().count(0x06, 0x37), 1u);
}

TEST_F(Sensors, PowerAndKelvinAreWholeNumbers) {
    analog("PW Consumption", 0x50, 0x0B, 6, critical(0, 230), 4).reading = 44;
    analog("Kelvin", 0x51, 0x01, 3, critical(1, 0)).reading = 77;
    Shown p = shown("PW Consumption");
    EXPECT_EQ(p.reading, "176 Watts");
    EXPECT_EQ(p.low, "N/A");
    EXPECT_EQ(p.high, "920 Watts");
    EXPECT_EQ(p.status, "OK");
    EXPECT_EQ(p.typeName, "Others");
    EXPECT_EQ(shown("Kelvin").reading, "77 K");
}

// ---- hundredths: voltages and the rest --------------------------------------------------------

TEST_F(Sensors, VoltageIsCutToHundredths) {
    // (50 * 247 - 3) / 1000 = 12.347
    analog("12V", 0x30, 0x02, 4, {0, 0, 0, 0, 200, 0}, 50, -3, -3).reading = 247;
    analog("5V", 0x31, 0x02, 4, critical(0, 255), 2, 0, -2).reading = 250;
    Shown s = shown("12V");
    EXPECT_EQ(s.reading, "12.34 V");
    EXPECT_EQ(s.low, "0.00 V") << "raw 0 is -0.003 V here, which is not 0";
    EXPECT_EQ(s.high, "9.99 V");
    EXPECT_EQ(s.status, "OK") << "limits of these sensors are shown, not compared";
    EXPECT_EQ(s.typeName, "Voltage");
    Shown five = shown("5V");
    EXPECT_EQ(five.reading, "5.00 V");
    EXPECT_EQ(five.low, "N/A") << "a lower critical threshold of exactly 0";
    EXPECT_EQ(five.high, "5.10 V");
}

TEST_F(Sensors, HundredthsThatBinaryCannotHoldAreNotLost) {
    analog("VBAT", 0x33, 0x02, 4, critical(29, 0), 1, 0, -2).reading = 29;  // 0.29 V
    EXPECT_EQ(shown("VBAT").reading, "0.29 V");
    EXPECT_EQ(shown("VBAT").low, "0.29 V");
}

TEST_F(Sensors, UnitTextOfUnspecifiedAndUnknownUnits) {
    analog("Unspecified", 0x60, 0x0B, 0, critical(3, 0)).reading = 15;
    analog("Percent", 0x61, 0x0B, 7, critical(3, 0)).reading = 15;  // no text for this unit
    EXPECT_EQ(shown("Unspecified").reading, "15.00  ");
    EXPECT_EQ(shown("Unspecified").low, "3.00  ");
    EXPECT_EQ(shown("Percent").reading, "15.00 ");
    EXPECT_EQ(shown("Percent").low, "3.00 ");
}

TEST_F(Sensors, CurrentReadsInAmps) {
    analog("PS1 Curr", 0x70, 0x03, 5, {}, 1, 0, -1).reading = 146;
    Shown s = shown("PS1 Curr");
    EXPECT_EQ(s.reading, "14.60 Amps");
    EXPECT_EQ(s.low, "N/A");
    EXPECT_EQ(s.status, "OK");
}

// ---- readings that are not there ----------------------------------------------------------------

TEST_F(Sensors, UnavailableReadingShowsNA) {
    useAtenFirmware();
    analog("Temp", 0x01, 0x01, 1, critical(5, 90)).reading = 0xFF;
    analog("Volt", 0x02, 0x02, 4, critical(10, 20)).reading = 0xFF;
    analog("Gone", 0x03, 0x01, 1, critical(5, 90)).readingCc = 0xCB;
    analog("Busy", 0x04, 0x02, 4, critical(10, 20)).readingCc = 0xD5;
    for (const char* n : {"Temp", "Gone"}) {
        Shown s = shown(n);
        EXPECT_EQ(s.reading, "N/A") << n;
        EXPECT_EQ(s.low, "N/A") << n;
        EXPECT_EQ(s.high, "N/A") << n;
        EXPECT_EQ(s.status, "") << n;
    }
    for (const char* n : {"Volt", "Busy"}) {
        Shown s = shown(n);
        EXPECT_EQ(s.reading, "N/A") << n;
        EXPECT_EQ(s.low, "10.00 V") << n;
        EXPECT_EQ(s.high, "20.00 V") << n;
        EXPECT_EQ(s.status, "") << n;
    }
}

TEST_F(Sensors, ReadingThatFailsOnTheSecondAskIsUnavailable) {
    useAtenFirmware();
    analog("Temp", 0x01, 0x01, 1, critical(5, 90)).reading = 45;
    analog("Volt", 0x02, 0x02, 4, critical(10, 20)).reading = 15;
    int reads = 0;
    bmc().inject([&reads](const IpmiRequest& r) { return r.is(0x04, 0x2D) && ++reads % 2 == 0; },
                 IpmiResponse::error(0xC3), -1);
    EnumResult r = enumerate();
    ASSERT_EQ(r.instances.size(), 2u);
    EXPECT_EQ(r.instances[0].get("VKT_Reading"), "N/A");
    EXPECT_EQ(r.instances[0].get("VKT_LowLimit"), "N/A");
    EXPECT_EQ(r.instances[0].get("VKT_Status"), "") << "never judged on a byte that was not sent";
    EXPECT_EQ(r.instances[1].get("VKT_Reading"), "N/A");
    EXPECT_EQ(r.instances[1].get("VKT_LowLimit"), "10.00 V");
    EXPECT_EQ(r.instances[1].get("VKT_Status"), "");
}

TEST_F(Sensors, ConversionWithoutANumberIsNoReading) {
    useAtenFirmware();
    SensorFields ln = fields("Log Temp", 0x01, 0x01, 0x01, 1);
    ln.linearization = 0x01;  // ln(0)
    ln.thresholds = critical(5, 90);
    sdr().addFull(ln).reading = 0;
    SensorFields inv = fields("Inverse V", 0x02, 0x02, 0x01, 4);
    inv.linearization = 0x07;  // 1/0
    sdr().addFull(inv).reading = 0;
    Shown t = shown("Log Temp");
    EXPECT_EQ(t.reading, "N/A");
    EXPECT_EQ(t.status, "") << "not the zero reading of a dead sensor";
    Shown v = shown("Inverse V");
    EXPECT_EQ(v.reading, "N/A");
    EXPECT_EQ(v.status, "");
}

TEST_F(Sensors, HugeValuesAreCutToTheirFieldOrRefused) {
    // 511 * 254 * 10^4 = 1297940000
    analog("Huge Fan", 0x41, 0x04, 18, critical(254, 0), 511, 0, 4).reading = 254;
    analog("Huge Volt", 0x30, 0x02, 4, critical(254, 0), 511, 0, 4).reading = 254;
    analog("Beyond", 0x31, 0x02, 4, critical(254, 0), 511, 511, 7).reading = 254;  // about 1.3e12
    Shown f = shown("Huge Fan");
    EXPECT_EQ(f.reading, "1297940000 RPM");
    EXPECT_EQ(f.low, "1297940000 ");  // 11 characters
    Shown v = shown("Huge Volt");
    EXPECT_EQ(v.reading, "1297940000.00 V");
    EXPECT_EQ(v.low, "1297940000.");
    Shown b = shown("Beyond");
    EXPECT_EQ(b.reading, "N/A");
    EXPECT_EQ(b.low, "N/A");
    EXPECT_EQ(b.status, "");
}

// ---- drive slots read as threshold sensors -----------------------------------------------------

TEST_F(Sensors, DriveSlotStatesAreTestedFromTheLowestBit) {
    SensorState& d = analog("HDD0", 0x80, 0x0D, 0);
    const std::string cutTo39 = std::string("Consistency Check/Parity Check in progress").substr(0, 39);
    const std::string aborted = std::string("Rebuild/Remap Aborted (was not completed normally)").substr(0, 39);
    const struct {
        uint16_t states;
        const char* status;
        std::string reading;
    } cases[] = {
        {0x0001, "OK", "Drive Presence"},     {0x0003, "OK", "Drive Presence"},
        {0x0002, "Fail", "Drive Fault"},      {0x0004, "Fail", "Predictive Failure"},
        {0x0008, "Fail", "Hot Spare"},        {0x0010, "OK", cutTo39},
        {0x0020, "Fail", "In Critical Array"}, {0x0040, "Fail", "In Failed Array"},
        {0x0080, "Fail", "Rebuild/Remap in progress"}, {0x0100, "Fail", aborted},
        {0x0180, "Fail", "Rebuild/Remap in progress"}, {0x0000, "", "Not Present"},
        {0x0200, "Fail", "Unknown"},
    };
    for (const auto& c : cases) {
        d.states = c.states;
        Shown s = shown("HDD0");
        EXPECT_EQ(s.reading, c.reading) << std::hex << c.states;
        EXPECT_EQ(s.status, c.status) << std::hex << c.states;
        EXPECT_EQ(s.low, "");
        EXPECT_EQ(s.high, "");
        EXPECT_EQ(s.typeName, "Others");
    }
    d.readingCc = 0xCB;
    Shown s = shown("HDD0");
    EXPECT_EQ(s.reading, "No reading");
    EXPECT_EQ(s.status, "");
    EXPECT_EQ(s.low, "");
}

TEST_F(Sensors, ThresholdClassesCostTheirCommands) {
    analog("Temp", 0x01, 0x01, 1, critical(5, 90)).reading = 45;
    analog("HDD0", 0x80, 0x0D, 0).states = 1;
    analog("Gone", 0x02, 0x01, 1, critical(5, 90)).reading = 0xFF;
    discrete("Watchdog2", 0xCA, 0x23, 0x70);
    discrete("CPU1", 0x60, 0x07, 0x6F).states = 0x80;
    enumerate();
    auto numbers = [this](uint8_t cmd) {
        std::vector<int> out;
        for (const IpmiRequest& r : bmc().requests(0x04, cmd)) out.push_back(r.data.at(0));
        return out;
    };
    EXPECT_EQ(numbers(0x2D), (std::vector<int>{0x01, 0x01, 0x80, 0x80, 0x02, 0xCA, 0x60}));
    EXPECT_EQ(numbers(0x27), (std::vector<int>{0x01, 0x80, 0x02, 0xCA}));
}

TEST_F(Sensors, WatchdogTwoReadAsThresholdSensorIsNotPublished) {
    discrete("Watchdog2", 0xCA, 0x23, 0x70);
    discrete("CPU1", 0x60, 0x07, 0x6F).states = 0x80;
    EnumResult r = enumerate();
    ASSERT_EQ(r.instances.size(), 1u);
    EXPECT_EQ(r.instances[0].get("VKT_SensorName"), "CPU1");
    EXPECT_EQ(cim_sdr[0].sensorType, 0x23);
    EXPECT_EQ(cim_sdr[0].readingType, 0x70);
    EXPECT_STREQ(cim_sdr[0].sensor, "");
    EXPECT_STREQ(cim_sdr[0].lowLimit, "N/A");
}

// ---- generic discrete ---------------------------------------------------------------------------

TEST_F(Sensors, GenericDiscreteStatesAndTexts) {
    SensorState& d03 = discrete("Digital", 0x10, 0x0B, 0x03);
    SensorState& d06 = discrete("Perf", 0x11, 0x0B, 0x06);
    SensorState& d09 = discrete("Enable", 0x12, 0x0B, 0x09);
    const struct {
        SensorState* s;
        const char* name;
        uint16_t states;
        const char* reading;
        const char* status;
    } cases[] = {
        {&d03, "Digital", 0x0001, "State Deasserted", "OK"},
        {&d03, "Digital", 0x0002, "State Asserted", "OK"},
        {&d03, "Digital", 0x0003, "State Asserted", "OK"},
        {&d03, "Digital", 0x0004, "N/A", ""},    // offset 2: no row for 03h
        {&d03, "Digital", 0x00E0, "N/A", ""},    // bits 5 to 7 never count
        {&d03, "Digital", 0x0100, "N/A", ""},    // nor does the second state byte
        {&d06, "Perf", 0x0001, "Performance Met", "OK"},
        {&d06, "Perf", 0x0002, "Performance Lags", "Fail"},
        {&d09, "Enable", 0x0001, "Device Disabled", ""},
        {&d09, "Enable", 0x0002, "Device Enabled", "OK"},
    };
    for (const auto& c : cases) {
        c.s->states = c.states;
        Shown s = shown(c.name);
        EXPECT_EQ(s.reading, c.reading) << c.name << " " << c.states;
        EXPECT_EQ(s.status, c.status) << c.name << " " << c.states;
        EXPECT_EQ(s.low, "N/A");
        EXPECT_EQ(s.high, "N/A");
    }
    d06.readingCc = 0xC3;
    EXPECT_EQ(shown("Perf").reading, "N/A");
    EXPECT_EQ(shown("Perf").status, "");
}

// ---- sensor-specific discrete --------------------------------------------------------------------

TEST_F(Sensors, ProcessorPresenceIsDecidedByTheHighestBit) {
    SensorState& p = discrete("CPU1 Status", 0x60, 0x07, 0x6F);
    for (auto [states, reading, status] :
         {std::tuple<uint16_t, const char*, const char*>{0x0080, "Presence detected", "OK"},
          {0x0081, "Presence detected", "OK"},
          {0x0001, "IERR", "Fail"},
          {0x0180, "Disabled", "Fail"},
          {0x0880, "Machine Check Exception", "Fail"},
          {0x8000, "N/A", ""}}) {  // bit 15 is not a state
        p.states = states;
        Shown s = shown("CPU1 Status");
        EXPECT_EQ(s.reading, reading) << std::hex << states;
        EXPECT_EQ(s.status, status) << std::hex << states;
        EXPECT_EQ(s.low, "N/A");
        EXPECT_EQ(s.typeName, "Others");
    }
}

TEST_F(Sensors, ChassisIntrusionIsOkOnlyWithoutAState) {
    SensorState& c = discrete("Chassis Intru", 0xAA, 0x05, 0x6F);
    Shown s = shown("Chassis Intru");
    EXPECT_EQ(s.reading, "OK");
    EXPECT_EQ(s.status, "OK");
    c.states = 0x0001;
    s = shown("Chassis Intru");
    EXPECT_EQ(s.reading, "General Chassis intrusion");
    EXPECT_EQ(s.status, "Fail");
    c.states = 0x0200;  // offset 9: no text
    s = shown("Chassis Intru");
    EXPECT_EQ(s.reading, "N/A");
    EXPECT_EQ(s.status, "Fail");
}

TEST_F(Sensors, SensorSpecificPresenceStates) {
    SensorState& ps = discrete("PS1 Status", 0xC8, 0x08, 0x6F);
    SensorState& mem = discrete("DIMM A1", 0xD0, 0x0C, 0x6F);
    SensorState& bay = discrete("Bay 0", 0x90, 0x0D, 0x6F);
    SensorState& cable = discrete("Cable", 0x91, 0x1B, 0x6F);
    SensorState& oem = discrete("SMART", 0x92, 0xC0, 0x6F);
    SensorState& temp = discrete("Temp State", 0x93, 0x01, 0x6F);
    const struct {
        SensorState* s;
        const char* name;
        uint16_t states;
        const char* reading;
        const char* status;
        const char* typeName;
    } cases[] = {
        {&ps, "PS1 Status", 0x0001, "Presence detected", "OK", "Power Supply"},
        {&ps, "PS1 Status", 0x0003, "Failure detected", "Fail", "Power Supply"},
        {&ps, "PS1 Status", 0x0040, "Config Error: Vendor Mismatch", "Fail", "Power Supply"},
        {&ps, "PS1 Status", 0x0000, "N/A", "", "Power Supply"},
        {&mem, "DIMM A1", 0x0040, "Presence Detected", "OK", "Others"},
        {&mem, "DIMM A1", 0x0001, "Correctable ECC", "Fail", "Others"},
        {&bay, "Bay 0", 0x0000, "Not Present", "", "Others"},
        {&bay, "Bay 0", 0x0001, "Drive Present", "OK", "Others"},
        {&bay, "Bay 0", 0x0010, "Parity Check In Progress", "OK", "Others"},
        {&bay, "Bay 0", 0x0002, "Drive Fault", "Fail", "Others"},
        {&bay, "Bay 0", 0x0100, "Rebuild Aborted", "Fail", "Others"},
        {&cable, "Cable", 0x0001, "Connected", "", "Others"},
        {&cable, "Cable", 0x0000, "N/A", "", "Others"},
        {&oem, "SMART", 0x0001, "Disk 0 S.M.A.R.T failure", "", "Temperature"},
        {&oem, "SMART", 0x0004, "CPU Overheat", "", "Temperature"},
        {&temp, "Temp State", 0x0001, "", "", "Temperature"},
    };
    for (const auto& c : cases) {
        c.s->states = c.states;
        Shown s = shown(c.name);
        EXPECT_EQ(s.reading, c.reading) << c.name << " " << std::hex << c.states;
        EXPECT_EQ(s.status, c.status) << c.name << " " << std::hex << c.states;
        EXPECT_EQ(s.typeName, c.typeName) << c.name;
    }
    ps.readingCc = 0xCB;
    EXPECT_EQ(shown("PS1 Status").reading, "N/A");
    EXPECT_EQ(shown("PS1 Status").status, "");
}

// ---- simple discrete by sensor type ---------------------------------------------------------------

TEST_F(Sensors, OemLevelSensor) {
    SensorState& c0 = discrete("CPU Temp Level", 0xE1, 0xC0, 0x70);
    c0.reading = 0x1A;
    c0.flags = 0x00;
    c0.states = 0x0004;
    Shown s = shown("CPU Temp Level");
    EXPECT_EQ(s.reading, "1A 00 04 00");
    EXPECT_EQ(s.status, "OK");
    EXPECT_EQ(s.low, "N/A");
    EXPECT_EQ(s.typeName, "Temperature");
    c0.states = 0x0000;
    EXPECT_EQ(shown("CPU Temp Level").reading, "1A 00 00 00");  // "Low"
    EXPECT_EQ(shown("CPU Temp Level").status, "OK");
    c0.states = 0x0003;  // no level
    EXPECT_EQ(shown("CPU Temp Level").reading, "N/A");
    EXPECT_EQ(shown("CPU Temp Level").status, "");
    c0.states = 0x0004;
    c0.flags = 0x20;  // reading unavailable
    EXPECT_EQ(shown("CPU Temp Level").reading, "N/A");
    EXPECT_EQ(shown("CPU Temp Level").status, "");
}

TEST_F(Sensors, SimpleDiscreteStatusByStateByte) {
    SensorState& ps = discrete("PS Simple", 0xC8, 0x08, 0x0A);
    SensorState& board = discrete("Board", 0x15, 0x15, 0x01);
    ps.states = 0x0001;
    ps.threeBytes = true;
    Shown s = shown("PS Simple");
    EXPECT_EQ(s.status, "OK") << "a power supply may report 1";
    EXPECT_EQ(s.reading, "00 C0 01 00");
    ps.states = 0x0002;
    EXPECT_EQ(shown("PS Simple").status, "Fail");
    board.states = 0x0000;
    EXPECT_EQ(shown("Board").status, "OK");
    board.states = 0x0001;
    EXPECT_EQ(shown("Board").status, "Fail");
    board.readingCc = 0xC1;
    s = shown("Board");
    EXPECT_EQ(s.reading, "N/A");
    EXPECT_EQ(s.status, "");
    EXPECT_EQ(s.low, "N/A");
}

// ---- the sensor table and the provider -------------------------------------------------------------

TEST_F(Sensors, NameBufferIsClearedForEverySlot) {
    analog("System Temp", 0x0B, 0x01, 1).reading = 30;
    analog("CPU Temp", 0x01, 0x01, 1).reading = 40;
    EnumResult r = enumerate();
    ASSERT_EQ(r.instances.size(), 2u);
    EXPECT_EQ(r.instances[1].get("VKT_SensorName"), "CPU Temp");
    EXPECT_EQ(r.instances[1].keys[0].second, "CPU Temp");
}

TEST_F(Sensors, LongNamesAreCutToTheNameField) {
    analog(std::string(31, 'N'), 0x01, 0x01, 1).reading = 30;
    EnumResult r = enumerate();
    ASSERT_EQ(r.instances.size(), 1u);
    EXPECT_EQ(r.instances[0].get("VKT_SensorName"), std::string(29, 'N'));
}

TEST_F(Sensors, RepositoryWithoutSensorRecordsPublishesNothing) {
    sdr().add(eventOnlyRecord("Critical Int", 0xD0, 0x13, 0x6F));
    sdr().add(fruLocatorRecord("Board FRU", 0x00));
    EnumResult r = enumerate();
    EXPECT_EQ(r.rc, CMPI_RC_OK);
    EXPECT_TRUE(r.instances.empty());
    EXPECT_EQ(r.doneCount, 1);
}

TEST_F(Sensors, CountAheadOfTheRecordsPublishesEachSensorOnce) {
    analog("CPU Temp", 0x01, 0x01, 1).reading = 40;
    analog("Inlet Temp", 0x02, 0x01, 1).reading = 25;
    sdr().reportedCount = 128;
    EnumResult r = enumerate();
    ASSERT_EQ(r.instances.size(), 2u);
    EXPECT_EQ(r.instances[0].get("VKT_SensorName"), "CPU Temp");
    EXPECT_EQ(r.instances[1].get("VKT_SensorName"), "Inlet Temp");
    EXPECT_EQ(r.instances[1].get("VKT_Reading"), "25C/77F");
}

TEST_F(Sensors, FailuresOfTheCollectorAreReportedAndTheTableIsPublished) {
    analog("CPU Temp", 0x01, 0x01, 1).reading = 40;
    {
        bmc().failNext(0x0A, 0x20, 0xC1);
        testkit::CaptureOutput err(2);
        EnumResult r = enumerate();
        EXPECT_EQ(err.text(), "Failed to get SDR repository info, Completion Code=C1h\n");
        EXPECT_TRUE(r.instances.empty()) << "nothing read yet";
        EXPECT_EQ(r.doneCount, 1);
    }
    ASSERT_EQ(enumerate().instances.size(), 1u);
    sdr().sensor(0x01).reading = 50;
    {
        bmc().failNext(0x0A, 0x22, 0xC0);
        testkit::CaptureOutput err(2);
        EnumResult r = enumerate();
        EXPECT_EQ(err.text(), "Failed to get reserve SDR, Completion Code=C0h\n");
        ASSERT_EQ(r.instances.size(), 1u);
        EXPECT_EQ(r.instances[0].get("VKT_Reading"), "40C/104F") << "the earlier table";
    }
    {
        bmc().failNext(0x0A, 0x23, 0xCB);
        testkit::CaptureOutput err(2);
        EXPECT_EQ(bmc_GetSDR(), 11);
        EXPECT_EQ(err.text(), "Failed to get SDR data, Completion Code=CBh\n");
    }
    testkit::CaptureOutput quiet(2);
    EXPECT_EQ(bmc_GetSDR(), 0);
    EXPECT_EQ(quiet.text(), "");
    EXPECT_STREQ(cim_sdr[0].reading, "50C/122F");
}

TEST_F(Sensors, OneEnumerationOfASmallRepositoryCostsTheseExchanges) {
    analog("CPU Temp", 0x01, 0x01, 1, critical(5, 90)).reading = 45;  // 56 bytes: 7 reads
    discrete("Chassis Intru", 0xAA, 0x05, 0x6F);                       // 45 bytes: 6 reads
    sdr().add(fruLocatorRecord("Board FRU", 0x00));                    // header read only
    enumerate();
    const size_t commands = 1 + 1        // repository info, reservation
                            + 3 + 7 + 6 + 1  // a reservation and the reads of each record
                            + 1          // System GUID
                            + 3 + 1;     // the threshold sensor, the discrete one
    EXPECT_EQ(commandsOnly().size(), commands);
    // Every command is preceded by the interface probe; opening the device adds one PICMG query.
    EXPECT_EQ(bmc().count(0x06, 0x01), commands);
    EXPECT_EQ(bmc().count(0x2C, 0x00), 1u);
    EXPECT_EQ(bmc().log().size(), 2 * commands + 1);
}

TEST_F(Sensors, PropertyFilterKeepsTheKey) {
    analog("CPU Temp", 0x01, 0x01, 1, critical(5, 90)).reading = 45;
    const char* props[] = {"VKT_Reading", "VKT_Status", nullptr};
    EnumResult r = enumerate(props);
    ASSERT_EQ(r.instances.size(), 1u);
    EXPECT_EQ(r.instances[0].propertyNames(), (std::vector<std::string>{"VKT_Reading", "VKT_Status"}));
    EXPECT_EQ(r.instances[0].path(), "varkolt/cimv2:VKT_Sensors.DeviceID=\"CPU Temp\"");
}

TEST_F(Sensors, SensorRemovedFromTheRepositoryIsNotPublishedAgain) {
    analog("CPU Temp", 0x01, 0x01, 1).reading = 40;
    discrete("Chassis Intru", 0xAA, 0x05, 0x6F).states = 0x01;
    analog("System Temp", 0x0B, 0x01, 1).reading = 30;
    ASSERT_EQ(enumerate().instances.size(), 3u);
    // The intrusion sensor's position now holds a FRU locator.
    Bytes fru = fruLocatorRecord("Board FRU", 0x00);
    fru[0] = sdr().records[1][0];  // same record ID
    fru[1] = sdr().records[1][1];
    sdr().records[1] = fru;
    EnumResult r = enumerate();
    std::vector<std::string> names;
    for (const Instance& i : r.instances) names.push_back(i.get("VKT_SensorName"));
    EXPECT_EQ(names, (std::vector<std::string>{"CPU Temp", "System Temp"}));
    // Nor does its old state linger for readers of the table.
    EXPECT_EQ(cim_sdr[1].sensorType, 0x00);
    EXPECT_STREQ(cim_sdr[1].status, "");
    EXPECT_STREQ(cim_sdr[1].lowLimit, "N/A");
}

TEST_F(Sensors, AtMost128SensorsArePublished) {
    for (int i = 0; i < 130; ++i) discrete("S" + std::to_string(i), static_cast<uint8_t>(i), 0x07, 0x6F).states = 0x80;
    EnumResult r = enumerate();
    ASSERT_EQ(r.instances.size(), 128u);
    EXPECT_EQ(r.instances.back().get("VKT_SensorName"), "S127");
    EXPECT_STREQ(cim_sdr[128].sensor, "");
}

TEST_F(Sensors, EqualNamesGiveEqualKeys) {
    analog("Temp", 0x01, 0x01, 1).reading = 30;
    analog("Temp", 0x02, 0x01, 1).reading = 31;
    EnumResult r = enumerate();
    ASSERT_EQ(r.instances.size(), 2u);
    EXPECT_EQ(r.instances[0].path(), r.instances[1].path());
    EXPECT_EQ(r.instances[1].get("VKT_Reading"), "31C/88F");
}

// ---- the built library and the demo ------------------------------------------------------------------

TEST(SensorsLibrary, CollectorIsExportedAndTheProviderRunsInTheLoadedLibrary) {
    testkit::FakeIpmiDevice::get().reset();
    auto server = testkit::makeScenario("demo");
    testkit::attachServer(*server);
    std::string error;
    auto host = Host::load(VKT_PROVIDER_LIB, &error);
    ASSERT_NE(host, nullptr) << error;
    EXPECT_TRUE(host->hasSymbol("bmc_GetSDR"));
    EXPECT_FALSE(host->hasSymbol("printSDR"));
    EnumResult r = host->enumerate("SensorsProvider");
    EXPECT_GT(r.instances.size(), 20u);
    testkit::FakeIpmiDevice::get().reset();
}

TEST(SensorsDemo, SimulatedServerShowsItsSensors) {
    const std::string cmd = std::string(VKT_CIM_TOOL) + " --simulate enumerate VKT_Sensors 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    EXPECT_EQ(pclose(p), 0);
    for (const char* expected : {
             "VKT_Sensors.DeviceID=\"CPU1 Temp\"", "VKT_Reading = \"45C/113F\"", "VKT_Reading = \"12.03 V\"",
             "VKT_Reading = \"8300 RPM\"", "VKT_Reading = \"Presence detected\"", "VKT_Reading = \"Drive Present\"",
             "VKT_Reading = \"Power Supply AC lost\"", "VKT_Reading = \"1A 00 01 00\"",
             "DeviceID=\"Chassis Intru\"",
         })
        EXPECT_NE(out.find(expected), std::string::npos) << expected;
    EXPECT_EQ(out.find("Watchdog2"), std::string::npos);
    EXPECT_EQ(out.find("Board FRU"), std::string::npos);
    EXPECT_EQ(out.find("Failed"), std::string::npos);
}

}  // namespace
