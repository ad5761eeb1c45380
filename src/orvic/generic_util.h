// BMC-wide commands: the action routines, the firmware family test and the pause helper.
#ifndef VKT_GENERIC_UTIL_H
#define VKT_GENERIC_UTIL_H

#include "vkt_sleep.h"
#include "vkt_types.h"

// Action routines; each returns the completion code.
BYTE coldReset();
BYTE setIdentifyLed(bool on);
BYTE clearChassisIntrusion();
BYTE setFanSpeedMode(BYTE mode);

// Fan mode queries. `respBuf` needs room for 125 bytes; it is cleared before the request.
// Byte 0 of the answer is the current mode code / the mask of supported modes (bit k = mode k).
BYTE getFanSpeedMode(BYTE* respBuf, DWORD* respLength = nullptr);
BYTE getFanSpeedModeCapabilityCommand(BYTE* respBuf, DWORD* respLength);

// Firmware family codes.
constexpr BYTE familyUnknown = 121;
constexpr BYTE familyIpmi20 = 2;

extern BYTE version;  // family code of the last getIPMIVersion call

BYTE getSystemGUIDCommand(BYTE* respBuf, DWORD* respLength);
BYTE isOSAGUID(BYTE* guid);
BYTE isPepperconGUID(BYTE* guid);
BYTE isAMIGUID(BYTE* guid);
BYTE isATENGUID(BYTE* guid);
BYTE getIPMIVersion();
BYTE getIPMIDeviceId(BYTE* respBuf, DWORD* respLength);
BYTE getIPMIRMCPPlus(BYTE* respBuf, DWORD* respLength);
BYTE getIPMIRMCP(BYTE* respBuf, DWORD* respLength);

// True when the BMC's firmware belongs to the family whose sensors report 0 for "no
// reading": Get System GUID succeeded and carries one of that family's signatures.
bool isAtenFamily();

#endif
