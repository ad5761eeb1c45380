// VKT_SELInfo and VKT_SELList through the real library against ipmi_sim, compared with
// ipmitool's and FreeIPMI's reading of the same event log.
#include <time.h>

#include <cstdlib>

#include "ipmisim_test.h"

using cimhost::Instance;
using ipmisim_test::IpmiSimTest;
namespace peers = testkit::peers;

namespace {

// "11/14/23" "22:13:20 UTC" as a time of day in UTC.
bool peerTime(const std::string& date, const std::string& time, tm* out) {
    std::string text = date + " " + time;
    *out = tm{};
    return strptime(text.c_str(), "%m/%d/%y %H:%M:%S", out) != nullptr;
}

std::string format(const tm& t, const char* fmt) {
    char buf[64];
    strftime(buf, sizeof buf, fmt, &t);
    return buf;
}

class Sel : public IpmiSimTest {
protected:
    void SetUp() override {
        IpmiSimTest::SetUp();
        if (HasFatalFailure() || loaded_) return;
        loaded_ = true;
        info_ = so().enumerate("SELInfoProvider");
        list_ = so().enumerate("SELListProvider");
        peerInfo_ = peers::parseColonList(ipmitool({"sel", "info"}).out);
        elist_ = peers::parseIpmitoolSel(ipmitool({"sel", "elist"}).out);
        freeipmi_ = peers::parseCsv(freeipmi("ipmi-sel", {"--comma-separated-output"}).out);
        freeipmiInfo_ = peers::parseColonList(freeipmi("ipmi-sel", {"--info"}).out);
    }
    const Instance& row(size_t i) const { return list_.instances.at(i); }
    // FreeIPMI's event text without the reading/threshold details after " ; ".
    std::string freeipmiEvent(size_t i) const {
        std::string e = freeipmi_.get(i, "Event");
        return e.substr(0, e.find(" ; "));
    }

