// Sensor evaluation of arbitrary SDR records and readings: the SDR table is filled from the
// input as a repository walk would leave it, and every sensor is evaluated into the sensor
// table; readings, thresholds and the firmware family come through the hostile BMC (see
// fuzz_support.h). The conversion of raw bytes is also run on its own.
//
// Input: the record count (2 bytes; the table holds 128), a slot count byte, for each slot a
// length byte and that many record bytes, a raw byte, then the hostile BMC's control stream.
#include <cstring>

#include "fuzz_support.h"
#include "invariants.h"
#include "sdr_reading.h"
#include "sdr_sensors.h"
#include "sdr_util.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::setUpProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Stream in(data, size);
    sdrRecordCount = in.word();
    const int slots = in.byte() % (sdrSlotCount + 1);
    memset(sdrRecords, 0, sizeof sdrRecords);
    for (int i = 0; i < slots; ++i) {
        const testkit::Bytes rec = in.run(sdrSlotSize);
        if (!rec.empty()) memcpy(sdrRecords[i], rec.data(), rec.size());
    }
    const BYTE raw = in.byte();

    auto server = fuzz::demoServer();
    fuzz::HostileBmc bmc(in, *server);
    fuzz::attachBackend(&bmc);
    printSDR();
    for (int i = 0; i < sdrUsedSlotCount(); ++i) {
        const BYTE index = static_cast<BYTE>(i);
        SensorEvaluation e;
        evaluateSensor(index, i & 1, &e);
        sdr_convert_sensor_reading(index, raw);
        const vkt::SensorFactors f = vkt::decodeSensorFactors(sdrRecords[i]);
        vkt::convertSensorReading(f, raw);
        vkt::convertSensorThreshold(f, raw);
        char name[vkt::sdrNameBufferSize] = {};
        isSDRLoadedFlag = 1;  // the table above is the repository
        getSensorNameBySensorNumber(getSensorNumber(index), name);
    }
    fuzz::checkTexts("sensor_eval");
    return 0;
}
