// Requests to the Management Engine over the KCS ports, with an ME and a BMC message queue
// that misbehave as the input says. Without a device node the library wraps each request
// in an IPMB frame, hands it to the BMC with Send Message over the simulated KCS BMC, and
// polls Get Message Flags and Get Message for the answer. Here the answer may never come,
// come late (after the library gave up, so that a later request meets it), come twice,
// carry another sequence number, come from another controller, channel or command, be cut
// short or garbled, or be preceded by stray messages; the flags may lie, Get Message may
// fail or hand over garbage, Send Message may be refused.
//
// Each input runs one Node Manager routine (or the NM provider), or one to three bare
// bridged requests. After a routine every published text ends inside its field and a
// refusal of the arguments (12) sent nothing that changes the BMC; a bare request that the
// bridge reports answered must have been answered by a message Get Message handed over
// while it waited that is an intact answer to its own frame (from the addressed controller
// on the addressed channel, for its command and netFn, with its sequence number, both
// checksums right), and the answer must be that message's.
//
// Input: a selector byte (the routines below, then the NM provider, then bare requests);
// for bare requests a count byte and for each a target byte (0: the ME; else a channel and
// a slave address follow), netFn, command and a data run (up to 130 bytes, more than a
// frame may carry); then one control byte per message command the library sends (see
// HostileMe), followed by that command's bytes from the input.
#include <algorithm>
#include <array>
#include <cstring>
#include <deque>
#include <vector>

#include "cimhost.h"
#include "fuzz_support.h"
#include "invariants.h"
#include "ipmb_bridge.h"
#include "models/me_model.h"
#include "sim_kcs.h"
#include "sim_ports.h"
#include "varkolt/bmc.h"

namespace {

using testkit::Bytes;
using testkit::IpmiRequest;
using testkit::IpmiResponse;

constexpr const char* target = "kcs_bridge";

constexpr uint8_t netFnApp = 0x06;
constexpr uint8_t cmdClearMessageFlags = 0x30;
constexpr uint8_t cmdGetMessageFlags = 0x31;
constexpr uint8_t cmdGetMessage = 0x33;
constexpr uint8_t cmdSendMessage = 0x34;
constexpr uint8_t bmcAddr = 0x20;
constexpr uint8_t flagReceiveQueue = 0x01;
constexpr uint8_t ccNakOnWrite = 0x83;
constexpr uint8_t ccDataNotAvailable = 0x80;
constexpr uint8_t ccRequestLength = 0xC7;
constexpr size_t maxMessage = 140;        // beyond what a response may carry, on purpose
constexpr int beyondThePolls = 12;        // the library polls ten times
constexpr size_t frameHeader = 7;         // channel, rsSA, netFn, chk1, rqSA, rqSeq, cmd
constexpr size_t maxBareRequest = 130;    // beyond what a frame may carry, on purpose
constexpr int maxStrays = 20;             // more than the library drops for one request

uint8_t zeroChecksum(const uint8_t* b, size_t n) {
    unsigned sum = 0;
    for (size_t i = 0; i < n; ++i) sum += b[i];
    return static_cast<uint8_t>(0x100 - (sum & 0xFF));
}

// A Get Message answer as the BMC hands over an IPMB response to it: channel, netFn/rqLUN,
// header checksum, responder, rqSeq/rsLUN, command, completion code, data, data checksum.
Bytes responseMessage(uint8_t channel, uint8_t netFnLun, uint8_t from, uint8_t seqLun, uint8_t cmd, uint8_t cc,
                      const Bytes& data) {
    Bytes m = {channel, netFnLun, 0x00, from, seqLun, cmd, cc};
    m[2] = static_cast<uint8_t>(0x100 - ((bmcAddr + netFnLun) & 0xFF));
    m.insert(m.end(), data.begin(), data.end());
    m.push_back(zeroChecksum(m.data() + 3, m.size() - 3));
    return m;
}

// True when `m`, as Get Message hands it over, is an intact answer to the Send Message
// frame `f` (channel, rsSA, netFn/rsLUN, chk1, rqSA, rqSeq/rqLUN, cmd, data, chk2).
bool answers(const Bytes& f, const Bytes& m) {
    if (m.size() < 8) return false;
    const uint8_t headerSum = static_cast<uint8_t>(bmcAddr + m[1] + m[2]);
    return (m[0] & 0x0F) == (f[0] & 0x0F) && (m[1] & 0xFC) == static_cast<uint8_t>((f[2] & 0xFC) + 4) &&
           m[3] == f[1] && (m[4] & 0xFC) == (f[5] & 0xFC) && m[5] == f[6] && headerSum == 0 &&
           zeroChecksum(m.data() + 3, m.size() - 3) == 0;
}

// The BMC's message commands in the hands of the input; every other request goes to the
// simulated server, whose ME gives the honest answers. One control byte per message command:
//   Send Message   bits 2-0 the answer's fate: 0 as it is, 1 never, 2 another sequence
//                  number, 3 another channel, netFn, responder or command (or only other
//                  LUN bits, which change nothing), 4 cut, 5 one byte changed, 6 garbage
//                  instead, 7 twice; bits 4-3 the flag polls before it arrives (0, 1, 2
//                  or more than the library makes); bit 5 stray messages first (a count
//                  byte, then for each a late answer to another sequence number, or
//                  garbage); bit 6 refused with a completion code; bit 7 the ME answers
//                  a completion code of the input.
//   Get Message Flags  0-3 as they are; 4 other flags beside the queue's; 5 a completion
//                  code; 6 no data; 7 a flag byte of the input.
//   Get Message    0-3 as it is; 4 a completion code (the message stays); 5 garbage of any
//                  length; 6 the message cut; 7 "no message" although one waits.
//   Clear Message Flags  0-6 as it is; 7 ignored.
class HostileMe : public testkit::Backend {
public:
    HostileMe(fuzz::Stream& in, testkit::SimServer& server) : in_(in), server_(server) {}

