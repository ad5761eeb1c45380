// The SDR repository reader: a process-wide table of sensor records, one slot per
// record in repository order, and accessors that pick fields out of a slot.
#ifndef VKT_SDR_UTIL_H
#define VKT_SDR_UTIL_H

#include "vkt_types.h"

constexpr int sdrSlotCount = 128;
constexpr int sdrSlotSize = 256;

extern BYTE sdrRepositry[14];
extern int sdrRecordCount;
extern BYTE sdrReserveID[2];
extern BYTE sdrRecords[sdrSlotCount][sdrSlotSize];
extern int isSDRLoadedFlag;

BYTE getSDRRepositoryInfo();
BYTE getReserveSDRID();
BYTE getSDRs();

BYTE getRecordType(BYTE index);
BYTE getSensorNumber(BYTE index);
BYTE getSensorType(BYTE index);
BYTE getReadingType(BYTE index);
int getRecordID(BYTE index);
int getSensorIDStringLength(BYTE index);
int getSensorIDType2StringLength(BYTE index);
void getSensorIDString(BYTE index, int length, char* sensorName);
void getSensorIDType2String(BYTE index, int length, char* sensorName);

// Copies the ID string of the sensor with this number into `sensorName` (a zero-filled
// buffer of at least 32 bytes); leaves it untouched when no record has that number.
void getSensorNameBySensorNumber(BYTE sensorNumber, char* sensorName);

#endif
