// The steps of the BMC's configuration file transfer: one OEM command whose first request
// byte names the step. Offsets, sizes and counts travel least significant byte first.
#include <cstring>

#include "bounded.h"
#include "dmifru_util.h"
#include "ipmi_defs.h"
#include "ipmi_replies.h"
#include "smipmi.h"

namespace {

enum class Step : BYTE {
    startUpload = 0x02,
    uploadPiece = 0x03,
    applyFile = 0x04,
    prepareDownload = 0x05,
    downloadStatus = 0x06,
    downloadPiece = 0x07,
    downloadDone = 0x08,
    uploadReservation = 0x01,
    featureStatus = 0x0C,
};

constexpr size_t idBytes = 2;

// The longest request: step, identifier, offset, one piece.
constexpr size_t maxRequest = 1 + idBytes + 4 + vkt::transferPieceSize;

// Builds a request step by step; the fixed buffer is large enough for every step.
class Request {
public:
    explicit Request(Step step) { put(static_cast<BYTE>(step)); }
    Request& put(BYTE b) {
        if (length_ < sizeof bytes_) bytes_[length_++] = b;
        return *this;
    }
    Request& put(const BYTE* p, size_t n) {
        for (size_t i = 0; i < n && p != nullptr; ++i) put(p[i]);
        return *this;
    }
    Request& put32(DWORD v) {
        BYTE b[4];
        longTo4Bytes(v, b);
        return put(b, sizeof b);
    }
    vkt::IpmiReply send() const {
        return vkt::ipmiRequest(vkt::netFnOem, vkt::oemFileTransfer, bytes_, static_cast<int>(length_));
    }

private:
    BYTE bytes_[maxRequest] = {};
    size_t length_ = 0;
};

BYTE takeIdentifier(const vkt::IpmiReply& reply, BYTE* id) {
    if (reply.ok() && id != nullptr) {
        const vkt::ReservationReply identifier = vkt::ReservationReply::decode(reply.view());
        id[0] = identifier.id[0];
        id[1] = identifier.id[1];
    }
    return reply.cc;
}

}  // namespace

void longTo4Bytes(DWORD v, BYTE* out) {
    for (int i = 0; i < 4; ++i) out[i] = static_cast<BYTE>(v >> (8 * i));
}

void longTo2Bytes(DWORD v, BYTE* out) {
    out[0] = static_cast<BYTE>(v);
    out[1] = static_cast<BYTE>(v >> 8);
}

BYTE getBIOSNVUpdateStatus() { return Request(Step::featureStatus).send().cc; }

BYTE getUploadResvID(BYTE* reservation) {
    return takeIdentifier(Request(Step::uploadReservation).send(), reservation);
}

BYTE startFileUpload(const BYTE* reservation, DWORD size) {
    return Request(Step::startUpload).put(reservation, idBytes).put32(size).send().cc;
}

BYTE fileUpload(const BYTE* reservation, DWORD offset, const BYTE* data, BYTE count) {
    const size_t n = count < vkt::transferPieceSize ? count : vkt::transferPieceSize;
    return Request(Step::uploadPiece).put(reservation, idBytes).put32(offset).put(data, n).send().cc;
}

BYTE applyFile(const BYTE* reservation, BYTE fileType) {
    return Request(Step::applyFile).put(reservation, idBytes).put(fileType).send().cc;
}

BYTE prepareFileDownload(BYTE fileType, BYTE* handle) {
    return takeIdentifier(Request(Step::prepareDownload).put(fileType).send(), handle);
}

BYTE prepareFileDownloadDone(const BYTE* handle, bool* ready, DWORD* size, bool* sizeKnown) {
    vkt::IpmiReply reply = Request(Step::downloadStatus).put(handle, idBytes).send();
    const vkt::DownloadStatusReply status = vkt::DownloadStatusReply::decode(reply.view());
    if (ready != nullptr) *ready = reply.ok() && status.ready;
    if (size != nullptr) *size = status.size;
    if (sizeKnown != nullptr) *sizeKnown = reply.ok() && status.sizeKnown;
    return reply.cc;
}

BYTE fileDownload(const BYTE* handle, DWORD offset, BYTE count, BYTE* data, DWORD* received) {
    BYTE n[2];
    longTo2Bytes(count, n);
    vkt::IpmiReply reply = Request(Step::downloadPiece).put(handle, idBytes).put32(offset).put(n, sizeof n).send();
    const DWORD got = reply.ok() ? reply.length : 0;
    if (data != nullptr) {
        const DWORD copied = got < count ? got : count;
        memcpy(data, reply.data.data(), copied);
    }
    if (received != nullptr) *received = got;
    return reply.cc;
}

BYTE fileDownloadDone(const BYTE* handle) { return Request(Step::downloadDone).put(handle, idBytes).send().cc; }
