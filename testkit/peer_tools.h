// The peers: ipmitool and FreeIPMI reading the same simulator over LAN (RMCP+ on
// loopback), and parsers that turn their output into values to compare with ours.
#ifndef TESTKIT_PEER_TOOLS_H
#define TESTKIT_PEER_TOOLS_H

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "ipmisim_harness.h"

namespace testkit::peers {

using ipmisim::ProcessResult;
using ipmisim::Simulator;

// ipmitool -I lanplus ... -C 3 ARGS (cipher suite 3 avoids a ten-second stall).
ProcessResult ipmitool(const Simulator& sim, const std::vector<std::string>& args);
// A FreeIPMI tool (ipmi-sensors, ipmi-sel, ipmi-fru, ipmi-config) over LAN 2.0, with a
// private SDR cache in the simulator's scratch directory.
ProcessResult freeipmi(const Simulator& sim, const std::string& tool, const std::vector<std::string>& args);

// ---- generic text -------------------------------------------------------------------------

std::string trim(const std::string& s);
std::vector<std::string> split(const std::string& line, char separator);  // fields trimmed
std::vector<std::string> lines(const std::string& text);
// "Key   : value" lines (ipmitool fru/lan/sel info/mc info); the first colon splits, keys
// and values are trimmed; a repeated key keeps its first value.
std::map<std::string, std::string> parseColonList(const std::string& text);
// A decimal number ("45.000", "-3", "0x1a" is not one); nullopt for "na", "N/A", "".
std::optional<double> parseNumber(const std::string& text);

// ---- ipmitool ------------------------------------------------------------------------------

// `ipmitool sensor`: name | value | unit | status | lnr | lc | lnc | unc | uc | unr
struct SensorRow {
    std::string name;
    std::string valueText;
    std::optional<double> value;
    std::string unit;
    std::string status;
    std::optional<double> lnr, lc, lnc, unc, uc, unr;
};
std::vector<SensorRow> parseIpmitoolSensor(const std::string& text);

// `ipmitool sdr elist`: name | number | status | entity | text
struct SdrRow {
    std::string name;
    int number = -1;
    std::string status;
    std::string entity;
    std::string text;
};
std::vector<SdrRow> parseIpmitoolSdrElist(const std::string& text);

// `ipmitool sel elist`: id | date | time | sensor | event | direction
struct SelRow {
    int id = -1;
    std::string date;
    std::string time;
    std::string sensor;
    std::string event;
    std::string direction;
    std::vector<std::string> fields;  // all columns as printed
};
std::vector<SelRow> parseIpmitoolSel(const std::string& text);

// `ipmitool user list 1`
struct UserRow {
    int id = -1;
    std::string name;
    bool callin = false;
    bool linkAuth = false;
    bool ipmiMsg = false;
    std::string privilege;
};
std::vector<UserRow> parseIpmitoolUsers(const std::string& text);

// ---- FreeIPMI ------------------------------------------------------------------------------

// --comma-separated-output with a header line.
struct CsvTable {
    std::vector<std::string> header;
    std::vector<std::vector<std::string>> rows;
    int column(const std::string& name) const;  // -1 when absent
    std::string get(size_t row, const std::string& name) const;
};
CsvTable parseCsv(const std::string& text);

// ipmi-config --checkout: "Section NAME" blocks of "Key  Value" lines.
std::map<std::string, std::map<std::string, std::string>> parseConfigCheckout(const std::string& text);

}  // namespace testkit::peers

#endif
