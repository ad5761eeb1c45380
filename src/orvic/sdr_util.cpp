// The SDR repository reader. Not part of this build yet: the table stays empty.
#include "sdr_util.h"

BYTE sdrRepositry[14];
int sdrRecordCount = 0;
BYTE sdrReserveID[2];
BYTE sdrRecords[sdrSlotCount][sdrSlotSize];
int isSDRLoadedFlag = 0;

void getSensorNameBySensorNumber(BYTE /*sensorNumber*/, char* /*sensorName*/) {}
