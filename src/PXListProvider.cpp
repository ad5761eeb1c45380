// Provider of VKT_PXList: one instance per node of a multi-node chassis, keyed by its label.
#include "Common.h"

#include <varkolt/bmc.h>

#include "px_util.h"

VKT_DATA_PROVIDER(PXListProvider, "VKT_PXList");

static const char* filterKeys[] = {"device_id", nullptr};

static void PXListProviderEnumerate(const CMPIContext* ctx, const CMPIResult* rslt, const char** properties) {
    // Not multi-node: the table was never filled and publishes nothing.
    bmc_PXInfo(0);
    for (int i = 0; i < pxListRows && pxList[i].node[0] != '\0'; ++i) {
        const PXList& row = pxList[i];
        vkt::InstanceBuilder inst(PXListProviderbroker, _ClassName, "device_id", row.node, properties, filterKeys);
        inst.set("VKT_Node", row.node);
        inst.set("VKT_Power", row.power);
        inst.set("VKT_IP", row.ip);
        inst.set("VKT_Watts", row.watts);
        inst.set("VKT_Current", row.current);
        inst.set("VKT_Cpu1Temp", row.cpu1Temp);
        inst.set("VKT_Cpu2Temp", row.cpu2Temp);
        inst.set("VKT_SysTemp", row.sysTemp);
        inst.set("VKT_NodePN", row.nodePN);
        inst.set("VKT_NodeSN", row.nodeSN);
        inst.returnTo(rslt);
    }
    vkt::finishEnumeration(ctx, PXListProviderbroker, rslt);
}
