// Provider of VKT_SELInfo. Its collector is not part of this build yet: an enumeration succeeds
// with no instance.
#include "Common.h"

VKT_DATA_PROVIDER(SELInfoProvider, "VKT_SELInfo");

static void SELInfoProviderEnumerate(const CMPIContext* ctx, const CMPIResult* rslt, const char** /*properties*/) {
    vkt::finishEnumeration(ctx, SELInfoProviderbroker, rslt);
}
