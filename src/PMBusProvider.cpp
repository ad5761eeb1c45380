// Provider of VKT_PMBus. Its collector is not part of this build yet: an enumeration succeeds
// with no instance.
#include "Common.h"

VKT_DATA_PROVIDER(PMBusProvider, "VKT_PMBus");

static void PMBusProviderEnumerate(const CMPIContext* ctx, const CMPIResult* rslt, const char** /*properties*/) {
    vkt::finishEnumeration(ctx, PMBusProviderbroker, rslt);
}
