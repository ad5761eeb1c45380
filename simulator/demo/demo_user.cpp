// The demo server's user accounts.
#include "sim_server.h"

namespace testkit {

void addDemoUsers(SimServer& server) {
    UserModel& users = server.users;
    users.maxUsers = 10;
    users.account(1).enable = UserModel::Enable::disabled;  // the anonymous user, no name
    users.account(1).access[0x01] = UserModel::Access{false, false, false, 0x0F};
    users.addUser(2, "ADMIN", "Adm1n-Demo-Pass", 4);
    users.addUser(3, "operator", "0perator-Demo", 3);
    users.addUser(4, "monitor", "Monitor-Demo", 2);
    users.addUser(5, "former-admin", "Retired-Demo", 4, false);
}

}  // namespace testkit
