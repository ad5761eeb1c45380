#include "lan_model.h"

#include <algorithm>

namespace testkit {

namespace {
constexpr uint8_t netFnTransport = 0x0C;
constexpr uint8_t netFnOem = 0x30;
constexpr uint8_t cmdSetLanConfig = 0x01;
constexpr uint8_t cmdGetLanConfig = 0x02;
constexpr uint8_t oemMacList = 0x9F;

constexpr uint8_t ccParamNotSupported = 0x80;
constexpr uint8_t ccRequestLength = 0xC7;
constexpr uint8_t ccInvalidField = 0xCC;

constexpr uint8_t parameterRevision = 0x11;
constexpr uint8_t revisionOnly = 0x80;  // Get request byte 0 bit 7
constexpr uint8_t currentChannel = 0x0E;

template <size_t N>
void assign(std::array<uint8_t, N>& target, const Bytes& value) {
    std::copy_n(value.begin(), N, target.begin());
}
}  // namespace

Bytes LanModel::parameterValue(uint8_t selector) const {
    switch (selector) {
        case paramIp: return Bytes(ip.begin(), ip.end());
        case paramSource: return {addressSource};
        case paramMac: return Bytes(mac.begin(), mac.end());
        case paramMask: return Bytes(subnetMask.begin(), subnetMask.end());
        case paramGateway: return Bytes(gateway.begin(), gateway.end());
        case paramArp: return gratuitousArpSupported ? Bytes{arpControl} : Bytes{};
        case paramVlan:
            return {static_cast<uint8_t>(vlanId & 0xFF),
                    static_cast<uint8_t>((vlanId >> 8 & 0x0F) | (vlanEnabled ? 0x80 : 0x00))};
        default: return {};
    }
}

uint8_t LanModel::setParameter(uint8_t selector, const Bytes& value) {
    Bytes current = parameterValue(selector);
    if (current.empty()) return ccParamNotSupported;
    if (value.size() != current.size()) return ccRequestLength;
    switch (selector) {
        case paramIp: assign(ip, value); break;
        case paramMac: assign(mac, value); break;
        case paramMask: assign(subnetMask, value); break;
        case paramGateway: assign(gateway, value); break;
        case paramSource:
            if (value[0] > 0x04) return ccInvalidField;
            addressSource = value[0];
            break;
        case paramArp:
            if (value[0] > 0x03) return ccInvalidField;
            arpControl = value[0];
            break;
        case paramVlan:
            if ((value[1] & 0x70) != 0) return ccInvalidField;  // reserved bits
            vlanId = static_cast<uint16_t>((value[1] & 0x0F) << 8 | value[0]);
            vlanEnabled = (value[1] & 0x80) != 0;
            break;
        default: return ccParamNotSupported;
    }
    ++sets;
    return 0;
}

Bytes LanModel::macListData() const {
    if (macListAnswer) return *macListAnswer;
    Bytes d = {static_cast<uint8_t>(hostMacList.size())};
    for (const Mac& m : hostMacList) d.insert(d.end(), m.begin(), m.end());
    return d;
}

void LanModel::install(SimBmc& bmc) {
    auto channelOk = [this](uint8_t b) {
        uint8_t ch = b & 0x0F;
        return ch == channel || ch == currentChannel;
    };
    bmc.on(netFnTransport, cmdGetLanConfig, [this, channelOk](const IpmiRequest& r) {
        if (r.data.size() != 4) return IpmiResponse::error(ccRequestLength);
        if (!channelOk(r.data[0])) return IpmiResponse::error(ccInvalidField);
        uint8_t selector = r.data[1];
        auto fail = getFailures.find(selector);
        if (fail != getFailures.end()) return IpmiResponse::error(fail->second);
        Bytes value = parameterValue(selector);
        if (value.empty()) return IpmiResponse::error(ccParamNotSupported);
        Bytes answer = {parameterRevision};
        if ((r.data[0] & revisionOnly) == 0) answer.insert(answer.end(), value.begin(), value.end());
        return IpmiResponse::ok(answer);
    });
    bmc.on(netFnTransport, cmdSetLanConfig, [this, channelOk](const IpmiRequest& r) {
        if (r.data.size() < 3) return IpmiResponse::error(ccRequestLength);
        if (!channelOk(r.data[0])) return IpmiResponse::error(ccInvalidField);
        uint8_t selector = r.data[1];
        auto fail = setFailures.find(selector);
        if (fail != setFailures.end()) return IpmiResponse::error(fail->second);
        uint8_t cc = setParameter(selector, Bytes(r.data.begin() + 2, r.data.end()));
        return cc == 0 ? IpmiResponse::ok() : IpmiResponse::error(cc);
    });
    bmc.on(netFnOem, oemMacList, [this](const IpmiRequest&) { return IpmiResponse::ok(macListData()); });
}

}  // namespace testkit
