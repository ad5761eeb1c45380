#include "ipmb_bridge.h"

#include <cstring>

#include "bounded.h"
#include "smipmi.h"
#include "transport_state.h"
#include "vkt_sleep.h"

namespace {

constexpr int checksumHeader = 1;
constexpr int checksumData = 2;

constexpr BYTE channelMask = 0x0F;
constexpr int sequenceModulo = 64;  // six bits above the requester LUN

// Get Message answer of an IPMB response: channel, netFn/rqLUN, header checksum, rsSA,
// rqSeq/rsLUN, cmd, completion code, data, data checksum.
constexpr size_t msgChannel = 0;
constexpr size_t msgNetFn = 1;
constexpr size_t msgHeaderChecksum = 2;
constexpr size_t msgResponder = 3;
constexpr size_t msgSequence = 4;
constexpr size_t msgCommand = 5;
constexpr size_t msgCompletionCode = 6;
constexpr size_t msgData = 7;
constexpr size_t msgMinimum = 8;  // everything above with no data

// A netFn or sequence byte without its two LUN bits.
BYTE withoutLun(BYTE b) { return static_cast<BYTE>(b & 0xFC); }

// Addresses the device's requests to `target` over IPMB for the life of this object.
class IpmbAddressing {
public:
    explicit IpmbAddressing(vkt::IpmbTarget target)
        : address_(ipmb_target_addr), bridging_(ipmb_switch), channel_(ipmi_open_intf.target_channel) {
        ipmb_switch = 1;
        ipmb_target_addr = target.slaveAddr;
        ipmi_open_intf.target_channel = static_cast<uint8_t>(target.channel & channelMask);
    }
    ~IpmbAddressing() {
        ipmb_target_addr = address_;
        ipmb_switch = bridging_;
        ipmi_open_intf.target_channel = channel_;
    }
    IpmbAddressing(const IpmbAddressing&) = delete;
    IpmbAddressing& operator=(const IpmbAddressing&) = delete;

private:
    BYTE address_;
    BYTE bridging_;
    uint8_t channel_;
};

vkt::BridgedReply answered(BYTE cc) {
    vkt::BridgedReply reply;
    reply.status = vkt::BridgeStatus::answered;
    reply.cc = cc;
    return reply;
}

vkt::BridgedReply failed(vkt::BridgeStatus status, BYTE cc) {
    vkt::BridgedReply reply;
    reply.status = status;
    reply.cc = cc;
    return reply;
}

vkt::BridgedReply viaDevice(vkt::IpmbTarget target, BYTE netFn, BYTE cmd, const BYTE* data, int dataLength) {
    vkt::IpmiReply r;
    {
        IpmbAddressing addressing(target);
        r = vkt::ipmiRequest(netFn, cmd, data, dataLength);
    }
    vkt::BridgedReply reply = answered(r.cc);
    if (r.ok()) {
        reply.length = r.length;
        reply.data = r.data;
    }
    return reply;
}

bool messageWaiting() {
    BYTE flags[vkt::ipmiMaxResponseData] = {};
    DWORD length = 0;
    // Only "a message is waiting" and nothing else: a BMC that also reports other flags
    // is asked again.
    return getMessageFlag(flags, &length) == vkt::ccSuccess && length > 0 &&
           flags[0] == vkt::messageFlagReceiveQueue;
}

// True when `m` is an intact answer to the request `idf`: from the addressed controller on
// the addressed channel, for this command and network function, with this sequence number.
bool isAnswerTo(const ipmb_data_fields& idf, vkt::ByteView m) {
    if (m.size() < msgMinimum) return false;
    const BYTE responseNetFn = static_cast<BYTE>(idf.netFn + (1 << 2));  // the request's netFn + 1
    if ((m[msgChannel] & channelMask) != (idf.channel & channelMask)) return false;
    if (withoutLun(m[msgNetFn]) != responseNetFn) return false;
    if (m[msgResponder] != idf.rsSA || m[msgCommand] != idf.cmd) return false;
    if (withoutLun(m[msgSequence]) != withoutLun(idf.rqSeq)) return false;
    // The header checksum also covers our own address, which Get Message leaves out.
    if (static_cast<BYTE>(idf.rqSA + m[msgNetFn] + m[msgHeaderChecksum]) != 0) return false;
    return vkt::byteSum(m.data + msgResponder, m.size() - msgResponder) == 0;
}

vkt::BridgedReply unpack(vkt::ByteView m) {
    vkt::BridgedReply reply = answered(m[msgCompletionCode]);
    if (reply.cc == vkt::ccSuccess) {
        reply.length = static_cast<DWORD>(m.size() - msgMinimum);
        m.copyTo(reply.data.data(), msgData, reply.length);
    }
    return reply;
}

// Polls for the answer to `idf`, dropping whatever else the receive queue holds.
vkt::BridgedReply awaitAnswer(const ipmb_data_fields& idf) {
    int polls = 0;
    int dropped = 0;
    for (;;) {
        if (messageWaiting()) {
            BYTE message[vkt::ipmiMaxResponseData] = {};
            DWORD length = 0;
            const BYTE cc = getMessage(message, &length);
            if (cc != vkt::ccSuccess) return failed(vkt::BridgeStatus::receiveFailed, cc);
            if (length < msgMinimum) return failed(vkt::BridgeStatus::receiveFailed, cc);
            const vkt::ByteView m(message, length);
            if (isAnswerTo(idf, m)) {
                clearMessage();
                return unpack(m);
            }
            if (++dropped < vkt::bridgeForeignMessageLimit) continue;
            return failed(vkt::BridgeStatus::noAnswer, vkt::ccSuccess);
        }
        vkt_sleep(vkt::bridgePollIntervalMs);
        if (++polls == vkt::bridgePolls) return failed(vkt::BridgeStatus::noAnswer, vkt::ccSuccess);
    }
}

vkt::BridgedReply viaMessages(vkt::IpmbTarget target, BYTE netFn, BYTE cmd, const BYTE* data, int dataLength) {
    if (dataLength < 0 || dataLength > vkt::bridgeMaxRequestData || (dataLength > 0 && data == nullptr))
        return answered(vkt::ccRequestLengthInvalid);
    ipmb_data_fields idf{};
    idf.channel = target.channel;
    idf.rsSA = target.slaveAddr;
    idf.netFn = static_cast<BYTE>((netFn & 0x3F) << 2);
    idf.rqSA = vkt::bmcSlaveAddr;
    // Answers carry the sequence number back, so a late answer to an earlier request is
    // never taken for the answer to a later one.
    BYTE& nextSequence = vkt::transport().bridgeSequence;
    idf.rqSeq = static_cast<BYTE>(nextSequence << 2);
    idf.cmd = cmd;
    idf.data = dataLength > 0 ? data : nullptr;
    idf.dataLength = static_cast<WORD>(dataLength);
    idf.chk1 = checkSum(checksumHeader, &idf);
    idf.chk2 = checkSum(checksumData, &idf);
    nextSequence = static_cast<BYTE>((nextSequence + 1) % sequenceModulo);

    const BYTE cc = sendMessage(&idf);
    if (cc != vkt::ccSuccess) return failed(vkt::BridgeStatus::sendRefused, cc);
    return awaitAnswer(idf);
}

}  // namespace

