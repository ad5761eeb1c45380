// Reading the chassis controller of a multi-node chassis: the senders, the register getters,
// the chassis record, and the node table with its display texts.
#include "px_util.h"

#include <cstring>
#include <utility>

#include "bounded.h"
#include "private_bus.h"

bool isNimbet = false;
PairexMCU pairexMCU = {};
PXList pxList[pxListRows] = {};
bool nodeIDIsLetter = false;

namespace vkt {

int nodeSizeOf(int configID) {
    switch (configID) {
        case 1: return 1;
        case 2:
        case 3:
        case 5: return 2;
        case 4: return 4;
        case 12: return 12;
        default: return 0;
    }
}

bool skipsNodeOne(int configID) { return configID == 2 || configID == 5; }

int mcuNodeOfSlot(int slot, int configID) { return slot > 0 && skipsNodeOne(configID) ? slot + 1 : slot; }

BYTE nodeRegister(int node, BYTE offset) { return static_cast<BYTE>(node * nodeBlockSize + offset); }

BYTE mcuTransfer(BYTE slave, BYTE readCount, const BYTE* write, size_t writeLength, BYTE* respBuf) {
    const IpmiReply reply = masterWriteRead(slave, readCount, write, writeLength);
    // A failed read leaves no bytes the BMC may have sent with its refusal.
    if (respBuf != nullptr) (reply.ok() ? reply.view() : ByteView()).copyTo(respBuf, 0, readCount);
    return reply.cc;
}

}  // namespace vkt

