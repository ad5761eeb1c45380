// Writing the chassis controller's settings: identity texts, codes, the backplane and chassis
// locations and the current node's part and serial number.
#include <algorithm>
#include <cstring>
#include <strings.h>

#include "bounded.h"
#include "ipmi_defs.h"
#include "px_util.h"

namespace {

// Commit write of the Nimbet family, after any chassis field.
constexpr BYTE nimbetCommit[2] = {0x3F, 0x00};
constexpr int pairexNodeBlocks = 4;   // 256 register bytes of 64 per node, no page byte
constexpr int nimbetNodeLimit = 16;   // four pages of four
constexpr int chassisLocationFirstArg = 3;

enum class FieldKind { text, hexByte, decimalByte, nodeText };

using ChassisGetter = BYTE (*)(BYTE*);

struct PxField {
    const char* name;
    BYTE reg;  // chassis register, or the offset inside the node block
    int length;
    FieldKind kind;
    ChassisGetter get;  // chassis fields; node fields are read by their place in the block
};

constexpr PxField pxFields[] = {
    {"systemname", vkt::regSystemName, pxNameSize, FieldKind::text, getUserDefineSystemName},
    {"systempn", vkt::regSystemPN, pxFieldSize, FieldKind::text, getSystemPN},
    {"systemsn", vkt::regSystemSN, pxFieldSize, FieldKind::text, getSystemSN},
    {"chassispn", vkt::regChassisPN, pxFieldSize, FieldKind::text, getChassisPN},
    {"chassissn", vkt::regChassisSN, pxFieldSize, FieldKind::text, getChassisSN},
    {"backplanepn", vkt::regBackplanePN, pxFieldSize, FieldKind::text, getBackplanePN},
    {"backplanesn", vkt::regBackplaneSN, pxFieldSize, FieldKind::text, getBackplaneSN},
    {"bpnID", vkt::regBpnId, 1, FieldKind::hexByte, getBPNID},
    {"configid", vkt::regConfigId, 1, FieldKind::decimalByte, getConfigID},
    {"nodepn", vkt::nodePN.offset, vkt::nodePN.count, FieldKind::nodeText, nullptr},
    {"nodesn", vkt::nodeSN.offset, vkt::nodeSN.count, FieldKind::nodeText, nullptr},
};
constexpr const char* bpnRevisionField = "bpnrevision";

const PxField* findField(const char* name) {
    if (name == nullptr) return nullptr;
    for (const PxField& f : pxFields)
        if (strcasecmp(f.name, name) == 0) return &f;
    return nullptr;
}

// A byte value in hexadecimal ("1F", "0x1f", "010") or decimal; anything else, and values
// above FFh, are refused rather than written as some other number.
bool parseByte(const char* text, int base, BYTE* out) {
    if (text == nullptr) return false;
    if (base == 16 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text += 2;
    if (*text == '\0') return false;
    unsigned value = 0;
    for (; *text != '\0'; ++text) {
        const int d = vkt::hexDigit(*text);
        if (d < 0 || d >= base) return false;
        value = value * static_cast<unsigned>(base) + static_cast<unsigned>(d);
        if (value > 0xFF) return false;
    }
    *out = static_cast<BYTE>(value);
    return true;
}

void fail(PxOutcome* outcome, PxResult result, BYTE cc = 0) {
    if (outcome == nullptr) return;
    outcome->result = result;
    outcome->cc = cc;
}

void noteWrite(PxOutcome* outcome, BYTE cc) {
    if (cc != vkt::ccSuccess) fail(outcome, PxResult::commandFailed, cc);
}

BYTE commit(BYTE reg) {
    if (isNimbet) return sendPairex80hCommand(0, nimbetCommit, sizeof nimbetCommit, nullptr);
    const BYTE marker = static_cast<BYTE>(reg - 1);
    const BYTE pairexCommit[2] = {marker, marker};
    return sendPairex80hCommand(0, pairexCommit, sizeof pairexCommit, nullptr);
}

// MCU nodes the chassis addresses: its slots plus the unused node 1 of the configurations
// that skip it, and never more than the node blocks reach without landing on another node.
int mcuNodeCount(int configID) {
    int count = vkt::nodeSizeOf(configID);
    if (count > 1 && vkt::skipsNodeOne(configID)) ++count;
    return std::min(count, isNimbet ? nimbetNodeLimit : pairexNodeBlocks);
}

// The current node's MCU index, from the node ID register (1 = the first node). A node ID the
// chassis does not have would put the text into another node's block: refused.
bool currentNodeIndex(int* node, PxOutcome* outcome) {
    BYTE id = 0;
    BYTE config = 0;
    BYTE cc = getNodeID(&id);
    if (cc == vkt::ccSuccess) cc = getConfigID(&config);
    if (cc != vkt::ccSuccess) {
        fail(outcome, PxResult::commandFailed, cc);
        return false;
    }
    const int count = mcuNodeCount(config);
    if (id < 1 || id > count) {
        fail(outcome, PxResult::badNode);
        if (outcome != nullptr) {
            outcome->nodeID = id;
            outcome->nodeCount = count;
        }
        return false;
    }
    *node = id - 1;
    return true;
}

BYTE writeNodeText(int node, const PxField& f, const char* value) {
    const BYTE* text = reinterpret_cast<const BYTE*>(value);
    return isNimbet ? setNimbet82hValue(node, text, f.length, f.reg) : set82hValue(node, text, f.length, f.reg);
}

void writeField(const PxField& f, const char* value, PxOutcome* outcome) {
    if (value == nullptr) return fail(outcome, PxResult::badValue);
    BYTE number = 0;
    switch (f.kind) {
        case FieldKind::text:
            return noteWrite(outcome, set80hValue(reinterpret_cast<const BYTE*>(value), f.length, f.reg));
        case FieldKind::hexByte:
        case FieldKind::decimalByte:
            if (!parseByte(value, f.kind == FieldKind::hexByte ? 16 : 10, &number))
                return fail(outcome, PxResult::badValue);
            return noteWrite(outcome, set80hBytes(&number, 1, f.reg));
        case FieldKind::nodeText: {
            int node = 0;
            if (!currentNodeIndex(&node, outcome)) return;
            return noteWrite(outcome, writeNodeText(node, f, value));
        }
    }
}

// A node block write: [page,] register byte, then the text in a zero-filled field.
BYTE writeNodeBlock(int node, const BYTE* text, int fieldLength, BYTE offset, bool paged) {
    BYTE write[1 + pxFieldSize + 1] = {vkt::nodeRegister(node, offset)};  // room for the copy's terminator
    const size_t field = static_cast<size_t>(std::clamp(fieldLength, 0, pxFieldSize));
    vkt::copyText(reinterpret_cast<char*>(write + 1), field + 1, reinterpret_cast<const char*>(text), field);
    const BYTE length = static_cast<BYTE>(1 + field);
    if (paged)
        return sendNimbetPairex82hCommand(0, static_cast<BYTE>(node / vkt::nimbetNodesPerPage), write, length, nullptr);
    return sendPairex82hCommand(0, write, length, nullptr);
}

}  // namespace

BYTE set80hBytes(const BYTE* value, int length, BYTE reg) {
    BYTE write[1 + pxFieldSize] = {reg};
    const size_t n = static_cast<size_t>(std::clamp(length, 0, pxFieldSize));
    if (n > 0 && value != nullptr) memcpy(write + 1, value, n);
    const BYTE cc = sendPairex80hCommand(0, write, static_cast<BYTE>(1 + (value != nullptr ? n : 0)), nullptr);
    if (cc != vkt::ccSuccess) return cc;
    commit(reg);
    return cc;
}

BYTE set80hValue(const BYTE* value, int maximum, BYTE reg) {
    const size_t limit = static_cast<size_t>(std::clamp(maximum, 0, pxFieldSize));
    const size_t n = value != nullptr ? strnlen(reinterpret_cast<const char*>(value), limit) : 0;
    return set80hBytes(value, static_cast<int>(n), reg);
}

BYTE set80hValueWithByte(BYTE value, BYTE reg) {
    const BYTE write[2] = {reg, value};
    return sendPairex80hCommand(0, write, sizeof write, nullptr);
}

BYTE set82hValue(int node, const BYTE* text, int fieldLength, BYTE offset) {
    return writeNodeBlock(node, text, fieldLength, offset, false);
}

BYTE setNimbet82hValue(int node, const BYTE* text, int fieldLength, BYTE offset) {
    return writeNodeBlock(node, text, fieldLength, offset, true);
}

int setPXField(const char* name, const char* value, PxOutcome* outcome) {
    if (!isSupportPairexCommand()) return 0;
    const PxField* f = findField(name);
    if (f == nullptr) {
        fail(outcome, PxResult::unknownField);
        return 1;
    }
    writeField(*f, value, outcome);
    return 1;
}

int setPXField2(const char* name, const char* value1, const char* value2, PxOutcome* outcome) {
    if (!isSupportPairexCommand()) return 0;
    if (name == nullptr || strcasecmp(name, bpnRevisionField) != 0) {
        fail(outcome, PxResult::unknownField);
        return 1;
    }
    BYTE revision[2] = {};
    if (!parseByte(value1, 16, &revision[0]) || !parseByte(value2, 16, &revision[1])) {
        fail(outcome, PxResult::badValue);
        return 1;
    }
    noteWrite(outcome, set80hBytes(revision, sizeof revision, vkt::regBpnRevision));
    return 1;
}

int getPXField(const char* name, PxOutcome* outcome) {
    if (!isSupportPairexCommand()) return 0;
    const PxField* f = name != nullptr ? findField(name) : nullptr;
    const bool revision = name != nullptr && strcasecmp(name, bpnRevisionField) == 0;
    if (f == nullptr && !revision) {
        fail(outcome, PxResult::unknownField);
        return 1;
    }
    BYTE value[pxFieldSize + 1] = {};
    BYTE cc = vkt::ccSuccess;
    if (revision) {
        cc = getBPNRevision(value);
    } else if (f->kind == FieldKind::nodeText) {
        int node = 0;
        if (!currentNodeIndex(&node, outcome)) return 1;
        cc = vkt::readNodeField(isNimbet, node, {f->reg, static_cast<BYTE>(f->length)}, value);
    } else {
        cc = f->get(value);
    }
    if (cc != vkt::ccSuccess) fail(outcome, PxResult::commandFailed, cc);
    return 1;
}

int setPXBPLocation(const char* code, PxOutcome* outcome) {
    if (!isSupportPairexCommand()) return 0;
    // "1" selects the right-hand backplane (01h) and "2" the left-hand one (10h).
    const char* text = code != nullptr && strcmp(code, "2") == 0 ? "0x10" : code;
    BYTE value = 0;
    if (!parseByte(text, 16, &value)) {
        fail(outcome, PxResult::badValue);
        return 1;
    }
    noteWrite(outcome, set80hValueWithByte(value, vkt::regBpLocation));
    return 1;
}

int setPXChassisLocation(int argc, char* const argv[], PxOutcome* outcome) {
    if (!isSupportPairexCommand()) return 0;
    // Every byte is checked before the first is written, so a bad one changes nothing.
    BYTE location[pxLocationSize] = {};
    for (int i = 0; i < pxLocationSize; ++i) {
        const int arg = chassisLocationFirstArg + i;
        if (arg >= argc || argv == nullptr || argv[arg] == nullptr) continue;
        if (!parseByte(argv[arg], 16, &location[i])) {
            fail(outcome, PxResult::badValue);
            return 1;
        }
    }
    for (int i = 0; i < pxLocationSize; ++i) {
        const BYTE cc = set80hValueWithByte(location[i], static_cast<BYTE>(vkt::regChassisLocation + i));
        if (cc != vkt::ccSuccess) {
            fail(outcome, PxResult::commandFailed, cc);
            return 1;
        }
    }
    return 1;
}

int getPXBPLocation(PxOutcome* outcome) {
    if (!isSupportPairexCommand()) return 0;
    BYTE code = 0;
    const BYTE cc = getBPLocation(&code);
    if (cc != vkt::ccSuccess) fail(outcome, PxResult::commandFailed, cc);
    return 1;
}

int getPXChassisLocation(PxOutcome* outcome) {
    if (!isSupportPairexCommand()) return 0;
    BYTE location[pxLocationSize] = {};
    const BYTE cc = getChassisLocation(location);
    if (cc != vkt::ccSuccess) fail(outcome, PxResult::commandFailed, cc);
    return 1;
}
