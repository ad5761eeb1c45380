// Provider of VKT_NM: the BMC's board, firmware build time and firmware version, and the
// identity of the Node Manager in the Management Engine.
#include "Common.h"
#include "nm_util.h"
#include "varkolt/bmc.h"

VKT_DATA_PROVIDER(NMProvider, "VKT_NM");

static const char* filterKeys[] = {"DeviceID", nullptr};

static void NMProviderEnumerate(const CMPIContext* ctx, const CMPIResult* rslt, const char** properties) {
    // A collector that fails leaves its texts as the last enumeration saw them; texts that
    // were never set are published as null values.
    getBoardModel();
    getFirmwareBuildTime();
    getFirmwareVersion();
    bmc_GetDeviceID();
    vkt::InstanceBuilder inst(NMProviderbroker, _ClassName, "deviceID", "NM", properties, filterKeys);
    inst.set("VKT_BoardID", boardID);
    inst.set("VKT_NM_FirmwareVersion", nmfirmwareVersion);
    inst.set("VKT_NM_Platform", nmPlatform);
    inst.set("VKT_NM_FirewareImplementedVersion", nmFirewareImplementedVersion);
    inst.set("VKT_NM_ImageFlag", nmImageFlag);
    inst.set("VKT_BMC_FirmwareBuildTime", firmwareBuildTime);
    inst.set("VKT_BMC_FirmwareVersion", firmwareVersion);
    inst.returnTo(rslt);
    vkt::finishEnumeration(ctx, NMProviderbroker, rslt);
}
