// Provider of VKT_Sensors. Its collector is not part of this build yet: an enumeration succeeds
// with no instance.
#include "Common.h"

VKT_DATA_PROVIDER(SensorsProvider, "VKT_Sensors");

static void SensorsProviderEnumerate(const CMPIContext* ctx, const CMPIResult* rslt, const char** /*properties*/) {
    vkt::finishEnumeration(ctx, SensorsProviderbroker, rslt);
}
