// The Management Engine: where it sits, one request to it, what it is, and the Node
// Manager requests the exported routines send.
#include "nm_util.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "bounded.h"
#include "ipmb_bridge.h"
#include "ipmi_defs.h"
#include "ipmi_replies.h"
#include "sdr_util.h"
#include "smipmi.h"

BYTE nmSlaveAddress = 0;
BYTE nmChannel = 0;
BYTE nmDeviceID[16];
char nmfirmwareVersion[30];
const char* nmPlatform = nullptr;
const char* nmFirewareImplementedVersion = nullptr;
const char* nmImageFlag = nullptr;

BYTE hostCPUData[25];
int cpuSocketCount = 0;
BYTE tjMax[vkt::nmMaxSockets];
BYTE cpuMemTempData[vkt::nmTempAnswers * vkt::nmTempAnswerSize];
BYTE pState[2];
BYTE tState[2];
BYTE nmListImagesInfo[10];
BYTE nmSelfTestData[3];
BYTE nmSELTime[16];
BYTE oemTemp[3];
BYTE oemPower[3];

namespace {

// Get SDR as the search reads it: the whole head of each record in one piece.
constexpr BYTE sdrSearchReadCount = 0x20;
// Bytes of the ME's discovery record.
constexpr size_t recordType = 3;
constexpr size_t recordManufacturer = 5;
constexpr size_t recordSubtype = 8;
constexpr size_t recordSlaveAddress = 10;
constexpr size_t recordChannel = 11;

constexpr BYTE cmdGetSelTime = 0x48;
constexpr BYTE oemReading = 0xE2;
constexpr BYTE tjMaxSensorBase = 0x30;

const char* const platformNames[] = {
    "Tylersburg", "Bromolow", "Romley",  "Denlow",
    "Brickland",  "Grantley", "Grangeville", "Groveport Self Boot",
    "Groveport Leverage Boot", "Greenlow",
};
const char* const nmRevisions[] = {nullptr, "NM Revision 1.5", "NM Revision 2.0", "NM Revision 3.0", "NM Revision 4.0"};
const char* const imageFlags[] = {"recovery image", "operational image 1", "operational image 2",
                                  "unspecified: flasherror indication"};

// Other OEM records (BIOS, board vendor) share the record type; only Intel's Node Manager
// record says where the ME is.
bool isMeRecord(vkt::ByteView record) {
    return record[recordType] == vkt::sdrTypeOem && record[recordManufacturer] == vkt::intelId[0] &&
           record[recordManufacturer + 1] == vkt::intelId[1] && record[recordManufacturer + 2] == vkt::intelId[2] &&
           record[recordSubtype] == vkt::nmRecordSubtype;
}

// Keeps as much of an answer as `buf` holds; the rest of `buf` is zero.
void keepAnswer(BYTE* buf, size_t size, const BYTE* answer, DWORD length) {
    memset(buf, 0, size);
    memcpy(buf, answer, std::min<size_t>(size, length));
}

template <size_t N>
BYTE nmRequest(BYTE (&buf)[N], BYTE netFn, BYTE cmd, const BYTE* data, int dataLength) {
    BYTE resp[vkt::nmResponseSize] = {};
    DWORD length = 0;
    const BYTE code = runNMCmd(netFn, cmd, data, dataLength, resp, &length);
    if (code == vkt::ccSuccess) keepAnswer(buf, N, resp, length);
    return code;
}

// A Node Manager request: Intel's manufacturer ID, then `tail`.
template <size_t N>
BYTE intelRequest(BYTE* answer, size_t answerSize, BYTE cmd, const BYTE (&tail)[N]) {
    BYTE data[3 + N];
    memcpy(data, vkt::intelId, 3);
    memcpy(data + 3, tail, N);
    BYTE resp[vkt::nmResponseSize] = {};
    DWORD length = 0;
    const BYTE code = runNMCmd(vkt::netFnIntelNm, cmd, data, static_cast<int>(sizeof data), resp, &length);
    if (code == vkt::ccSuccess && answer != nullptr) keepAnswer(answer, answerSize, resp, length);
    return code;
}

BYTE oemRead(BYTE (&buf)[3], BYTE selector) {
    const BYTE request[3] = {selector, 0x00, 0x00};
    vkt::IpmiReply r = vkt::ipmiRequest(vkt::netFnOem, oemReading, request);
    if (r.ok()) keepAnswer(buf, sizeof buf, r.data.data(), r.length);
    return r.cc;
}

}  // namespace

