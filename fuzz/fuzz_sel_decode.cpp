// SEL record decoding: entries, log summaries and time stamps from the input, decoded as
// the SEL collectors do. The board identity and the sensor names the decoding asks the BMC
// for come through the hostile BMC (see fuzz_support.h) from what the input leaves.
//
// Input: a flags byte (bit 0: ask for the board identity again, bit 1: read the SDR names
// again), the 14 bytes of a Get SEL Info answer, an entry count byte, that many 16-byte
// entries, a label buffer size byte, then the hostile BMC's control stream.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz_support.h"
#include "invariants.h"
#include "orvic_sel.h"
#include "sdr_util.h"
#include "sel_util.h"

namespace {

using testkit::Bytes;

void decodeAlone(const BYTE* rec, size_t labelCap) {
    const BYTE sensorType = rec[selSensorTypeOffset];
    const BYTE sensorNumber = rec[selSensorNumberOffset];
    const BYTE dirType = rec[selEventDirTypeOffset];
    const BYTE d1 = rec[selEventData1Offset], d2 = rec[selEventData2Offset], d3 = rec[selEventData3Offset];
    for (char* text : {getEventDesc(sensorNumber, sensorType, dirType, d1, d2, d3),
                       getGenericEventDesc(sensorType, dirType, d1, d2, d3),
                       getSensorTypeDesc(sensorNumber, sensorType, dirType, d1, d2, d3),
                       getOEMSensorTypeDesc(sensorType, dirType, d1, d2, d3), getDIMMLoc(d3)})
        free(text);
    char direction[12];
    getEventDir(dirType, direction);
    // Buffers exactly as large as the caller says, so a write past them is a finding.
    std::vector<char> small(labelCap);
    if (labelCap > 0) {
        getEventDir(dirType, small.data(), labelCap);
        getSELSensorLabel(sensorNumber, sensorType, d1, small.data(), labelCap);
    }
    // Any 64-bit time, far outside what the four stamp bytes hold.
    uint64_t wide = 0;
    for (int i = 7; i >= 0; --i) wide = wide << 8 | rec[i];
    const int64_t stamp = static_cast<int64_t>(wide);
    std::vector<char> time(labelCap);
    if (labelCap > 0) {
        vkt::formatSelTime(time.data(), labelCap, stamp);
        vkt::formatAscTime(time.data(), labelCap, stamp);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::setUpProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Stream in(data, size);
    const uint8_t flags = in.byte();
    if ((flags & 1) != 0) {
        memset(boardName, 0, sizeof boardName);
        memset(boardType, 0, sizeof boardType);
    }
    if ((flags & 2) != 0) isSDRLoadedFlag = 0;

    const Bytes info = in.bytes(selInfoSize);
    memset(selInfo, 0, sizeof selInfo);
    if (!info.empty()) memcpy(selInfo, info.data(), info.size());
    const int entries = in.byte();
    for (int i = 0; i < entries; ++i) {
        const Bytes rec = in.bytes(selRecordSize);
        memset(selRecords[i], 0, selRecordSize);
        if (!rec.empty()) memcpy(selRecords[i], rec.data(), rec.size());
    }
    selRecordCount = entries;
    const size_t labelCap = in.byte();

    auto server = fuzz::demoServer();
    fuzz::HostileBmc bmc(in, *server);
    fuzz::attachBackend(&bmc);
    printSELInfo();
    printSELs();
    for (int i = 0; i < entries; ++i) decodeAlone(selRecords[i], labelCap);
    fuzz::checkTexts("sel_decode");
    return 0;
}