    static inline bool loaded_ = false;
    static inline cimhost::EnumResult info_, list_;
    static inline std::map<std::string, std::string> peerInfo_, freeipmiInfo_;
    static inline std::vector<peers::SelRow> elist_;
    static inline peers::CsvTable freeipmi_;
};

TEST_F(Sel, SummaryMatchesTheLogInfo) {
    ASSERT_EQ(info_.instances.size(), 1u);
    const Instance& i = info_.instances[0];
    EXPECT_EQ(i.path(), "varkolt/cimv2:VKT_SELInfo.deviceID=\"SELInfo\"");
    EXPECT_EQ(i.get("VKT_TotalEntries"), peerInfo_["Entries"]);
    EXPECT_EQ(i.get("VKT_TotalEntries"), freeipmiInfo_["Number of log entries"]);
    EXPECT_EQ(i.get("VKT_FreeSpace"), peerInfo_["Free Space"]);  // "3040 bytes" both
    EXPECT_EQ(i.get("VKT_FreeSpace"), freeipmiInfo_["Free space remaining"]);

    // The addition time in asctime's form, line feed included.
    std::string added = peerInfo_["Last Add Time"];  // "11/14/23 22:13:20 UTC"
    tm t{};
    ASSERT_TRUE(peerTime(added.substr(0, 8), added.substr(9), &t)) << added;
    char text[64];
    ASSERT_NE(asctime_r(&t, text), nullptr);
    EXPECT_EQ(i.get("VKT_RecentEntryAdded"), text);
    // Nothing was ever erased: stamp 0, a time before initialisation to us.
    EXPECT_EQ(peerInfo_["Last Del Time"], "Not Available");
    EXPECT_EQ(freeipmiInfo_["Recent erase timestamp"], "Post-Init 0 s");
    EXPECT_EQ(i.get("VKT_RecentEntryDel"), "Pre-Init");
}

TEST_F(Sel, OneRowPerEntryWithItsTimeAndDirection) {
    ASSERT_EQ(elist_.size(), 10u);
    ASSERT_EQ(list_.instances.size(), elist_.size());
    ASSERT_EQ(freeipmi_.rows.size(), elist_.size());
    EXPECT_EQ(list_.doneCount, 1);
    for (size_t i = 0; i < elist_.size(); ++i) {
        SCOPED_TRACE(i + 1);
        const peers::SelRow& p = elist_[i];
        EXPECT_EQ(row(i).get("VKT_Order"), std::to_string(i + 1));
        tm t{};
        ASSERT_TRUE(peerTime(p.date, p.time, &t));
        const std::string when = format(t, "%Y/%m/%d %H:%M:%S");
        EXPECT_EQ(row(i).get("VKT_TimeString"), when);
        ASSERT_EQ(row(i).keys.size(), 1u);
        EXPECT_EQ(row(i).keys[0].first, "device_id");
        char key[64];
        snprintf(key, sizeof key, "%3zu | %s | %s", i + 1, when.c_str(), row(i).get("VKT_SensorName").c_str());
        EXPECT_EQ(row(i).keys[0].second, std::string(key).substr(0, 59));
        if (p.sensor.rfind("OEM record", 0) == 0) continue;  // no direction in an OEM record
        EXPECT_EQ(row(i).get("VKT_EventDir"), p.direction == "Deasserted" ? "Deassertion" : "Assertion");
        EXPECT_TRUE(p.direction == "Asserted" || p.direction == "Deasserted") << p.direction;
    }
}

TEST_F(Sel, SensorNamesComeFromTheSdrOrTheSensorType) {
    ASSERT_EQ(list_.instances.size(), elist_.size());
    ASSERT_EQ(freeipmi_.rows.size(), elist_.size());
    for (size_t i = 0; i < elist_.size(); ++i) {
        const peers::SelRow& p = elist_[i];
        SCOPED_TRACE(p.sensor);
        if (p.sensor.rfind("OEM record", 0) == 0) continue;
        // ipmitool: "<type> <name>" for sensors in the SDR, "<type> #0xNN" otherwise;
        // FreeIPMI names the sensor or shows "Sensor #N".
        const std::string name = freeipmi_.get(i, "Name");
        if (name.rfind("Sensor #", 0) != 0) {
            EXPECT_EQ(row(i).get("VKT_SensorName"), name);
            EXPECT_EQ(p.sensor.substr(p.sensor.size() - name.size()), name);
        } else {
            // Not a full or compact sensor record: the sensor type's name.
            size_t hash = p.sensor.find(" #0x");
            ASSERT_NE(hash, std::string::npos);
            EXPECT_EQ(row(i).get("VKT_SensorName"), p.sensor.substr(0, hash));
        }
    }
}

TEST_F(Sel, StandardEventDescriptionsMatchThePeers) {
    int compared = 0;
    ASSERT_EQ(list_.instances.size(), elist_.size());
    ASSERT_EQ(freeipmi_.rows.size(), elist_.size());
    for (size_t i = 0; i < elist_.size(); ++i) {
        const peers::SelRow& p = elist_[i];
        SCOPED_TRACE(std::to_string(i + 1) + ": " + p.event);
        if (p.sensor.rfind("OEM record", 0) == 0) continue;
        const std::string ours = row(i).get("VKT_EventDesc");
        if (!p.fields.empty() && p.event.find("going") != std::string::npos) {
            // Threshold events: FreeIPMI's wording ("Lower Critical - going low").
            EXPECT_EQ(ours, freeipmiEvent(i));
        } else if (p.event == "Correctable ECC") {
            // The DIMM location follows; this BMC has no board ID command, so the plain form.
            EXPECT_EQ(ours, p.event + "@DIMM1A(CPU2)");
        } else if (p.event == "PCI SERR") {
            EXPECT_EQ(ours, p.event + ", Bus 3 /Device 1 /Function 2");
        } else {
            EXPECT_EQ(ours, p.event);
        }
        ++compared;
    }
    EXPECT_EQ(compared, 9);
}

TEST_F(Sel, OemRecordIsDecodedAsASystemEvent) {
    // The record type is not looked at: the OEM bytes are read as sensor type 11h,
    // sensor number 22h (FAN3 in the SDR) and event type 33h.
    ASSERT_FALSE(elist_.empty());
    ASSERT_EQ(list_.instances.size(), elist_.size());
    const peers::SelRow& p = elist_.back();
    ASSERT_EQ(p.sensor, "OEM record c0");
    const Instance& ours = list_.instances.back();
    EXPECT_EQ(ours.get("VKT_SensorName"), "FAN3");
    EXPECT_EQ(ours.get("VKT_EventDir"), "Assertion");
    EXPECT_EQ(ours.get("VKT_EventDesc"), "OEM event");
}

TEST_F(Sel, NewEventIsListedByBothAfterTheNextEnumeration) {
    // The BMC logs an event of its own while we run: FAN1 below its lower critical limit.
    ASSERT_TRUE(sim().console("sel_add 0x20 0x02 0 0 0 0 0x20 0 0x04 0x04 0x20 0x01 0x52 0x04 0x08"));
    cimhost::EnumResult list = so().enumerate("SELListProvider");
    auto rows = peers::parseIpmitoolSel(ipmitool({"sel", "elist"}).out);
    ASSERT_GT(rows.size(), 10u);
    ASSERT_EQ(list.instances.size(), rows.size());
    const Instance& last = list.instances.back();
    EXPECT_EQ(last.get("VKT_SensorName"), "FAN1");
    EXPECT_EQ(last.get("VKT_EventDir"), "Assertion");
    EXPECT_EQ(rows.back().sensor, "Fan FAN1");
    EXPECT_EQ(last.get("VKT_EventDesc"), "Lower Critical - going low");
    EXPECT_EQ(rows.back().event.rfind("Lower Critical going low", 0), 0u) << rows.back().event;
}

}  // namespace