// ---- locating the ME and talking to it ---------------------------------------------------------

vkt::ByteView vkt::meAnswerData(const BYTE* answer, size_t length) { return ByteView(answer, length).sub(1); }

BYTE detectNM() {
    if (getSDRRepositoryInfo() != vkt::ccSuccess) return vkt::nmRepositoryInfoFailed;
    if (getReserveSDRID() != vkt::ccSuccess) return vkt::nmReserveFailed;
    WORD recordId = 0x0000;
    for (int i = 0; i < sdrRecordCount; ++i) {
        vkt::IpmiReply r = vkt::readSdr(recordId, 0x00, sdrSearchReadCount);
        if (!r.ok()) return r.cc;
        const vkt::RecordReply piece = vkt::RecordReply::decode(r.view());
        if (isMeRecord(piece.record)) {
            nmSlaveAddress = piece.record[recordSlaveAddress];
            nmChannel = piece.record[recordChannel];
            return vkt::ccSuccess;
        }
        recordId = piece.nextRecordId;
        // The last record names no successor; asking for "FFFFh" again would only read it again.
        if (recordId == vkt::sdrLastRecordId) break;
    }
    return vkt::nmRecordNotFound;
}

BYTE runNMCmd(BYTE netFn, BYTE cmd, const BYTE* data, int dataLength, BYTE* respBuf, DWORD* respLength) {
    if (respLength != nullptr) *respLength = 0;
    const vkt::BridgedReply r = vkt::bridgedRequest({nmChannel, nmSlaveAddress}, netFn, cmd, data, dataLength);
    switch (r.status) {
        case vkt::BridgeStatus::sendRefused:
            return vkt::nmSendFailed;
        case vkt::BridgeStatus::noAnswer:
            return vkt::nmNoMessage;
        case vkt::BridgeStatus::receiveFailed:
            return vkt::nmGetMessageFailed;
        case vkt::BridgeStatus::answered:
            break;
    }
    if (r.cc != vkt::ccSuccess) return r.cc;
    // The completion code's place first, as the answer stood in the frame.
    const DWORD n = std::min<DWORD>(r.length, vkt::nmResponseSize - 1);
    if (respBuf != nullptr) {
        respBuf[0] = vkt::ccSuccess;
        memcpy(respBuf + 1, r.data.data(), n);
    }
    if (respLength != nullptr) *respLength = n + 1;
    return vkt::ccSuccess;
}

BYTE getDeviceID() { return nmRequest(nmDeviceID, vkt::netFnApp, vkt::cmdGetDeviceId, nullptr, 0); }

void printDeviceID() {
    const vkt::DeviceIdReply d = vkt::DeviceIdReply::decode(vkt::meAnswerData(nmDeviceID, sizeof nmDeviceID));
    VKT_FORMAT(nmfirmwareVersion, "%x.%x.%x.%x%x", d.firmware1 & 0x0F, d.firmware2 >> 4, d.firmware2 & 0x0F,
               d.auxFirmware[1], d.auxFirmware[2] >> 4);
    const BYTE platform = static_cast<BYTE>(d.productId & 0xFF);
    nmPlatform = platform < std::size(platformNames) ? platformNames[platform] : "unknown";
    // A revision nibble of 0 says nothing about the revision: the last text stays.
    const BYTE revision = d.auxFirmware[0] & 0x0F;
    if (revision != 0) nmFirewareImplementedVersion = revision < std::size(nmRevisions) ? nmRevisions[revision] : "";
    const BYTE image = d.auxFirmware[3];
    nmImageFlag = image < std::size(imageFlags) ? imageFlags[image] : "";
}

