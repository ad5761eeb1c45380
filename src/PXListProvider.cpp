// Provider of VKT_PXList. Its collector is not part of this build yet: an enumeration succeeds
// with no instance.
#include "Common.h"

VKT_DATA_PROVIDER(PXListProvider, "VKT_PXList");

static void PXListProviderEnumerate(const CMPIContext* ctx, const CMPIResult* rslt, const char** /*properties*/) {
    vkt::finishEnumeration(ctx, PXListProviderbroker, rslt);
}
