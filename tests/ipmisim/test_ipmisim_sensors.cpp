// VKT_Sensors through the real library against ipmi_sim, compared with what ipmitool and
// FreeIPMI read from the same simulator. Where our texts follow rules of their own
// (truncation, "N/A" for a zero reading, critical limits only), the rule is spelt out.
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "ipmisim_test.h"

using cimhost::Instance;
using ipmisim_test::IpmiSimTest;
using testkit::Bytes;
namespace peers = testkit::peers;

namespace {

// What the SDR record says about a sensor: the conversion step of one raw count.
struct SdrSensor {
    std::string name;
    uint8_t recordType = 0;
    uint8_t number = 0;
    uint8_t sensorType = 0;
    uint8_t readingType = 0;
    uint8_t unit = 0;
    double step = 0;  // |M| x 10^R
};

int signExtend(int value, int bits) { return value >= (1 << (bits - 1)) ? value - (1 << bits) : value; }

std::vector<SdrSensor> sensorsOf(const std::vector<Bytes>& records) {
    std::vector<SdrSensor> out;
    for (const Bytes& r : records) {
        if (r.size() < 32 || (r[3] != 0x01 && r[3] != 0x02)) continue;
        SdrSensor s;
        s.recordType = r[3];
        s.number = r[7];
        s.sensorType = r[12];
        s.readingType = r[13];
        s.unit = r[21];
        size_t idAt = s.recordType == 0x01 ? 47 : 31;
        size_t len = idAt < r.size() ? (r[idAt] & 0x1F) : 0;
        for (size_t i = idAt + 1; i < r.size() && i <= idAt + len; ++i) s.name += static_cast<char>(r[i]);
        if (s.recordType == 0x01 && r.size() > 29) {
            int m = signExtend(r[24] | (r[25] >> 6) << 8, 10);
            int rexp = signExtend(r[29] >> 4, 4);
            s.step = std::abs(m) * std::pow(10.0, rexp);
        }
        out.push_back(s);
    }
    return out;
}

// Truncation toward zero to a multiple of q (our texts truncate, they never round).
double truncTo(double v, double q) { return std::trunc(v / q + (v >= 0 ? 1e-9 : -1e-9)) * q; }

class Sensors : public IpmiSimTest {
protected:
    // One enumeration and one reading by each peer serve all cases of the program.
    void SetUp() override {
        IpmiSimTest::SetUp();
        if (HasFatalFailure() || loaded_) return;
        loaded_ = true;
        result_ = so().enumerate("SensorsProvider");
        sdr_ = sensorsOf(sim().sdrRecords());
        sensorRows_ = peers::parseIpmitoolSensor(ipmitool({"sensor"}).out);
        elist_ = peers::parseIpmitoolSdrElist(ipmitool({"sdr", "elist"}).out);
        freeipmi_ = peers::parseCsv(
            freeipmi("ipmi-sensors", {"--comma-separated-output", "--output-sensor-thresholds", "--output-sensor-state"}).out);
    }

    const Instance* ours(const std::string& name) const {
        for (const Instance& i : result_.instances)
            if (i.get("VKT_SensorName") == name) return &i;
        return nullptr;
    }
    const SdrSensor* record(const std::string& name) const {
        for (const SdrSensor& s : sdr_)
            if (s.name == name) return &s;
        return nullptr;
    }
    const peers::SdrRow* elist(const std::string& name) const {
        for (const peers::SdrRow& r : elist_)
            if (r.name == name) return &r;
        return nullptr;
    }
    std::string freeipmiField(const std::string& name, const std::string& column) const {
        for (size_t i = 0; i < freeipmi_.rows.size(); ++i)
            if (freeipmi_.get(i, "Name") == name) return freeipmi_.get(i, column);
        return "";
    }
    // The threshold sensors ipmitool converts (a full record with an analog reading).
    std::vector<peers::SensorRow> analogRows() const {
        std::vector<peers::SensorRow> out;
        for (const peers::SensorRow& r : sensorRows_) {
            const SdrSensor* s = record(r.name);
            if (r.value && s != nullptr && s->recordType == 0x01 && s->readingType == 0x01) out.push_back(r);
        }
        return out;
    }

