// The SDR repository reader.
//
// The table is a plain array of fixed slots so the sensor evaluation and the SEL labels can
// address records by position. A walk overwrites it in place; the BMC is never trusted for
// sizes: the record count is cut to the table, every piece is copied by the length that
// was asked for, and a byte the BMC did not send reads as 00h.
#include "sdr_util.h"

#include <algorithm>
#include <cstring>

#include "ipmi_defs.h"
#include "ipmi_replies.h"
#include "smipmi.h"

BYTE sdrRepositry[14];
int sdrRecordCount = 0;
BYTE sdrReserveID[2];
BYTE sdrRecords[sdrSlotCount][sdrSlotSize];
int isSDRLoadedFlag = 0;

namespace {

BYTE slotByte(BYTE index, int offset) {
    return offset < 0 ? 0 : vkt::sdrSlot(index)[static_cast<size_t>(offset)];
}

// A refused piece is asked for again a bounded number of times; when the refusal says
// the reservation was lost (someone else reserved the repository meanwhile), a new
// reservation is taken first, as partial reads are only valid under a current one.
vkt::IpmiReply readChunk(WORD recordId, BYTE offset, BYTE count) {
    vkt::IpmiReply reply = vkt::readSdr(recordId, offset, count);
    for (int retry = 0; !reply.ok() && retry < vkt::sdrChunkRetries; ++retry) {
        if (reply.cc == vkt::ccReservationCancelled) getReserveSDRID();
        reply = vkt::readSdr(recordId, offset, count);
    }
    return reply;
}

// Copies `count` bytes of a Get SDR answer to slot position `at`, never past the slot.
void copyRecordBytes(BYTE* slot, int at, const vkt::IpmiReply& reply, int count) {
    const int n = std::min(count, sdrSlotSize - at);
    if (n > 0) vkt::RecordReply::decode(reply.view()).record.copyTo(slot + at, 0, static_cast<size_t>(n));
}

// Reads the rest of a sensor record whose first piece is already in `slot`.
BYTE readRecordBody(BYTE* slot, WORD recordId, BYTE recordLength) {
    // 8-bit on purpose: a length byte above 250 wraps, which also keeps every piece
    // inside the 256-byte slot.
    BYTE remaining = static_cast<BYTE>(recordLength + 5);
    for (int k = 1; remaining > vkt::sdrChunkSize; ++k) {
        const int count = std::min(remaining - vkt::sdrChunkSize, vkt::sdrChunkSize);
        const int offset = vkt::sdrChunkSize * k;
        vkt::IpmiReply reply = readChunk(recordId, static_cast<BYTE>(offset), static_cast<BYTE>(count));
        if (!reply.ok()) return reply.cc;
        copyRecordBytes(slot, offset, reply, count);
        remaining = static_cast<BYTE>(remaining - vkt::sdrChunkSize);
    }
    return vkt::ccSuccess;
}

}  // namespace

namespace vkt {
IpmiReply readSdr(WORD recordId, BYTE offset, BYTE count) {
    const BYTE request[6] = {sdrReserveID[0],
                             sdrReserveID[1],
                             static_cast<BYTE>(recordId & 0xFF),
                             static_cast<BYTE>(recordId >> 8),
                             offset,
                             count};
    return ipmiRequest(netFnStorage, cmdGetSdr, request);
}

ByteView sdrSlot(int index) {
    if (index < 0 || index >= sdrSlotCount) return ByteView();
    return ByteView(sdrRecords[index]);
}
}  // namespace vkt

int sdrUsedSlotCount() { return std::clamp(sdrRecordCount, 0, sdrSlotCount); }

BYTE getSDRRepositoryInfo() {
    vkt::IpmiReply reply = vkt::ipmiRequest(vkt::netFnStorage, vkt::cmdGetSdrRepositoryInfo);
    if (!reply.ok()) return reply.cc;
    reply.view().copyTo(sdrRepositry, 0, sizeof sdrRepositry);
    sdrRecordCount = vkt::SdrRepositoryInfoReply::decode(reply.view()).recordCount;
    return reply.cc;
}

BYTE getReserveSDRID() {
    vkt::IpmiReply reply = vkt::ipmiRequest(vkt::netFnStorage, vkt::cmdReserveSdrRepository);
    if (!reply.ok()) return reply.cc;
    const vkt::ReservationReply reservation = vkt::ReservationReply::decode(reply.view());
    sdrReserveID[0] = reservation.id[0];
    sdrReserveID[1] = reservation.id[1];
    return reply.cc;
}

