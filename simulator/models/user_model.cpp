#include "user_model.h"

#include <algorithm>
#include <cstring>

namespace testkit {

namespace {
constexpr uint8_t netFnApp = 0x06;
constexpr uint8_t cmdSetUserAccess = 0x43;
constexpr uint8_t cmdGetUserAccess = 0x44;
constexpr uint8_t cmdSetUserName = 0x45;
constexpr uint8_t cmdGetUserName = 0x46;
constexpr uint8_t cmdSetUserPassword = 0x47;

constexpr uint8_t ccPasswordMismatch = 0x80;
constexpr uint8_t ccPasswordWrongSize = 0x81;
constexpr uint8_t ccRequestLength = 0xC7;
constexpr uint8_t ccInvalidField = 0xCC;

bool validPrivilege(uint8_t p) { return (p >= 1 && p <= 5) || p == 0x0F; }

template <size_t N>
std::string text(const std::array<uint8_t, N>& field) {
    size_t n = 0;
    while (n < N && field[n] != 0) ++n;
    return std::string(field.begin(), field.begin() + static_cast<long>(n));
}
}  // namespace

UserModel::Account& UserModel::account(uint8_t uid) { return accounts[uid]; }

void UserModel::addUser(uint8_t uid, const std::string& name, const std::string& password, uint8_t privilege,
                        bool enabled) {
    Account& a = account(uid);
    a.name.fill(0);
    std::copy_n(name.begin(), std::min(name.size(), a.name.size()), a.name.begin());
    a.password.fill(0);
    std::copy_n(password.begin(), std::min(password.size(), a.password.size()), a.password.begin());
    a.enable = enabled ? Enable::enabled : Enable::disabled;
    a.access[0x01] = Access{false, true, true, privilege};
}

std::string UserModel::name(uint8_t uid) const {
    auto it = accounts.find(uid);
    return it == accounts.end() ? std::string() : text(it->second.name);
}

std::string UserModel::password(uint8_t uid) const {
    auto it = accounts.find(uid);
    return it == accounts.end() ? std::string() : text(it->second.password);
}

int UserModel::enabledCount() const {
    int n = 0;
    for (const auto& a : accounts)
        if (a.first <= maxUsers && a.second.enable == Enable::enabled) ++n;
    return n;
}

void UserModel::install(SimBmc& bmc) {
    auto userOk = [this](uint8_t uid) { return uid >= 1 && uid <= maxUsers; };

    bmc.on(netFnApp, cmdGetUserAccess, [this, userOk](const IpmiRequest& r) {
        if (r.data.size() != 2) return IpmiResponse::error(ccRequestLength);
        uint8_t ch = r.data[0] & 0x0F;
        uint8_t uid = r.data[1] & 0x3F;
        if (channels.count(ch) == 0 || !userOk(uid)) return IpmiResponse::error(ccInvalidField);
        Account& a = account(uid);
        Access acc = a.access.count(ch) != 0 ? a.access[ch] : Access{};
        uint8_t fixed = static_cast<uint8_t>(std::min(fixedNameUsers, maxUsers));
        return IpmiResponse::ok({
            static_cast<uint8_t>(maxUsers & 0x3F),
            static_cast<uint8_t>(static_cast<uint8_t>(a.enable) << 6 | (enabledCount() & 0x3F)),
            static_cast<uint8_t>(fixed & 0x3F),
            static_cast<uint8_t>((acc.callback ? 0x40 : 0) | (acc.linkAuth ? 0x20 : 0) | (acc.messaging ? 0x10 : 0) |
                                 (acc.privilege & 0x0F)),
        });
    });

    bmc.on(netFnApp, cmdSetUserAccess, [this, userOk](const IpmiRequest& r) {
        if (r.data.size() != 3 && r.data.size() != 4) return IpmiResponse::error(ccRequestLength);
        uint8_t ch = r.data[0] & 0x0F;
        uint8_t uid = r.data[1] & 0x3F;
        uint8_t privilege = r.data[2] & 0x0F;
        if (channels.count(ch) == 0 || !userOk(uid) || !validPrivilege(privilege))
            return IpmiResponse::error(ccInvalidField);
        Access& acc = account(uid).access[ch];
        if ((r.data[0] & 0x80) != 0) {
            acc.callback = (r.data[0] & 0x40) != 0;
            acc.linkAuth = (r.data[0] & 0x20) != 0;
            acc.messaging = (r.data[0] & 0x10) != 0;
        }
        acc.privilege = privilege;
        return IpmiResponse::ok();
    });

    bmc.on(netFnApp, cmdGetUserName, [this, userOk](const IpmiRequest& r) {
        if (r.data.size() != 1) return IpmiResponse::error(ccRequestLength);
        uint8_t uid = r.data[0] & 0x3F;
        if (!userOk(uid)) return IpmiResponse::error(ccInvalidField);
        const auto& n = account(uid).name;
        return IpmiResponse::ok(Bytes(n.begin(), n.end()));
    });

    bmc.on(netFnApp, cmdSetUserName, [this, userOk](const IpmiRequest& r) {
        if (r.data.size() != 17) return IpmiResponse::error(ccRequestLength);
        uint8_t uid = r.data[0] & 0x3F;
        if (!userOk(uid) || uid <= fixedNameUsers) return IpmiResponse::error(ccInvalidField);
        std::copy(r.data.begin() + 1, r.data.end(), account(uid).name.begin());
        return IpmiResponse::ok();
    });

    bmc.on(netFnApp, cmdSetUserPassword, [this, userOk](const IpmiRequest& r) {
        if (r.data.size() < 2) return IpmiResponse::error(ccRequestLength);
        bool form20 = (r.data[0] & 0x80) != 0;
        uint8_t uid = r.data[0] & 0x3F;
        uint8_t op = r.data[1] & 0x03;
        if (!userOk(uid)) return IpmiResponse::error(ccInvalidField);
        Account& a = account(uid);
        size_t size = form20 ? 20 : 16;
        switch (op) {
            case 0x00: a.enable = Enable::disabled; return IpmiResponse::ok();
            case 0x01: a.enable = Enable::enabled; return IpmiResponse::ok();
            case 0x02:
                if (r.data.size() != 2 + size) return IpmiResponse::error(ccRequestLength);
                a.password.fill(0);
                std::copy(r.data.begin() + 2, r.data.end(), a.password.begin());
                return IpmiResponse::ok();
            default: {
                if (r.data.size() != 2 + size) return IpmiResponse::error(ccPasswordWrongSize);
                std::array<uint8_t, 20> given{};
                std::copy(r.data.begin() + 2, r.data.end(), given.begin());
                return given == a.password ? IpmiResponse::ok() : IpmiResponse::error(ccPasswordMismatch);
            }
        }
    });
}

}  // namespace testkit