// ---- Node Manager requests -----------------------------------------------------------------------

BYTE getHostCPUData() { return intelRequest(hostCPUData, sizeof hostCPUData, vkt::nmGetHostCpuData, {0x00}); }

// Three answers (CPU temperatures, then two halves of the memory), each in its own slot.
BYTE getCPUMemTemp() {
    static const BYTE requests[vkt::nmTempAnswers][9] = {
        {0x0F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},
        {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00},
        {0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF},
    };
    for (int k = 0; k < vkt::nmTempAnswers; ++k) {
        BYTE* slot = cpuMemTempData + k * vkt::nmTempAnswerSize;
        const BYTE code = intelRequest(slot, vkt::nmTempAnswerSize, vkt::nmGetCpuMemTemp, requests[k]);
        if (code != vkt::ccSuccess) return code;
    }
    return vkt::ccSuccess;
}

void getTjMax() {
    memset(tjMax, 0, sizeof tjMax);
    const int sockets = std::clamp(cpuSocketCount, 0, vkt::nmMaxSockets);
    for (int s = 0; s < sockets; ++s) {
        const BYTE sensor = static_cast<BYTE>(tjMaxSensorBase + s);
        BYTE resp[vkt::nmResponseSize] = {};
        DWORD length = 0;
        if (runNMCmd(vkt::netFnSensorEvent, vkt::cmdGetSensorReading, &sensor, 1, resp, &length) == vkt::ccSuccess)
            tjMax[s] = vkt::SensorReadingReply::decode(vkt::meAnswerData(resp, length)).raw;
    }
}

BYTE getMaxCPUState() {
    BYTE answer[vkt::nmResponseSize] = {};
    const BYTE code = intelRequest(answer, sizeof answer, vkt::nmGetMaxCpuState, {0x00});
    if (code == vkt::ccSuccess) {
        const vkt::NmCpuStateReply states = vkt::NmCpuStateReply::decode(vkt::meAnswerData(answer, sizeof answer));
        pState[0] = states.pState;
        tState[0] = states.tState;
    }
    return code;
}

BYTE getNumberOfCPUStates() {
    BYTE answer[vkt::nmResponseSize] = {};
    const BYTE code = intelRequest(answer, sizeof answer, vkt::nmGetCpuStateCount, {0x00});
    if (code == vkt::ccSuccess) {
        const vkt::NmCpuStateReply states = vkt::NmCpuStateReply::decode(vkt::meAnswerData(answer, sizeof answer));
        pState[1] = states.pState;
        tState[1] = states.tState;
    }
    return code;
}

BYTE listImagesInfo(BYTE image) {
    const BYTE tail[1] = {image};
    return intelRequest(nmListImagesInfo, sizeof nmListImagesInfo, vkt::nmListImagesInfo, tail);
}

BYTE nmSelfTest() { return nmRequest(nmSelfTestData, vkt::netFnApp, vkt::cmdGetSelfTestResults, nullptr, 0); }

BYTE nmUpdateMode() { return intelRequest(nullptr, 0, vkt::nmForceMode, {0x01}); }

BYTE nmReset2Default() { return intelRequest(nullptr, 0, vkt::nmForceMode, {0x02}); }

BYTE nmReset() {
    BYTE resp[vkt::nmResponseSize] = {};
    DWORD length = 0;
    return runNMCmd(vkt::netFnApp, vkt::cmdColdReset, nullptr, 0, resp, &length);
}

BYTE getSELTime() { return nmRequest(nmSELTime, vkt::netFnStorage, cmdGetSelTime, nullptr, 0); }

BYTE oemGetTemp() { return oemRead(oemTemp, 0x10); }

BYTE oemGetPower() { return oemRead(oemPower, 0x00); }
