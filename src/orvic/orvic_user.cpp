// Exported routines that list, add, delete and change the BMC's user accounts.
#include <cstdio>

#include "entry_barrier.h"
#include "ipmi_defs.h"
#include "smipmi.h"
#include "user_util.h"
#include "varkolt/bmc.h"

using vkt::reportedFailure;

namespace {

int done() {
    puts("Done.");
    return VKT_BMC_OK;
}

// The BMC takes only the low six bits of a user ID (Set User Password carries a flag in
// bit 7), so an ID outside 1..63 would reach another account: refuse it before sending.
constexpr int lowestUserId = 1;
constexpr int highestUserId = 63;

bool validUserId(unsigned char uid) {
    if (uid >= lowestUserId && uid <= highestUserId) return true;
    fprintf(stderr, "User ID %d is out of range (%d to %d); nothing was changed.\n", uid, lowestUserId, highestUserId);
    return false;
}

}  // namespace

int bmc_GetUserList() {
    return vkt::entryBarrier(__func__, [&] {
        if (reportedFailure(getNumberOfUsers(), "Failed to get number of user, %s")) return VKT_BMC_COMMAND_FAILED;
        // User ID 1 (the anonymous user) and the highest ID are not read.
        for (int u = firstListedUser; u < maximumNumberOfUsers; ++u) {
            const BYTE uid = static_cast<BYTE>(u);
            if (getUserName(uid) != vkt::ccSuccess) continue;
            const ipmi_user* entry = vkt::userEntry(u);
            if (entry == nullptr || entry->userName[0] == '\0') continue;
            if (reportedFailure(getUserAccess(uid), "Failed to get user privilege, %s")) return VKT_BMC_COMMAND_FAILED;
        }
        return VKT_BMC_OK;
    });
}

// The steps are not undone when a later one fails; the message names the step that did.
int bmc_AddUser(unsigned char uid, const char* name, const char* password, int level) {
    return vkt::entryBarrier(__func__, [&] {
        if (!validUserId(uid)) return VKT_BMC_COMMAND_FAILED;
        if (reportedFailure(setUserName(uid, name), "Failed to set user name, %s") ||
            reportedFailure(setUserPassword(uid, password), "Failed to set user password, %s") ||
            reportedFailure(enableUser(uid), "Failed to enable user account, %s") ||
            reportedFailure(setUserAccess(uid, static_cast<BYTE>(level)), "Failed to set user privilege, %s"))
            return VKT_BMC_COMMAND_FAILED;
        return done();
    });
}

int bmc_DelUser(unsigned char uid) {
    return vkt::entryBarrier(__func__, [&] {
        if (!validUserId(uid)) return VKT_BMC_COMMAND_FAILED;
        // Get User Access first, so that an ID the BMC does not know changes nothing.
        if (reportedFailure(getUserAccess(uid), "Failed to get user privilege, %s") ||
            reportedFailure(setUserPassword(uid, ""), "Failed to set user password, %s") ||
            reportedFailure(setUserAccess(uid, vkt::privilegeNoAccess), "Failed to disable user privilege, %s") ||
            reportedFailure(disableUser(uid), "Failed to disable user account, %s") ||
            reportedFailure(disableUserPlus(uid), "Failed to disable user(+) account, %s") ||
            reportedFailure(setUserName(uid, ""), "Failed to set user name, %s"))
            return VKT_BMC_COMMAND_FAILED;
        return done();
    });
}

int bmc_SetUserPassword(unsigned char uid, const char* password) {
    return vkt::entryBarrier(__func__, [&] {
        if (!validUserId(uid)) return VKT_BMC_COMMAND_FAILED;
        if (reportedFailure(setUserPassword(uid, password), "Failed to set user password, %s"))
            return VKT_BMC_COMMAND_FAILED;
        return done();
    });
}

int bmc_SetUserLevel(unsigned char uid, unsigned char level) {
    return vkt::entryBarrier(__func__, [&] {
        if (!validUserId(uid)) return VKT_BMC_COMMAND_FAILED;
        if (reportedFailure(setUserAccess(uid, level), "Failed to set user privilege, %s"))
            return VKT_BMC_COMMAND_FAILED;
        return done();
    });
}

int bmc_GetUserLevel() {
    return vkt::entryBarrier(__func__, [&] {
        puts("For privilege level:");
        puts("Administrator level : 4");
        puts("Operator level      : 3");
        puts("User level          : 2");
        puts("Callback level      : 1");
        return VKT_BMC_OK;
    });
}
