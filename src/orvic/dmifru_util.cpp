// Maintenance commands of the command-line utilities: factory defaults, SEL clear, self
// test, host reset with a one-time boot device, raw requests, SDR record deletion and the
// version tags.
#include "dmifru_util.h"

#include <cstdio>
#include <cstring>

#include "bounded.h"
#include "ipmi_defs.h"
#include "ipmi_replies.h"
#include "sdr_util.h"
#include "sel_util.h"
#include "smipmi.h"

BYTE sdrVer[2] = {};
BYTE fruVer[2] = {};
const char* rawRequestError = "";

namespace {

BYTE oemNoData(BYTE cmd) { return vkt::ipmiRequest(vkt::netFnOem, cmd).cc; }

// ---- boot device ---------------------------------------------------------------------------

constexpr BYTE bootFlagsParameter = 0x05;
constexpr BYTE bootFlagsValidOnce = 0x80;         // valid, for the next boot only
constexpr BYTE bootFlagsValidOnceEfi = 0xA0;      // the same with the EFI boot type

struct BootDevice {
    BYTE flags;
    BYTE selector;
};

// By index 1 to 9 (index 0 sends no boot options).
constexpr BootDevice bootDevices[vkt::bootIndexLast] = {
    {bootFlagsValidOnce, 0x04},     // PXE
    {bootFlagsValidOnce, 0x08},     // default hard drive
    {bootFlagsValidOnce, 0x14},     // default CD/DVD
    {bootFlagsValidOnce, 0x18},     // BIOS setup
    {bootFlagsValidOnce, 0x24},     // primary remote media
    {bootFlagsValidOnce, 0x2C},     // remotely connected hard drive
    {bootFlagsValidOnce, 0x1C},     // remotely connected floppy / primary removable media
    {bootFlagsValidOnce, 0x20},     // remotely connected CD/DVD
    {bootFlagsValidOnceEfi, 0x24},  // primary remote media, EFI
};

BYTE resetHost(int index, BYTE action) {
    if (index < vkt::bootIndexNone || index > vkt::bootIndexLast) {
        puts("Index out of bound! (0~9)");
        return vkt::ccParameterOutOfRange;
    }
    if (index != vkt::bootIndexNone) {
        const BootDevice& d = bootDevices[index - 1];
        const BYTE options[6] = {bootFlagsParameter, d.flags, d.selector, 0x00, 0x00, 0x00};
        BYTE cc = vkt::ipmiRequest(vkt::netFnChassis, vkt::cmdSetSystemBootOptions, options).cc;
        if (cc != vkt::ccSuccess) return cc;
    }
    const BYTE control[1] = {action};
    return vkt::ipmiRequest(vkt::netFnChassis, vkt::cmdChassisControl, control).cc;
}

// ---- raw request words ---------------------------------------------------------------------

// Words of a raw command line that precede the network function.
constexpr int rawLeadingWords = 2;
// Network function, command.
constexpr int rawHeaderWords = 2;
constexpr unsigned long rawNetFnMax = 0x3F;
constexpr unsigned long rawCmdMax = 0xFF;

// A hexadecimal word ("1f", "0x1F"). `value` saturates instead of overflowing; `low`
// keeps the low byte of the value as written. False for an empty or non-hex word.
bool parseHexWord(const char* word, unsigned long* value, BYTE* low) {
    if (word == nullptr) return false;
    if (word[0] == '0' && (word[1] == 'x' || word[1] == 'X')) word += 2;
    if (*word == '\0') return false;
    unsigned long v = 0;
    unsigned lowByte = 0;
    for (; *word != '\0'; ++word) {
        const int d = vkt::hexDigit(*word);
        if (d < 0) return false;
        v = v > (~0UL >> 4) ? ~0UL : (v << 4 | static_cast<unsigned long>(d));
        lowByte = (lowByte << 4 | static_cast<unsigned>(d)) & 0xFF;
    }
    *value = v;
    *low = static_cast<BYTE>(lowByte);
    return true;
}

BYTE refuseRaw(const char* why, DWORD* respLength) {
    rawRequestError = why;
    if (respLength != nullptr) *respLength = 0;
    return vkt::ccParameterOutOfRange;
}

// ---- version tags ----------------------------------------------------------------------------

constexpr BYTE tagSdr = 0x0D;
constexpr BYTE tagFru = 0x0E;
constexpr BYTE tagGet = 0x00;
constexpr BYTE tagSet = 0x01;

BYTE getTag(BYTE which, BYTE (&tag)[2]) {
    const BYTE request[2] = {which, tagGet};
    vkt::IpmiReply reply = vkt::ipmiRequest(vkt::netFnOem, vkt::oemTagsAndDrives, request);
    if (reply.ok()) {
        // Only the two tag bytes belong to the tag, whatever the answer's length.
        const vkt::VersionTagReply version = vkt::VersionTagReply::decode(reply.view());
        tag[0] = version.major;
        tag[1] = version.minor;
    }
    return reply.cc;
}

BYTE setTag(BYTE which, BYTE major, BYTE minor) {
    const BYTE request[4] = {which, tagSet, major, minor};
    return vkt::ipmiRequest(vkt::netFnOem, vkt::oemTagsAndDrives, request).cc;
}

}  // namespace

