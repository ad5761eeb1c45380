// The SEL collectors: read the log and leave its summary and decoded entries as texts.
#include "orvic_sel.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "bounded.h"
#include "entry_barrier.h"
#include "ipmi_replies.h"
#include "sel_util.h"
#include "smipmi.h"
#include "varkolt/bmc.h"

char totalEntries[16];
char freeSpace[30];
char recentEntryAdded[50];
char recentEntryDel[50];

CIM_SEL cim_sel_records[selPublishedMax];

namespace {

// Rows of cim_sel_records the last list wrote; every row from here on is zero.
int selRowsWritten = 0;

// Stamps up to here count from the controller's initialisation, not from 1970.
constexpr uint32_t lastPreInitStamp = 0x1FFFFFFF;

void formatInfoTime(char* dst, size_t cap, uint32_t seconds) {
    if (seconds <= lastPreInitStamp)
        vkt::copyText(dst, cap, "Pre-Init");
    else
        vkt::formatAscTime(dst, cap, seconds);
}

void fillEntry(CIM_SEL& out, vkt::ByteView rec) {
    const vkt::SelEvent e = vkt::selEventOf(rec);
    vkt::formatSelTime(out.timeString, sizeof out.timeString, rec.le32(selTimestampOffset));
    getSELSensorLabel(e.sensorNumber, e.sensorType, e.data1, out.sensorName, sizeof out.sensorName);
    getEventDir(e.eventDirType, out.eventDir, sizeof out.eventDir);
    char* desc = getEventDesc(e.sensorNumber, e.sensorType, e.eventDirType, e.data1, e.data2, e.data3);
    vkt::copyText(out.eventDesc, desc);
    free(desc);
}

}  // namespace

void printSELInfo() {
    const vkt::SelInfoReply info = vkt::SelInfoReply::decode(vkt::ByteView(selInfo));
    VKT_FORMAT(totalEntries, "%u", static_cast<unsigned>(info.entries));
    VKT_FORMAT(freeSpace, "%u bytes", static_cast<unsigned>(info.freeSpace));
    formatInfoTime(recentEntryAdded, sizeof recentEntryAdded, info.lastAddition);
    formatInfoTime(recentEntryDel, sizeof recentEntryDel, info.lastErase);
}

void printSELs() {
    const int count = std::min({selRecordCount, selPublishedMax, selMaxRecords});
    int i = 0;
    for (; i < count; ++i) fillEntry(cim_sel_records[i], vkt::ByteView(selRecords[i]));
    // A log that shrank must not leave the tail of the previous list published. Only rows
    // an earlier list wrote can hold anything; the rest of the table (about 440 KiB) is
    // still as loaded, zero and never brought into memory, and is left alone.
    for (; i < selRowsWritten; ++i) cim_sel_records[i] = CIM_SEL{};
    selRowsWritten = count;
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
