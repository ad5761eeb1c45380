// Provider of VKT_IPMDevice. Its collector is not part of this build yet: an enumeration succeeds
// with no instance.
#include "Common.h"

VKT_DATA_PROVIDER(IPMDeviceProvider, "VKT_IPMDevice");

static void IPMDeviceProviderEnumerate(const CMPIContext* ctx, const CMPIResult* rslt, const char** /*properties*/) {
    vkt::finishEnumeration(ctx, IPMDeviceProviderbroker, rslt);
}
