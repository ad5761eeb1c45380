// Requests and answers as the simulated BMC sees them, and the backend interface the fake
// OpenIPMI device forwards to.
#ifndef TESTKIT_IPMI_MESSAGE_H
#define TESTKIT_IPMI_MESSAGE_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace testkit {

using Bytes = std::vector<uint8_t>;

struct IpmiRequest {
    uint8_t netFn = 0;
    uint8_t cmd = 0;
    Bytes data;
    uint8_t lun = 0;
    // How the request was addressed: the BMC through the system interface, or another
    // controller over IPMB (channel and slave address).
    bool ipmb = false;
    uint8_t channel = 0;
    uint8_t slaveAddr = 0x20;

    bool is(uint8_t fn, uint8_t c) const { return netFn == fn && cmd == c; }
    std::string toString() const;
};

struct IpmiResponse {
    uint8_t cc = 0;
    Bytes data;
    // When set, `data` is the whole message as the driver hands it over (completion code
    // first), so a test can deliver answers without a completion code or of any length.
    bool raw = false;

    static IpmiResponse ok(Bytes d = {}) { return IpmiResponse{0, std::move(d), false}; }
    static IpmiResponse error(uint8_t code) { return IpmiResponse{code, {}, false}; }
    static IpmiResponse rawBytes(Bytes b) { return IpmiResponse{0, std::move(b), true}; }

    // The message bytes as they travel: completion code, then data.
    Bytes wire() const;
};

// Anything that can answer IPMI requests: the simulated BMC, or a bridge to an external
// simulator. An empty optional means the request is never answered.
class Backend {
public:
    virtual ~Backend() = default;
    virtual std::optional<IpmiResponse> handle(const IpmiRequest& request) = 0;
};

std::string hexBytes(const Bytes& bytes);

}  // namespace testkit

#endif