    static inline bool loaded_ = false;
    static inline cimhost::EnumResult result_;
    static inline std::vector<SdrSensor> sdr_;
    static inline std::vector<peers::SensorRow> sensorRows_;
    static inline std::vector<peers::SdrRow> elist_;
    static inline peers::CsvTable freeipmi_;
};

// Our unit texts for the units ipmitool names.
std::string ourUnit(const std::string& peerUnit) {
    if (peerUnit == "Volts") return "V";
    if (peerUnit == "RPM") return "RPM";
    if (peerUnit == "Watts") return "Watts";
    if (peerUnit == "Amps") return "Amps";
    return "?" + peerUnit;
}

// A reading or limit text of ours as a number and its unit; false when it has neither.
bool parseOurValue(const std::string& text, double* value, std::string* unit) {
    const int length = static_cast<int>(text.size());
    int celsius = 0, fahrenheit = 0, used = -1;
    if (sscanf(text.c_str(), "%dC/%dF%n", &celsius, &fahrenheit, &used) == 2 && used == length) {
        *value = celsius;
        *unit = "C";
        return true;
    }
    double number = 0;
    char word[64] = "";
    used = -1;
    if (sscanf(text.c_str(), "%lf %63s%n", &number, word, &used) == 2 && used == length &&
        text.find(' ') != std::string::npos) {
        *value = number;
        *unit = word;
        return true;
    }
    return false;
}

TEST_F(Sensors, EverySensorRecordIsPublishedInRepositoryOrder) {
    ASSERT_EQ(result_.rc, CMPI_RC_OK);
    EXPECT_EQ(result_.doneCount, 1);
    std::vector<std::string> ourNames, peerNames;
    for (const Instance& i : result_.instances) {
        ourNames.push_back(i.get("VKT_SensorName"));
        EXPECT_EQ(i.className, "VKT_Sensors");
        ASSERT_EQ(i.keys.size(), 1u);
        EXPECT_EQ(i.keys[0].first, "DeviceID");
        EXPECT_EQ(i.keys[0].second, i.get("VKT_SensorName"));
    }
    for (const peers::SensorRow& r : sensorRows_) peerNames.push_back(r.name);
    EXPECT_EQ(ourNames, peerNames);
    // The event-only record and the FRU locator name no sensor of ours.
    EXPECT_EQ(ours("POST Error"), nullptr);
    EXPECT_EQ(ours("PSU1 FRU"), nullptr);
    EXPECT_EQ(ourNames.size(), 19u);
}

TEST_F(Sensors, ReadingsAreThePeersValuesTruncated) {
    auto rows = analogRows();
    ASSERT_GE(rows.size(), 13u);
    for (const peers::SensorRow& r : rows) {
        SCOPED_TRACE(r.name);
        const Instance* i = ours(r.name);
        ASSERT_NE(i, nullptr);
        const SdrSensor* s = record(r.name);
        const std::string reading = i->get("VKT_Reading");
        // A reading of exactly 0 is no reading to us.
        if (*r.value == 0) {
            EXPECT_EQ(reading, "N/A");
            continue;
        }
        double v = 0;
        std::string unit;
        ASSERT_TRUE(parseOurValue(reading, &v, &unit)) << reading;
        if (r.unit == "degrees C") {
            EXPECT_EQ(unit, "C");
            // Whole degrees; Fahrenheit from the converted value, rounded half up.
            EXPECT_NEAR(v, truncTo(*r.value, 1), s->step + 1e-6);
            int f = std::stoi(reading.substr(reading.find('/') + 1));
            EXPECT_GE(f, static_cast<int>(std::trunc((*r.value - s->step) * 1.8 + 32 + 0.5)));
            EXPECT_LE(f, static_cast<int>(std::trunc((*r.value + s->step) * 1.8 + 32 + 0.5)));
        } else if (r.unit == "Volts") {
            EXPECT_EQ(unit, "V");
            EXPECT_NEAR(v, truncTo(*r.value, 0.01), s->step + 1e-6);
            EXPECT_NE(reading.find('.'), std::string::npos) << "two decimals";
        } else {
            EXPECT_EQ(unit, ourUnit(r.unit));
            EXPECT_EQ(reading.find('.'), std::string::npos) << "whole numbers";
            EXPECT_NEAR(v, truncTo(*r.value, 1), s->step + 1e-6);
        }
    }
}

TEST_F(Sensors, LimitsAreTheCriticalThresholds) {
    for (const peers::SensorRow& r : analogRows()) {
        SCOPED_TRACE(r.name);
        const Instance* i = ours(r.name);
        ASSERT_NE(i, nullptr);
        const SdrSensor* s = record(r.name);
        for (auto [ourName, peer] : {std::pair{"VKT_LowLimit", r.lc}, std::pair{"VKT_HighLimit", r.uc}}) {
            const std::string text = i->get(ourName);
            double q = r.unit == "Volts" ? 0.01 : 1;
            // An unreadable or zero threshold (truncated) is "N/A".
            if (!peer || truncTo(*peer, q) == 0) {
                EXPECT_EQ(text, "N/A") << ourName;
                continue;
            }
            double v = 0;
            std::string unit;
            ASSERT_TRUE(parseOurValue(text, &v, &unit)) << ourName << ": " << text;
            EXPECT_NEAR(v, truncTo(*peer, q), s->step + 1e-6) << ourName;
            EXPECT_EQ(unit, r.unit == "degrees C" ? "C" : ourUnit(r.unit)) << ourName;
        }
    }
}

TEST_F(Sensors, StatusFollowsTheCriticalThresholdsExceptForVoltages) {
    // Judged on the converted values the peers show: below a non-zero lower critical
    // or above a non-zero upper critical limit is "Fail".
    int failing = 0;
    for (const peers::SensorRow& r : analogRows()) {
        SCOPED_TRACE(r.name + " (" + r.status + ")");
        const Instance* i = ours(r.name);
        ASSERT_NE(i, nullptr);
        const std::string status = i->get("VKT_Status");
        const double lc = r.lc.value_or(0), uc = r.uc.value_or(0);
        const bool outside = (lc != 0 && *r.value < lc) || (uc != 0 && *r.value > uc);
        if (*r.value == 0) {
            // No reading: no verdict (the BMC is not of the family that fails it).
            EXPECT_EQ(status, "");
        } else if (r.unit == "Volts") {
            // Voltages are never judged against their thresholds.
            EXPECT_EQ(status, "OK");
        } else {
            EXPECT_EQ(status, outside ? "Fail" : "OK");
            failing += outside;
            // For sensors without a sign, the simulator's own verdict agrees.
            if (r.name != "Outlet Temp") {
                EXPECT_EQ(outside, r.status == "cr" || r.status == "nr");
            }
        }
    }
    EXPECT_EQ(failing, 2) << "VRM Temp above, FAN3 below its critical limit";
    // The peers do judge the voltage below its lower critical limit.
    EXPECT_EQ(freeipmiField("VBAT", "State"), "Critical");
    EXPECT_EQ(ours("VBAT")->get("VKT_Status"), "OK");
}

TEST_F(Sensors, NegativeTemperaturesAreSignFixed) {
    // Two's complement readings: -10 C within -20..50. (ipmi_sim compares the raw bytes
    // without the sign and calls it above the upper limit; the converted values do not.)
    const Instance* i = ours("Outlet Temp");
    ASSERT_NE(i, nullptr);
    auto row = std::find_if(sensorRows_.begin(), sensorRows_.end(), [](const peers::SensorRow& r) { return r.name == "Outlet Temp"; });
    ASSERT_NE(row, sensorRows_.end());
    EXPECT_EQ(row->value.value_or(0), -10);
    EXPECT_EQ(row->lc.value_or(0), -20);
    EXPECT_EQ(i->get("VKT_Reading"), "-10C/14F");
    // Fahrenheit is the value times 1.8 plus 32.5, truncated toward zero: -3.5 gives -3.
    EXPECT_EQ(i->get("VKT_LowLimit"), "-20C/-3F");
    EXPECT_EQ(i->get("VKT_HighLimit"), "50C/122F");
    EXPECT_EQ(i->get("VKT_Status"), "OK");
}

TEST_F(Sensors, TypeNamesFollowTheSensorTypes) {
    ASSERT_FALSE(freeipmi_.rows.empty());
    for (const Instance& i : result_.instances) {
        const std::string name = i.get("VKT_SensorName");
        const std::string type = freeipmiField(name, "Type");
        SCOPED_TRACE(name + " (" + type + ")");
        ASSERT_FALSE(type.empty());
        std::string expected = "Others";
        for (const char* known : {"Temperature", "Voltage", "Fan", "Power Supply"})
            if (type == known) expected = known;
        EXPECT_EQ(i.get("VKT_SensorTypeName"), expected);
    }
}

TEST_F(Sensors, DiscreteSensorsShowTheirHighestStateAndJudgeIt) {
    int discrete = 0;
    for (const peers::SensorRow& r : sensorRows_) {
        if (r.unit != "discrete") continue;
        ++discrete;
        SCOPED_TRACE(r.name);
        const Instance* i = ours(r.name);
        ASSERT_NE(i, nullptr);
        const peers::SdrRow* e = elist(r.name);
        ASSERT_NE(e, nullptr);
        // ipmitool lists every asserted state, lowest offset first; we show the highest.
        std::vector<std::string> states = peers::split(e->text, ',');
        EXPECT_EQ(i->get("VKT_Reading"), states.back());
        const std::string state = freeipmiField(r.name, "State");
        EXPECT_EQ(i->get("VKT_Status"), state == "Nominal" ? "OK" : "Fail") << state;
        EXPECT_EQ(i->get("VKT_LowLimit"), "N/A");
        EXPECT_EQ(i->get("VKT_HighLimit"), "N/A");
    }
    EXPECT_EQ(discrete, 5);
    EXPECT_EQ(ours("Chassis Intru")->get("VKT_Reading"), "General Chassis intrusion");
    EXPECT_EQ(ours("PS2 Status")->get("VKT_Reading"), "Failure detected");
}

TEST_F(Sensors, CompactThresholdRecordHasNoConversionSoNoReading) {
    // The compact record carries no conversion factors: ipmitool shows the raw byte,
    // FreeIPMI no reading; we convert with the zero factors found where a full record
    // keeps them, and a zero is no reading.
    const Instance* i = ours("PCH Temp");
    ASSERT_NE(i, nullptr);
    EXPECT_EQ(i->get("VKT_SensorTypeName"), "Temperature");
    EXPECT_EQ(i->get("VKT_Reading"), "N/A");
    EXPECT_EQ(i->get("VKT_LowLimit"), "N/A");
    EXPECT_EQ(i->get("VKT_HighLimit"), "N/A");
    EXPECT_EQ(i->get("VKT_Status"), "");
    EXPECT_EQ(freeipmiField("PCH Temp", "Reading"), "N/A");
}

TEST_F(Sensors, ChangedReadingsAreSeenByTheNextEnumeration) {
    // CPU Temp to 92 C: above its upper critical limit for the simulator, ipmitool and us.
    ASSERT_TRUE(sim().console("sensor_set_value 0x20 0 0x01 92 0"));
    cimhost::EnumResult after = so().enumerate("SensorsProvider");
    auto info = peers::parseColonList(ipmitool({"sensor", "get", "CPU Temp"}).out);
    ASSERT_TRUE(sim().console("sensor_set_value 0x20 0 0x01 45 0"));
    const Instance* cpu = nullptr;
    for (const Instance& i : after.instances)
        if (i.get("VKT_SensorName") == "CPU Temp") cpu = &i;
    ASSERT_NE(cpu, nullptr);
    EXPECT_EQ(cpu->get("VKT_Reading"), "92C/198F");
    EXPECT_EQ(cpu->get("VKT_Status"), "Fail");
    EXPECT_EQ(info["Sensor Reading"].rfind("92 ", 0), 0u) << info["Sensor Reading"];
    EXPECT_EQ(info["Status"], "Upper Critical");
}

}  // namespace
