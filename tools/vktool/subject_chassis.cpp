// vktool chassis: the chassis controller of a multi-node chassis (its table of nodes, its
// fields and locations, the load of its firmware), and on every server the identify LED
// and the chassis intrusion flag.
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "console.h"
#include "progress.h"
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
        printJson(Json::object().add("field", Json::string(name)).add("value", Json::text(value)));
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
                 typed("VKT_ConfigurationID", "configid", "Configuration ID", Kind::integer),
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
               {"VKT_Watts", "watts", "Watts", 0, false, Kind::measure},
               {"VKT_Current", "current", "Current", 0, false, Kind::measure},
               {"VKT_Cpu1Temp", "cpu1Temperature", "CPU1", 0, false, Kind::measure},
               {"VKT_Cpu2Temp", "cpu2Temperature", "CPU2", 0, false, Kind::measure},
               {"VKT_SysTemp", "systemTemperature", "System", 0, false, Kind::measure},
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
    std::string value = inv.arguments[1];
    if (revision) value += " " + inv.arguments[2];
    if (!inv.confirm("Write " + inv.arguments[0] + "=" + value + " into the chassis controller?")) return notConfirmed;
    if (revision) return bmc_SetPXField2(f->name, inv.arguments[1].c_str(), inv.arguments[2].c_str());
    return bmc_SetPXField(inv.arguments[0].c_str(), inv.arguments[1].c_str());
}

int backplaneLocation(Invocation& inv) {
    if (!inv.arguments.empty()) {
        if (!inv.hexByte(inv.arguments[0], "LOCATION")) return VKT_BMC_BAD_ARGUMENT;
        if (!inv.confirm("Set the backplane location to " + inv.arguments[0] + "?")) return notConfirmed;
        return bmc_SetBPLocation(inv.arguments[0].c_str());
    }
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
    for (const std::string& byte : inv.arguments)
        if (!inv.hexByte(byte, "BYTE")) return VKT_BMC_BAD_ARGUMENT;
    std::string bytes;
    for (const std::string& byte : inv.arguments) bytes += " " + byte;
    if (!inv.confirm("Set the chassis location to" + bytes + "?")) return notConfirmed;
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
    if (!inv.confirm("Load " + path + " into the chassis controller?")) return notConfirmed;
    const int rc = bmc_MCUUpdate(path.c_str());
    if (rc == VKT_BMC_OK) return rc;
    // The library says nothing about a failed load; where it stopped tells the operator
    // whether the controller was touched.
    const progress::Count sent = progress::last(VKT_PROGRESS_FIRMWARE_RECORDS);
    if (!sent.reported)
        inv.complain("the firmware was not loaded: the file holds a malformed record or checksum, the chassis has "
                     "no controller that takes firmware, or its loader did not answer");
    else
        inv.complain("the load stopped after record " + progress::grouped(sent.done) + " of " +
                     progress::grouped(sent.total) + "; load the file again before the controller restarts");
    return rc;
}

int identify(Invocation& inv) {
    std::optional<bool> on = inv.onOff(inv.arguments[0], "the identify LED");
    if (!on) return VKT_BMC_BAD_ARGUMENT;
    if (!inv.confirm(std::string("Switch the identify LED ") + (*on ? "on" : "off") + "?")) return notConfirmed;
    return bmc_SetIdentifyLED(*on ? 1 : 0);
}

int intrusion(Invocation& inv) {
    if (inv.arguments.empty()) {
        // What the CIM class publishes: pending unless the first intrusion sensor reads OK.
        std::optional<cimhost::Instance> device =
            publishedInstance(inv, "IPMDeviceProvider", "the IPM device provider published nothing");
        if (!device) return VKT_BMC_COMMAND_FAILED;
        const std::string pending = shownValue(*device, "VKT_IsNeedToClearChassisIntrusion");
        if (inv.json())
            printJson(Json::object().add("pending", Json::flag(pending)));
        else
            fprintf(console::data(), "Chassis intrusion: %s\n", pending == "True" ? "pending" : "none");
        return VKT_BMC_OK;
    }
    if (inv.arguments[0] != "clear") return inv.refuse("the only action on the intrusion flag is clear");
    if (!inv.confirm("Clear the chassis intrusion flag?")) return notConfirmed;
    return bmc_ClearChassisIntrusion();
}

constexpr const char* fieldWords =
    "systemname systempn systemsn chassispn chassissn backplanepn backplanesn bpnid configid nodepn nodesn "
    "bpnrevision";

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
    "multi-node chassis (nodes, fields, firmware); identify LED, intrusion flag",
    "The chassis controller of a multi-node chassis. Status 13 (\"Not Pairex\") when the\n"
    "server is not a node of one. The identify LED and the intrusion flag are the BMC's,\n"
    "on every server.\n\n" +
        fieldHelp(),
    {
        {"show", "", "print the chassis's names, numbers, locations and controller firmware", "", 0, 0, {}, show,
         dataAction},
        {"nodes", "", "print every node with power state, address, readings and numbers", "", 0, 0, {}, nodes,
         dataAction},
        {"node-id", "", "print the ID of the node this server is", "", 0, 0, {}, nodeId, dataAction},
        {"get", "FIELD", "print one field", fieldHelp(), 1, 1, {}, get, dataAction, {{"1", fieldWords}}},
        {"set", "FIELD VALUE", "write one field (bpnrevision: FIELD MAJOR MINOR)", fieldHelp(), 2, 3, {}, set,
         changesBmc, {{"1", fieldWords}}},
        {"backplane-location", "[LOCATION]", "print the backplane location, or set it",
         "LOCATION is 1 (right-hand), 2 (left-hand) or a code in hexadecimal. Setting it asks\n"
         "for confirmation on a terminal unless --yes is given.\n",
         0, 1, {}, backplaneLocation, dataAction, {{"1", "1 2"}}},
        {"location", "[BYTE...]", "print the chassis location, or set its five bytes",
         "Up to five bytes in hexadecimal; bytes not given are written as 00. Nothing is\n"
         "written when one is malformed.\n"
         "Setting them asks for confirmation on a terminal unless --yes is given.\n",
         0, static_cast<int>(locationBytes), {}, location, dataAction},
        {"mcu-update", "FILE", "load the chassis controller's firmware from an S-record file",
         "The file is checked completely before the controller is put into update mode;\n"
         "the load takes at least ten seconds.\n",
         1, 1, {}, mcuUpdate, changesBmc | showsProgress},
        {"identify", "on|off", "switch the identify LED on or off",
         "Sends what the classes VKT_OPEN_LED and VKT_ClOSE_LED send.\n", 1, 1, {}, identify, changesBmc,
         {{"1", "on off"}}},
        {"intrusion", "[clear]", "print whether a chassis intrusion is pending, or clear the flag",
         "Pending unless the first chassis intrusion sensor reads OK (as VKT_IPMDevice\n"
         "publishes it). clear sends what the class VKT_ClearChassisIntrusion sends and asks\n"
         "for confirmation on a terminal unless --yes is given.\n",
         0, 1, {}, intrusion, dataAction, {{"1", "clear"}}},
    },
};

}  // namespace vktool
