// vktool user: the BMC's user accounts on LAN channel 1.
#include <strings.h>

#include <cstring>

#include "password.h"
#include "report.h"

namespace vktool {

namespace {

// IPMI user IDs have six bits; ID 0 is reserved.
constexpr long minUserId = 1;
constexpr long maxUserId = 63;
constexpr size_t maxNameLength = 16;
constexpr const char* defaultLevel = "2";

struct LevelName {
    const char* name;
    long level;
};
constexpr LevelName levelNames[] = {
    {"callback", 1}, {"user", 2}, {"operator", 3}, {"administrator", 4}, {"admin", 4}, {"oem", 5}, {"no-access", 15},
};

std::optional<unsigned char> userId(const Invocation& inv, const std::string& text) {
    std::optional<long> id = inv.number(text, "USER-ID", minUserId, maxUserId);
    if (!id) return std::nullopt;
    return static_cast<unsigned char>(*id);
}

// A privilege level by number (1-5, 15) or name; the four bits the BMC has for it.
std::optional<unsigned char> privilegeLevel(const Invocation& inv, const std::string& text) {
    for (const LevelName& l : levelNames)
        if (strcasecmp(text.c_str(), l.name) == 0) return static_cast<unsigned char>(l.level);
    const bool digits = !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
    const long n = digits && text.size() <= 2 ? std::stol(text) : -1;
    if ((n >= 1 && n <= 5) || n == 15) return static_cast<unsigned char>(n);
    inv.refuse("LEVEL must be 1 to 5 or 15, or callback, user, operator, administrator, oem, no-access");
    return std::nullopt;
}

int list(Invocation& inv) {
    // The table the user list provider publishes; the provider prints its own heading.
    if (int rc = bmc_GetUserList()) return rc;
    std::optional<cimhost::EnumResult> r = publishedTable(inv, "UserListProvider");
    if (!r) return VKT_BMC_COMMAND_FAILED;
    printRows(inv, r->instances,
              {{"VKT_UserID", "id", "User ID", 7, true},
               {"VKT_UserName", "name", "User Name", 16},
               {"VKT_PrivilegeLevel", "privilege", "Privilege Level", 15},
               {"VKT_Enable", "enabled", "Enable", 6}},
              false);
    return VKT_BMC_OK;
}

int add(Invocation& inv) {
    std::optional<unsigned char> uid = userId(inv, inv.arguments[0]);
    if (!uid) return VKT_BMC_BAD_ARGUMENT;
    const std::string& name = inv.arguments[1];
    if (name.empty() || name.size() > maxNameLength)
        return inv.refuse("NAME must have 1 to " + std::to_string(maxNameLength) + " characters");
    std::optional<unsigned char> level = privilegeLevel(inv, inv.has("--level") ? inv.option("--level") : defaultLevel);
    if (!level) return VKT_BMC_BAD_ARGUMENT;
    std::optional<Secret> password = readPassword(inv);
    if (!password) return VKT_BMC_BAD_ARGUMENT;
    return bmc_AddUser(*uid, name.c_str(), password->c_str(), *level);
}

int remove(Invocation& inv) {
    std::optional<unsigned char> uid = userId(inv, inv.arguments[0]);
    if (!uid) return VKT_BMC_BAD_ARGUMENT;
    return bmc_DelUser(*uid);
}

int password(Invocation& inv) {
    std::optional<unsigned char> uid = userId(inv, inv.arguments[0]);
    if (!uid) return VKT_BMC_BAD_ARGUMENT;
    std::optional<Secret> secret = readPassword(inv);
    if (!secret) return VKT_BMC_BAD_ARGUMENT;
    return bmc_SetUserPassword(*uid, secret->c_str());
}

int level(Invocation& inv) {
    std::optional<unsigned char> uid = userId(inv, inv.arguments[0]);
    if (!uid) return VKT_BMC_BAD_ARGUMENT;
    std::optional<unsigned char> lvl = privilegeLevel(inv, inv.arguments[1]);
    if (!lvl) return VKT_BMC_BAD_ARGUMENT;
    return bmc_SetUserLevel(*uid, *lvl);
}

int levels(Invocation&) { return bmc_GetUserLevel(); }

constexpr const char* levelHelp =
    "LEVEL is a number or a name: 4 administrator (admin), 3 operator, 2 user,\n"
    "1 callback, 5 oem, 15 no-access.\n";

constexpr const char* passwordHelp =
    "The password (1 to 20 characters) is never taken from the command line: it is\n"
    "typed twice without echo when standard input is a terminal, otherwise read as the\n"
    "first line of standard input, or of the file named by --password-file.\n";

}  // namespace

extern const Subject userSubject = {
    "user",
    "BMC user accounts",
    "User accounts on LAN channel 1. USER-ID is 1 to 63; the BMC's anonymous user is 1.\n",
    {
        {"list", "", "list the named users with privilege level and enable state", "", 0, 0, {}, list, dataAction},
        {"add", "USER-ID NAME",
         "name an account, set its password, enable it and set its privilege level",
         std::string("NAME has 1 to 16 characters. Without --level the account gets level 2 (user).\n"
                     "The steps are not undone when a later one fails; the message names the step.\n\n") +
             levelHelp + "\n" + passwordHelp,
         2, 2,
         {{"--level", "LEVEL", "privilege level (default 2, user); see below"}, passwordFileOption},
         add, takesPassword},
        {"delete", "USER-ID",
         "clear an account's password, name and privileges and disable it", "", 1, 1, {}, remove},
        {"password", "USER-ID", "set an account's password", passwordHelp, 1, 1, {passwordFileOption}, password,
         takesPassword},
        {"level", "USER-ID LEVEL", "set an account's privilege level on channel 1", levelHelp, 2, 2, {}, level},
        {"levels", "", "print the privilege levels and their numbers", "", 0, 0, {}, levels},
    },
};

}  // namespace vktool
