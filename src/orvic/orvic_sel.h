// The SEL collectors and the texts they leave for the two SEL providers.
#ifndef VKT_ORVIC_SEL_H
#define VKT_ORVIC_SEL_H

#include "vkt_types.h"

constexpr int selPublishedMax = 512;

// Summary of the log, filled by printSELInfo.
extern char totalEntries[16];
extern char freeSpace[30];
extern char recentEntryAdded[50];
extern char recentEntryDel[50];

// One published log entry. An entry with an empty sensorName ends the list.
struct CIM_SEL {
    char timeString[256];
    char sensorName[512];
    char eventDir[20];
    char eventDesc[80];
};

extern CIM_SEL cim_sel_records[selPublishedMax];

// Fill passes over the buffers of the SEL reader.
void printSELInfo();
void printSELs();

#endif
