// The simulated BMC's user accounts: names, passwords, enable state and access per
// channel, served by Get/Set User Access, Get/Set User Name and Set User Password.
#ifndef TESTKIT_USER_MODEL_H
#define TESTKIT_USER_MODEL_H

#include <array>
#include <map>
#include <set>
#include <string>

#include "sim_bmc.h"

namespace testkit {

struct UserModel {
    struct Access {
        bool callback = false;
        bool linkAuth = false;
        bool messaging = false;
        uint8_t privilege = 0x0F;  // no access
    };
    enum class Enable : uint8_t { unspecified = 0, enabled = 1, disabled = 2 };
    struct Account {
        std::array<uint8_t, 16> name{};
        std::array<uint8_t, 20> password{};
        Enable enable = Enable::unspecified;
        std::map<uint8_t, Access> access;  // by channel
    };

    // Highest user ID (bits 5-0 of Get User Access byte 0); user IDs 1..maxUsers exist.
    uint8_t maxUsers = 10;
    // User IDs up to this one have fixed names (Set User Name is refused).
    uint8_t fixedNameUsers = 1;
    std::set<uint8_t> channels = {0x01};  // channels that carry user access
    std::map<uint8_t, Account> accounts;

    // Convenience for scenarios: a named, enabled (or disabled) user on channel 1.
    void addUser(uint8_t uid, const std::string& name, const std::string& password, uint8_t privilege,
                 bool enabled = true);
    Account& account(uint8_t uid);
    std::string name(uint8_t uid) const;  // up to the first zero byte
    std::string password(uint8_t uid) const;
    int enabledCount() const;

    void install(SimBmc& bmc);
};

}  // namespace testkit

#endif
