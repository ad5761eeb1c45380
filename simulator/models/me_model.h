// The Intel Management Engine behind the simulated BMC: a controller with Node Manager on
// one of the BMC's IPMB channels (slave 2Ch on channel 6 unless told otherwise). Reached
// the two ways a real one is:
//   - over the device, by requests addressed to it over IPMB (SimBmc::onIpmb);
//   - over the BMC's message commands: Send Message with an IPMB frame, the answer
//     waiting in the BMC's receive message queue for Get Message Flags / Get Message,
//     Clear Message Flags emptying the queue.
// The repository finds it through its discovery record (meRecord, in the SDR model).
#ifndef TESTKIT_ME_MODEL_H
#define TESTKIT_ME_MODEL_H

#include <deque>
#include <map>
#include <optional>
#include <vector>

#include "sim_bmc.h"

namespace testkit {

// The ME's discovery record: an Intel OEM record, Node Manager subtype, with its slave
// address and channel.
Bytes meRecord(uint8_t slaveAddr = 0x2C, uint8_t channel = 0x06);

struct MeModel {
    uint8_t slaveAddr = 0x2C;
    uint8_t channel = 0x06;
    bool present = true;  // false: nothing at the address (Send Message is NAKed, 83h)
    bool silent = false;  // takes every request, answers none

    // Get Device ID data: firmware 4.01, platform 5 (Grantley), NM revision 3, patch 05,
    // build 1x, operational image 1.
    Bytes deviceId = {0x50, 0x01, 0x04, 0x01, 0x02, 0x21, 0x57, 0x01, 0x00, 0x05, 0x0B, 0x03, 0x05, 0x10, 0x01};
    Bytes selfTest = {0x55, 0x00};
    uint32_t selTime = 0x65F81234;
    uint8_t cpuSockets = 2;                     // byte 6 of the host CPU data
    // Get Sensor Reading by sensor number: the two sockets' maximum junction temperatures.
    std::map<uint8_t, uint8_t> sensorReadings = {{0x30, 0x5F}, {0x31, 0x5D}};
    uint8_t maxPState = 0, maxTState = 0, pStates = 14, tStates = 8;
    std::vector<Bytes> images = {{0x00, 0x04, 0x01, 0x05, 0x10, 0x00},
                                 {0x01, 0x04, 0x01, 0x05, 0x10, 0x01},
                                 {0x02, 0x04, 0x00, 0x02, 0x07, 0x00}};
    int coldResets = 0, updateModeRequests = 0, defaultResets = 0;

    // The ME answers netFn/cmd (key netFn << 8 | cmd) with this completion code.
    std::map<uint16_t, uint8_t> failures;
    void fail(uint8_t netFn, uint8_t cmd, uint8_t cc) { failures[static_cast<uint16_t>(netFn << 8 | cmd)] = cc; }
    // Every request the ME received, either way, in order (records, see sim_records.h).
    std::vector<IpmiRequest> received;

    // ---- the BMC's message path --------------------------------------------------------
    // Get Message answers waiting in the receive queue, oldest first.
    std::deque<Bytes> queue;
    // Every Send Message request's data as sent (a record).
    std::vector<Bytes> frames;
    std::optional<uint8_t> sendMessageCc;    // Send Message refused with this code
    uint8_t otherFlags = 0x00;               // reported with the queue flag (02h: event buffer full)
    int answerAfterPolls = 0;                // an answer reaches the queue after this many flag polls
    std::optional<size_t> getMessageLength;  // Get Message answers cut to this many bytes
    int corruptAnswers = 0;                  // the next N answers carry a wrong data checksum
    int clearRequests = 0;
    uint8_t lastClearMask = 0;

    // A Get Message answer as the BMC hands it over: channel, then the IPMB response from
    // `from` to the BMC for netFn/cmd with sequence number `seq`.
    Bytes responseMessage(uint8_t netFn, uint8_t cmd, uint8_t seq, uint8_t cc, const Bytes& data,
                          std::optional<uint8_t> from = std::nullopt) const;

    // The ME's own answer to a request that reached it (nullopt: no answer).
    std::optional<IpmiResponse> answer(const IpmiRequest& request);
    void install(SimBmc& bmc);

private:
    struct Pending {
        int polls;
        Bytes message;
    };
    std::vector<Pending> pending_;
    std::optional<IpmiResponse> nodeManager(const IpmiRequest& request);
    IpmiResponse sendMessage(const IpmiRequest& request);
    IpmiResponse messageFlags();
    IpmiResponse getMessage();
};

}  // namespace testkit

#endif
