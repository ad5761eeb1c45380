// SEL entries of sensors that the SDR repository names: the label is the sensor's ID
// string.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "cimhost.h"
#include "orvic_sel.h"
#include "sdr_util.h"
#include "sel_util.h"
#include "test_support.h"

namespace {

constexpr uint8_t storage = 0x0A;
constexpr uint8_t getSdrRepositoryInfo = 0x20;

testkit::SensorFields sensor(const std::string& name, uint8_t number, uint8_t sensorType, uint8_t readingType) {
    testkit::SensorFields f;
    f.name = name;
    f.number = number;
    f.sensorType = sensorType;
    f.readingType = readingType;
    return f;
}

class SelNames : public testkit::SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        memset(cim_sel_records, 0, sizeof cim_sel_records);
        boardName[0] = boardType[0] = '\0';
        isSDRLoadedFlag = 0;
        sdrRecordCount = 0;
        memset(sdrRecords, 0, sizeof sdrRecords);
        setenv("TZ", "UTC0", 1);
        tzset();
        host_ = cimhost::Host::inProcess();
    }

    void addEvent(uint8_t sensorType, uint8_t number, uint8_t dirType, uint8_t d1, uint8_t d2 = 0xFF) {
        testkit::SelEvent e;
        e.timestamp = 0x59682F00;
        e.sensorType = sensorType;
        e.sensorNumber = number;
        e.eventDirType = dirType;
        e.data1 = d1;
        e.data2 = d2;
        sim().sel.addEvent(e);
    }

    cimhost::EnumResult list() { return host_->enumerate("SELListProvider"); }
    testkit::SdrModel& sdr() { return sim().sdr; }

    std::unique_ptr<cimhost::Host> host_;
};

TEST_F(SelNames, NamedSensorsAreLabelledWithTheirIdString) {
    sdr().addFull(sensor("CPU1 Temp", 0x01, 0x01, 0x01));
    sdr().addCompact(sensor("Chassis Intru", 0xAA, 0x05, 0x6F));
    addEvent(0x05, 0xAA, 0x6F, 0x00);
    addEvent(0x01, 0x01, 0x01, 0x59, 0x5B);
    addEvent(0x01, 0x02, 0x01, 0x59, 0x5B);  // no record: named by its type
    cimhost::EnumResult r = list();
    ASSERT_EQ(r.instances.size(), 3u);
    EXPECT_EQ(r.instances[0].get("VKT_SensorName"), "Chassis Intru");
    EXPECT_EQ(r.instances[0].get("VKT_EventDir"), "Assertion");
    EXPECT_EQ(r.instances[0].get("VKT_EventDesc"), "General Chassis intrusion");
    EXPECT_EQ(r.instances[1].keys[0].second, "  2 | 2017/07/14 02:40:00 | CPU1 Temp");
    EXPECT_EQ(r.instances[1].get("VKT_EventDesc"), "Upper Critical - going high");
    EXPECT_EQ(r.instances[2].get("VKT_SensorName"), "Temperature");
}

TEST_F(SelNames, TheLongestNameFillsTheKeyExactly) {
    const std::string name = "Peripheral Zone Inlet Temp Sens";  // 31 characters, the most an ID string holds
    sdr().addFull(sensor(name, 0x0C, 0x01, 0x01));
    addEvent(0x01, 0x0C, 0x01, 0x07);
    cimhost::EnumResult r = list();
    ASSERT_EQ(r.instances.size(), 1u);
    EXPECT_EQ(r.instances[0].get("VKT_SensorName"), name);
    EXPECT_EQ(r.instances[0].keys[0].second, "  1 | 2017/07/14 02:40:00 | " + name);
    EXPECT_EQ(r.instances[0].keys[0].second.size(), 59u);
}

TEST_F(SelNames, TheNamesAreLoadedOncePerProcess) {
    sdr().addCompact(sensor("Chassis Intru", 0xAA, 0x05, 0x6F));
    addEvent(0x05, 0xAA, 0x6F, 0x00);
    ASSERT_EQ(list().instances.size(), 1u);
    // A sensor added to the repository later keeps its type name until the table is read again.
    sdr().addCompact(sensor("PS1 Status", 0xC8, 0x08, 0x6F));
    addEvent(0x08, 0xC8, 0x6F, 0x01);
    cimhost::EnumResult r = list();
    ASSERT_EQ(r.instances.size(), 2u);
    EXPECT_EQ(r.instances[1].get("VKT_SensorName"), "Power Supply");
    EXPECT_EQ(bmc().count(storage, getSdrRepositoryInfo), 1u);

    // The sensors provider reads the same table again.
    host_->enumerate("SensorsProvider");
    r = list();
    ASSERT_EQ(r.instances.size(), 2u);
    EXPECT_EQ(r.instances[1].get("VKT_SensorName"), "PS1 Status");
}

TEST_F(SelNames, DemoServerEventsCarryTheDemoSensorNames) {
    useServer(testkit::makeScenario("demo"));
    cimhost::EnumResult r = list();
    std::string labels;
    for (const auto& inst : r.instances) labels += inst.get("VKT_SensorName") + "|" + inst.get("VKT_EventDesc") + "\n";
    for (const char* line : {"Chassis Intru|General Chassis intrusion\n", "CPU1 Temp|Upper Critical - going high\n",
                             "PS2 Status|Configuration error:Power Supply rating mismatch\n", "FAN3|Lower Critical - going low\n",
                             "Memory|Correctable ECC@DIMME1(CPU2)\n"})
        EXPECT_NE(labels.find(line), std::string::npos) << line << labels;
}

}  // namespace
