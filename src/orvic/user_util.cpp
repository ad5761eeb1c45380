// User accounts: Get/Set User Access, Get/Set User Name and Set User Password on channel 1.
#include "user_util.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "bounded.h"
#include "ipmi_defs.h"
#include "ipmi_replies.h"
#include "smipmi.h"

int maximumNumberOfUsers = 0;
int countOfUsers = 0;
ipmi_user userList[userListEntries] = {};

namespace {

constexpr BYTE userChannel = 0x01;
constexpr BYTE userEnableMask = 0xC0;
constexpr BYTE userEnabledBits = 0x40;
constexpr BYTE privilegeMask = 0x0F;

// Set User Password: bit 7 of the ID byte selects the 20-byte password form.
constexpr BYTE password20Flag = 0x80;
enum class PasswordOp : BYTE { disable = 0x00, enable = 0x01, set = 0x02 };

// Set User Access request byte 1: "change the bits below", then callback, link
// authentication and IPMI messaging, then the channel.
constexpr BYTE accessChangeMessaging = 0xB1;  // change; link auth and messaging on
constexpr BYTE accessChangeAllOff = 0x81;     // change; callback, link auth, messaging off

// Copies a text into a zero-padded field, cut to the field; no terminator is added.
template <size_t N>
void fillField(BYTE (&field)[N], const char* text) {
    memset(field, 0, N);
    if (text != nullptr) memcpy(field, text, strnlen(text, N));
}

BYTE sendPassword(BYTE uid, PasswordOp op, const char* password) {
    BYTE request[2 + userPasswordSize] = {static_cast<BYTE>(uid | password20Flag), static_cast<BYTE>(op)};
    BYTE field[userPasswordSize];
    fillField(field, password);
    memcpy(request + 2, field, sizeof field);
    return vkt::ipmiRequest(vkt::netFnApp, vkt::cmdSetUserPassword, request).cc;
}

BYTE sendUserName(BYTE uid, const BYTE (&field)[userNameSize]) {
    BYTE request[1 + userNameSize] = {uid};
    memcpy(request + 1, field, sizeof field);
    return vkt::ipmiRequest(vkt::netFnApp, vkt::cmdSetUserName, request).cc;
}

BYTE sendUserAccess(BYTE change, BYTE uid, BYTE level) {
    const BYTE request[] = {change, uid, level, 0x00};  // 00h: no limit on sessions
    return vkt::ipmiRequest(vkt::netFnApp, vkt::cmdSetUserAccess, request).cc;
}

vkt::IpmiReply getAccess(BYTE uid) {
    const BYTE request[] = {userChannel, uid};
    return vkt::ipmiRequest(vkt::netFnApp, vkt::cmdGetUserAccess, request);
}

}  // namespace

namespace vkt {

ipmi_user* userEntry(int uid) {
    int k = uid - firstListedUser;
    return k >= 0 && k < userListEntries ? &userList[k] : nullptr;
}

bool userEnabled(BYTE status) { return (status & userEnableMask) == userEnabledBits; }

}  // namespace vkt

BYTE getNumberOfUsers() {
    vkt::IpmiReply reply = getAccess(0x01);
    if (!reply.ok()) return reply.cc;
    const vkt::UserAccessReply access = vkt::UserAccessReply::decode(reply.view());
    maximumNumberOfUsers = access.maxUsers;
    countOfUsers = access.enabledUsers;
    return reply.cc;
}

static_assert(vkt::UserNameReply{}.name.size() == userNameSize, "the answer fills the name field");

BYTE getUserName(BYTE uid) {
    const BYTE request[] = {uid};
    vkt::IpmiReply reply = vkt::ipmiRequest(vkt::netFnApp, vkt::cmdGetUserName, request);
    ipmi_user* entry = vkt::userEntry(uid);
    if (reply.ok() && entry != nullptr) {
        const vkt::UserNameReply name = vkt::UserNameReply::decode(reply.view());
        std::copy(name.name.begin(), name.name.end(), entry->userName);
    }
    return reply.cc;
}

BYTE getUserAccess(BYTE uid) {
    vkt::IpmiReply reply = getAccess(uid);
    ipmi_user* entry = vkt::userEntry(uid);
    if (reply.ok() && entry != nullptr) {
        const vkt::UserAccessReply access = vkt::UserAccessReply::decode(reply.view());
        entry->status = access.status;
        entry->privilegeChannel = access.access;
    }
    return reply.cc;
}

const char* getPrivilege(BYTE privilege) {
    switch (privilege & privilegeMask) {
        case 1: return "Callback";
        case 2: return "User";
        case 3: return "Operator";
        case 4: return "Administrator";
        case 5: return "OEM Proprietary";
        case 15: return "No Access";
        default: return "";
    }
}

BYTE setUserName(BYTE uid, const char* name) {
    BYTE field[userNameSize];
    fillField(field, name);
    return sendUserName(uid, field);
}

BYTE clearUserNameByFill0xFF(BYTE uid) {
    BYTE field[userNameSize];
    memset(field, 0xFF, sizeof field);
    return sendUserName(uid, field);
}

BYTE setUserPassword(BYTE uid, const char* password) { return sendPassword(uid, PasswordOp::set, password); }
BYTE enableUser(BYTE uid) { return sendPassword(uid, PasswordOp::enable, nullptr); }
BYTE disableUser(BYTE uid) { return sendPassword(uid, PasswordOp::disable, nullptr); }

BYTE setUserAccess(BYTE uid, BYTE level) { return sendUserAccess(accessChangeMessaging, uid, level); }
BYTE disableUserPlus(BYTE uid) { return sendUserAccess(accessChangeAllOff, uid, vkt::privilegeNoAccess); }

void printUserListHeader() {
    puts("User ID | User Name        | Privilege Level | Enable");
    puts("------- | -----------      | --------------- | ------");
}

void printUserList() {
    printUserListHeader();
    for (int u = firstListedUser; u < maximumNumberOfUsers; ++u) {
        const ipmi_user* entry = vkt::userEntry(u);
        if (entry == nullptr || entry->userName[0] == '\0') continue;
        // A full 16-byte name has no terminator.
        printf("%7d | %-16.16s | %-15s | %-6s\n", u, entry->userName, getPrivilege(entry->privilegeChannel),
               vkt::userEnabled(entry->status) ? "Yes" : "No");
    }
}

void printNumberOfUsers() {
    printf("Maximum number of Users          : %d\n", maximumNumberOfUsers);
    printf("Count of currently enabled Users : %d\n", countOfUsers);
}
