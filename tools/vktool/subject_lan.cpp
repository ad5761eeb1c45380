// vktool lan: the BMC's LAN settings on channel 1.
#include <cstring>
#include <string>

#include "console.h"
#include "report.h"

namespace vktool {

namespace {

constexpr long maxVlanId = 4095;

struct Report {
    const char* item;
    int (*routine)();
};

// In the order "lan show" prints them.
constexpr Report reports[] = {
    {"ip", bmc_GetIPandMac},  {"mask", bmc_GetSubnetMask}, {"gateway", bmc_GetGWIP},
    {"dhcp", bmc_GetDHCPStatus}, {"vlan", bmc_GetVLan},
};

// The report lines as JSON members: "IP=..." and the like, the sentences of the address
// source and VLAN reports as true/false, the VLAN tag as a number.
void addReportFields(const std::string& text, Json* object) {
    static const std::pair<const char*, const char*> prefixes[] = {
        {"IP=", "ip"}, {"MAC=", "mac"}, {"Subnet Mask=", "subnetMask"}, {"Gateway=", "gateway"},
    };
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        for (const auto& [prefix, key] : prefixes)
            if (line.rfind(prefix, 0) == 0) object->add(key, Json::text(line.substr(strlen(prefix))));
        if (line.rfind("Tag: ", 0) == 0) object->add("vlanId", Json::integer(line.substr(5)));
        if (line.rfind("DHCP is currently ", 0) == 0)
            object->add("dhcp", Json::boolean(line.find("enabled") != std::string::npos));
        if (line.rfind("VLAN is now ", 0) == 0)
            object->add("vlan", Json::boolean(line.find("enabled") != std::string::npos));
    }
}

int show(Invocation& inv) {
    const std::string item = inv.arguments.empty() ? "" : inv.arguments[0];
    bool known = item.empty();
    for (const Report& r : reports) known = known || item == r.item;
    if (!known) return inv.refuse("ITEM must be one of ip, mask, gateway, dhcp, vlan");
    Json object = Json::object();
    for (const Report& r : reports) {
        if (!item.empty() && item != r.item) continue;
        int rc = VKT_BMC_OK;
        if (inv.json()) {
            std::string text;
            rc = console::collect(r.routine, &text);
            addReportFields(text, &object);
        } else {
            rc = r.routine();
        }
        if (rc != VKT_BMC_OK) return rc;
    }
    if (inv.json()) printJson(object);
    return VKT_BMC_OK;
}

int setOnOff(Invocation& inv, const char* what, int (*routine)(int)) {
    if (inv.arguments.size() != 2) return inv.refuse(std::string("usage: lan set ") + what + " on|off");
    std::optional<bool> on = inv.onOff(inv.arguments[1], what);
    if (!on) return VKT_BMC_BAD_ARGUMENT;
    if (!inv.confirm(std::string(*on ? "Enable " : "Disable ") + (what == std::string("dhcp") ? "DHCP" : "gratuitous ARP") +
                     " on the BMC's LAN channel?"))
        return notConfirmed;
    return routine(*on ? 1 : 0);
}

int setVlan(Invocation& inv) {
    std::optional<bool> on = inv.onOff(inv.arguments[1], "vlan");
    if (!on) return VKT_BMC_BAD_ARGUMENT;
    long id = 0;  // keeps the ID the BMC holds
    if (inv.arguments.size() == 3) {
        if (!*on) return inv.refuse("a VLAN ID goes with on only");
        std::optional<long> n = inv.number(inv.arguments[2], "VLAN-ID", 1, maxVlanId);
        if (!n) return VKT_BMC_BAD_ARGUMENT;
        id = *n;
    }
    const std::string tag = id > 0 ? " with ID " + std::to_string(id) : "";
    if (!inv.confirm(std::string(*on ? "Enable" : "Disable") + " VLAN tagging on the BMC's LAN channel" + tag + "?"))
        return notConfirmed;
    return bmc_SetVLan(*on ? 1 : 0, static_cast<int>(id));
}

int set(Invocation& inv) {
    const std::string& item = inv.arguments[0];
    const bool twoWords = inv.arguments.size() == 2;
    struct Address {
        const char* item;
        const char* what;
        int (*routine)(const char*);
    };
    static const Address addresses[] = {
        {"ip", "IP address", bmc_SetIP},
        {"mask", "subnet mask", bmc_SetSubnetMask},
        {"gateway", "default gateway", bmc_SetGWIP},
        {"mac", "MAC address", bmc_SetMac},
    };
    for (const Address& a : addresses) {
        if (item != a.item) continue;
        if (!twoWords) return inv.refuse(std::string("usage: lan set ") + a.item + " ADDRESS");
        if (!inv.confirm(std::string("Change the BMC's ") + a.what + " to " + inv.arguments[1] + "?"))
            return notConfirmed;
        return a.routine(inv.arguments[1].c_str());
    }
    if (item == "dhcp") return setOnOff(inv, "dhcp", bmc_SetDHCPStatus);
    if (item == "arp") return setOnOff(inv, "arp", bmc_SetGratuitousARP);
    if (item == "vlan") return setVlan(inv);
    return inv.refuse("ITEM must be one of ip, mask, gateway, mac, dhcp, vlan, arp");
}

}  // namespace

extern const Subject lanSubject = {
    "lan",
    "the BMC's LAN settings",
    "The BMC's network settings on LAN channel 1.\n",
    {
        {"show", "[ITEM]", "print the LAN settings, or one: ip (with the MAC), mask, gateway, dhcp, vlan",
         "Prints the lines the library reports: IP=, MAC=, Subnet Mask=, Gateway=, the\n"
         "address source and the VLAN state. With --json they form one object.\n",
         0, 1, {}, show, dataAction, {{"1", "ip mask gateway dhcp vlan"}}},
        {"set", "ITEM VALUE", "change one setting and print it as the BMC reports it afterwards",
         "  set ip ADDRESS          IPv4 address, e.g. 192.0.2.10\n"
         "  set mask ADDRESS        subnet mask, e.g. 255.255.255.0\n"
         "  set gateway ADDRESS     default gateway\n"
         "  set mac MAC             00:00:5E:00:53:10 or 00005E005310\n"
         "  set dhcp on|off         address source: DHCP or static\n"
         "  set vlan on [VLAN-ID]   enable 802.1q tagging, with a new ID (1-4095) or the\n"
         "                          ID the BMC holds\n"
         "  set vlan off            disable 802.1q tagging\n"
         "  set arp on|off          BMC-generated gratuitous ARP\n"
         "\n"
         "Addresses are refused while the BMC takes its address from DHCP. An address\n"
         "change is read back after the BMC has settled (six seconds).\n",
         2, 3, {}, set, changesBmc | showsProgress,
         {{"1", "ip mask gateway mac dhcp vlan arp"}, {"2 dhcp", "on off"}, {"2 arp", "on off"}, {"2 vlan", "on off"}}},
    },
};

}  // namespace vktool
