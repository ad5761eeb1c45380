// vktool sel: the BMC's system event log.
#include "report.h"

namespace vktool {

namespace {

int info(Invocation& inv) {
    if (int rc = bmc_GetSELInfo()) return rc;
    std::optional<cimhost::Instance> record =
        publishedInstance(inv, "SELInfoProvider", "the SEL summary provider published no summary");
    if (!record) return VKT_BMC_COMMAND_FAILED;
    printRecord(inv, *record,
                {typed("VKT_TotalEntries", "entries", "Entries", Kind::integer),
                 typed("VKT_FreeSpace", "freeSpace", "Free Space", Kind::measure),
                 {"VKT_RecentEntryAdded", "lastAddition", "Last Add Time"},
                 {"VKT_RecentEntryDel", "lastErase", "Last Del Time"}});
    return VKT_BMC_OK;
}

int list(Invocation& inv) {
    if (int rc = bmc_GetSELList()) return rc;
    std::optional<cimhost::EnumResult> r = publishedTable(inv, "SELListProvider");
    if (!r) return VKT_BMC_COMMAND_FAILED;
    printRows(inv, r->instances,
              {{"VKT_Order", "order", "#", 3, true, Kind::integer},
               {"VKT_TimeString", "time", "Time (UTC)"},
               {"VKT_SensorName", "sensor", "Sensor"},
               {"VKT_EventDir", "direction", "Direction"},
               {"VKT_EventDesc", "event", "Event"}});
    return VKT_BMC_OK;
}

int clear(Invocation& inv) {
    if (!inv.confirm("Erase every entry of the system event log?")) return notConfirmed;
    return bmc_ClearAllSEL();
}

}  // namespace

extern const Subject selSubject = {
    "sel",
    "system event log",
    "",
    {
        {"info", "", "print the number of entries, the free space and the last addition and erase", "", 0, 0, {},
         info, dataAction},
        {"list", "", "print the entries (the first 512) with time, sensor, direction and event", "", 0, 0, {}, list,
         dataAction},
        {"clear", "", "start erasing the log (the BMC completes it in the background)",
         "", 0, 0, {}, clear, changesBmc},
    },
};

}  // namespace vktool
