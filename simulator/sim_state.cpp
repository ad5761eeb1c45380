#include "sim_state.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace testkit {

namespace {

std::string hex(const uint8_t* bytes, size_t n) {
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        s += digits[bytes[i] >> 4];
        s += digits[bytes[i] & 0x0F];
    }
    return n == 0 ? "-" : s;  // "-" keeps an empty image on its line
}

template <typename Container>
std::string hex(const Container& c) {
    return hex(c.data(), c.size());
}

bool unhex(const std::string& text, Bytes* out) {
    out->clear();
    if (text == "-") return true;
    if (text.size() % 2 != 0) return false;
    for (size_t i = 0; i < text.size(); i += 2) {
        unsigned value = 0;
        if (sscanf(text.c_str() + i, "%2x", &value) != 1 || !isxdigit(static_cast<unsigned char>(text[i])) ||
            !isxdigit(static_cast<unsigned char>(text[i + 1])))
            return false;
        out->push_back(static_cast<uint8_t>(value));
    }
    return true;
}

template <size_t N>
bool unhexFixed(const std::string& text, std::array<uint8_t, N>* out) {
    Bytes b;
    if (!unhex(text, &b) || b.size() != N) return false;
    std::copy(b.begin(), b.end(), out->begin());
    return true;
}

bool number(const std::string& text, unsigned long max, unsigned long* out) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 10) return false;
    *out = std::stoul(text);
    return *out <= max;
}

void writeUsers(std::ostream& s, const UserModel& users) {
    s << "users.max " << static_cast<unsigned>(users.maxUsers) << "\n";
    for (const auto& [uid, a] : users.accounts) {
        const std::string key = "user." + std::to_string(uid) + ".";
        s << key << "name " << hex(a.name) << "\n";
        s << key << "password " << hex(a.password) << "\n";
        s << key << "enable " << static_cast<unsigned>(a.enable) << "\n";
        for (const auto& [channel, access] : a.access) {
            // callback, link authentication, messaging, privilege
            s << key << "access." << static_cast<unsigned>(channel) << " " << access.callback << access.linkAuth
              << access.messaging << " " << static_cast<unsigned>(access.privilege) << "\n";
        }
    }
}

void writeLan(std::ostream& s, const LanModel& lan) {
    s << "lan.ip " << hex(lan.ip) << "\n";
    s << "lan.mask " << hex(lan.subnetMask) << "\n";
    s << "lan.gateway " << hex(lan.gateway) << "\n";
    s << "lan.mac " << hex(lan.mac) << "\n";
    s << "lan.source " << static_cast<unsigned>(lan.addressSource) << "\n";
    s << "lan.arp " << static_cast<unsigned>(lan.arpControl) << "\n";
    s << "lan.vlan " << lan.vlanId << " " << lan.vlanEnabled << "\n";
}

// "user.N.field" lines; false for a malformed one.
bool applyUser(UserModel& users, const std::string& key, std::istringstream& values) {
    const size_t dot = key.find('.', 5);
    unsigned long uid = 0;
    if (dot == std::string::npos || !number(key.substr(5, dot - 5), 0xFF, &uid)) return false;
    UserModel::Account& a = users.account(static_cast<uint8_t>(uid));
    const std::string field = key.substr(dot + 1);
    std::string v;
    values >> v;
    unsigned long n = 0;
    if (field == "name") return unhexFixed(v, &a.name);
    if (field == "password") return unhexFixed(v, &a.password);
    if (field == "enable") {
        if (!number(v, 2, &n)) return false;
        a.enable = static_cast<UserModel::Enable>(n);
        return true;
    }
    if (field.rfind("access.", 0) == 0) {
        unsigned long channel = 0;
        std::string privilege;
        values >> privilege;
        if (!number(field.substr(7), 0x0F, &channel) || v.size() != 3 || !number(privilege, 0x0F, &n)) return false;
        a.access[static_cast<uint8_t>(channel)] = UserModel::Access{v[0] == '1', v[1] == '1', v[2] == '1',
                                                                     static_cast<uint8_t>(n)};
        return true;
    }
    return false;
}

bool applyLan(LanModel& lan, const std::string& field, std::istringstream& values) {
    std::string v;
    values >> v;
    unsigned long n = 0;
    if (field == "ip") return unhexFixed(v, &lan.ip);
    if (field == "mask") return unhexFixed(v, &lan.subnetMask);
    if (field == "gateway") return unhexFixed(v, &lan.gateway);
    if (field == "mac") return unhexFixed(v, &lan.mac);
    if (field == "source" || field == "arp") {
        if (!number(v, 0xFF, &n)) return false;
        (field == "source" ? lan.addressSource : lan.arpControl) = static_cast<uint8_t>(n);
        return true;
    }
    if (field == "vlan") {
        std::string enabled;
        values >> enabled;
        if (!number(v, 0x0FFF, &n) || (enabled != "0" && enabled != "1")) return false;
        lan.vlanId = static_cast<uint16_t>(n);
        lan.vlanEnabled = enabled == "1";
        return true;
    }
    return false;
}

