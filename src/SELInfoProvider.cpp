// Provider of VKT_SELInfo: one instance with the event log's summary.
#include "Common.h"
#include "orvic_sel.h"
#include "varkolt/bmc.h"

VKT_DATA_PROVIDER(SELInfoProvider, "VKT_SELInfo");

// The filter key is spelled differently from the path key; hosts have always seen it so.
static const char* filterKeys[] = {"DeviceID", nullptr};

static void SELInfoProviderEnumerate(const CMPIContext* ctx, const CMPIResult* rslt, const char** properties) {
    bmc_GetSELInfo();  // after a failure the texts of the last good read are published
    vkt::InstanceBuilder inst(SELInfoProviderbroker, _ClassName, "deviceID", "SELInfo", properties, filterKeys);
    inst.set("VKT_TotalEntries", totalEntries);
    inst.set("VKT_FreeSpace", freeSpace);
    inst.set("VKT_RecentEntryAdded", recentEntryAdded);
    inst.set("VKT_RecentEntryDel", recentEntryDel);
    inst.returnTo(rslt);
    vkt::finishEnumeration(ctx, SELInfoProviderbroker, rslt);
}