    std::optional<IpmiResponse> handle(const IpmiRequest& request) override {
        sent_.push_back(request);
        if (request.is(netFnApp, cmdSendMessage)) return sendMessage(request.data);
        if (request.is(netFnApp, cmdGetMessageFlags)) return messageFlags();
        if (request.is(netFnApp, cmdGetMessage)) return getMessage();
        if (request.is(netFnApp, cmdClearMessageFlags)) {
            if (in_.byte() % 8 != 7 && !request.data.empty() && (request.data[0] & flagReceiveQueue) != 0)
                queue_.clear();
            return IpmiResponse::ok();
        }
        return server_.bmc.handle(request);
    }

    const std::vector<IpmiRequest>& sent() const { return sent_; }
    const std::vector<Bytes>& frames() const { return frames_; }
    // What Get Message handed over successfully, in order (the data as the library sees it).
    const std::vector<Bytes>& delivered() const { return delivered_; }

private:
    IpmiResponse sendMessage(const Bytes& f) {
        if (f.size() < frameHeader + 1) return IpmiResponse::error(ccRequestLength);
        const uint8_t c = in_.byte();
        if ((c & 0x40) != 0) return IpmiResponse::error(static_cast<uint8_t>(in_.byte() | 0x80));
        const testkit::MeModel& me = server_.me;
        if ((f[0] & 0x0F) != me.channel || f[1] != me.slaveAddr) return IpmiResponse::error(ccNakOnWrite);
        frames_.push_back(f);
        const uint8_t seq = static_cast<uint8_t>(f[5] >> 2);

        IpmiRequest inner;
        inner.netFn = static_cast<uint8_t>(f[2] >> 2);
        inner.cmd = f[6];
        inner.data.assign(f.begin() + frameHeader, f.end() - 1);
        inner.ipmb = true;
        inner.channel = f[0] & 0x0F;
        inner.slaveAddr = f[1];
        std::optional<IpmiResponse> answer = server_.me.answer(inner);
        uint8_t cc = 0;
        Bytes data;
        if (answer) {
            const Bytes wire = answer->wire();
            cc = wire.empty() ? 0xFF : wire[0];
            if (!wire.empty()) data.assign(wire.begin() + 1, wire.end());
        }
        if ((c & 0x80) != 0) {
            answer = IpmiResponse::ok();
            cc = in_.byte();
            data.clear();
        }
        const int polls = std::array<int, 4>{0, 1, 2, beyondThePolls}[(c >> 3) & 3];
        for (int strays = (c & 0x20) != 0 ? in_.byte() % maxStrays + 1 : 0; strays > 0; --strays) {
            if ((in_.byte() & 1) != 0)
                arrive(0, in_.run(maxMessage));
            else
                arrive(0, responseMessage(f[0], static_cast<uint8_t>(f[2] + 4), f[1],
                                          static_cast<uint8_t>(((seq + 1 + in_.byte() % 63) % 64) << 2), f[6], 0x00,
                                          in_.run(maxMessage)));
        }
        if (!answer) return IpmiResponse::ok();  // the ME keeps silent

        const uint8_t responseNetFn = static_cast<uint8_t>(f[2] + 4);  // netFn + 1, same LUN
        Bytes m = responseMessage(f[0], responseNetFn, f[1], f[5], f[6], cc, data);
        switch (c & 7) {
            case 1:
                return IpmiResponse::ok();
            case 2: {
                const uint8_t other = static_cast<uint8_t>((seq + 1 + in_.byte() % 63) % 64);
                m = responseMessage(f[0], responseNetFn, f[1], static_cast<uint8_t>(other << 2 | (f[5] & 3)), f[6], cc,
                                    data);
                break;
            }
            case 3:
                m = elsewhere(f, cc, data);
                break;
            case 4:
                m.resize(in_.byte() % m.size());
                break;
            case 5:
                m[in_.byte() % m.size()] = in_.byte();
                break;
            case 6:
                m = in_.run(maxMessage);
                break;
            case 7:
                arrive(polls, m);
                break;
            default:
                break;
        }
        arrive(polls, m);
        return IpmiResponse::ok();
    }