namespace {

constexpr BYTE erasedByte = 0xFF;     // never programmed; also "no value" in the node readings
constexpr BYTE noTemperature = 0x00;  // a sensor that is not fitted
constexpr int nodesPerMapByte = 8;
constexpr BYTE letterBase = 0x40;  // added to a node number, 1 becomes 'A'
constexpr char emptyField[] = "(Empty)";
constexpr char notAvailable[] = "N/A";

BYTE readRegister(BYTE reg, BYTE count, BYTE* out) { return sendPairex80hCommand(count, &reg, 1, out); }

// The 24-byte identity texts: an erased field reads "(Empty)", erased bytes inside a text end it.
BYTE readTextField(BYTE reg, BYTE* field) {
    BYTE raw[pxFieldSize] = {};
    const BYTE cc = readRegister(reg, pxFieldSize, raw);
    memset(field, 0, pxFieldSize + 1);
    if (raw[0] == erasedByte) {
        vkt::copyText(reinterpret_cast<char*>(field), pxFieldSize + 1, emptyField);
        return cc;
    }
    for (int i = 0; i < pxFieldSize; ++i) field[i] = raw[i] == erasedByte ? 0 : raw[i];
    return cc;
}

void readNodeSlot(int slot, int node) {
    PairexMCU& m = pairexMCU;
    const std::pair<vkt::NodeField, BYTE*> fields[] = {
        {vkt::nodePN, m.nodePN[slot]},          {vkt::nodeSN, m.nodeSN[slot]},
        {vkt::nodeIp, m.ip[slot]},              {vkt::nodePower, m.power[slot]},
        {vkt::nodeCurrent, m.current[slot]},    {vkt::nodeCpu1Temp, &m.cpu1Temp[slot]},
        {vkt::nodeCpu2Temp, &m.cpu2Temp[slot]}, {vkt::nodeSystemTemp, &m.systemTemp[slot]},
    };
    for (const auto& [field, out] : fields) vkt::readNodeField(isNimbet, node, field, out);
}

void readChassisFields() {
    PairexMCU& m = pairexMCU;
    getBPLocation(&m.bpLocation);
    getUserDefineSystemName(m.userDefineSystemName);
    getSystemPN(m.systemPN);
    getSystemSN(m.systemSN);
    getChassisPN(m.chassisPN);
    getChassisSN(m.chassisSN);
    getBackplanePN(m.backplanePN);
    getBackplaneSN(m.backplaneSN);
    getChassisLocation(m.chassisLocation);
    getMCUVersion(m.mcuVersion);
    getBPNID(&m.bpnID);
    getBPNRevision(m.bpnRevision);
}

struct SlotState {
    bool present;
    bool poweredOn;
};

SlotState slotState(int slot) {
    const PairexMCU& m = pairexMCU;
    if (isNimbet) {
        const int byte = slot < nodesPerMapByte ? 0 : 1;
        const int bit = slot % nodesPerMapByte;
        return {((m.nimbetPresent[byte] >> bit) & 1) != 0, ((m.nimbetNodePSOn[byte] >> bit) & 1) != 0};
    }
    const int bit = vkt::mcuNodeOfSlot(slot, m.configID);
    if (bit >= nodesPerMapByte) return {false, false};
    return {((m.present >> bit) & 1) != 0, ((m.pson >> bit) & 1) != 0};
}

bool validSlot(int slot) { return slot >= 0 && slot < pxNodeSlots; }

SlotState stateOf(int slot) { return validSlot(slot) ? slotState(slot) : SlotState{false, false}; }

// The common rule of the reading texts: nothing for an absent node, "N/A" while it is off.
// True when the value itself is to be shown.
bool showReading(int slot, char* text, size_t size) {
    const SlotState s = stateOf(slot);
    if (!s.present) {
        vkt::copyText(text, size, "");
        return false;
    }
    if (!s.poweredOn) {
        vkt::copyText(text, size, notAvailable);
        return false;
    }
    return true;
}

unsigned word(const BYTE (&bytes)[2]) { return vkt::ByteView(bytes).le16(0); }

void displayTemperature(int slot, const BYTE* temps, char* text, size_t size) {
    if (!showReading(slot, text, size)) return;
    const BYTE raw = temps[slot];
    if (raw == noTemperature || raw == erasedByte) {
        vkt::copyText(text, size, notAvailable);
        return;
    }
    vkt::formatText(text, size, "%dC", static_cast<int>(static_cast<signed char>(raw)));
}

// Configuration 5, and a backplane on neither side, label their nodes A, B, ... instead of 1, 2, ...
bool nodesAreLettered(const PairexMCU& m) {
    return !isNimbet &&
           (m.configID == 5 || (m.bpLocation != vkt::bpLocationLeft && m.bpLocation != vkt::bpLocationRight));
}

void nodeLabel(int slot, char* text, size_t size) {
    const PairexMCU& m = pairexMCU;
    if (nodesAreLettered(m)) {
        vkt::formatText(text, size, "%c", 'A' + slot);
        return;
    }
    int label = slot + 1;
    if (!isNimbet && m.bpLocation == vkt::bpLocationRight) {
        // The right-hand backplane numbers its nodes after the left-hand one's.
        switch (m.nodeSize) {
            case 1: label = slot + 2; break;
            case 2: label = slot + 3; break;
            case 4: label = slot + 5; break;
            default: label = slot; break;
        }
    }
    vkt::formatText(text, size, "%d", label);
}

// Node part and serial numbers are raw 24-byte fields; the row keeps what fits before the
// first 00h.
void copyNodeText(char (&dst)[20], const BYTE (&src)[pxFieldSize]) {
    vkt::copyText(dst, reinterpret_cast<const char*>(src), pxFieldSize);
}

}  // namespace

// ---- senders and getters ----------------------------------------------------------------------

BYTE sendPairex80hCommand(BYTE readCount, const BYTE* dataToWrite, BYTE dataLength, BYTE* respBuf) {
    return vkt::mcuTransfer(vkt::mcuChassisAddr, readCount, dataToWrite, dataLength, respBuf);
}

BYTE sendPairex82hCommand(BYTE readCount, const BYTE* dataToWrite, BYTE dataLength, BYTE* respBuf) {
    return vkt::mcuTransfer(vkt::mcuNodeAddr, readCount, dataToWrite, dataLength, respBuf);
}

BYTE sendNimbetPairex82hCommand(BYTE readCount, BYTE page, const BYTE* dataToWrite, BYTE dataLength, BYTE* respBuf) {
    BYTE write[vkt::privateBusMaxWrite] = {page};
    if (dataLength >= sizeof write || (dataLength > 0 && dataToWrite == nullptr)) {
        if (respBuf != nullptr) memset(respBuf, 0, readCount);
        return vkt::ccRequestLengthInvalid;
    }
    if (dataLength > 0) memcpy(write + 1, dataToWrite, dataLength);
    return vkt::mcuTransfer(vkt::mcuNodeAddr, readCount, write, dataLength + 1u, respBuf);
}

