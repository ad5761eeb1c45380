// Provider of VKT_PMBusFRU. Its collector is not part of this build yet: an enumeration succeeds
// with no instance.
#include "Common.h"

VKT_DATA_PROVIDER(PMBusFRUProvider, "VKT_PMBusFRU");

static void PMBusFRUProviderEnumerate(const CMPIContext* ctx, const CMPIResult* rslt, const char** /*properties*/) {
    vkt::finishEnumeration(ctx, PMBusFRUProviderbroker, rslt);
}
