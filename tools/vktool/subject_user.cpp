// vktool user: the BMC's user accounts on LAN channel 1.
#include <strings.h>

#include <cstring>

#include "console.h"
#include "password.h"
#include "report.h"

namespace vktool {

namespace {

// IPMI user IDs have six bits; ID 0 is reserved.
constexpr long minUserId = 1;
constexpr long maxUserId = 63;
constexpr size_t maxNameLength = 16;
constexpr const char* defaultLevel = "2";

// The privilege levels the BMC takes, in the order `user levels` lists them. The library's
// level help lists the first four; vktool adds the rest, so that the list and the
// argument check are one table.
struct Level {
    long level;
    const char* label;  // as the level help shows it
    const char* name;   // as LEVEL may be written (besides the number)
    const char* alias;  // another spelling, or nullptr
    bool inLibraryHelp;
};
constexpr Level levels_[] = {
    {4, "Administrator", "administrator", "admin", true}, {3, "Operator", "operator", nullptr, true},
    {2, "User", "user", nullptr, true},                   {1, "Callback", "callback", nullptr, true},
    {5, "OEM", "oem", nullptr, false},                    {15, "No Access", "no-access", nullptr, false},
};

std::optional<unsigned char> userId(const Invocation& inv, const std::string& text) {
    std::optional<long> id = inv.number(text, "USER-ID", minUserId, maxUserId);
    if (!id) return std::nullopt;
    return static_cast<unsigned char>(*id);
}

// A privilege level by number or name, as `user levels` lists them.
std::optional<unsigned char> privilegeLevel(const Invocation& inv, const std::string& text) {
    const bool digits = !text.empty() && text.size() <= 2 && text.find_first_not_of("0123456789") == std::string::npos;
    for (const Level& l : levels_) {
        if (strcasecmp(text.c_str(), l.name) == 0 || (l.alias != nullptr && strcasecmp(text.c_str(), l.alias) == 0) ||
            (digits && std::stol(text) == l.level))
            return static_cast<unsigned char>(l.level);
    }
    inv.refuse("LEVEL must be one of those vktool user levels lists: 4 administrator (admin), 3 operator, 2 user, "
               "1 callback, 5 oem, 15 no-access");
    return std::nullopt;
}

int list(Invocation& inv) {
    // The table the user list provider publishes; the provider prints its own heading.
    if (int rc = bmc_GetUserList()) return rc;
    std::optional<cimhost::EnumResult> r = publishedTable(inv, "UserListProvider");
    if (!r) return VKT_BMC_COMMAND_FAILED;
    printRows(inv, r->instances,
              {{"VKT_UserID", "id", "User ID", 7, true, Kind::integer},
               {"VKT_UserName", "name", "User Name", 16},
               {"VKT_PrivilegeLevel", "privilege", "Privilege Level", 15},
               {"VKT_Enable", "enabled", "Enable", 6, false, Kind::flag}},
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
    if (!inv.confirm("Add user " + std::to_string(*uid) + " (" + name + ") with privilege level " +
                     std::to_string(*level) + "?"))
        return notConfirmed;
    std::optional<Secret> password = readPassword(inv);
    if (!password) return VKT_BMC_BAD_ARGUMENT;
    return bmc_AddUser(*uid, name.c_str(), password->c_str(), *level);
}

int remove(Invocation& inv) {
    std::optional<unsigned char> uid = userId(inv, inv.arguments[0]);
    if (!uid) return VKT_BMC_BAD_ARGUMENT;
    if (!inv.confirm("Delete user " + std::to_string(*uid) + "?")) return notConfirmed;
    return bmc_DelUser(*uid);
}

int password(Invocation& inv) {
    std::optional<unsigned char> uid = userId(inv, inv.arguments[0]);
    if (!uid) return VKT_BMC_BAD_ARGUMENT;
    if (!inv.confirm("Set the password of user " + std::to_string(*uid) + "?")) return notConfirmed;
    std::optional<Secret> secret = readPassword(inv);
    if (!secret) return VKT_BMC_BAD_ARGUMENT;
    return bmc_SetUserPassword(*uid, secret->c_str());
}

int level(Invocation& inv) {
    std::optional<unsigned char> uid = userId(inv, inv.arguments[0]);
    if (!uid) return VKT_BMC_BAD_ARGUMENT;
    std::optional<unsigned char> lvl = privilegeLevel(inv, inv.arguments[1]);
    if (!lvl) return VKT_BMC_BAD_ARGUMENT;
    if (!inv.confirm("Set the privilege level of user " + std::to_string(*uid) + " to " + std::to_string(*lvl) + "?"))
        return notConfirmed;
    return bmc_SetUserLevel(*uid, *lvl);
}

int levels(Invocation&) {
    if (int rc = bmc_GetUserLevel()) return rc;
    console::endLine();
    std::string names;
    for (const Level& l : levels_) {
        if (!l.inLibraryHelp) {
            char line[64];
            snprintf(line, sizeof line, "%-19s : %ld\n", (std::string(l.label) + " level").c_str(), l.level);
            fputs(line, console::data());
        }
        names += std::string(names.empty() ? "" : ", ") + l.name + (l.alias ? std::string(" (") + l.alias + ")" : "");
    }
    fprintf(console::data(), "Names for LEVEL: %s\n", names.c_str());
    return VKT_BMC_OK;
}

constexpr const char* levelHelp =
    "LEVEL is a number or a name, as vktool user levels lists them: 4 administrator\n"
    "(admin), 3 operator, 2 user, 1 callback, 5 oem, 15 no-access.\n";

constexpr const char* levelWords = "administrator operator user callback oem no-access";

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
         {{"--level", "LEVEL", "privilege level (default 2, user); see below", levelWords}, passwordFileOption},
         add, takesPassword | changesBmc},
        {"delete", "USER-ID",
         "clear an account's password, name and privileges and disable it", "", 1, 1, {}, remove, changesBmc},
        {"password", "USER-ID", "set an account's password", passwordHelp, 1, 1, {passwordFileOption}, password,
         takesPassword | changesBmc},
        {"level", "USER-ID LEVEL", "set an account's privilege level on channel 1", levelHelp, 2, 2, {}, level,
         changesBmc, {{"2", levelWords}}},
        {"levels", "", "print the privilege levels LEVEL may name, with their numbers", "", 0, 0, {}, levels,
         sendsNothing},
    },
};

}  // namespace vktool
