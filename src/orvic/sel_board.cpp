// Board identity: which board model this server has, and which family of DIMM numbering
// its memory error events use.
//
// The BMC reports a 16-bit board ID (OEM command 21h, bytes 0-1, LS first). The table
// below turns it into a model name; the model name then decides the family through
// fragments of the name that mark a board generation:
//
//   1. no fragment of boardLayoutGenerations          -> "Normal" (plain DIMM number)
//   2. the model boardOwnLayoutModel                  -> that model's own numbering
//   3. a fragment of bricklandGenerations             -> "Brickland"
//   4. a fragment of romleyENGenerations              -> "RomleyEN"
//   5. any other generation of boardLayoutGenerations -> "RomleyEPEX"
//
// Model names follow the pattern VKB-<generation>-<form factor>, where the generation
// code (G3S, G4D, G5Q, ...) says which memory layout the board's BIOS reports.
//
// To add a board: append a row to vkt_board_id. A board of a generation that is already
// listed needs nothing else. A new generation that numbers DIMMs plainly needs nothing
// either; one with a family layout needs its code in boardLayoutGenerations and, for the
// Brickland or RomleyEN layouts, in that family's list too (RomleyEPEX is the rest).
#include <cstring>
#include <iterator>

#include "bounded.h"
#include "ipmi_defs.h"
#include "ipmi_replies.h"
#include "sel_util.h"
#include "smipmi.h"

char boardName[boardTextSize];
char boardType[boardTextSize];

const char* const boardFamilyBrickland = "Brickland";
const char* const boardFamilyRomleyEN = "RomleyEN";
const char* const boardFamilyRomleyEPEX = "RomleyEPEX";
const char* const boardFamilyNormal = "Normal";
const char* const boardOwnLayoutModel = "VKB-G4W-DUO";

// Board ID (MS, LS) -> model name. Keep the rows grouped by generation.
const board_oem_id vkt_board_id[] = {
    // G3S: older boards, plain DIMM numbers.
    {0x0A, 0x10, "VKB-G3S-T1"},
    {0x0A, 0x11, "VKB-G3S-R1U"},
    // G4N, G4L, G4T: single-processor-complex boards with three channel letters per CPU.
    {0x0B, 0x20, "VKB-G4N-R1U"},
    {0x0B, 0x21, "VKB-G4L-T2"},
    {0x0B, 0x22, "VKB-G4T-R2U"},
    // G4D, G4W, G4P: four channel letters per CPU.
    {0x3A, 0x09, "VKB-G4D-R1U"},
    {0x0C, 0x31, "VKB-G4W-R2U"},
    {0x0C, 0x32, "VKB-G4P-R4U"},
    // The dual-node G4W board whose BIOS numbers channels per node, not per CPU.
    {0x0C, 0x33, "VKB-G4W-DUO"},
    // G5Q, G5M, G5X: four-socket boards with memory risers.
    {0x0D, 0x40, "VKB-G5Q-R4U"},
    {0x0D, 0x41, "VKB-G5M-R2U"},
    {0x0D, 0x42, "VKB-G5X-R8U"},
    // G6D, G7W: current boards, plain DIMM numbers again.
    {0x0E, 0x50, "VKB-G6D-R1U"},
    {0x0E, 0x51, "VKB-G7W-R2U"},
};
const size_t vkt_board_id_count = std::size(vkt_board_id);

namespace {

// Generations whose BIOS reports DIMMs in a family-specific layout.
const char* const boardLayoutGenerations[9] = {"G4N", "G4L", "G4T", "G4D", "G4W", "G4P", "G5Q", "G5M", "G5X"};
const char* const bricklandGenerations[3] = {"G5Q", "G5M", "G5X"};
const char* const romleyENGenerations[3] = {"G4N", "G4L", "G4T"};

template <size_t N>
bool containsAny(const char* name, const char* const (&fragments)[N]) {
    for (const char* f : fragments)
        if (strstr(name, f) != nullptr) return true;
    return false;
}

}  // namespace

const char* boardFamilyOf(const char* modelName) {
    if (modelName == nullptr || !containsAny(modelName, boardLayoutGenerations)) return boardFamilyNormal;
    if (strstr(modelName, boardOwnLayoutModel) != nullptr) return boardOwnLayoutModel;
    if (containsAny(modelName, bricklandGenerations)) return boardFamilyBrickland;
    if (containsAny(modelName, romleyENGenerations)) return boardFamilyRomleyEN;
    return boardFamilyRomleyEPEX;
}

BYTE getBoardID() {
    vkt::IpmiReply reply = vkt::ipmiRequest(vkt::netFnOem, vkt::oemSystemInfo);
    if (!reply.ok()) return reply.cc;
    const WORD id = vkt::SystemInfoReply::decode(reply.view()).boardId;
    for (const board_oem_id& row : vkt_board_id) {
        if (row.ms == id >> 8 && row.ls == (id & 0xFF)) {
            VKT_FORMAT(boardName, "%s\n", row.board_name);
            break;
        }
    }
    return vkt::ccSuccess;
}
