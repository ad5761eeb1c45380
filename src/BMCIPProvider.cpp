// Provider of VKT_BMCIP. Its collector is not part of this build yet: an enumeration succeeds
// with no instance.
#include "Common.h"

VKT_DATA_PROVIDER(BMCIPProvider, "VKT_BMCIP");

static void BMCIPProviderEnumerate(const CMPIContext* ctx, const CMPIResult* rslt, const char** /*properties*/) {
    vkt::finishEnumeration(ctx, BMCIPProviderbroker, rslt);
}
