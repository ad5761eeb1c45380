// Provider of VKT_BMCIP: the BMC's address pair and the host's MAC addresses.
#include "Common.h"
#include "SystemMacProperties.h"
#include "cim_util.h"

VKT_DATA_PROVIDER(BMCIPProvider, "VKT_BMCIP");

static const char* filterKeys[] = {"DeviceID", nullptr};

static void BMCIPProviderEnumerate(const CMPIContext* ctx, const CMPIResult* rslt, const char** properties) {
    getLanSetting();
    getSystemMacAddress();
    vkt::InstanceBuilder inst(BMCIPProviderbroker, _ClassName, "deviceID", "BMCIP", properties, filterKeys);
    inst.set("VKT_IP_Address", ip_addr);
    inst.set("VKT_MAC_Address", mac_addr);
    vkt::setSystemMacProperties(inst);
    inst.returnTo(rslt);
    vkt::finishEnumeration(ctx, BMCIPProviderbroker, rslt);
}
