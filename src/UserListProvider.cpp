// Provider of VKT_UserList: one instance per named user account.
#include <cstdio>

#include "Common.h"
#include "bounded.h"
#include "user_util.h"
#include "varkolt/bmc.h"

VKT_DATA_PROVIDER(UserListProvider, "VKT_UserList");

static const char* filterKeys[] = {"DeviceID", nullptr};

static void UserListProviderEnumerate(const CMPIContext* /*ctx*/, const CMPIResult* rslt, const char** properties) {
    // A failed collection leaves the table as an earlier one filled it; that is published.
    bmc_GetUserList();
    printUserListHeader();
    for (int u = firstListedUser; u < maximumNumberOfUsers; ++u) {
        const ipmi_user* entry = vkt::userEntry(u);
        if (entry == nullptr || entry->userName[0] == '\0') continue;
        char id[12];
        VKT_FORMAT(id, "%d", u);
        char name[userNameSize + 1];
        vkt::copyText(name, entry->userName, userNameSize);
        vkt::InstanceBuilder inst(UserListProviderbroker, _ClassName, nullptr, nullptr, properties, filterKeys);
        inst.set("VKT_UserID", id);
        inst.set("VKT_UserName", name);
        inst.set("VKT_PrivilegeLevel", getPrivilege(entry->privilegeChannel));
        inst.set("VKT_Enable", vkt::userEnabled(entry->status) ? "Yes" : "No");
        inst.returnTo(rslt);
    }
    if (rslt != nullptr) CMReturnDone(rslt);
}