    // The answer, whole and well formed, but from another channel, for another netFn, from
    // another controller or for another command; or with LUN bits that matter to no one.
    Bytes elsewhere(const Bytes& f, uint8_t cc, const Bytes& data) {
        uint8_t channel = f[0], netFn = static_cast<uint8_t>(f[2] + 4), from = f[1], seq = f[5], cmd = f[6];
        const uint8_t change = static_cast<uint8_t>(in_.byte() % 15 + 1);
        switch (in_.byte() % 5) {
            case 0:
                channel = static_cast<uint8_t>((channel & 0xF0) | ((channel + change) & 0x0F));
                break;
            case 1:
                netFn = static_cast<uint8_t>(netFn + (change << 2));
                break;
            case 2:
                from = static_cast<uint8_t>(from + change);
                break;
            case 3:
                cmd = static_cast<uint8_t>(cmd + change);
                break;
            default:
                netFn = static_cast<uint8_t>((netFn & 0xFC) | (change & 3));
                seq = static_cast<uint8_t>((seq & 0xFC) | (change >> 2 & 3));
                break;
        }
        return responseMessage(channel, netFn, from, seq, cmd, cc, data);
    }

    void arrive(int polls, Bytes m) { pending_.push_back({polls, std::move(m)}); }

    IpmiResponse messageFlags() {
        for (auto it = pending_.begin(); it != pending_.end();) {
            if (it->polls-- <= 0) {
                queue_.push_back(std::move(it->message));
                it = pending_.erase(it);
            } else {
                ++it;
            }
        }
        const uint8_t flags = queue_.empty() ? 0x00 : flagReceiveQueue;
        switch (in_.byte() % 8) {
            case 4:
                return IpmiResponse::ok({static_cast<uint8_t>(flags | (in_.byte() & 0xFE))});
            case 5:
                return IpmiResponse::error(static_cast<uint8_t>(in_.byte() | 0x80));
            case 6:
                return IpmiResponse::ok();
            case 7:
                return IpmiResponse::ok({in_.byte()});
            default:
                return IpmiResponse::ok({flags});
        }
    }

    IpmiResponse getMessage() {
        const uint8_t c = in_.byte() % 8;
        if (c == 4) return IpmiResponse::error(static_cast<uint8_t>(in_.byte() | 0x80));
        if (c == 5) {
            // Completion code and data as they come; a success hands the rest over.
            const Bytes garbage = in_.run(maxMessage);
            if (!garbage.empty() && garbage[0] == 0x00) delivered_.emplace_back(garbage.begin() + 1, garbage.end());
            return IpmiResponse::rawBytes(garbage);
        }
        if (queue_.empty() || c == 7) return IpmiResponse::error(ccDataNotAvailable);
        Bytes m = std::move(queue_.front());
        queue_.pop_front();
        if (c == 6) m.resize(m.empty() ? 0 : in_.byte() % m.size());
        delivered_.push_back(m);
        return IpmiResponse::ok(m);
    }

    struct Pending {
        int polls;
        Bytes message;
    };

