// Provider of VKT_FRU. Its collector is not part of this build yet: an enumeration succeeds
// with no instance.
#include "Common.h"

VKT_DATA_PROVIDER(FRUProvider, "VKT_FRU");

static void FRUProviderEnumerate(const CMPIContext* ctx, const CMPIResult* rslt, const char** /*properties*/) {
    vkt::finishEnumeration(ctx, FRUProviderbroker, rslt);
}
