#include "kcs_recorder.h"

#include <cstdio>

#include "clock.h"
#include "sim_kcs.h"

namespace testkit {

namespace {

constexpr uint8_t stateMask = 0xC0;
constexpr uint8_t stateIdle = 0x00;
constexpr uint8_t stateRead = 0x40;

constexpr uint8_t codeGetStatusAbort = 0x60;
constexpr uint8_t codeWriteStart = 0x61;
constexpr uint8_t codeWriteEnd = 0x62;

// netFn/LUN and cmd come before the completion code in both directions.
constexpr size_t messageHeader = 2;
constexpr uint8_t systemInterfaceChannel = 0x0F;
// The first byte of a message: netFn in bits 7-2, LUN in bits 1-0.
constexpr int netFnShift = 2;
constexpr uint8_t lunMask = 0x03;

}  // namespace

KcsRecorder::KcsRecorder(PortSpace& lower, recording::Writer& writer)
    : lower_(lower),
      writer_(writer),
      interfaces_{Interface{kcsPrimaryData, kcsPrimaryStatus}, Interface{kcsSecondaryData, kcsSecondaryStatus}} {}

KcsRecorder::Interface* KcsRecorder::interfaceOf(uint16_t port) {
    for (Interface& k : interfaces_)
        if (port == k.data || port == k.status) return &k;
    return nullptr;
}

uint8_t KcsRecorder::in(uint16_t port) {
    const uint8_t value = lower_.in(port);
    Interface* k = interfaceOf(port);
    if (k == nullptr) return value;
    if (port == k->status) {
        k->lastStatus = value;
        if (k->phase == Phase::read && (value & stateMask) == stateIdle) commit(*k, true);
    } else if (k->phase == Phase::read && (k->lastStatus & stateMask) == stateRead &&
               k->response.size() < recording::maxFieldBytes + messageHeader) {
        k->response.push_back(value);
    }
    return value;
}

void KcsRecorder::out(uint16_t port, uint8_t value) {
    Interface* k = interfaceOf(port);
    if (k != nullptr && port == k->status) {
        command(*k, value);
    } else if (k != nullptr && k->phase == Phase::write) {
        // READ acknowledgements of the read phase need no recording.
        if (k->request.size() < recording::maxFieldBytes + messageHeader) k->request.push_back(value);
        if (k->lastByteNext) k->phase = Phase::read;
    }
    lower_.out(port, value);
}

void KcsRecorder::command(Interface& k, uint8_t code) {
    switch (code) {
        case codeWriteStart:
            if (k.phase == Phase::read) commit(k, false);
            k.phase = Phase::write;
            k.lastByteNext = false;
            k.request.clear();
            k.response.clear();
            k.startUs = nowUs();
            break;
        case codeWriteEnd:
            if (k.phase == Phase::write) k.lastByteNext = true;
            break;
        case codeGetStatusAbort:
            // The host gives the exchange up; what follows is the interface's error report.
            if (k.phase == Phase::read) commit(k, false);
            k.phase = Phase::idle;
            break;
        default:
            break;
    }
}

void KcsRecorder::commit(Interface& k, bool answered) {
    k.phase = Phase::idle;
    if (k.request.size() < messageHeader) return;  // not an IPMI message
    if (!k.announced) {
        k.announced = true;
        char text[64];
        snprintf(text, sizeof text, "KCS interface at %Xh/%Xh", k.data, k.status);
        writer_.comment(text);
    }
    recording::Exchange e;
    e.request.netFn = static_cast<uint8_t>(k.request[0] >> netFnShift);
    e.request.lun = static_cast<uint8_t>(k.request[0] & lunMask);
    e.request.cmd = k.request[1];
    e.request.data.assign(k.request.begin() + messageHeader, k.request.end());
    e.request.channel = systemInterfaceChannel;
    if (answered)
        e.answer = k.response.size() > messageHeader ? Bytes(k.response.begin() + messageHeader, k.response.end()) : Bytes{};
    e.ms = static_cast<double>(nowUs() - k.startUs) / 1000.0;
    writer_.append(std::move(e));
    k.request.clear();
    k.response.clear();
}

void KcsRecorder::finish() {
    for (Interface& k : interfaces_)
        if (k.phase == Phase::read) commit(k, false);
}

}  // namespace testkit