    fuzz::Stream& in_;
    testkit::SimServer& server_;
    std::vector<IpmiRequest> sent_;
    std::vector<Bytes> frames_;
    std::vector<Pending> pending_;
    std::deque<Bytes> queue_;
    std::vector<Bytes> delivered_;
};

struct Routine {
    const char* name;
    int (*run)();
};

const Routine routines[] = {
    {"bmc_GetNMSDR", [] { return bmc_GetNMSDR(); }},
    {"bmc_GetDeviceID", [] { return bmc_GetDeviceID(); }},
    {"bmc_GetHostCPUData", [] { return bmc_GetHostCPUData(); }},
    {"bmc_CPUMemTemp", [] { return bmc_CPUMemTemp(); }},
    {"bmc_GetPState", [] { return bmc_GetPState(); }},
    {"bmc_GetTState", [] { return bmc_GetTState(); }},
    {"bmc_ListImagesInfo", [] { return bmc_ListImagesInfo(); }},
    {"bmc_NMSelfTest", [] { return bmc_NMSelfTest(); }},
    {"bmc_NMUpdateMode", [] { return bmc_NMUpdateMode(); }},
    {"bmc_NMReset2Default", [] { return bmc_NMReset2Default(); }},
    {"bmc_NMReset", [] { return bmc_NMReset(); }},
    {"bmc_GetSELTime", [] { return bmc_GetSELTime(); }},
};
constexpr size_t routineCount = sizeof routines / sizeof routines[0];

// True when `reply` is what message `m` says: its completion code and, for success, its data.
bool says(const vkt::BridgedReply& reply, const Bytes& m) {
    constexpr size_t ccAt = 6, dataAt = 7;
    if (m.size() < dataAt + 1 || reply.cc != m[ccAt]) return false;
    if (reply.cc != 0) return true;
    const size_t length = m.size() - dataAt - 1;
    return reply.length == length && std::equal(m.begin() + dataAt, m.end() - 1, reply.data.begin());
}

// One bare request; what the bridge reports must be what the ME said to it.
void bareRequest(fuzz::Stream& in, const HostileMe& me, const testkit::MeModel& model) {
    vkt::IpmbTarget to{model.channel, model.slaveAddr};
    if (in.byte() != 0) {
        to.channel = in.byte();
        to.slaveAddr = in.byte();
    }
    const uint8_t netFn = in.byte();
    const uint8_t cmd = in.byte();
    const Bytes data = in.run(maxBareRequest);
    const size_t framesBefore = me.frames().size();
    const size_t deliveredBefore = me.delivered().size();
    const vkt::BridgedReply reply =
        vkt::bridgedRequest(to, netFn, cmd, data.empty() ? nullptr : data.data(), static_cast<int>(data.size()));

    const bool fits = data.size() <= static_cast<size_t>(vkt::bridgeMaxRequestData);
    if (!fits) {
        fuzz::check(reply.status == vkt::BridgeStatus::answered && reply.cc == ccRequestLength &&
                        me.frames().size() == framesBefore,
                    target, "a request too long for a frame was not refused before sending");
        return;
    }
    fuzz::check(reply.length <= reply.data.size(), target, "the answer's length exceeds its buffer");
    if (reply.status != vkt::BridgeStatus::answered) return;
    fuzz::check(me.frames().size() == framesBefore + 1, target, "an answer without a frame sent for it");
    const Bytes& frame = me.frames().back();
    bool taken = false;
    for (size_t i = deliveredBefore; i < me.delivered().size(); ++i) {
        const Bytes& m = me.delivered()[i];
        if (answers(frame, m) && says(reply, m)) taken = true;
    }
    fuzz::check(taken, target, "the bridge took a message that is not an answer to its request");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::setUpProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Stream in(data, size);
    const size_t choice = in.byte() % (routineCount + 2);
    const int bareRequests = choice == routineCount + 1 ? in.byte() % 3 + 1 : 0;

    fuzz::attachBackend(nullptr);  // no device node: the KCS ports it is
    // A BMC whose repository holds only the ME's record: the search for it is short, and
    // the exchanges go to the bridge.
    auto server = std::make_unique<testkit::SimServer>();
    server->sdr.add(testkit::meRecord(server->me.slaveAddr, server->me.channel));
    HostileMe me(in, *server);
    testkit::SimKcsBmc kcs(&me);
    kcs.keepLog(false);
    testkit::attachPortSpace(&kcs);
    if (choice < routineCount) {
        fuzz::checkRoutine(target, routines[choice].name, routines[choice].run(), me.sent());
    } else if (bareRequests == 0) {
        cimhost::Host::inProcess()->enumerate("NMProvider");
        fuzz::checkTexts(target);
    } else {
        for (int i = 0; i < bareRequests; ++i) bareRequest(in, me, server->me);
    }
    testkit::attachPortSpace(nullptr);
    return 0;
}
