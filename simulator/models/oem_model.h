// The rack server's OEM (netFn 30h) commands for the identify LED, chassis intrusion, the
// fan mode, system information and two readings, the factory defaults and the SDR and FRU
// version tags, and its firmware build time (netFn 3Eh).
#ifndef TESTKIT_OEM_MODEL_H
#define TESTKIT_OEM_MODEL_H

#include <functional>
#include <string>
#include <vector>

#include "sim_bmc.h"

namespace testkit {

struct OemModel {
    bool ledOn = false;
    uint8_t fanMode = 0;             // 0..5
    uint8_t supportedFanModes = 0x3F;  // bit k: mode k
    bool intrusionLatched = false;
    int intrusionClears = 0;

    // OEM 21h (system information): board ID (bytes 0-1), byte 2, NIC layout (byte 3: low
    // three bits 2 = two host NICs whose second MAC is the first plus one) and the first
    // host MAC address (bytes 4-9).
    uint8_t boardId[2] = {0x09, 0x3A};
    uint8_t systemInfoByte2 = 0x00;
    uint8_t nicLayout = 0x02;
    uint8_t hostMac[6] = {0x3C, 0xEC, 0xEF, 0x10, 0x20, 0x30};
    Bytes systemInfoAnswer() const;

    // Factory defaults received, in order (40h general, 41h all, 42h LAN; a record, see
    // sim_records.h). The BMC restarts after each: `onFactoryDefault` is called (SimServer
    // makes the BMC go away).
    std::vector<uint8_t> factoryDefaults;
    std::function<void()> onFactoryDefault;

    // Version tags (major, minor) of command 70h, selectors 0Dh (SDR) and 0Eh (FRU).
    uint8_t sdrVersionTag[2] = {0x01, 0x00};
    uint8_t fruVersionTag[2] = {0x01, 0x00};

    // OEM 3Eh/09h: firmware identity with the build time text at bytes 20-29.
    std::string firmwareName = "VKT-BMC";
    std::string buildTime = "2024-03-18";
    Bytes buildTimeAnswer() const;
    // OEM E2h readings: {10h, 00h, 00h} temperature, {00h, 00h, 00h} power level.
    Bytes temperatureReading = {0x24, 0x00, 0x00};
    Bytes powerReading = {0x8C, 0x01, 0x00};

    void install(SimBmc& bmc);
};

}  // namespace testkit

#endif
