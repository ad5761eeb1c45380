// Provider of VKT_PXInfo: the chassis-level data of a multi-node chassis.
#include "Common.h"

#include <varkolt/bmc.h>

#include "bounded.h"
#include "px_util.h"

VKT_DATA_PROVIDER(PXInfoProvider, "VKT_PXInfo");

static const char* filterKeys[] = {"DeviceID", nullptr};

static const char* text(const BYTE* field) { return reinterpret_cast<const char*>(field); }

static void PXInfoProviderEnumerate(const CMPIContext* ctx, const CMPIResult* rslt, const char** properties) {
    if (bmc_PXInfo(0) == VKT_BMC_ABSENT) {
        // A server that is not part of a multi-node chassis has no chassis record. The end of
        // the results is not signalled here, as CIM clients of this class have always seen it.
        clearEnv(ctx, PXInfoProviderbroker);
        return;
    }
    const PairexMCU& m = pairexMCU;
    char configId[12], currentNode[12], systemPN[pxFieldSize + 1], chassisLocation[16], mcuVersion[8],
        bpnRevision[8];
    VKT_FORMAT(configId, "%d", m.configID);
    if (nodeIDIsLetter)
        VKT_FORMAT(currentNode, "%c", m.nodeID);
    else
        VKT_FORMAT(currentNode, "%d", m.nodeID);
    VKT_FORMAT(systemPN, "%s", text(m.systemPN));
    trim(systemPN);
    const BYTE* l = m.chassisLocation;
    VKT_FORMAT(chassisLocation, "%02X %02X %02X %02X %02X", l[0], l[1], l[2], l[3], l[4]);
    VKT_FORMAT(mcuVersion, "%X.%02X", m.mcuVersion[0], m.mcuVersion[1]);
    VKT_FORMAT(bpnRevision, "%X.%02X", m.bpnRevision[0], m.bpnRevision[1]);

    vkt::InstanceBuilder inst(PXInfoProviderbroker, _ClassName, "deviceID", "PXInfo", properties, filterKeys);
    inst.set("VKT_ConfigurationID", configId);
    inst.set("VKT_CurrentNodeID", currentNode);
    inst.set("VKT_SystemName", text(m.userDefineSystemName));
    inst.set("VKT_SystemPN", systemPN);
    inst.set("VKT_SystemSN", text(m.systemSN));
    inst.set("VKT_ChassisPN", text(m.chassisPN));
    inst.set("VKT_ChassisSN", text(m.chassisSN));
    inst.set("VKT_BackPlanePN", text(m.backplanePN));
    inst.set("VKT_BackPlaneSN", text(m.backplaneSN));
    inst.set("VKT_ChassisLocation", chassisLocation);
    inst.set("VKT_BPLocation", m.location);
    inst.set("VKT_MCUVersion", mcuVersion);
    inst.set("VKT_BPNRevision", bpnRevision);
    inst.returnTo(rslt);
    vkt::finishEnumeration(ctx, PXInfoProviderbroker, rslt);
}
