// The SDR repository reader: a process-wide table of sensor records, one slot per
// record in repository order, and accessors that pick fields out of a slot.
#ifndef VKT_SDR_UTIL_H
#define VKT_SDR_UTIL_H

#include "byte_view.h"
#include "vkt_types.h"

constexpr int sdrSlotCount = 128;
constexpr int sdrSlotSize = 256;

extern BYTE sdrRepositry[14];
extern int sdrRecordCount;
extern BYTE sdrReserveID[2];
extern BYTE sdrRecords[sdrSlotCount][sdrSlotSize];
extern int isSDRLoadedFlag;

// Storage commands of the SDR repository.
namespace vkt {
constexpr BYTE cmdGetSdrRepositoryInfo = 0x20;
constexpr BYTE cmdReserveSdrRepository = 0x22;
constexpr BYTE cmdGetSdr = 0x23;
// Next record ID that Get SDR answers for the repository's last record.
constexpr WORD sdrLastRecordId = 0xFFFF;

// Record types the table keeps; every other type only consumes its slot.
constexpr BYTE sdrTypeFullSensor = 0x01;
constexpr BYTE sdrTypeCompactSensor = 0x02;

// Byte offsets inside a record (both sensor record types unless noted).
constexpr int sdrOffRecordType = 3;
constexpr int sdrOffRecordLength = 4;
constexpr int sdrOffSensorNumber = 7;
constexpr int sdrOffSensorType = 12;
constexpr int sdrOffReadingType = 13;
constexpr int sdrOffBaseUnit = 21;
constexpr int sdrOffFullIdLength = 47;
constexpr int sdrOffFullIdString = 48;
constexpr int sdrOffCompactIdLength = 31;
constexpr int sdrOffCompactIdString = 32;

// The ID string length lives in bits 4:0 of its type/length byte, so a name never has
// more than 31 characters; name buffers hold that plus a terminator.
constexpr int sdrIdLengthMask = 0x1F;
constexpr int sdrNameBufferSize = 32;

// Size of one Get SDR read: the walk fetches every record in pieces of this size.
constexpr int sdrChunkSize = 8;
// How often a failing piece is requested again before the walk gives up.
constexpr int sdrChunkRetries = 3;
}  // namespace vkt

BYTE getSDRRepositoryInfo();
BYTE getReserveSDRID();
BYTE getSDRs();

namespace vkt {
struct IpmiReply;

// One Get SDR request under the current reservation (sdrReserveID): `count` bytes of record
// `recordId` from `offset` on. The answer starts with the next record ID.
IpmiReply readSdr(WORD recordId, BYTE offset, BYTE count);

// The bytes of slot `index` (empty for an index outside the table).
ByteView sdrSlot(int index);
}  // namespace vkt

BYTE getRecordType(BYTE index);
BYTE getSensorNumber(BYTE index);
BYTE getSensorType(BYTE index);
BYTE getReadingType(BYTE index);
int getRecordID(BYTE index);
int getSensorIDStringLength(BYTE index);
int getSensorIDType2StringLength(BYTE index);
// Copy `length` ID string bytes (at most 31) into `sensorName` without a terminator; the
// caller passes a zero-filled buffer of at least 32 bytes.
void getSensorIDString(BYTE index, int length, char* sensorName);
void getSensorIDType2String(BYTE index, int length, char* sensorName);

// Copies the ID string of the sensor with this number into `sensorName` (a zero-filled
// buffer of at least 32 bytes); leaves it untouched when no record has that number.
void getSensorNameBySensorNumber(BYTE sensorNumber, char* sensorName);

// Number of slots a walk over the table may visit: the repository's record count, but
// never more than the table holds. Every loop over `sdrRecords` (and over tables indexed
// like it) runs from 0 to this value - 1.
int sdrUsedSlotCount();

#endif
