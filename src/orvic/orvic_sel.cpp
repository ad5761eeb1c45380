// The SEL collectors: read the log and leave its summary and decoded entries as texts.
#include "orvic_sel.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "bounded.h"
#include "entry_barrier.h"
#include "sel_util.h"
#include "smipmi.h"
#include "varkolt/bmc.h"

char totalEntries[16];
char freeSpace[30];
char recentEntryAdded[50];
char recentEntryDel[50];

CIM_SEL cim_sel_records[selPublishedMax];

namespace {

// Stamps up to here count from the controller's initialisation, not from 1970.
constexpr uint32_t lastPreInitStamp = 0x1FFFFFFF;

void formatInfoTime(char* dst, size_t cap, const BYTE* stamp) {
    const uint32_t seconds = vkt::littleEndian32(stamp);
    if (seconds <= lastPreInitStamp)
        vkt::copyText(dst, cap, "Pre-Init");
    else
        vkt::formatAscTime(dst, cap, seconds);
}

void fillEntry(CIM_SEL& out, const BYTE* rec) {
    const BYTE sensorType = rec[selSensorTypeOffset];
    const BYTE sensorNumber = rec[selSensorNumberOffset];
    const BYTE dirType = rec[selEventDirTypeOffset];
    const BYTE d1 = rec[selEventData1Offset];

    vkt::formatSelTime(out.timeString, sizeof out.timeString, vkt::littleEndian32(rec + selTimestampOffset));
    getSELSensorLabel(sensorNumber, sensorType, d1, out.sensorName, sizeof out.sensorName);
    getEventDir(dirType, out.eventDir, sizeof out.eventDir);
    char* desc = getEventDesc(sensorNumber, sensorType, dirType, d1, rec[selEventData2Offset], rec[selEventData3Offset]);
    vkt::copyText(out.eventDesc, desc);
    free(desc);
}

}  // namespace

void printSELInfo() {
    VKT_FORMAT(totalEntries, "%u", static_cast<unsigned>(selInfo[2] * 256 + selInfo[1]));
    VKT_FORMAT(freeSpace, "%u bytes", static_cast<unsigned>(selInfo[4] * 256 + selInfo[3]));
    formatInfoTime(recentEntryAdded, sizeof recentEntryAdded, selInfo + 5);
    formatInfoTime(recentEntryDel, sizeof recentEntryDel, selInfo + 9);
}

void printSELs() {
    const int count = std::min({selRecordCount, selPublishedMax, selMaxRecords});
    int i = 0;
    for (; i < count; ++i) fillEntry(cim_sel_records[i], selRecords[i]);
    // A log that shrank must not leave the tail of the previous list published.
    for (; i < selPublishedMax; ++i) cim_sel_records[i] = CIM_SEL{};
}

int bmc_GetSELInfo() {
    return vkt::entryBarrier(__func__, [&] {
        BYTE cc = getSELInfo();
        if (cc != vkt::ccSuccess) {
            vkt::reportFailure("Failed to get SEL info, %s", cc);
            return VKT_BMC_COMMAND_FAILED;
        }
        printSELInfo();
        return VKT_BMC_OK;
    });
}

int bmc_GetSELList() {
    return vkt::entryBarrier(__func__, [&] {
        BYTE cc = getSELInfo();
        if (cc != vkt::ccSuccess) {
            vkt::reportFailure("Failed to get SEL info, %s", cc);
            return VKT_BMC_COMMAND_FAILED;
        }
        cc = getReserveSELID();
        if (cc != vkt::ccSuccess) {
            vkt::reportFailure("Failed to get reserve SEL, %s", cc);
            return VKT_BMC_COMMAND_FAILED;
        }
        cc = getSELs();
        if (cc != vkt::ccSuccess) {
            vkt::reportFailure("%s", cc);
            return VKT_BMC_COMMAND_FAILED;
        }
        printSELs();
        return VKT_BMC_OK;
    });
}
