// Provider of VKT_UserList. Its collector is not part of this build yet: an enumeration succeeds
// with no instance.
#include "Common.h"

VKT_DATA_PROVIDER(UserListProvider, "VKT_UserList");

static void UserListProviderEnumerate(const CMPIContext* ctx, const CMPIResult* rslt, const char** /*properties*/) {
    vkt::finishEnumeration(ctx, UserListProviderbroker, rslt);
}
