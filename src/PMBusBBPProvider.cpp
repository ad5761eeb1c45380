// Provider of VKT_PMBusBBP. Its collector is not part of this build yet: an enumeration succeeds
// with no instance.
#include "Common.h"

VKT_DATA_PROVIDER(PMBusBBPProvider, "VKT_PMBusBBP");

static void PMBusBBPProviderEnumerate(const CMPIContext* ctx, const CMPIResult* rslt, const char** /*properties*/) {
    vkt::finishEnumeration(ctx, PMBusBBPProviderbroker, rslt);
}