BYTE checkSum(int mode, const ipmb_data_fields* idf) {
    if (idf == nullptr) return 0;
    if (mode == checksumHeader) return vkt::zeroChecksum(idf->rsSA + idf->netFn);
    unsigned sum = idf->rqSA + idf->rqSeq + idf->cmd;
    if (idf->data != nullptr) sum += vkt::byteSum(idf->data, idf->dataLength);
    return vkt::zeroChecksum(sum);
}

BYTE sendMessage(const ipmb_data_fields* idf) {
    if (idf == nullptr || idf->dataLength > vkt::bridgeMaxRequestData || (idf->dataLength > 0 && idf->data == nullptr))
        return vkt::ccRequestLengthInvalid;
    BYTE request[vkt::ipmiMaxRequestData] = {static_cast<BYTE>(idf->channel & channelMask),
                                             idf->rsSA,
                                             idf->netFn,
                                             idf->chk1,
                                             idf->rqSA,
                                             idf->rqSeq,
                                             idf->cmd};
    size_t n = 7;
    if (idf->dataLength > 0) {
        memcpy(request + n, idf->data, idf->dataLength);
        n += idf->dataLength;
    }
    request[n++] = idf->chk2;
    return vkt::ipmiRequest(vkt::netFnApp, vkt::cmdSendMessage, request, static_cast<int>(n)).cc;
}

BYTE getMessageFlag(BYTE* respBuf, DWORD* respLength) {
    return runIpmiCmd(vkt::bmcSlaveAddr, vkt::netFnApp, vkt::cmdGetMessageFlags, nullptr, 0, respBuf, respLength);
}

BYTE getMessage(BYTE* respBuf, DWORD* respLength) {
    return runIpmiCmd(vkt::bmcSlaveAddr, vkt::netFnApp, vkt::cmdGetMessage, nullptr, 0, respBuf, respLength);
}

BYTE clearMessage() {
    BYTE mask = vkt::messageFlagReceiveQueue;
    BYTE resp[vkt::ipmiMaxResponseData] = {};
    DWORD length = 0;
    return runIpmiCmd(vkt::bmcSlaveAddr, vkt::netFnApp, vkt::cmdClearMessageFlags, &mask, 1, resp, &length);
}

namespace vkt {

BridgedReply bridgedRequest(IpmbTarget target, BYTE netFn, BYTE cmd, const BYTE* data, int dataLength) {
    if (open_ipmi_drv != 0) return viaDevice(target, netFn, cmd, data, dataLength);
    return viaMessages(target, netFn, cmd, data, dataLength);
}

}  // namespace vkt