// The version tags and the configuration files the BMC holds.
void writeMaintenance(std::ostream& s, const SimServer& server) {
    s << "tags.sdr " << hex(server.oem.sdrVersionTag, 2) << "\n";
    s << "tags.fru " << hex(server.oem.fruVersionTag, 2) << "\n";
    for (const auto& [type, file] : server.transfer.files) s << "config." << static_cast<unsigned>(type) << " " << hex(file) << "\n";
}

bool applyMaintenance(SimServer& server, const std::string& key, std::istringstream& values) {
    std::string v;
    values >> v;
    if (key == "tags.sdr" || key == "tags.fru") {
        std::array<uint8_t, 2> tag{};
        if (!unhexFixed(v, &tag)) return false;
        uint8_t* target = key == "tags.sdr" ? server.oem.sdrVersionTag : server.oem.fruVersionTag;
        target[0] = tag[0];
        target[1] = tag[1];
        return true;
    }
    unsigned long type = 0;
    return number(key.substr(7), 0xFF, &type) && unhex(v, &server.transfer.files[static_cast<uint8_t>(type)]);
}

bool applyLine(SimServer& server, const std::string& line) {
    std::istringstream values(line);
    std::string key;
    values >> key;
    if (key.empty() || key[0] == '#') return true;
    if (key == "users.max") {
        // A saved account table replaces the scenario's whole table.
        std::string v;
        values >> v;
        unsigned long n = 0;
        if (!number(v, 0x3F, &n)) return false;
        server.users.accounts.clear();
        server.users.maxUsers = static_cast<uint8_t>(n);
        return true;
    }
    if (key.rfind("user.", 0) == 0) return applyUser(server.users, key, values);
    if (key.rfind("lan.", 0) == 0) return applyLan(server.lan, key.substr(4), values);
    if (key == "fru.0" || key == "fru.1") {
        std::string v;
        values >> v;
        return unhex(v, key == "fru.0" ? &server.fru.image : &server.fru.image1);
    }
    if (key.rfind("tags.", 0) == 0 || key.rfind("config.", 0) == 0) return applyMaintenance(server, key, values);
    if (key == "fru.protected") {
        std::string v;
        values >> v;
        server.fru.writeProtected = v == "1";
        return v == "0" || v == "1";
    }
    return false;
}

}  // namespace

std::string serializeState(const SimServer& server) {
    std::ostringstream s;
    s << "# state of a simulated server: users, LAN parameters, FRU images, version tags, configuration files\n";
    writeUsers(s, server.users);
    writeLan(s, server.lan);
    s << "fru.0 " << hex(server.fru.image) << "\n";
    s << "fru.1 " << hex(server.fru.image1) << "\n";
    s << "fru.protected " << server.fru.writeProtected << "\n";
    writeMaintenance(s, server);
    return s.str();
}

bool applyState(SimServer& server, const std::string& text, std::string* error) {
    std::istringstream in(text);
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        if (!applyLine(server, line)) {
            *error = "line " + std::to_string(number) + " cannot be read: " + line.substr(0, 60);
            return false;
        }
    }
    return true;
}

bool loadState(SimServer& server, const std::string& path, std::string* error) {
    std::ifstream in(path);
    if (!in) return true;
    std::stringstream text;
    text << in.rdbuf();
    if (!applyState(server, text.str(), error)) {
        *error = path + ": " + *error;
        return false;
    }
    return true;
}

bool saveState(const SimServer& server, const std::string& path, std::string* error) {
    const std::string temporary = path + ".new";
    {
        // Made afresh: a link planted at the temporary name is not followed.
        unlink(temporary.c_str());
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        const std::string text = serializeState(server);
        FILE* out = fd >= 0 ? fdopen(fd, "w") : nullptr;
        if (out == nullptr && fd >= 0) ::close(fd);
        const bool written = out != nullptr && fwrite(text.data(), 1, text.size(), out) == text.size();
        const bool closed = out != nullptr && fclose(out) == 0;
        if (!written || !closed) {
            *error = "cannot write " + temporary;
            if (fd >= 0) unlink(temporary.c_str());
            return false;
        }
    }
    if (rename(temporary.c_str(), path.c_str()) != 0) {
        *error = "cannot replace " + path;
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace testkit
