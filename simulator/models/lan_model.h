// The simulated BMC's LAN configuration parameters (Get/Set LAN Configuration Parameters
// on channel 1) and the OEM list of host MAC addresses. The OEM system information
// command that carries the first host MAC lives in OemModel.
#ifndef TESTKIT_LAN_MODEL_H
#define TESTKIT_LAN_MODEL_H

#include <array>
#include <map>
#include <optional>
#include <vector>

#include "sim_bmc.h"

namespace testkit {

struct LanModel {
    using Ip = std::array<uint8_t, 4>;
    using Mac = std::array<uint8_t, 6>;

    // Parameter selectors the model serves.
    static constexpr uint8_t paramIp = 0x03;
    static constexpr uint8_t paramSource = 0x04;
    static constexpr uint8_t paramMac = 0x05;
    static constexpr uint8_t paramMask = 0x06;
    static constexpr uint8_t paramArp = 0x0A;
    static constexpr uint8_t paramGateway = 0x0C;
    static constexpr uint8_t paramVlan = 0x14;

    uint8_t channel = 0x01;
    Ip ip = {0, 0, 0, 0};
    Ip subnetMask = {0, 0, 0, 0};
    Ip gateway = {0, 0, 0, 0};
    Mac mac = {0, 0, 0, 0, 0, 0};
    uint8_t addressSource = 0x01;  // 00h unspecified, 01h static, 02h DHCP, 03h BIOS, 04h other
    bool gratuitousArpSupported = true;
    uint8_t arpControl = 0x00;
    uint16_t vlanId = 0;  // 12 bits
    bool vlanEnabled = false;

    // Per-parameter completion codes for every Get or Set of that selector.
    std::map<uint8_t, uint8_t> getFailures;
    std::map<uint8_t, uint8_t> setFailures;
    int sets = 0;  // accepted Set LAN Configuration Parameters requests

    // OEM 9Fh: the host MAC addresses after the first; `macListAnswer` replaces the whole
    // answer (e.g. a count larger than the addresses that follow).
    std::vector<Mac> hostMacList;
    std::optional<Bytes> macListAnswer;

    Bytes parameterValue(uint8_t selector) const;  // empty: not supported
    Bytes macListData() const;
    void install(SimBmc& bmc);

private:
    uint8_t setParameter(uint8_t selector, const Bytes& value);
};

}  // namespace testkit

#endif
