#include "invariants.h"

#include <cstring>
#include <iterator>
#include <string>

#include "cim_util.h"
#include "dmifru_util.h"
#include "fru_util.h"
#include "fuzz_support.h"
#include "kcs2_linux.h"
#include "nm_util.h"
#include "orvic_sel.h"
#include "pmbus_util.h"
#include "px_util.h"
#include "sdr_sensors.h"
#include "sel_util.h"
#include "transport_state.h"
#include "varkolt/bmc.h"

namespace fuzz {

namespace {

// One text field, or the same field in every row of a table.
struct TextField {
    const char* name;
    const void* first;  // the field of the first row
    size_t size;        // bytes of the field, its terminator's place included
    size_t rows;
    size_t stride;  // bytes from a row to the next
};

#define FUZZ_TEXT(var) TextField{#var, var, sizeof var, 1, 0}
#define FUZZ_FIELD(record, member) TextField{#record "." #member, record.member, sizeof record.member, 1, 0}
#define FUZZ_TEXTS(table) TextField{#table, table[0], sizeof table[0], std::size(table), sizeof table[0]}
#define FUZZ_COLUMN(table, member) \
    TextField{#table "." #member, table[0].member, sizeof table[0].member, std::size(table), sizeof table[0]}

// Every text field the library fills for the providers and the exported routines. The user
// names are left out: they are the fixed 16-byte field of the IPMI command, full without a
// terminator, and are published through a copy that adds one.
const TextField textFields[] = {
    FUZZ_TEXT(ip_addr), FUZZ_TEXT(mac_addr), FUZZ_TEXT(gwip_addr), FUZZ_TEXT(subnetip_addr),
    FUZZ_TEXT(dhcpStatus), FUZZ_TEXTS(mac_list),

    FUZZ_TEXT(nmfirmwareVersion), FUZZ_TEXT(firmwareBuildTime), FUZZ_TEXT(firmwareVersion),
    FUZZ_TEXT(boardName), FUZZ_TEXT(boardType),

    FUZZ_TEXT(totalEntries), FUZZ_TEXT(freeSpace), FUZZ_TEXT(recentEntryAdded), FUZZ_TEXT(recentEntryDel),
    FUZZ_COLUMN(cim_sel_records, timeString), FUZZ_COLUMN(cim_sel_records, sensorName),
    FUZZ_COLUMN(cim_sel_records, eventDir), FUZZ_COLUMN(cim_sel_records, eventDesc),

    FUZZ_COLUMN(cim_sdr, status), FUZZ_COLUMN(cim_sdr, sensor), FUZZ_COLUMN(cim_sdr, sensorTypeName),
    FUZZ_COLUMN(cim_sdr, reading), FUZZ_COLUMN(cim_sdr, lowLimit), FUZZ_COLUMN(cim_sdr, highLimit),

    FUZZ_FIELD(chassis, part), FUZZ_FIELD(chassis, serial),
    FUZZ_FIELD(board, mfg), FUZZ_FIELD(board, prod), FUZZ_FIELD(board, serial), FUZZ_FIELD(board, part),
    FUZZ_FIELD(board, fru),
    FUZZ_FIELD(product, mfg), FUZZ_FIELD(product, name), FUZZ_FIELD(product, part), FUZZ_FIELD(product, version),
    FUZZ_FIELD(product, serial), FUZZ_FIELD(product, asset), FUZZ_FIELD(product, fru),
    FUZZ_FIELD(boardInfo, manufacturerName), FUZZ_FIELD(boardInfo, productName),
    FUZZ_FIELD(boardInfo, boardSerialNumber), FUZZ_FIELD(boardInfo, boardPartNumber),
    FUZZ_FIELD(boardInfo, boardCustomer), FUZZ_FIELD(boardInfo, boardMfgDateTime),
    FUZZ_FIELD(productInfo, productManufacturerName), FUZZ_FIELD(productInfo, productName),
    FUZZ_FIELD(productInfo, productPartModelNumber), FUZZ_FIELD(productInfo, productVersion),
    FUZZ_FIELD(productInfo, productSerialNumber), FUZZ_FIELD(productInfo, productAssetTag),

    FUZZ_COLUMN(pmBusHealth, acInputVoltage), FUZZ_COLUMN(pmBusHealth, acInputCurrent),
    FUZZ_COLUMN(pmBusHealth, dc12VOutputVoltage), FUZZ_COLUMN(pmBusHealth, dc12VOutputCurrent),
    FUZZ_COLUMN(pmBusHealth, temperature1), FUZZ_COLUMN(pmBusHealth, temperature2),
    FUZZ_COLUMN(pmBusHealth, fan1), FUZZ_COLUMN(pmBusHealth, fan2), FUZZ_COLUMN(pmBusHealth, dc12VOutputPower),
    FUZZ_COLUMN(pmBusHealth, acInputPower), FUZZ_COLUMN(pmBusHealth, pmBusRevision),
    FUZZ_COLUMN(pmBusHealth, zurSerialNumber), FUZZ_COLUMN(pmBusHealth, zurModuleNumber),
    FUZZ_COLUMN(pmBusHealth, zurRevision),
    FUZZ_COLUMN(fruHealth, temperature), FUZZ_COLUMN(fruHealth, fan1), FUZZ_COLUMN(fruHealth, fan2),
    FUZZ_COLUMN(batteryHealth, manufacturer), FUZZ_COLUMN(batteryHealth, modelName),
    FUZZ_COLUMN(batteryHealth, serialNumber), FUZZ_COLUMN(batteryHealth, productVersion),
    FUZZ_COLUMN(batteryHealth, firmwareVersion), FUZZ_COLUMN(batteryHealth, boardTemperature),
    FUZZ_COLUMN(batteryHealth, batteryVoltage), FUZZ_COLUMN(batteryHealth, batteryCurrent),
    FUZZ_COLUMN(batteryHealth, batteryPackTemp), FUZZ_COLUMN(batteryHealth, powerWattage),
    FUZZ_COLUMN(batteryHealth, batteryPowerStatus), FUZZ_COLUMN(batteryHealth, remainingEnergy),
    FUZZ_COLUMN(batteryHealth, dischargeStatus), FUZZ_COLUMN(batteryHealth, dischargeSetting),
    FUZZ_COLUMN(batteryHealth, dischargeRemainingDays), FUZZ_COLUMN(batteryHealth, batteryStatus),

    FUZZ_FIELD(pairexMCU, location), FUZZ_FIELD(pairexMCU, userDefineSystemName), FUZZ_FIELD(pairexMCU, systemPN),
    FUZZ_FIELD(pairexMCU, systemSN), FUZZ_FIELD(pairexMCU, chassisPN), FUZZ_FIELD(pairexMCU, chassisSN),
    FUZZ_FIELD(pairexMCU, backplanePN), FUZZ_FIELD(pairexMCU, backplaneSN),
    FUZZ_COLUMN(pxList, node), FUZZ_COLUMN(pxList, power), FUZZ_COLUMN(pxList, ip), FUZZ_COLUMN(pxList, watts),
    FUZZ_COLUMN(pxList, current), FUZZ_COLUMN(pxList, cpu1Temp), FUZZ_COLUMN(pxList, cpu2Temp),
    FUZZ_COLUMN(pxList, sysTemp), FUZZ_COLUMN(pxList, nodePN), FUZZ_COLUMN(pxList, nodeSN),

    FUZZ_FIELD(ipmi_open_intf, name), FUZZ_FIELD(ipmi_open_intf, desc),
};

// Texts published by pointer (into the library's tables): none, or one that ends soon.
struct TextPointer {
    const char* name;
    const char* const* text;
};
const TextPointer textPointers[] = {
    {"nmPlatform", &nmPlatform},
    {"nmFirewareImplementedVersion", &nmFirewareImplementedVersion},
    {"nmImageFlag", &nmImageFlag},
    {"boardID", &boardID},
    {"rawRequestError", &rawRequestError},
};
constexpr size_t longestPointedText = 4096;

// Commands the library sends only to read. A predicate, where there is one, tells the
// reading form of a command that also writes.
struct ReadCommand {
    uint8_t netFn;
    uint8_t cmd;
    bool (*reads)(const testkit::Bytes& data);
};

bool anyForm(const testkit::Bytes&) { return true; }
// Master Write-Read: a read writes at most the device's register or command number.
bool busRead(const testkit::Bytes& d) { return d.size() >= 3 && d[2] > 0 && d.size() <= 4; }
// The OEM fan mode command: 00h reads the mode, 02h the supported modes.
bool fanModeRead(const testkit::Bytes& d) { return !d.empty() && (d[0] == 0x00 || d[0] == 0x02); }
// The OEM tag command: {tag, 00h} reads a version tag, {6Ch, 00h, ...} queries the drives.
bool tagRead(const testkit::Bytes& d) { return d.size() >= 2 && d[1] == 0x00; }
// The configuration transfer: probing, asking for the status and reading change nothing.
bool transferRead(const testkit::Bytes& d) { return !d.empty() && (d[0] == 0x0C || d[0] == 0x06 || d[0] == 0x07); }

const ReadCommand readCommands[] = {
    {0x00, 0x01, anyForm},  // Get Chassis Status
    {0x00, 0x09, anyForm},  // Get System Boot Options
    {0x04, 0x27, anyForm},  // Get Sensor Thresholds
    {0x04, 0x2D, anyForm},  // Get Sensor Reading
    {0x06, 0x01, anyForm},  // Get Device ID
    {0x06, 0x04, anyForm},  // Get Self Test Results
    {0x06, 0x08, anyForm},  // Get Device GUID
    {0x06, 0x31, anyForm},  // Get Message Flags
    {0x06, 0x33, anyForm},  // Get Message
    {0x06, 0x37, anyForm},  // Get System GUID
    {0x06, 0x38, anyForm},  // Get Channel Authentication Capabilities
    {0x06, 0x41, anyForm},  // Get Channel Access
    {0x06, 0x42, anyForm},  // Get Channel Info
    {0x06, 0x44, anyForm},  // Get User Access
    {0x06, 0x46, anyForm},  // Get User Name
    {0x06, 0x52, busRead},  // Master Write-Read
    {0x0A, 0x10, anyForm},  // Get FRU Inventory Area Info
    {0x0A, 0x11, anyForm},  // Read FRU Data
    {0x0A, 0x20, anyForm},  // Get SDR Repository Info
    {0x0A, 0x22, anyForm},  // Reserve SDR Repository
    {0x0A, 0x23, anyForm},  // Get SDR
    {0x0A, 0x40, anyForm},  // Get SEL Info
    {0x0A, 0x42, anyForm},  // Reserve SEL
    {0x0A, 0x43, anyForm},  // Get SEL Entry
    {0x0A, 0x48, anyForm},  // Get SEL Time
    {0x0C, 0x02, anyForm},  // Get LAN Configuration Parameters
    {0x2C, 0x00, anyForm},  // Get PICMG Properties
    {0x2C, 0x01, anyForm},  // Get Address Info
    {0x30, 0x0C, anyForm},  // the identify LED's state
    {0x30, 0x21, anyForm},  // system information (board ID, host MAC)
    {0x30, 0x45, fanModeRead},
    {0x30, 0x70, tagRead},
    {0x30, 0x9F, anyForm},  // the host's MAC addresses
    {0x30, 0xA0, transferRead},
    {0x30, 0xE2, anyForm},  // temperature and power readings
    {0x3E, 0x09, anyForm},  // firmware name and build time
};

}  // namespace

const char* unterminatedText() {
    for (const TextField& f : textFields) {
        const char* row = static_cast<const char*>(f.first);
        for (size_t i = 0; i < f.rows; ++i, row += f.stride)
            if (memchr(row, '\0', f.size) == nullptr) return f.name;
    }
    for (const TextPointer& p : textPointers)
        if (*p.text != nullptr && strnlen(*p.text, longestPointedText) == longestPointedText) return p.name;
    return nullptr;
}

bool changesBmc(const testkit::IpmiRequest& request) {
    if (request.ipmb) return true;  // whatever it is, it is for another controller to judge
    for (const ReadCommand& c : readCommands)
        if (request.is(c.netFn, c.cmd)) return !c.reads(request.data);
    return true;
}

void checkTexts(const char* target) {
    if (const char* field = unterminatedText())
        fail(target, (std::string("the text ") + field + " does not end inside its field").c_str());
}

void checkRoutine(const char* target, const char* routine, int result, const std::vector<testkit::IpmiRequest>& sent) {
    checkTexts(target);
    if (result != VKT_BMC_BAD_ARGUMENT) return;
    for (const testkit::IpmiRequest& r : sent)
        if (changesBmc(r))
            fail(target, (std::string(routine) + " refused its arguments (12) after sending " + r.toString()).c_str());
}

}  // namespace fuzz
