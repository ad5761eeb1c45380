#include "me_model.h"

#include "fru_model.h"
#include "sdr_model.h"
#include "sim_records.h"

namespace testkit {

namespace {

constexpr uint8_t netFnSensorEvent = 0x04;
constexpr uint8_t netFnApp = 0x06;
constexpr uint8_t netFnStorage = 0x0A;
constexpr uint8_t netFnIntelNm = 0x2E;

constexpr uint8_t ccNakOnWrite = 0x83;
constexpr uint8_t ccDataNotAvailable = 0x80;
constexpr uint8_t ccInvalidCommand = 0xC1;
constexpr uint8_t ccRequestLength = 0xC7;
constexpr uint8_t ccNotPresent = 0xCB;
constexpr uint8_t ccInvalidField = 0xCC;

constexpr uint8_t bmcAddr = 0x20;
constexpr uint8_t flagReceiveQueue = 0x01;
const Bytes intel = {0x57, 0x01, 0x00};

Bytes withIntel(const Bytes& tail) {
    Bytes out = intel;
    out.insert(out.end(), tail.begin(), tail.end());
    return out;
}

}  // namespace

Bytes meRecord(uint8_t slaveAddr, uint8_t channel) {
    return oemRecord(0x000157, {0x0D, 0x01, slaveAddr, channel, 0x00, 0x00});
}

Bytes MeModel::responseMessage(uint8_t netFn, uint8_t cmd, uint8_t seq, uint8_t cc, const Bytes& data,
                               std::optional<uint8_t> from) const {
    Bytes m = {channel, static_cast<uint8_t>((netFn + 1) << 2), 0x00, from ? *from : slaveAddr,
               static_cast<uint8_t>(seq << 2), cmd, cc};
    m[2] = static_cast<uint8_t>(0x100 - ((bmcAddr + m[1]) & 0xFF));
    m.insert(m.end(), data.begin(), data.end());
    m.push_back(fru::zeroChecksum(m.data() + 3, m.size() - 3));
    return m;
}

std::optional<IpmiResponse> MeModel::nodeManager(const IpmiRequest& r) {
    if (r.data.size() < 3 || Bytes(r.data.begin(), r.data.begin() + 3) != intel) return IpmiResponse::error(ccInvalidField);
    const uint8_t arg = r.data.size() > 3 ? r.data[3] : 0;
    switch (r.cmd) {
        case 0xEA: {  // host CPU data
            Bytes d(21, 0x00);
            d[3] = cpuSockets;
            d[0] = 0x01;  // CPU info format
            return IpmiResponse::ok(withIntel(d));
        }
        case 0x4B: {  // CPU and memory temperatures: CPUs for a CPU mask, else DIMMs
            Bytes d(20);
            for (size_t i = 0; i < d.size(); ++i) d[i] = static_cast<uint8_t>((arg != 0 ? 0x40 : 0x20) + i);
            return IpmiResponse::ok(withIntel(d));
        }
        case 0xD3:
            return IpmiResponse::ok(withIntel({maxPState, maxTState}));
        case 0xD4:
            return IpmiResponse::ok(withIntel({pStates, tStates}));
        case 0xA8:
            if (arg >= images.size()) return IpmiResponse::error(ccInvalidField);
            return IpmiResponse::ok(withIntel(images[arg]));
        case 0xDF:
            if (arg == 0x01) ++updateModeRequests;
            else if (arg == 0x02) ++defaultResets;
            else return IpmiResponse::error(ccInvalidField);
            return IpmiResponse::ok(intel);
        default:
            return IpmiResponse::error(ccInvalidCommand);
    }
}

std::optional<IpmiResponse> MeModel::answer(const IpmiRequest& r) {
    noteRecord(received, r);
    if (silent) return std::nullopt;
    auto f = failures.find(static_cast<uint16_t>(r.netFn << 8 | r.cmd));
    if (f != failures.end()) return IpmiResponse::error(f->second);
    if (r.netFn == netFnIntelNm) return nodeManager(r);
    if (r.is(netFnApp, 0x01)) return IpmiResponse::ok(deviceId);
    if (r.is(netFnApp, 0x02)) {
        ++coldResets;
        return IpmiResponse::ok();
    }
    if (r.is(netFnApp, 0x04)) return IpmiResponse::ok(selfTest);
    if (r.is(netFnStorage, 0x48))
        return IpmiResponse::ok({static_cast<uint8_t>(selTime), static_cast<uint8_t>(selTime >> 8),
                                 static_cast<uint8_t>(selTime >> 16), static_cast<uint8_t>(selTime >> 24)});
    if (r.is(netFnSensorEvent, 0x2D)) {
        if (r.data.size() != 1) return IpmiResponse::error(ccRequestLength);
        auto s = sensorReadings.find(r.data[0]);
        if (s == sensorReadings.end()) return IpmiResponse::error(ccNotPresent);
        return IpmiResponse::ok({s->second, 0xC0, 0x00, 0x00});
    }
    return IpmiResponse::error(ccInvalidCommand);
}

// Send Message: the BMC puts the frame on IPMB; the ME's answer, when there is one, lands in
// the receive queue after the configured number of flag polls.
IpmiResponse MeModel::sendMessage(const IpmiRequest& request) {
    const Bytes& f = request.data;
    if (f.size() < 8) return IpmiResponse::error(ccRequestLength);
    noteRecord(frames, f);
    if (sendMessageCc) return IpmiResponse::error(*sendMessageCc);
    const uint8_t ch = f[0] & 0x0F;
    if (!present || ch != channel || f[1] != slaveAddr) return IpmiResponse::error(ccNakOnWrite);
    // A frame with a wrong checksum is dropped by the ME without a word.
    if (static_cast<uint8_t>(f[1] + f[2] + f[3]) != 0 || fru::zeroChecksum(f.data() + 4, f.size() - 4) != 0)
        return IpmiResponse::ok();

    IpmiRequest r;
    r.netFn = static_cast<uint8_t>(f[2] >> 2);
    r.cmd = f[6];
    r.data.assign(f.begin() + 7, f.end() - 1);
    r.ipmb = true;
    r.channel = ch;
    r.slaveAddr = f[1];
    std::optional<IpmiResponse> a = answer(r);
    if (!a) return IpmiResponse::ok();
    Bytes wire = a->wire();
    const uint8_t cc = wire.empty() ? 0xFF : wire[0];
    Bytes m = responseMessage(r.netFn, r.cmd, static_cast<uint8_t>(f[5] >> 2), cc,
                              Bytes(wire.begin() + (wire.empty() ? 0 : 1), wire.end()));
    if (corruptAnswers > 0) {
        --corruptAnswers;
        m.back() = static_cast<uint8_t>(m.back() + 1);
    }
    pending_.push_back(Pending{answerAfterPolls, m});
    return IpmiResponse::ok();
}

IpmiResponse MeModel::messageFlags() {
    for (auto it = pending_.begin(); it != pending_.end();) {
        if (it->polls-- <= 0) {
            queue.push_back(it->message);
            it = pending_.erase(it);
        } else {
            ++it;
        }
    }
    return IpmiResponse::ok({static_cast<uint8_t>((queue.empty() ? 0 : flagReceiveQueue) | otherFlags)});
}

IpmiResponse MeModel::getMessage() {
    if (queue.empty()) return IpmiResponse::error(ccDataNotAvailable);
    Bytes m = queue.front();
    queue.pop_front();
    if (getMessageLength && m.size() > *getMessageLength) m.resize(*getMessageLength);
    return IpmiResponse::ok(m);
}

void MeModel::install(SimBmc& bmc) {
    bmc.onIpmb(slaveAddr, [this](const IpmiRequest& r) -> std::optional<IpmiResponse> {
        if (!present || r.channel != channel) return std::nullopt;
        return answer(r);
    });
    bmc.on(netFnApp, 0x34, [this](const IpmiRequest& r) { return sendMessage(r); });
    bmc.on(netFnApp, 0x31, [this](const IpmiRequest&) { return messageFlags(); });
    bmc.on(netFnApp, 0x33, [this](const IpmiRequest&) { return getMessage(); });
    bmc.on(netFnApp, 0x30, [this](const IpmiRequest& r) {
        if (r.data.size() != 1) return IpmiResponse::error(ccRequestLength);
        ++clearRequests;
        lastClearMask = r.data[0];
        if ((r.data[0] & flagReceiveQueue) != 0) queue.clear();
        return IpmiResponse::ok();
    });
}

}  // namespace testkit
