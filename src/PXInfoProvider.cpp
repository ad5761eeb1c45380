// Provider of VKT_PXInfo. Its collector is not part of this build yet: an enumeration succeeds
// with no instance.
#include "Common.h"

VKT_DATA_PROVIDER(PXInfoProvider, "VKT_PXInfo");

static void PXInfoProviderEnumerate(const CMPIContext* ctx, const CMPIResult* rslt, const char** /*properties*/) {
    vkt::finishEnumeration(ctx, PXInfoProviderbroker, rslt);
}
