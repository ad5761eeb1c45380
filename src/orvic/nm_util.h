// Node Manager and BMC firmware identity: the Management Engine located through the SDR
// repository, requests bridged to it, its identity texts, its maintenance and telemetry
// requests, and the BMC's own board, build time and firmware version.
#ifndef VKT_NM_UTIL_H
#define VKT_NM_UTIL_H

#include <cstddef>

#include "byte_view.h"
#include "vkt_types.h"

namespace vkt {

// Results of detectNM and runNMCmd besides completion codes.
constexpr BYTE nmRepositoryInfoFailed = 16;
constexpr BYTE nmReserveFailed = 17;
constexpr BYTE nmRecordNotFound = 48;
constexpr BYTE nmSendFailed = 49;
constexpr BYTE nmNoMessage = 50;
constexpr BYTE nmGetMessageFailed = 51;

// The Management Engine's discovery record: an OEM record of Intel's (manufacturer ID
// 000157h) with the Node Manager subtype.
constexpr BYTE sdrTypeOem = 0xC0;
constexpr BYTE nmRecordSubtype = 0x0D;
constexpr BYTE intelId[3] = {0x57, 0x01, 0x00};

// Node Manager (Intel OEM) network function commands.
constexpr BYTE nmGetCpuMemTemp = 0x4B;
constexpr BYTE nmListImagesInfo = 0xA8;
constexpr BYTE nmGetMaxCpuState = 0xD3;
constexpr BYTE nmGetCpuStateCount = 0xD4;
constexpr BYTE nmForceMode = 0xDF;
constexpr BYTE nmGetHostCpuData = 0xEA;

// runNMCmd answers: the ME's completion code at index 0, then its data.
constexpr int nmResponseSize = 1 + 125;
// The data of such an answer (or of a buffer that keeps one).
ByteView meAnswerData(const BYTE* answer, size_t length);

// Where hostCPUData keeps the CPU socket count (completion code at 0); vkt::NmHostCpuDataReply
// reads it from there.
constexpr int nmSocketCountAt = 7;

// CPU sockets whose maximum junction temperature is kept.
constexpr int nmMaxSockets = 8;
// Each temperature answer keeps a slot of this size in cpuMemTempData.
constexpr int nmTempAnswerSize = 24;
constexpr int nmTempAnswers = 3;

}  // namespace vkt

// ---- the Management Engine ------------------------------------------------------------------

extern BYTE nmSlaveAddress;
extern BYTE nmChannel;
// Get Device ID of the ME: completion code, then the response data.
extern BYTE nmDeviceID[16];
extern char nmfirmwareVersion[30];
extern const char* nmPlatform;
extern const char* nmFirewareImplementedVersion;
extern const char* nmImageFlag;

// 0 when the ME's record was found (nmSlaveAddress and nmChannel hold it), 16 when Get SDR
// Repository Info failed, 17 when Reserve SDR Repository failed, the completion code of a
// failed Get SDR, or 48 when the repository holds no such record.
BYTE detectNM();

// Sends one request to the ME found by detectNM. 0 with the ME's completion code (0) at
// respBuf[0] and its data behind it, *respLength counting both; 49 Send Message failed,
// 50 no answer arrived, 51 Get Message failed; otherwise the ME's completion code.
// `respBuf` holds nmResponseSize bytes.
BYTE runNMCmd(BYTE netFn, BYTE cmd, const BYTE* data, int dataLength, BYTE* respBuf, DWORD* respLength);

BYTE getDeviceID();
void printDeviceID();

// ---- Node Manager maintenance and telemetry ---------------------------------------------------

extern BYTE hostCPUData[25];
extern int cpuSocketCount;
extern BYTE tjMax[vkt::nmMaxSockets];
extern BYTE cpuMemTempData[vkt::nmTempAnswers * vkt::nmTempAnswerSize];
extern BYTE pState[2];
extern BYTE tState[2];
extern BYTE nmListImagesInfo[10];
extern BYTE nmSelfTestData[3];
extern BYTE nmSELTime[16];
extern BYTE oemTemp[3];
extern BYTE oemPower[3];

// Each returns runNMCmd's result (the OEM readings runIpmiCmd's completion code) and keeps
// the answer in its buffer, cut to the buffer and zero beyond what arrived.
BYTE getHostCPUData();
BYTE getCPUMemTemp();
void getTjMax();  // one reading per socket of cpuSocketCount; 0 for a socket not read
BYTE getMaxCPUState();
BYTE getNumberOfCPUStates();
BYTE listImagesInfo(BYTE image);
BYTE nmSelfTest();
BYTE nmUpdateMode();
BYTE nmReset2Default();
BYTE nmReset();
BYTE getSELTime();
BYTE oemGetTemp();
BYTE oemGetPower();

// ---- the BMC's identity ------------------------------------------------------------------------

extern BYTE productID[2];
extern const char* boardID;
extern char firmwareBuildTime[20];
extern char firmwareVersion[20];

// Each returns the completion code of its command.
BYTE getProductIDCommand();
BYTE getBoardModel();
BYTE getFirmwareBuildTimeCommand();
BYTE getFirmwareBuildTime();
BYTE getFirmwareVersion();

#endif
