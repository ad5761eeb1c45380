// Provider of VKT_SELList: one instance per event log entry, in log order.
#include "Common.h"
#include "bounded.h"
#include "orvic_sel.h"
#include "varkolt/bmc.h"

VKT_DATA_PROVIDER(SELListProvider, "VKT_SELList");

static const char* filterKeys[] = {"device_id", nullptr};

static void SELListProviderEnumerate(const CMPIContext* ctx, const CMPIResult* rslt, const char** properties) {
    bmc_GetSELList();  // after a failure the list of the last good read is published
    for (int i = 0; i < selPublishedMax; ++i) {
        const CIM_SEL& entry = cim_sel_records[i];
        if (entry.sensorName[0] == '\0') break;
        char key[60];
        char order[16];
        VKT_FORMAT(key, "%3d | %s | %s", i + 1, entry.timeString, entry.sensorName);
        VKT_FORMAT(order, "%d", i + 1);
        vkt::InstanceBuilder inst(SELListProviderbroker, _ClassName, "device_id", key, properties, filterKeys);
        inst.set("VKT_Order", order);
        inst.set("VKT_TimeString", entry.timeString);
        inst.set("VKT_SensorName", entry.sensorName);
        inst.set("VKT_EventDir", entry.eventDir);
        inst.set("VKT_EventDesc", entry.eventDesc);
        inst.returnTo(rslt);
    }
    vkt::finishEnumeration(ctx, SELListProviderbroker, rslt);
}
