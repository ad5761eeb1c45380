// A backend of the fake OpenIPMI device that forwards every request to an external BMC
// simulator over the "VM" serial protocol (the system-interface link that OpenIPMI's
// ipmi_sim offers to virtual machines), on a TCP stream.
//
// Frame layout, both ways: bytes of one message, then a terminator: A0h ends an IPMI
// message, A1h a control command. A0h, A1h and AAh inside a frame travel as AAh followed
// by the byte with bit 4 set. An IPMI request is "seq, netFn<<2 | LUN, cmd, data...,
// checksum"; the answer repeats seq and adds the completion code after cmd. The checksum
// makes all bytes of the message sum to 0 mod 256. The simulator drops bad frames without
// a word, so every request has its own time-out here.
//
// Requests the library addresses to another controller over IPMB are bridged the way the
// kernel driver does it: Send Message to the BMC, then Get Message Flags until a message
// waits, then Get Message, whose answer carries the remote controller's response.
#ifndef TESTKIT_VM_BACKEND_H
#define TESTKIT_VM_BACKEND_H

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "ipmi_message.h"

namespace testkit {

namespace vm {

constexpr uint8_t msgEnd = 0xA0;
constexpr uint8_t cmdEnd = 0xA1;
constexpr uint8_t escape = 0xAA;
constexpr uint8_t escapeBit = 0x10;

// Control commands (the byte before A1h).
constexpr uint8_t ctlNoAttn = 0x00;
constexpr uint8_t ctlAttn = 0x01;
constexpr uint8_t ctlAttnIrq = 0x02;
constexpr uint8_t ctlPowerOff = 0x03;
constexpr uint8_t ctlReset = 0x04;
constexpr uint8_t ctlCapabilities = 0x08;
constexpr uint8_t ctlGracefulShutdown = 0x09;
constexpr uint8_t ctlVersion = 0xFF;

// Two's complement checksum: the byte that makes the sum of `bytes` and itself 0.
uint8_t checksum(const Bytes& bytes, size_t from = 0, size_t to = SIZE_MAX);

// One frame on the wire: `body` escaped, then `terminator`.
Bytes encodeFrame(const Bytes& body, uint8_t terminator);

// "seq, netFn<<2|lun, cmd, data, checksum" as an encoded frame.
Bytes encodeRequest(uint8_t seq, const IpmiRequest& request);

struct Frame {
    Bytes body;             // unescaped bytes before the terminator
    bool control = false;   // ended by A1h
};

// Cuts a byte stream into frames. Empty frames are dropped; a frame longer than
// `maxFrame` is discarded up to its terminator (a runaway peer cannot grow memory).
class FrameDecoder {
public:
    explicit FrameDecoder(size_t maxFrame = 1024) : maxFrame_(maxFrame) {}
    void feed(const uint8_t* bytes, size_t n);
    bool next(Frame* frame);
    size_t discarded() const { return discarded_; }

private:
    size_t maxFrame_;
    Bytes current_;
    bool escaped_ = false;
    bool overflow_ = false;
    std::vector<Frame> ready_;
    size_t discarded_ = 0;
};

// A decoded IPMI answer of a frame: nullopt when the frame is too short, its checksum is
// wrong, or it is not the answer to `seq`, `netFn`, `cmd`.
std::optional<IpmiResponse> decodeResponse(const Bytes& body, uint8_t seq, uint8_t netFn, uint8_t cmd);

}  // namespace vm

class VmBackend : public Backend {
public:
    // Sends and receives on a connection to host:port; nothing happens until connect().
    VmBackend(std::string host, uint16_t port, int timeoutMs = 1500);
    ~VmBackend() override;
    VmBackend(const VmBackend&) = delete;
    VmBackend& operator=(const VmBackend&) = delete;

    // "HOST:PORT" (port 1..65535); false on anything else.
    static bool parseAddress(const std::string& text, std::string* host, uint16_t* port);

    bool connect(std::string* error = nullptr);
    void disconnect();
    bool connected() const;

    // A request of the fake device. The answer of a request the simulator leaves
    // unanswered within the time-out is completion code C3h (time-out), as the kernel
    // driver reports it; the same when the link cannot be (re)established.
    std::optional<IpmiResponse> handle(const IpmiRequest& request) override;

    // One request to the BMC itself, bypassing the IPMB bridge (used by the harness).
    std::optional<IpmiResponse> exchange(uint8_t netFn, uint8_t cmd, const Bytes& data, uint8_t lun = 0);

    // Observations for tests (the log and the control frames are records, kept only while
    // records are on: sim_records.h).
    struct Exchange {
        IpmiRequest request;
        IpmiResponse response;
    };
    // The requests of the fake device in order, with the answers handed back.
    std::vector<Exchange> log() const;
    void clearLog();
    int timeouts() const { return timeouts_; }
    int exchanges() const { return exchanges_; }
    int peerVersion() const { return version_; }   // from the control frame on connect, -1 before
    std::vector<uint8_t> controlCommands() const;  // control frames received, in order
    std::string lastError() const;
    void setTimeoutMs(int ms) { timeoutMs_ = ms > 0 ? ms : 1; }
    // How long the bridge polls Get Message Flags for a bridged answer.
    void setBridgeTimeoutMs(int ms) { bridgeTimeoutMs_ = ms > 0 ? ms : 1; }

private:
    std::optional<IpmiResponse> bridge(const IpmiRequest& request);
    bool sendAll(const Bytes& bytes);
    // Reads until a frame answers seq/netFn/cmd or the deadline passes.
    std::optional<IpmiResponse> await(uint8_t seq, uint8_t netFn, uint8_t cmd, int timeoutMs);
    void noteControl(const vm::Frame& frame);
    bool ensureConnected();

    std::string host_;
    uint16_t port_;
    int timeoutMs_;
    int bridgeTimeoutMs_ = 2000;
    int fd_ = -1;
    uint8_t seq_ = 0;
    uint8_t ipmbSeq_ = 0;
    vm::FrameDecoder decoder_;
    int timeouts_ = 0;
    int exchanges_ = 0;
    int version_ = -1;
    std::vector<uint8_t> control_;
    std::vector<Exchange> log_;
    std::string lastError_;
    mutable std::recursive_mutex mutex_;
};

}  // namespace testkit

#endif
