// Shared by the SDR and sensor tests: a simulated server whose SDR repository each test
// fills, with the library's process-wide SDR and sensor tables back in their load-time state.
#ifndef TESTS_SDR_FIXTURE_H
#define TESTS_SDR_FIXTURE_H

#include <cstring>
#include <string>
#include <vector>

#include "sdr_sensors.h"
#include "sdr_util.h"
#include "test_support.h"

namespace sdrtest {

using testkit::Bytes;
using testkit::IpmiRequest;
using testkit::IpmiResponse;
using testkit::SensorFields;
using testkit::compactSensorRecord;
using testkit::eventOnlyRecord;
using testkit::fruLocatorRecord;
using testkit::fullSensorRecord;
using testkit::mcLocatorRecord;
using testkit::oemRecord;

inline void resetSdrTables() {
    memset(sdrRepositry, 0, sizeof sdrRepositry);
    sdrRecordCount = 0;
    memset(sdrReserveID, 0, sizeof sdrReserveID);
    memset(sdrRecords, 0, sizeof sdrRecords);
    isSDRLoadedFlag = 0;
    memset(cim_sdr, 0, sizeof cim_sdr);
}

class SdrTest : public testkit::SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        resetSdrTables();
    }
    void TearDown() override {
        resetSdrTables();
        SimTest::TearDown();
    }
    testkit::SdrModel& sdr() { return sim().sdr; }
    // Get SDR requests as {offset, count} pairs, in order.
    std::vector<std::pair<int, int>> pieces() const {
        std::vector<std::pair<int, int>> out;
        for (const IpmiRequest& r : server_->bmc.requests(0x0A, 0x23)) out.emplace_back(r.data.at(4), r.data.at(5));
        return out;
    }
    // Reads the repository the way the sensor collector does.
    BYTE walk() {
        BYTE cc = getSDRRepositoryInfo();
        return cc != 0 ? cc : getSDRs();
    }
};

inline SensorFields fields(const std::string& name, uint8_t number, uint8_t sensorType = 0x01,
                           uint8_t readingType = 0x01, uint8_t unit = 0x01) {
    SensorFields f;
    f.name = name;
    f.number = number;
    f.sensorType = sensorType;
    f.readingType = readingType;
    f.unit = unit;
    return f;
}

// The name of slot `i` as the accessors give it.
inline std::string slotName(int i) {
    char name[vkt::sdrNameBufferSize] = {};
    const BYTE index = static_cast<BYTE>(i);
    if (getRecordType(index) == 0x01)
        getSensorIDString(index, getSensorIDStringLength(index), name);
    else if (getRecordType(index) == 0x02)
        getSensorIDType2String(index, getSensorIDType2StringLength(index), name);
    return name;
}

}  // namespace sdrtest

#endif
