// vktool chassis: the chassis controller of a multi-node chassis: its table of nodes, its
// fields and locations, and the load of its firmware.
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "console.h"
#include "report.h"

namespace vktool {

namespace {

constexpr int collectAll = 0;
constexpr size_t locationBytes = 5;

struct ChassisField {
    const char* name;
    const char* property;  // in VKT_PXInfo; nullptr when that table does not hold it
    const char* nodeProperty;  // in the current node's VKT_PXList row instead
    const char* help;
};

constexpr ChassisField fields[] = {
    {"systemname", "VKT_SystemName", nullptr, "system name (20 characters)"},
    {"systempn", "VKT_SystemPN", nullptr, "system part number (24 characters)"},
    {"systemsn", "VKT_SystemSN", nullptr, "system serial number (24 characters)"},
    {"chassispn", "VKT_ChassisPN", nullptr, "chassis part number (24 characters)"},
    {"chassissn", "VKT_ChassisSN", nullptr, "chassis serial number (24 characters)"},
    {"backplanepn", "VKT_BackPlanePN", nullptr, "backplane part number (24 characters)"},
    {"backplanesn", "VKT_BackPlaneSN", nullptr, "backplane serial number (24 characters)"},
    {"bpnid", nullptr, nullptr, "backplane ID (hexadecimal byte; set only)"},
    {"configid", "VKT_ConfigurationID", nullptr, "configuration ID (0-255)"},
    {"nodepn", nullptr, "VKT_NodePN", "this node's part number (24 characters)"},
    {"nodesn", nullptr, "VKT_NodeSN", "this node's serial number (24 characters)"},
    {"bpnrevision", "VKT_BPNRevision", nullptr, "backplane revision: MAJOR MINOR in hexadecimal"},
};

const ChassisField* findField(const std::string& name) {
    for (const ChassisField& f : fields)
        if (strcasecmp(name.c_str(), f.name) == 0) return &f;
    return nullptr;
}

// One published instance of a provider, or nullopt (rc set) after a message.
std::optional<cimhost::Instance> summary(const Invocation& inv, int* rc) {
    std::optional<cimhost::Instance> record =
        publishedInstance(inv, "PXInfoProvider", "the chassis provider published nothing");
    if (!record) *rc = VKT_BMC_COMMAND_FAILED;
    return record;
}

void printValue(const Invocation& inv, const char* name, const std::string& value) {
    if (inv.json())
        printJsonObject({{"field", name}, {"value", value}});
    else
        fprintf(console::data(), "%s\n", value.c_str());
}

// After a routine that read `property` into the chassis table: print it from there.
int printSummaryProperty(const Invocation& inv, const char* name, const char* property) {
    int rc = VKT_BMC_OK;
    std::optional<cimhost::Instance> info = summary(inv, &rc);
    if (!info) return rc;
    printValue(inv, name, shownValue(*info, property));
    return VKT_BMC_OK;
}

int show(Invocation& inv) {
    if (int rc = bmc_PXInfo(collectAll)) {
        if (rc == VKT_BMC_ABSENT) fputs("Not Pairex\n", stderr);  // the collector itself prints nothing
        return rc;
    }
    int rc = VKT_BMC_OK;
    std::optional<cimhost::Instance> info = summary(inv, &rc);
    if (!info) return rc;
    printRecord(inv, *info,
                {{"VKT_SystemName", "systemname", "System Name"},
                 {"VKT_SystemPN", "systempn", "System PN"},
                 {"VKT_SystemSN", "systemsn", "System SN"},
                 {"VKT_ChassisPN", "chassispn", "Chassis PN"},
                 {"VKT_ChassisSN", "chassissn", "Chassis SN"},
                 {"VKT_BackPlanePN", "backplanepn", "Backplane PN"},
                 {"VKT_BackPlaneSN", "backplanesn", "Backplane SN"},
                 {"VKT_BPNRevision", "bpnrevision", "Backplane Revision"},
                 {"VKT_BPLocation", "backplaneLocation", "Backplane Location"},
                 {"VKT_ChassisLocation", "location", "Chassis Location"},
                 {"VKT_ConfigurationID", "configid", "Configuration ID"},
                 {"VKT_CurrentNodeID", "nodeId", "Current Node ID"},
                 {"VKT_MCUVersion", "mcuVersion", "Controller Firmware"}});
    return VKT_BMC_OK;
}

int nodes(Invocation& inv) {
    if (int rc = bmc_PXInfo(collectAll)) {
        if (rc == VKT_BMC_ABSENT) fputs("Not Pairex\n", stderr);
        return rc;
    }
    std::optional<cimhost::EnumResult> r = publishedTable(inv, "PXListProvider");
    if (!r) return VKT_BMC_COMMAND_FAILED;
    printRows(inv, r->instances,
              {{"VKT_Node", "node", "Node", 4, true},
               {"VKT_Power", "power", "Power"},
               {"VKT_IP", "ip", "IP"},
               {"VKT_Watts", "watts", "Watts"},
               {"VKT_Current", "current", "Current"},
               {"VKT_Cpu1Temp", "cpu1Temperature", "CPU1"},
               {"VKT_Cpu2Temp", "cpu2Temperature", "CPU2"},
               {"VKT_SysTemp", "systemTemperature", "System"},
               {"VKT_NodePN", "nodepn", "Node PN"},
               {"VKT_NodeSN", "nodesn", "Node SN"}});
    return VKT_BMC_OK;
}

int nodeId(Invocation& inv) {
    if (int rc = bmcGetPXNodeID()) return rc;
    return printSummaryProperty(inv, "nodeId", "VKT_CurrentNodeID");
}

// The current node's row of the node table.
int printNodeProperty(const Invocation& inv, const ChassisField& f) {
    int rc = VKT_BMC_OK;
    std::optional<cimhost::Instance> info = summary(inv, &rc);
    if (!info) return rc;
    std::optional<cimhost::EnumResult> r = publishedTable(inv, "PXListProvider");
    if (!r) return VKT_BMC_COMMAND_FAILED;
    const std::string current = shownValue(*info, "VKT_CurrentNodeID");
    for (const cimhost::Instance& row : r->instances) {
        if (shownValue(row, "VKT_Node") != current) continue;
        printValue(inv, f.name, shownValue(row, f.nodeProperty));
        return VKT_BMC_OK;
    }
    fprintf(stderr, "vktool: chassis get: node %s is not in the node table\n", current.c_str());
    return VKT_BMC_COMMAND_FAILED;
}

int get(Invocation& inv) {
    const ChassisField* f = findField(inv.arguments[0]);
    if (f == nullptr) return inv.refuse("unknown field " + inv.arguments[0] + " (see vktool chassis --help)");
    if (f->property == nullptr && f->nodeProperty == nullptr)
        return inv.refuse(std::string("the field ") + f->name + " is not published; it can only be set");
    if (int rc = bmc_GetPXField(f->name)) return rc;
    return f->property != nullptr ? printSummaryProperty(inv, f->name, f->property) : printNodeProperty(inv, *f);
}

int set(Invocation& inv) {
    const ChassisField* f = findField(inv.arguments[0]);
    const bool revision = f != nullptr && strcmp(f->name, "bpnrevision") == 0;
    if (revision != (inv.arguments.size() == 3))
        return inv.refuse("bpnrevision takes MAJOR MINOR, every other field one VALUE");
    // Unknown fields are the library's to refuse (with its own message).
    if (revision) return bmc_SetPXField2(f->name, inv.arguments[1].c_str(), inv.arguments[2].c_str());
    return bmc_SetPXField(inv.arguments[0].c_str(), inv.arguments[1].c_str());
}

int backplaneLocation(Invocation& inv) {
    if (!inv.arguments.empty()) return bmc_SetBPLocation(inv.arguments[0].c_str());
    if (int rc = bmc_GetBPLocation()) return rc;
    return printSummaryProperty(inv, "backplaneLocation", "VKT_BPLocation");
}

int location(Invocation& inv) {
    if (inv.arguments.empty()) {
        if (int rc = bmc_GetChassisLocation()) return rc;
        return printSummaryProperty(inv, "location", "VKT_ChassisLocation");
    }
    // The routine takes the bytes where a command line holding "TOOL SUBJECT ACTION" before
    // them has them; bytes not given are written as 00h.
    std::vector<std::string> words = {"vktool", "chassis", "location"};
    words.insert(words.end(), inv.arguments.begin(), inv.arguments.end());
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(&w[0]);
    argv.push_back(nullptr);
    return bmc_SetChassisLocation(static_cast<int>(words.size()), argv.data());
}

int mcuUpdate(Invocation& inv) {
    const std::string& path = inv.arguments[0];
    if (!inv.readableFile(path)) return VKT_BMC_BAD_ARGUMENT;
    if (!inv.confirm("Load " + path + " into the chassis controller?")) return VKT_BMC_BAD_ARGUMENT;
    return bmc_MCUUpdate(path.c_str());
}

std::string fieldHelp() {
    std::string s = "Fields (any case):\n";
    for (const ChassisField& f : fields) {
        char line[96];
        snprintf(line, sizeof line, "  %-12s %s\n", f.name, f.help);
        s += line;
    }
    return s;
}

}  // namespace

extern const Subject chassisSubject = {
    "chassis",
    "multi-node chassis: nodes, fields, locations, controller firmware",
    "The chassis controller of a multi-node chassis. Status 13 (\"Not Pairex\") when the\n"
    "server is not a node of one.\n\n" +
        fieldHelp(),
    {
        {"show", "", "print the chassis's names, numbers, locations and controller firmware", "", 0, 0, {}, show,
         dataAction},
        {"nodes", "", "print every node with power state, address, readings and numbers", "", 0, 0, {}, nodes,
         dataAction},
        {"node-id", "", "print the ID of the node this server is", "", 0, 0, {}, nodeId, dataAction},
        {"get", "FIELD", "print one field", fieldHelp(), 1, 1, {}, get, dataAction},
        {"set", "FIELD VALUE", "write one field (bpnrevision: FIELD MAJOR MINOR)", fieldHelp(), 2, 3, {}, set},
        {"backplane-location", "[LOCATION]", "print the backplane location, or set it",
         "LOCATION is 1 (right-hand), 2 (left-hand) or a code in hexadecimal.\n", 0, 1, {}, backplaneLocation,
         dataAction},
        {"location", "[BYTE...]", "print the chassis location, or set its five bytes",
         "Up to five bytes in hexadecimal; bytes not given are written as 00. Nothing is\n"
         "written when one is malformed.\n",
         0, static_cast<int>(locationBytes), {}, location, dataAction},
        {"mcu-update", "FILE", "load the chassis controller's firmware from an S-record file",
         std::string("The file is checked completely before the controller is put into update mode;\n"
                     "the load takes at least ten seconds. ") + confirmHelp,
         1, 1, {}, mcuUpdate},
    },
};

}  // namespace vktool
