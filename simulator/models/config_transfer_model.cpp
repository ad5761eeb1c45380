#include "config_transfer_model.h"

#include <algorithm>

namespace testkit {

namespace {

constexpr uint8_t netFnOem = 0x30;
constexpr uint8_t cmdTransfer = 0xA0;

constexpr uint8_t stepProbe = 0x0C, stepReserve = 0x01, stepStart = 0x02, stepPiece = 0x03, stepApply = 0x04;
constexpr uint8_t stepPrepare = 0x05, stepStatus = 0x06, stepRead = 0x07, stepDone = 0x08;

constexpr uint8_t ready = 0x00, notReady = 0x01;
constexpr size_t maxPiece = 32;

constexpr uint8_t ccReservationCancelled = 0xC5;
constexpr uint8_t ccRequestLength = 0xC7;
constexpr uint8_t ccOutOfRange = 0xC9;
constexpr uint8_t ccInvalidField = 0xCC;
constexpr uint8_t ccNotInPresentState = 0xD5;

uint16_t get16(const Bytes& d, size_t at) { return static_cast<uint16_t>(d[at] | d[at + 1] << 8); }
uint32_t get32(const Bytes& d, size_t at) {
    return static_cast<uint32_t>(d[at]) | static_cast<uint32_t>(d[at + 1]) << 8 |
           static_cast<uint32_t>(d[at + 2]) << 16 | static_cast<uint32_t>(d[at + 3]) << 24;
}
Bytes id16(uint16_t v) { return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)}; }

}  // namespace

std::optional<IpmiResponse> ConfigTransferModel::uploadStep(uint8_t step, const Bytes& d) {
    if (step == stepReserve) {
        reservation_ = ++issued_;
        uploadSize_.reset();
        return IpmiResponse::ok(id16(reservation_));
    }
    if (d.size() < 3) return IpmiResponse::error(ccRequestLength);
    if (reservation_ == 0 || get16(d, 1) != reservation_) return IpmiResponse::error(ccReservationCancelled);
    if (step == stepStart) {
        if (d.size() != 7) return IpmiResponse::error(ccRequestLength);
        uploadSize_ = get32(d, 3);
        upload_.assign(*uploadSize_, 0x00);
        received_.assign(*uploadSize_, false);
        return IpmiResponse::ok();
    }
    if (!uploadSize_) return IpmiResponse::error(ccNotInPresentState);
    if (step == stepPiece) {
        if (d.size() < 7 || d.size() > 7 + maxPiece) return IpmiResponse::error(ccRequestLength);
        const uint64_t offset = get32(d, 3);
        const size_t n = d.size() - 7;
        if (offset + n > upload_.size()) return IpmiResponse::error(ccOutOfRange);
        std::copy(d.begin() + 7, d.end(), upload_.begin() + static_cast<long>(offset));
        std::fill(received_.begin() + static_cast<long>(offset), received_.begin() + static_cast<long>(offset + n), true);
        return IpmiResponse::ok();
    }
    // Apply: only a file that arrived whole.
    if (d.size() != 4) return IpmiResponse::error(ccRequestLength);
    if (std::find(received_.begin(), received_.end(), false) != received_.end())
        return IpmiResponse::error(ccNotInPresentState);
    files[d[3]] = upload_;
    ++applied;
    reservation_ = 0;
    uploadSize_.reset();
    if (onApply) onApply();
    return IpmiResponse::ok();
}

std::optional<IpmiResponse> ConfigTransferModel::downloadStep(uint8_t step, const Bytes& d) {
    if (step == stepPrepare) {
        if (d.size() != 2) return IpmiResponse::error(ccRequestLength);
        auto it = files.find(d[1]);
        if (it == files.end()) return IpmiResponse::error(ccInvalidField);
        download_ = it->second;
        handle_ = ++issued_;
        pollsLeft_ = notReadyPolls;
        return IpmiResponse::ok(id16(handle_));
    }
    if (d.size() < 3) return IpmiResponse::error(ccRequestLength);
    if (handle_ == 0 || get16(d, 1) != handle_) return IpmiResponse::error(ccInvalidField);
    if (step == stepStatus) {
        ++statusPolls;
        if (neverReady || pollsLeft_-- > 0) return IpmiResponse::ok({notReady});
        const uint32_t size = reportedSize ? *reportedSize : static_cast<uint32_t>(download_.size());
        return IpmiResponse::ok({ready, static_cast<uint8_t>(size), static_cast<uint8_t>(size >> 8),
                                 static_cast<uint8_t>(size >> 16), static_cast<uint8_t>(size >> 24)});
    }
    if (step == stepRead) {
        if (d.size() != 9) return IpmiResponse::error(ccRequestLength);
        const uint64_t offset = get32(d, 3);
        size_t count = get16(d, 7);
        if (count > maxPiece || offset + count > download_.size()) return IpmiResponse::error(ccOutOfRange);
        if (shortPieceAt && *shortPieceAt == offset) count -= std::min(count, shortPieceMissing);
        return IpmiResponse::ok(Bytes(download_.begin() + static_cast<long>(offset),
                                      download_.begin() + static_cast<long>(offset + count)));
    }
    handle_ = 0;  // done
    ++downloadsDone;
    return IpmiResponse::ok();
}

std::optional<IpmiResponse> ConfigTransferModel::step(const IpmiRequest& r) {
    if (r.data.empty()) return IpmiResponse::error(ccRequestLength);
    const uint8_t s = r.data[0];
    if (s == stepProbe) return probeCc ? IpmiResponse::error(*probeCc) : IpmiResponse::ok();
    if (s == stepReserve || s == stepStart || s == stepPiece || s == stepApply) return uploadStep(s, r.data);
    if (s == stepPrepare || s == stepStatus || s == stepRead || s == stepDone) return downloadStep(s, r.data);
    return IpmiResponse::error(ccInvalidField);
}

void ConfigTransferModel::install(SimBmc& bmc) {
    bmc.on(netFnOem, cmdTransfer, [this](const IpmiRequest& r) { return step(r); });
}

}  // namespace testkit
