// Named IPMI constants used across the library.
#ifndef VKT_IPMI_DEFS_H
#define VKT_IPMI_DEFS_H

#include "vkt_types.h"

namespace vkt {

// Network functions (requests).
constexpr BYTE netFnChassis = 0x00;
constexpr BYTE netFnSensorEvent = 0x04;
constexpr BYTE netFnApp = 0x06;
constexpr BYTE netFnStorage = 0x0A;
constexpr BYTE netFnTransport = 0x0C;
constexpr BYTE netFnPicmg = 0x2C;
constexpr BYTE netFnIntelNm = 0x2E;
constexpr BYTE netFnOem = 0x30;
constexpr BYTE netFnOem3E = 0x3E;

// Application commands.
constexpr BYTE cmdGetDeviceId = 0x01;
constexpr BYTE cmdColdReset = 0x02;
constexpr BYTE cmdGetSelfTestResults = 0x04;
constexpr BYTE cmdGetSystemGuid = 0x37;
constexpr BYTE cmdGetChannelAuthCaps = 0x38;

// Sensor/event commands.
constexpr BYTE cmdGetSensorReading = 0x2D;

// PICMG (AdvancedTCA) commands probed when the device is opened.
constexpr BYTE cmdGetPicmgProperties = 0x00;
constexpr BYTE cmdGetAddressInfo = 0x01;

// OEM commands of the rack server's BMC.
constexpr BYTE oemClearIntrusion = 0x03;
constexpr BYTE oemSystemInfo = 0x21;  // board ID, NIC layout and the first host MAC
constexpr BYTE oemLedState = 0x0C;
constexpr BYTE oemLedOn = 0x0D;
constexpr BYTE oemLedOff = 0x0E;
constexpr BYTE oemFanMode = 0x45;

// Completion codes.
constexpr BYTE ccSuccess = 0x00;
constexpr BYTE ccParamNotSupported = 0x80;
constexpr BYTE ccNodeBusy = 0xC0;
constexpr BYTE ccTimeout = 0xC3;
constexpr BYTE ccReservationCancelled = 0xC5;
constexpr BYTE ccRequestLengthInvalid = 0xC7;
constexpr BYTE ccParameterOutOfRange = 0xC9;  // also for a request refused before it was sent
constexpr BYTE ccInvalidCommand = 0xC1;
constexpr BYTE ccUnspecified = 0xFF;

// The BMC's own slave address on IPMB; every caller of runIpmiCmd passes it.
constexpr BYTE bmcSlaveAddr = 0x20;

// Sizes of the system-interface images: netFn/LUN, command, then at most 126 request
// data bytes; netFn/LUN, command, completion code, then at most 125 response data bytes.
constexpr int ipmiImageSize = 128;
constexpr int ipmiMaxRequestData = 126;
constexpr int ipmiMaxResponseData = 125;

}  // namespace vkt

#endif
