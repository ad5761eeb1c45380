// Provider of VKT_IPMDevice: what the BMC and the chassis can do.
#include "Common.h"
#include "ipm_device.h"

VKT_DATA_PROVIDER(IPMDeviceProvider, "VKT_IPMDevice");

static const char* filterKeys[] = {"DeviceID", nullptr};

static void IPMDeviceProviderEnumerate(const CMPIContext* ctx, const CMPIResult* rslt, const char** properties) {
    IpmDeviceTexts t;
    collectIpmDevice(&t);
    vkt::InstanceBuilder inst(IPMDeviceProviderbroker, _ClassName, "deviceID", "IPMDevice", properties, filterKeys);
    inst.set("VKT_IsMultiNode", t.isMultiNode);
    inst.set("VKT_IsLedEnabled", t.isLedEnabled);
    inst.set("VKT_IsNeedToClearChassisIntrusion", t.isNeedToClearChassisIntrusion);
    inst.set("VKT_CurrentFanMode", t.currentFanMode);
    inst.set("VKT_SupportedFanModes", t.supportedFanModes);
    inst.returnTo(rslt);
    vkt::finishEnumeration(ctx, IPMDeviceProviderbroker, rslt);
}