BYTE getNodeID(BYTE* nodeID) { return readRegister(vkt::regNodeId, 1, nodeID); }
BYTE getNodePresent(BYTE* present) { return readRegister(vkt::regNodePresent, 1, present); }
BYTE getNimbetNodePresent(BYTE* present) { return readRegister(vkt::regNodePresent, 2, present); }
BYTE getNodePSOn(BYTE* pson) { return readRegister(vkt::regNodePowerOn, 1, pson); }
BYTE getNode12V(BYTE* p12V) { return readRegister(vkt::regNode12V, 1, p12V); }
BYTE getBPNID(BYTE* id) { return readRegister(vkt::regBpnId, 1, id); }
BYTE getBPNRevision(BYTE* revision) { return readRegister(vkt::regBpnRevision, 2, revision); }
BYTE getChassisLocation(BYTE* location) { return readRegister(vkt::regChassisLocation, pxLocationSize, location); }
BYTE getBPLocation(BYTE* code) { return readRegister(vkt::regBpLocation, 1, code); }
BYTE getConfigID(BYTE* configID) { return readRegister(vkt::regConfigId, 1, configID); }
BYTE getMCUVersion(BYTE* version) { return readRegister(vkt::regMcuVersion, 2, version); }

BYTE getNimbetNodePSOn(BYTE* pson) {
    // The MCU answers four bytes; the first three are the bitmaps.
    BYTE raw[4] = {};
    const BYTE cc = readRegister(vkt::regNodePowerOn, sizeof raw, raw);
    memcpy(pson, raw, 3);
    return cc;
}

BYTE getUserDefineSystemName(BYTE* name) {
    memset(name, 0, pxNameSize + 1);
    return readRegister(vkt::regSystemName, pxNameSize, name);
}

BYTE getSystemPN(BYTE* field) { return readTextField(vkt::regSystemPN, field); }
BYTE getSystemSN(BYTE* field) { return readTextField(vkt::regSystemSN, field); }
BYTE getChassisPN(BYTE* field) { return readTextField(vkt::regChassisPN, field); }
BYTE getChassisSN(BYTE* field) { return readTextField(vkt::regChassisSN, field); }
BYTE getBackplanePN(BYTE* field) { return readTextField(vkt::regBackplanePN, field); }
BYTE getBackplaneSN(BYTE* field) { return readTextField(vkt::regBackplaneSN, field); }

BYTE vkt::readNodeField(bool nimbet, int node, NodeField field, BYTE* out) {
    const BYTE reg = nodeRegister(node, field.offset);
    if (!nimbet) return sendPairex82hCommand(field.count, &reg, 1, out);
    return sendNimbetPairex82hCommand(field.count, static_cast<BYTE>(node / nimbetNodesPerPage), &reg, 1, out);
}

// Every node field has a getter of each family.
#define VKT_NODE_GETTERS(Name, field)                                                                   \
    BYTE getNode##Name(int node, BYTE* out) { return vkt::readNodeField(false, node, field, out); }      \
    BYTE getNimbetNode##Name(int node, BYTE* out) { return vkt::readNodeField(true, node, field, out); }
VKT_NODE_GETTERS(PN, vkt::nodePN)
VKT_NODE_GETTERS(SN, vkt::nodeSN)
VKT_NODE_GETTERS(IP, vkt::nodeIp)
VKT_NODE_GETTERS(Power, vkt::nodePower)
VKT_NODE_GETTERS(Current, vkt::nodeCurrent)
VKT_NODE_GETTERS(CPU1Temp, vkt::nodeCpu1Temp)
VKT_NODE_GETTERS(CPU2Temp, vkt::nodeCpu2Temp)
VKT_NODE_GETTERS(SystemTemp, vkt::nodeSystemTemp)
#undef VKT_NODE_GETTERS

// ---- collection ---------------------------------------------------------------------------

bool isSupportPairexCommand() {
    isNimbet = false;
    BYTE signature = 0;
    if (readRegister(vkt::regSignature, 1, &signature) != vkt::ccSuccess) return false;
    if (signature == vkt::signatureNimbet) isNimbet = true;
    return signature == vkt::signaturePairex || signature == vkt::signatureNimbet;
}