BYTE ipmi20PlusVendderFactory() { return oemNoData(vkt::oemFactoryDefault); }
BYTE ipmi20PlusVendderFactoryAll() { return oemNoData(vkt::oemFactoryDefaultAll); }
BYTE ipmi20PlusVendderFactoryLan() { return oemNoData(vkt::oemFactoryDefaultLan); }

BYTE clearAllSEL() {
    constexpr BYTE initiateErase = 0xAA;
    const BYTE request[6] = {selReserveID[0], selReserveID[1], 'C', 'L', 'R', initiateErase};
    return vkt::ipmiRequest(vkt::netFnStorage, vkt::cmdClearSel, request).cc;
}

BYTE getSelfTest(BYTE* resp) {
    vkt::IpmiReply reply = vkt::ipmiRequest(vkt::netFnApp, vkt::cmdGetSelfTestResults);
    if (resp != nullptr) {
        const vkt::SelfTestReply test = vkt::SelfTestReply::decode(reply.view());
        resp[0] = test.result;
        resp[1] = test.detail;
    }
    return reply.cc;
}

BYTE rebootFromDevice(int index) { return resetHost(index, vkt::chassisHardReset); }
BYTE softShutDown(int index) { return resetHost(index, vkt::chassisSoftShutdown); }

BYTE exec_raw_cmd(int argc, char** argv, BYTE* respBuf, DWORD* respLength) {
    rawRequestError = "";
    if (argv == nullptr || argc < rawLeadingWords + rawHeaderWords)
        return refuseRaw("a network function and a command are needed", respLength);
    const int dataLength = argc - rawLeadingWords - rawHeaderWords;
    if (dataLength > vkt::ipmiMaxRequestData) return refuseRaw("more than 126 data bytes", respLength);

    unsigned long netFn = 0, cmd = 0;
    BYTE low = 0;
    if (!parseHexWord(argv[0], &netFn, &low) || !parseHexWord(argv[1], &cmd, &low))
        return refuseRaw("a word is not a hexadecimal number", respLength);
    if (netFn > rawNetFnMax) return refuseRaw("the network function is above 3Fh", respLength);
    if (cmd > rawCmdMax) return refuseRaw("the command is above FFh", respLength);

    BYTE data[vkt::ipmiMaxRequestData] = {};
    for (int i = 0; i < dataLength; ++i) {
        unsigned long ignored = 0;
        if (!parseHexWord(argv[rawHeaderWords + i], &ignored, &data[i]))
            return refuseRaw("a word is not a hexadecimal number", respLength);
    }
    vkt::IpmiReply reply =
        vkt::ipmiRequest(static_cast<BYTE>(netFn), static_cast<BYTE>(cmd), data, dataLength);
    if (respBuf != nullptr) memcpy(respBuf, reply.data.data(), reply.length);
    if (respLength != nullptr) *respLength = reply.length;
    return reply.cc;
}

BYTE deleteSDRRecord(int recordID) {
    if (recordID < 0 || recordID > vkt::sdrRecordIdMax) return vkt::ccParameterOutOfRange;
    getReserveSDRID();  // a refusal leaves the previous reservation to be sent
    const BYTE request[4] = {sdrReserveID[0], sdrReserveID[1], static_cast<BYTE>(recordID & 0xFF),
                             static_cast<BYTE>(recordID >> 8)};
    return vkt::ipmiRequest(vkt::netFnStorage, vkt::cmdDeleteSdr, request).cc;
}

BYTE getSDRVer() { return getTag(tagSdr, sdrVer); }
BYTE setSDRVer(BYTE major, BYTE minor) { return setTag(tagSdr, major, minor); }
BYTE getFRUVer() { return getTag(tagFru, fruVer); }
BYTE setFRUVer(BYTE major, BYTE minor) { return setTag(tagFru, major, minor); }
