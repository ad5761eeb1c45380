// The chassis controller (MCU) of a multi-node chassis, reached through the BMC with Master
// Write-Read on the private bus: its register readers, the process-wide chassis record and
// node table, the firmware loader and the settings writes. The exported routines over these
// are declared in varkolt/bmc.h.
#ifndef VKT_PX_UTIL_H
#define VKT_PX_UTIL_H

#include <cstddef>

#include "vkt_types.h"

constexpr int pxNodeSlots = 12;   // node slots of the largest chassis configuration
constexpr int pxFieldSize = 24;   // part and serial number fields
constexpr int pxNameSize = 20;    // user-defined system name
constexpr int pxListRows = 30;
constexpr int pxLocationSize = 5; // chassis location bytes

// The chassis as last collected. Text fields hold their bytes plus a terminator that no
// read overwrites; node part and serial numbers are raw 24-byte fields.
struct PairexMCU {
    int configID;
    int nodeSize;
    char location[10];
    BYTE nodeID;
    BYTE present;
    BYTE nimbetPresent[2];
    BYTE pson;
    BYTE nimbetNodePSOn[3];
    BYTE p12V;
    BYTE userDefineSystemName[pxNameSize + 1];
    BYTE systemPN[pxFieldSize + 1];
    BYTE systemSN[pxFieldSize + 1];
    BYTE chassisPN[pxFieldSize + 1];
    BYTE chassisSN[pxFieldSize + 1];
    BYTE backplanePN[pxFieldSize + 1];
    BYTE backplaneSN[pxFieldSize + 1];
    BYTE mcuVersion[2];
    BYTE chassisLocation[pxLocationSize];
    BYTE bpLocation;
    BYTE bpnID;
    BYTE bpnRevision[2];
    BYTE nodePN[pxNodeSlots][pxFieldSize];
    BYTE nodeSN[pxNodeSlots][pxFieldSize];
    BYTE ip[pxNodeSlots][4];
    BYTE power[pxNodeSlots][2];
    BYTE current[pxNodeSlots][2];
    BYTE cpu1Temp[pxNodeSlots];
    BYTE cpu2Temp[pxNodeSlots];
    BYTE systemTemp[pxNodeSlots];
};

// One row of the node table, as published. An empty label ends the table.
struct PXList {
    char node[5];
    char power[12];
    char ip[16];
    char watts[8];
    char current[8];
    char cpu1Temp[8];
    char cpu2Temp[8];
    char sysTemp[8];
    char nodePN[20];
    char nodeSN[20];
};

extern bool isNimbet;
extern PairexMCU pairexMCU;
extern PXList pxList[pxListRows];
// True when the field string turned `pairexMCU.nodeID` into a letter code (A upwards).
extern bool nodeIDIsLetter;

