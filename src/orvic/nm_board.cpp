// The BMC's own identity as VKT_NM publishes it: board model (from the product ID), firmware
// build time and firmware version.
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "bounded.h"
#include "ipmi_defs.h"
#include "nm_util.h"
#include "smipmi.h"

BYTE productID[2];
const char* boardID = nullptr;
char firmwareBuildTime[20];
char firmwareVersion[20];

// Board model -> product ID, high byte then low byte, in hexadecimal (the boards of the
// event decoding's board list). The BMC sends the ID low byte first; a lookup that finds
// nothing tries the bytes the other way round too.
const id_to_board idToBoard[] = {
    {"VKB-G3S-T1", "0A", "10"},   {"VKB-G3S-R1U", "0A", "11"}, {"VKB-G4N-R1U", "0B", "20"},
    {"VKB-G4L-T2", "0B", "21"},   {"VKB-G4T-R2U", "0B", "22"}, {"VKB-G4D-R1U", "3A", "09"},
    {"VKB-G4W-R2U", "0C", "31"},  {"VKB-G4P-R4U", "0C", "32"}, {"VKB-G4W-DUO", "0C", "33"},
    {"VKB-G5Q-R4U", "0D", "40"},  {"VKB-G5M-R2U", "0D", "41"}, {"VKB-G5X-R8U", "0D", "42"},
    {"VKB-G6D-R1U", "0E", "50"},  {"VKB-G7W-R2U", "0E", "51"},
};
const size_t idToBoardCount = std::size(idToBoard);

namespace {

constexpr BYTE oemSystemInfo = 0x21;
constexpr BYTE oemBuildTime = 0x09;

// The build time text in the build-time answer.
constexpr size_t buildTimeAt = 20;
constexpr size_t buildTimeLength = 10;

// Get Device ID of the BMC: firmware revision 1 and 2.
constexpr size_t firmwareMajorAt = 2;
constexpr size_t firmwareMinorAt = 3;

const char* findBoard(BYTE high, BYTE low) {
    for (const id_to_board& row : idToBoard)
        if (hexToByte(row.idHigh) == high && hexToByte(row.idLow) == low) return row.model;
    return nullptr;
}

}  // namespace

BYTE hexToByte(const char* text) {
    if (text == nullptr) return 0;
    return static_cast<BYTE>(strtoul(text, nullptr, 16) & 0xFF);
}

BYTE getProductIDCommand() {
    vkt::IpmiReply r = vkt::ipmiRequest(vkt::netFnOem, oemSystemInfo);
    if (!r.ok()) {
        productID[0] = 0;
        productID[1] = 0;
        return r.cc;
    }
    productID[0] = r.at(0);
    productID[1] = r.at(1);
    return r.cc;
}

BYTE getBoardModel() {
    const BYTE cc = getProductIDCommand();
    if (cc != vkt::ccSuccess) return cc;
    const char* model = findBoard(productID[1], productID[0]);
    if (model == nullptr) model = findBoard(productID[0], productID[1]);
    if (model != nullptr) boardID = model;
    return cc;
}

BYTE getFirmwareBuildTimeCommand() {
    vkt::IpmiReply r = vkt::ipmiRequest(vkt::netFnOem3E, oemBuildTime);
    if (!r.ok()) return r.cc;
    char text[buildTimeLength] = {};
    for (size_t i = 0; i < buildTimeLength; ++i) text[i] = static_cast<char>(r.at(buildTimeAt + i));
    memset(firmwareBuildTime, 0, sizeof firmwareBuildTime);
    vkt::copyText(firmwareBuildTime, text, buildTimeLength);
    return r.cc;
}

BYTE getFirmwareBuildTime() { return getFirmwareBuildTimeCommand(); }

BYTE getFirmwareVersion() {
    vkt::IpmiReply r = vkt::ipmiRequest(vkt::netFnApp, vkt::cmdGetDeviceId);
    if (!r.ok()) return r.cc;
    VKT_FORMAT(firmwareVersion, "%x.%x", r.at(firmwareMajorAt), r.at(firmwareMinorAt));
    return r.cc;
}
