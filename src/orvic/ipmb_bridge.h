// Bridged requests: one IPMI request that the BMC carries to another controller on one of
// its IPMB channels (the Management Engine) and whose answer it carries back.
//
// Over the OpenIPMI device the kernel driver does the bridging: the request is addressed
// to the controller over IPMB. Over the KCS ports the library does it itself: it wraps the
// request in an IPMB frame, hands it to the BMC with Send Message, polls Get Message Flags
// until the BMC's receive queue holds a message and takes the answer with Get Message.
// Callers see one call and never touch the IPMB addressing globals or the frame layout.
#ifndef VKT_IPMB_BRIDGE_H
#define VKT_IPMB_BRIDGE_H

#include <array>
#include <cstddef>

#include "ipmi_defs.h"
#include "vkt_types.h"

// The IPMB request frame of Send Message.
struct ipmb_data_fields {
    BYTE channel;      // channel to send on (low four bits used)
    BYTE rsSA;         // responder slave address
    BYTE netFn;        // network function << 2 (responder LUN 0)
    BYTE chk1;         // header checksum
    BYTE rqSA;         // requester slave address: the BMC's own
    BYTE rqSeq;        // sequence number << 2 (requester LUN 0)
    BYTE cmd;          // command
    const BYTE* data;  // request data (null when there is none)
    WORD dataLength;   // number of request data bytes
    BYTE chk2;         // data checksum
};

// The IPMB checksum (two's complement of the byte sum): mode 1 gives the header checksum
// over rsSA and netFn, any other mode the checksum over rqSA, rqSeq, cmd and the data.
BYTE checkSum(int mode, const ipmb_data_fields* idf);

// The BMC's message commands; each returns the BMC's completion code. `respBuf` has room
// for 125 bytes.
BYTE sendMessage(const ipmb_data_fields* idf);
BYTE getMessageFlag(BYTE* respBuf, DWORD* respLength);
BYTE getMessage(BYTE* respBuf, DWORD* respLength);
// Empties the BMC's receive message queue; the result does not matter to anyone.
BYTE clearMessage();

namespace vkt {

constexpr BYTE cmdClearMessageFlags = 0x30;
constexpr BYTE cmdGetMessageFlags = 0x31;
constexpr BYTE cmdGetMessage = 0x33;
constexpr BYTE cmdSendMessage = 0x34;

// Get Message Flags: bit 0 says the receive message queue holds a message.
constexpr BYTE messageFlagReceiveQueue = 0x01;

// Waiting for an answer over the ports: ten polls of the message flags, one second apart.
constexpr int bridgePolls = 10;
constexpr int bridgePollIntervalMs = 1000;
// Messages in the receive queue that are not the awaited answer (late answers to earlier
// requests, messages for someone else) are taken out and dropped, at most this many per
// request, so a queue that never runs dry cannot hold the caller.
constexpr int bridgeForeignMessageLimit = 16;

// Request data that fits one Send Message next to the frame's seven header bytes and its
// data checksum.
constexpr int bridgeMaxRequestData = ipmiMaxRequestData - 8;

struct IpmbTarget {
    BYTE channel;    // IPMB channel number (low four bits)
    BYTE slaveAddr;  // the controller's slave address
};

enum class BridgeStatus : BYTE {
    answered,       // `cc` (and `data` when it is 0) is the answer; on the device this may be
                    // the driver's own completion code for a controller that never answered
    sendRefused,    // the BMC refused Send Message; `cc` is its completion code
    noAnswer,       // no answer arrived within the polls
    receiveFailed,  // Get Message failed (`cc`) or returned less than a whole message
};

struct BridgedReply {
    BridgeStatus status = BridgeStatus::noAnswer;
    BYTE cc = ccUnspecified;
    DWORD length = 0;  // answer data bytes, only when answered with completion code 0
    std::array<BYTE, ipmiMaxResponseData> data{};

    bool ok() const { return status == BridgeStatus::answered && cc == ccSuccess; }
    // Answer data byte i, or 00h when the controller did not send it.
    BYTE at(size_t i) const { return i < length && i < data.size() ? data[i] : 0; }
};

// Sends netFn/cmd with `dataLength` data bytes to the controller at `target` and returns
// its answer. Chooses the way by the channel that carries commands to the BMC: the device
// once it has carried one, otherwise the ports. The IPMB addressing of the device is put
// back as it was, whatever happens.
BridgedReply bridgedRequest(IpmbTarget target, BYTE netFn, BYTE cmd, const BYTE* data, int dataLength);

}  // namespace vkt

#endif
