// Provider of VKT_SELList. Its collector is not part of this build yet: an enumeration succeeds
// with no instance.
#include "Common.h"

VKT_DATA_PROVIDER(SELListProvider, "VKT_SELList");

static void SELListProviderEnumerate(const CMPIContext* ctx, const CMPIResult* rslt, const char** /*properties*/) {
    vkt::finishEnumeration(ctx, SELListProviderbroker, rslt);
}
