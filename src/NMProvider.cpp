// Provider of VKT_NM. Its collector is not part of this build yet: an enumeration succeeds
// with no instance.
#include "Common.h"

VKT_DATA_PROVIDER(NMProvider, "VKT_NM");

static void NMProviderEnumerate(const CMPIContext* ctx, const CMPIResult* rslt, const char** /*properties*/) {
    vkt::finishEnumeration(ctx, NMProviderbroker, rslt);
}