// The walk follows the next-record IDs from the first record and is bounded by the
// record count (and by the table). A BMC whose count runs ahead of its records reports
// FFFFh (no next record) early; asking for FFFFh would fetch its last record again and
// again, so the walk ends there and the count is cut to the records it reached.
BYTE getSDRs() {
    WORD nextId = 0x0000;
    const int slots = sdrUsedSlotCount();
    for (int i = 0; i < slots; ++i) {
        getReserveSDRID();  // a refusal leaves the previous reservation to try with
        const WORD recordId = nextId;
        vkt::IpmiReply first = vkt::readSdr(recordId, 0, vkt::sdrChunkSize);
        if (!first.ok()) return first.cc;

        const vkt::RecordReply piece = vkt::RecordReply::decode(first.view());
        nextId = piece.nextRecordId;
        const bool last = nextId == vkt::sdrLastRecordId;
        const BYTE type = piece.record[vkt::sdrOffRecordType];
        BYTE* slot = sdrRecords[i];
        if (type != vkt::sdrTypeFullSensor && type != vkt::sdrTypeCompactSensor) {
            // Whatever sensor record this position held before must not outlive it.
            memset(slot, 0, sdrSlotSize);
        } else {
            copyRecordBytes(slot, 0, first, vkt::sdrChunkSize);
            BYTE cc = readRecordBody(slot, recordId, piece.record[vkt::sdrOffRecordLength]);
            if (cc != vkt::ccSuccess) {
                // Half a record (new header, old name) is worse than none.
                memset(slot, 0, sdrSlotSize);
                return cc;
            }
        }
        if (last && i + 1 < slots) {
            sdrRecordCount = i + 1;
            break;
        }
    }
    return vkt::ccSuccess;
}

BYTE getRecordType(BYTE index) { return slotByte(index, vkt::sdrOffRecordType); }
BYTE getSensorNumber(BYTE index) { return slotByte(index, vkt::sdrOffSensorNumber); }
BYTE getSensorType(BYTE index) { return slotByte(index, vkt::sdrOffSensorType); }
BYTE getReadingType(BYTE index) { return slotByte(index, vkt::sdrOffReadingType); }
int getRecordID(BYTE index) { return slotByte(index, 1) * 256 + slotByte(index, 0); }

int getSensorIDStringLength(BYTE index) { return slotByte(index, vkt::sdrOffFullIdLength) & vkt::sdrIdLengthMask; }

int getSensorIDType2StringLength(BYTE index) {
    return slotByte(index, vkt::sdrOffCompactIdLength) & vkt::sdrIdLengthMask;
}

namespace {
void copyIdString(BYTE index, int from, int length, char* sensorName) {
    if (sensorName == nullptr) return;
    const int n = std::clamp(length, 0, vkt::sdrNameBufferSize - 1);
    for (int i = 0; i < n; ++i) sensorName[i] = static_cast<char>(slotByte(index, from + i));
}
}  // namespace

void getSensorIDString(BYTE index, int length, char* sensorName) {
    copyIdString(index, vkt::sdrOffFullIdString, length, sensorName);
}

void getSensorIDType2String(BYTE index, int length, char* sensorName) {
    copyIdString(index, vkt::sdrOffCompactIdString, length, sensorName);
}

// SEL labels only need the names, so the repository is read once per process; the sensor
// enumeration refreshes the same table later.
void getSensorNameBySensorNumber(BYTE sensorNumber, char* sensorName) {
    if (isSDRLoadedFlag == 0) {
        getSDRRepositoryInfo();
        getSDRs();
        isSDRLoadedFlag = 1;
    }
    const int slots = sdrUsedSlotCount();
    for (int i = 0; i < slots; ++i) {
        const BYTE index = static_cast<BYTE>(i);
        if (getSensorNumber(index) != sensorNumber) continue;
        // Only the first slot with that number counts, whatever its type.
        const BYTE type = getRecordType(index);
        if (type == vkt::sdrTypeFullSensor)
            getSensorIDString(index, getSensorIDStringLength(index), sensorName);
        else if (type == vkt::sdrTypeCompactSensor)
            getSensorIDType2String(index, getSensorIDType2StringLength(index), sensorName);
        return;
    }
}
