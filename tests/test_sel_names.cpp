// SEL entries of sensors that the SDR repository names: the label is the sensor's ID
// string. The repository is served by handlers registered here, record by record.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "cimhost.h"
#include "orvic_sel.h"
#include "sdr_util.h"
#include "sel_util.h"
#include "test_support.h"

using testkit::Bytes;
using testkit::IpmiRequest;
using testkit::IpmiResponse;

namespace {

constexpr uint8_t storage = 0x0A;

Bytes fullRecord(uint16_t id, uint8_t number, uint8_t sensorType, const std::string& name) {
    Bytes r(48, 0x00);
    r[0] = static_cast<uint8_t>(id);
    r[1] = static_cast<uint8_t>(id >> 8);
    r[2] = 0x51;
    r[3] = 0x01;
    r[5] = 0x20;
    r[7] = number;
    r[12] = sensorType;
    r[13] = 0x01;
    r[47] = static_cast<uint8_t>(0xC0 | name.size());
    r.insert(r.end(), name.begin(), name.end());
    r[4] = static_cast<uint8_t>(r.size() - 5);
    return r;
}

Bytes compactRecord(uint16_t id, uint8_t number, uint8_t sensorType, const std::string& name) {
    Bytes r(32, 0x00);
    r[0] = static_cast<uint8_t>(id);
    r[1] = static_cast<uint8_t>(id >> 8);
    r[2] = 0x51;
    r[3] = 0x02;
    r[5] = 0x20;
    r[7] = number;
    r[12] = sensorType;
    r[13] = 0x6F;
    r[31] = static_cast<uint8_t>(0xC0 | name.size());
    r.insert(r.end(), name.begin(), name.end());
    r[4] = static_cast<uint8_t>(r.size() - 5);
    return r;
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
        serveRepository();
    }

    // Get SDR Repository Info, Reserve SDR Repository and Get SDR over `records`.
    void serveRepository() {
        bmc().on(storage, 0x20, [this](const IpmiRequest&) {
            const uint8_t n = static_cast<uint8_t>(records.size());
            return IpmiResponse::ok({0x51, n, 0x00, 0x00, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0x02});
        });
        bmc().on(storage, 0x22, [](const IpmiRequest&) { return IpmiResponse::ok({0x01, 0x00}); });
        bmc().on(storage, 0x23, [this](const IpmiRequest& r) {
            if (r.data.size() != 6) return IpmiResponse::error(0xC7);
            const uint16_t id = static_cast<uint16_t>(r.data[2] | r.data[3] << 8);
            for (size_t i = 0; i < records.size(); ++i) {
                const Bytes& rec = records[i];
                if (id != 0 && (rec[0] | rec[1] << 8) != id) continue;
                const uint16_t next = i + 1 < records.size() ? static_cast<uint16_t>(records[i + 1][0] | records[i + 1][1] << 8)
                                                             : 0xFFFF;
                Bytes d = {static_cast<uint8_t>(next), static_cast<uint8_t>(next >> 8)};
                for (size_t k = r.data[4]; k < rec.size() && k < size_t{r.data[4]} + r.data[5]; ++k) d.push_back(rec[k]);
                return IpmiResponse::ok(d);
            }
            return IpmiResponse::error(0xCB);
        });
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
    // A build without the SDR reader looks nothing up; the label rules for unnamed
    // sensors are covered elsewhere.
    bool sdrReaderAsked() const { return server_->bmc.count(storage, 0x20) > 0; }

    std::vector<Bytes> records;
    std::unique_ptr<cimhost::Host> host_;
};

TEST_F(SelNames, NamedSensorsAreLabelledWithTheirIdString) {
    records = {fullRecord(0x0001, 0x01, 0x01, "CPU1 Temp"), compactRecord(0x0002, 0xAA, 0x05, "Chassis Intru")};
    addEvent(0x05, 0xAA, 0x6F, 0x00);
    addEvent(0x01, 0x01, 0x01, 0x59, 0x5B);
    addEvent(0x01, 0x02, 0x01, 0x59, 0x5B);  // no record: named by its type
    cimhost::EnumResult r = list();
    if (!sdrReaderAsked()) GTEST_SKIP() << "this build has no SDR reader";
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
    records = {fullRecord(0x0001, 0x0C, 0x01, name)};
    addEvent(0x01, 0x0C, 0x01, 0x07);
    cimhost::EnumResult r = list();
    if (!sdrReaderAsked()) GTEST_SKIP() << "this build has no SDR reader";
    ASSERT_EQ(r.instances.size(), 1u);
    EXPECT_EQ(r.instances[0].get("VKT_SensorName"), name);
    EXPECT_EQ(r.instances[0].keys[0].second, "  1 | 2017/07/14 02:40:00 | " + name);
    EXPECT_EQ(r.instances[0].keys[0].second.size(), 59u);
}

TEST_F(SelNames, TheNamesAreLoadedOncePerProcess) {
    records = {compactRecord(0x0001, 0xAA, 0x05, "Chassis Intru")};
    addEvent(0x05, 0xAA, 0x6F, 0x00);
    ASSERT_EQ(list().instances.size(), 1u);
    if (!sdrReaderAsked()) GTEST_SKIP() << "this build has no SDR reader";
    // A sensor added to the repository later keeps its type name until the table is read again.
    records.push_back(compactRecord(0x0002, 0xC8, 0x08, "PS1 Status"));
    addEvent(0x08, 0xC8, 0x6F, 0x01);
    cimhost::EnumResult r = list();
    ASSERT_EQ(r.instances.size(), 2u);
    EXPECT_EQ(r.instances[1].get("VKT_SensorName"), "Power Supply");
    EXPECT_EQ(bmc().count(storage, 0x20), 1u);
}

}  // namespace
