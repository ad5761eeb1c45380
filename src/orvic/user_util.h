// The BMC's user accounts on LAN channel 1: the process-wide account table, the standard
// IPMI user commands that read and change it, and its text forms.
#ifndef VKT_USER_UTIL_H
#define VKT_USER_UTIL_H

#include "vkt_types.h"

constexpr int userNameSize = 16;      // Set/Get User Name field, not terminated when full
constexpr int userPasswordSize = 20;  // the 20-byte password form of IPMI 2.0
constexpr int userListEntries = 64;
constexpr int firstListedUser = 2;    // entry k holds user ID k + 2; user ID 1 has no entry

struct ipmi_user {
    int uid;
    char userName[userNameSize];
    BYTE status;            // Get User Access byte 1: enable state (7-6), enabled count (5-0)
    BYTE privilegeChannel;  // Get User Access byte 3: channel access bits, privilege (3-0)
};

// Set by getNumberOfUsers and kept until the next successful read.
extern int maximumNumberOfUsers;
extern int countOfUsers;
// Never cleared: an entry keeps its values until a later read of its user ID succeeds.
extern ipmi_user userList[userListEntries];

namespace vkt {

constexpr BYTE cmdSetUserAccess = 0x43;
constexpr BYTE cmdGetUserAccess = 0x44;
constexpr BYTE cmdSetUserName = 0x45;
constexpr BYTE cmdGetUserName = 0x46;
constexpr BYTE cmdSetUserPassword = 0x47;

constexpr BYTE privilegeNoAccess = 0x0F;

// The entry of a user ID, or nullptr when the table has none for it.
ipmi_user* userEntry(int uid);
// True when the enable bits of a Get User Access status byte say "enabled".
bool userEnabled(BYTE status);

}  // namespace vkt

// Queries; each returns the completion code and changes nothing on failure.
BYTE getNumberOfUsers();
BYTE getUserName(BYTE uid);
BYTE getUserAccess(BYTE uid);

// Text of a privilege limit (low four bits); "" for values without a name.
const char* getPrivilege(BYTE privilege);

// Changes; each sends one command and returns its completion code. Texts longer than
// their field are cut to it.
BYTE setUserName(BYTE uid, const char* name);
BYTE clearUserNameByFill0xFF(BYTE uid);
BYTE setUserPassword(BYTE uid, const char* password);
BYTE enableUser(BYTE uid);
BYTE disableUser(BYTE uid);
BYTE setUserAccess(BYTE uid, BYTE level);
BYTE disableUserPlus(BYTE uid);

// Print the table (and its two header lines alone) and the counts the last collection left.
void printUserListHeader();
void printUserList();
void printNumberOfUsers();

#endif