namespace vkt {

// 8-bit slave addresses behind the BMC.
constexpr BYTE mcuChassisAddr = 0x80;
constexpr BYTE mcuNodeAddr = 0x82;
constexpr BYTE mcuLoaderAddr = 0xAA;

// Chassis registers (slave 80h).
enum McuRegister : BYTE {
    regNodeId = 0x00,
    regNodePresent = 0x01,
    regNodePowerOn = 0x11,
    regNode12V = 0x21,
    regSystemName = 0x29,
    regSystemPN = 0x41,
    regSystemSN = 0x61,
    regBpnId = 0x7A,
    regBpnRevision = 0x7B,
    regChassisPN = 0x81,
    regChassisSN = 0xA1,
    regChassisLocation = 0xBB,
    regBackplanePN = 0xC1,
    regBackplaneSN = 0xE1,
    regBpLocation = 0xFB,
    regConfigId = 0xFC,
    regSignature = 0xFD,
    regMcuVersion = 0xFE,
};

// Offsets inside a node's 64-byte block (slave 82h).
enum NodeOffset : BYTE {
    nodeOffPN = 0x00,
    nodeOffSN = 0x18,
    nodeOffIp = 0x30,
    nodeOffPower = 0x34,
    nodeOffCurrent = 0x36,
    nodeOffCpu1Temp = 0x38,
    nodeOffCpu2Temp = 0x39,
    nodeOffSystemTemp = 0x3A,
};

// A field of the node block: where it starts and how many bytes it has.
struct NodeField {
    BYTE offset;
    BYTE count;
};
constexpr NodeField nodePN = {nodeOffPN, pxFieldSize};
constexpr NodeField nodeSN = {nodeOffSN, pxFieldSize};
constexpr NodeField nodeIp = {nodeOffIp, 4};
constexpr NodeField nodePower = {nodeOffPower, 2};
constexpr NodeField nodeCurrent = {nodeOffCurrent, 2};
constexpr NodeField nodeCpu1Temp = {nodeOffCpu1Temp, 1};
constexpr NodeField nodeCpu2Temp = {nodeOffCpu2Temp, 1};
constexpr NodeField nodeSystemTemp = {nodeOffSystemTemp, 1};

constexpr int nodeBlockSize = 0x40;
constexpr int nimbetNodesPerPage = 4;

constexpr BYTE signaturePairex = 0xA5;
constexpr BYTE signatureNimbet = 0xAC;
constexpr BYTE bpLocationLeft = 0x10;
constexpr BYTE bpLocationRight = 0x01;

// Node slots of a configuration ID (0 for an unknown configuration).
int nodeSizeOf(int configID);
// Configurations 2 and 5 leave MCU node 1 unused: slot i > 0 is MCU node i + 1.
bool skipsNodeOne(int configID);
int mcuNodeOfSlot(int slot, int configID);

// Register byte of a node block field: 64 bytes per node, wrapping at 256.
BYTE nodeRegister(int node, BYTE offset);

// One Master Write-Read to an MCU address. `respBuf` (when not null) receives `readCount`
// bytes: what arrived of a successful read, 00h for the rest and for every byte of a failed one.
BYTE mcuTransfer(BYTE slave, BYTE readCount, const BYTE* write, size_t writeLength, BYTE* respBuf);

// Reads `field` of MCU node `node` into `out` (field.count bytes): with the page byte of the
// Nimbet family when `nimbet`, without it (Pairex) otherwise. The completion code. Every node
// getter below is this for its field and family.
BYTE readNodeField(bool nimbet, int node, NodeField field, BYTE* out);

}  // namespace vkt

// ---- reading ------------------------------------------------------------------------------
// Senders: Master Write-Read to the MCU; `respBuf` receives `readCount` bytes (00h for
// bytes not received, all 00h when the read failed). Each returns the completion code.
BYTE sendPairex80hCommand(BYTE readCount, const BYTE* dataToWrite, BYTE dataLength, BYTE* respBuf);
BYTE sendPairex82hCommand(BYTE readCount, const BYTE* dataToWrite, BYTE dataLength, BYTE* respBuf);
BYTE sendNimbetPairex82hCommand(BYTE readCount, BYTE page, const BYTE* dataToWrite, BYTE dataLength, BYTE* respBuf);

// Chassis register getters; each fills its destination and returns the completion code.
BYTE getNodeID(BYTE* nodeID);
BYTE getNodePresent(BYTE* present);
BYTE getNimbetNodePresent(BYTE* present);  // 2 bytes
BYTE getNodePSOn(BYTE* pson);
BYTE getNimbetNodePSOn(BYTE* pson);        // 3 bytes
BYTE getNode12V(BYTE* p12V);
BYTE getUserDefineSystemName(BYTE* name);  // pxNameSize + 1 bytes
// Text fields (pxFieldSize + 1 bytes): "(Empty)" when the first byte is FFh, otherwise
// every FFh byte becomes 00h.
BYTE getSystemPN(BYTE* field);
BYTE getSystemSN(BYTE* field);
BYTE getChassisPN(BYTE* field);
BYTE getChassisSN(BYTE* field);
BYTE getBackplanePN(BYTE* field);
BYTE getBackplaneSN(BYTE* field);
BYTE getBPNID(BYTE* id);
BYTE getBPNRevision(BYTE* revision);        // 2 bytes
BYTE getChassisLocation(BYTE* location);    // 5 bytes
BYTE getBPLocation(BYTE* code);
BYTE getConfigID(BYTE* configID);
BYTE getMCUVersion(BYTE* version);          // 2 bytes

