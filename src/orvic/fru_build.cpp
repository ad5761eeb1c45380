// Building a FRU image from a value, in small steps: bytes appended, a field, zeros up to the
// checksum's place, the checksum; an area from its head, fields and custom bytes; the common
// header from the areas' sizes. Pure: nothing but the value is read.
#include <algorithm>

#include "bounded.h"
#include "fru_format.h"

namespace vkt {

namespace {

using Bytes = std::vector<BYTE>;

void appendByte(Bytes& area, BYTE b) { area.push_back(b); }

void appendData(Bytes& area, const BYTE* data, size_t n) { area.insert(area.end(), data, data + n); }

// Its type/length byte and as many bytes as that gives (zeros for those an image did not hold).
void appendField(Bytes& area, const FruField& field) {
    appendByte(area, field.typeLength);
    for (size_t i = 0; i < field.length(); ++i) appendByte(area, i < field.held ? field.bytes[i] : 0);
}

// Zeros up to the size that, with the checksum byte still to come, is a multiple of 8.
void padData(Bytes& area) {
    while ((area.size() + 1) % fruAreaUnit != 0) appendByte(area, 0);
}

// Sets the length byte (in units of 8) and appends the checksum that makes the area sum 0.
void appendDataChecksum(Bytes& area) {
    area[1] = static_cast<BYTE>((area.size() + 1) / fruAreaUnit);
    appendByte(area, zeroChecksum(byteSum(area.data(), area.size())));
}

// The area up to its end-of-fields marker is what was read of the stored one, length byte
// aside: the stored area goes back whole, with its own padding and checksum (right or wrong).
bool sameAsStored(const Bytes& area, const Bytes& stored) {
    return stored.size() > area.size() && area[0] == stored[0] && std::equal(area.begin() + 2, area.end(), stored.begin() + 2);
}

void finishArea(Bytes& area, const FruInfoArea& info) {
    appendByte(area, fruEndOfFields);
    if (sameAsStored(area, info.stored)) {
        area = info.stored;
        return;
    }
    padData(area);
    appendDataChecksum(area);
}

void appendFieldsAndCustom(Bytes& area, const FruInfoArea& info) {
    for (const FruField& f : info.fields) appendField(area, f);
    appendData(area, info.custom.data(), info.custom.size());
}

Bytes buildInternalUseArea(const FruInternalUseArea& use) {
    Bytes area;
    appendData(area, use.bytes.data(), std::min(use.length, use.bytes.size()));
    return area;
}

Bytes buildChassisInfoArea(const FruInfoArea& chassis) {
    Bytes area = {chassis.formatVersion, 0, chassis.type};
    appendFieldsAndCustom(area, chassis);
    finishArea(area, chassis);
    return area;
}

Bytes buildBoardInfoArea(const FruInfoArea& board) {
    Bytes area = {board.formatVersion, 0, board.language};
    appendData(area, board.mfgDateTime.data(), board.mfgDateTime.size());
    appendFieldsAndCustom(area, board);
    finishArea(area, board);
    return area;
}

Bytes buildProductInfoArea(const FruInfoArea& product) {
    Bytes area = {product.formatVersion, 0, product.language};
    appendFieldsAndCustom(area, product);
    finishArea(area, product);
    return area;
}

// The records as they are, checksums kept; a record's missing data bytes as zeros.
Bytes buildMultiRecordArea(const FruMultiRecordArea& multi) {
    Bytes area;
    for (const FruMultiRecord& r : multi.records) {
        const BYTE head[] = {r.typeId, r.flag, r.length, r.recordChecksum, r.headerChecksum};
        appendData(area, head, sizeof head);
        for (size_t k = 0; k < r.length; ++k) appendByte(area, k < r.data.size() ? r.data[k] : 0);
    }
    return area;
}

Bytes buildArea(const FruImage& image, FruAreaKind kind) {
    switch (kind) {
        case FruAreaKind::internalUse:
            return buildInternalUseArea(image.internalUse);
        case FruAreaKind::chassis:
            return buildChassisInfoArea(image.chassis);
        case FruAreaKind::board:
            return buildBoardInfoArea(image.board);
        case FruAreaKind::product:
            return buildProductInfoArea(image.product);
        case FruAreaKind::multiRecord:
            return buildMultiRecordArea(image.multiRecords);
    }
    return {};
}

// The format version, each present area's offset in units of 8 (the first right after the
// header, each next one after the units of the one before), a zero and the checksum.
Bytes buildCommonHeader(BYTE version, const Bytes (&areas)[fruAreaCount], const bool (&present)[fruAreaCount]) {
    Bytes header = {version, 0, 0, 0, 0, 0, 0};
    size_t offsetUnits = 1;
    for (int i = 0; i < fruAreaCount; ++i) {
        if (!present[i]) continue;
        header[1 + i] = static_cast<BYTE>(offsetUnits);
        offsetUnits += (areas[i].size() + fruAreaUnit - 1) / fruAreaUnit;
    }
    appendByte(header, zeroChecksum(byteSum(header.data(), header.size())));
    return header;
}

}  // namespace

std::vector<BYTE> buildFruImage(const FruImage& image) {
    Bytes areas[fruAreaCount];
    bool present[fruAreaCount] = {};
    for (int i = 0; i < fruAreaCount; ++i) {
        present[i] = image.has(fruAreaKinds[i]);
        if (present[i]) areas[i] = buildArea(image, fruAreaKinds[i]);
    }
    Bytes out = buildCommonHeader(image.version(), areas, present);
    for (int i = 0; i < fruAreaCount; ++i)
        if (present[i]) appendData(out, areas[i].data(), areas[i].size());
    return out;
}

}  // namespace vkt