bool getPairexMCU() {
    if (!isSupportPairexCommand()) return false;
    PairexMCU& m = pairexMCU;

    BYTE config = 0;
    getConfigID(&config);
    m.configID = config;
    m.nodeSize = vkt::nodeSizeOf(m.configID);

    getNodeID(&m.nodeID);
    if (isNimbet)
        getNimbetNodePresent(m.nimbetPresent);
    else
        getNodePresent(&m.present);
    // Configurations without MCU node 1 number their nodes past the gap.
    if (m.nodeID > 1 && vkt::skipsNodeOne(m.configID)) --m.nodeID;

    if (isNimbet) {
        getNimbetNodePSOn(m.nimbetNodePSOn);
    } else {
        getNodePSOn(&m.pson);
        getNode12V(&m.p12V);
    }
    readChassisFields();

    for (int slot = 0; slot < m.nodeSize; ++slot) readNodeSlot(slot, vkt::mcuNodeOfSlot(slot, m.configID));
    return true;
}

// ---- display -------------------------------------------------------------------------------

void displayPsonString(int slot, char* text, size_t size) {
    const SlotState s = stateOf(slot);
    vkt::copyText(text, size, !s.present ? "" : s.poweredOn ? "Act" : "Inact");
}

void displayIP(int slot, char* text, size_t size) {
    if (!stateOf(slot).present) {
        vkt::copyText(text, size, "");
        return;
    }
    const BYTE* ip = pairexMCU.ip[slot];
    vkt::formatText(text, size, "%d.%d.%d.%d", ip[0], ip[1], ip[2], ip[3]);
}

void displayWatts(int slot, char* text, size_t size) {
    if (!showReading(slot, text, size)) return;
    const BYTE(&power)[2] = pairexMCU.power[slot];
    if (power[0] == erasedByte && power[1] == erasedByte)
        vkt::copyText(text, size, notAvailable);
    else
        vkt::formatText(text, size, "%uW", word(power));
}

void displayCurrent(int slot, char* text, size_t size) {
    if (!showReading(slot, text, size)) return;
    const BYTE(&current)[2] = pairexMCU.current[slot];
    if (current[0] == erasedByte && current[1] == erasedByte)
        vkt::copyText(text, size, notAvailable);
    else
        vkt::formatText(text, size, "%3.1fA", word(current) / 10.0);
}

void displayCPU1Temp(int slot, char* text, size_t size) { displayTemperature(slot, pairexMCU.cpu1Temp, text, size); }
void displayCPU2Temp(int slot, char* text, size_t size) { displayTemperature(slot, pairexMCU.cpu2Temp, text, size); }
void displaySystemTemp(int slot, char* text, size_t size) {
    displayTemperature(slot, pairexMCU.systemTemp, text, size);
}

void displayBPLocation(char* text, size_t size) {
    const BYTE code = pairexMCU.bpLocation;
    if (code == vkt::bpLocationLeft)
        vkt::copyText(text, size, "Left");
    else if (code == vkt::bpLocationRight)
        vkt::copyText(text, size, "Right");
    else
        vkt::formatText(text, size, "N/A (%02Xh)", code);
}

void printFormatedString() {
    const int rows = pairexMCU.nodeSize < pxListRows ? pairexMCU.nodeSize : pxListRows;
    for (int slot = 0; slot < rows && slot < pxNodeSlots; ++slot) {
        PXList& row = pxList[slot];
        nodeLabel(slot, row.node, sizeof row.node);
        displayPsonString(slot, row.power, sizeof row.power);
        displayIP(slot, row.ip, sizeof row.ip);
        displayWatts(slot, row.watts, sizeof row.watts);
        displayCurrent(slot, row.current, sizeof row.current);
        displayCPU1Temp(slot, row.cpu1Temp, sizeof row.cpu1Temp);
        displayCPU2Temp(slot, row.cpu2Temp, sizeof row.cpu2Temp);
        displaySystemTemp(slot, row.sysTemp, sizeof row.sysTemp);
        copyNodeText(row.nodePN, pairexMCU.nodePN[slot]);
        copyNodeText(row.nodeSN, pairexMCU.nodeSN[slot]);
    }
}

void printFieldString() {
    PairexMCU& m = pairexMCU;
    displayBPLocation(m.location, sizeof m.location);
    nodeIDIsLetter = false;
    if (isNimbet) return;
    if (nodesAreLettered(m)) {
        m.nodeID = static_cast<BYTE>(m.nodeID + letterBase);
        nodeIDIsLetter = true;
    } else if (m.bpLocation == vkt::bpLocationRight && (m.nodeSize == 1 || m.nodeSize == 2 || m.nodeSize == 4)) {
        m.nodeID = static_cast<BYTE>(m.nodeID + m.nodeSize);
    }
}