// Node block getters of MCU node `node`, without (Pairex) and with (Nimbet) a page byte.
BYTE getNodePN(int node, BYTE* pn);
BYTE getNodeSN(int node, BYTE* sn);
BYTE getNodeIP(int node, BYTE* ip);
BYTE getNodePower(int node, BYTE* power);
BYTE getNodeCurrent(int node, BYTE* current);
BYTE getNodeCPU1Temp(int node, BYTE* temp);
BYTE getNodeCPU2Temp(int node, BYTE* temp);
BYTE getNodeSystemTemp(int node, BYTE* temp);
BYTE getNimbetNodePN(int node, BYTE* pn);
BYTE getNimbetNodeSN(int node, BYTE* sn);
BYTE getNimbetNodeIP(int node, BYTE* ip);
BYTE getNimbetNodePower(int node, BYTE* power);
BYTE getNimbetNodeCurrent(int node, BYTE* current);
BYTE getNimbetNodeCPU1Temp(int node, BYTE* temp);
BYTE getNimbetNodeCPU2Temp(int node, BYTE* temp);
BYTE getNimbetNodeSystemTemp(int node, BYTE* temp);

// True when the MCU answers register FDh with a multi-node signature; sets isNimbet.
bool isSupportPairexCommand();
// Reads the whole chassis into pairexMCU; false (nothing touched) when not multi-node.
bool getPairexMCU();

// Display texts of node slot `slot`, cut to `size`.
void displayPsonString(int slot, char* text, size_t size);
void displayIP(int slot, char* text, size_t size);
void displayWatts(int slot, char* text, size_t size);
void displayCurrent(int slot, char* text, size_t size);
void displayCPU1Temp(int slot, char* text, size_t size);
void displayCPU2Temp(int slot, char* text, size_t size);
void displaySystemTemp(int slot, char* text, size_t size);
void displayBPLocation(char* text, size_t size);

// Fills the first nodeSize rows of pxList.
void printFormatedString();
// Fills `location` and turns nodeID into the current node's label value.
void printFieldString();

// ---- firmware update ------------------------------------------------------------------------
extern BYTE enterToUpdateModeOffset;  // chassis register that takes the update-mode request
extern int lineCount;                 // lines seen by the last file check

// 1 when `path` is a complete S-record file (S0 first, then S1 records, ended by S9, every
// record well formed with a good checksum), else 0.
int verifySRECFile(const char* path);
// Loads the file into the MCU: 1 on success, 0 on failure.
int mcuUpdate(const char* path);
BYTE sendPairexAAhCommand(BYTE readCount, const BYTE* data, BYTE length, BYTE* respBuf);
BYTE sendHandShakeCommand(BYTE* replyBuf);  // 4 reply bytes
BYTE sendEnterToUpdateModeCommand();

// ---- settings ------------------------------------------------------------------------------

// What a settings routine came to, for the exported routines' messages and results.
enum class PxResult { done, unknownField, badValue, badNode, commandFailed };
struct PxOutcome {
    PxResult result = PxResult::done;
    BYTE cc = 0;     // completion code of the failed write or read
    int nodeID = 0;  // the node ID register, for badNode
    int nodeCount = 0;
};

// Chassis register write: reg and the value bytes, then the family's commit write. Returns
// the completion code of the value write (no commit follows a rejected one).
BYTE set80hBytes(const BYTE* value, int length, BYTE reg);
// The same for a text: at most `maximum` bytes, up to its terminator.
BYTE set80hValue(const BYTE* value, int maximum, BYTE reg);
// Writes reg, value; no commit.
BYTE set80hValueWithByte(BYTE value, BYTE reg);
// Node block writes of MCU node `node`: offset (after the page byte on Nimbet) and the text
// in a zero-filled field of `fieldLength` (at most 24) bytes.
BYTE set82hValue(int node, const BYTE* text, int fieldLength, BYTE offset);
BYTE setNimbet82hValue(int node, const BYTE* text, int fieldLength, BYTE offset);

// 0 when the chassis is not multi-node (nothing written), else 1 (also for a field name
// they do not know, which writes nothing). `outcome`, when given, receives the details.
int setPXField(const char* name, const char* value, PxOutcome* outcome = nullptr);
int setPXField2(const char* name, const char* value1, const char* value2, PxOutcome* outcome = nullptr);
int getPXField(const char* name, PxOutcome* outcome = nullptr);
int setPXBPLocation(const char* code, PxOutcome* outcome = nullptr);
int setPXChassisLocation(int argc, char* const argv[], PxOutcome* outcome = nullptr);
int getPXBPLocation(PxOutcome* outcome = nullptr);
int getPXChassisLocation(PxOutcome* outcome = nullptr);

#endif
