// The FRU image from the input: the parser (BMC and module buffers, report records and the
// image builder; the value of an image read whole builds back into itself), the FRU
// provider's collector reading it from the simulated FRU device, and field edits, which must
// leave every field the caller did not name as it was, down to its type/length byte, and
// every area it did not touch byte for byte; and an image the parser reads whole must take
// any edit.
//
// Input: a mode byte, then
//   0  the image;
//   1  area size (2 bytes, up to 1 KiB), access type, "fru_source_index" byte, then the image;
//   2  field code index, value (length byte + bytes), area size (2 bytes, up to 1 KiB), then
//      the image.
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include "cimhost.h"
#include "fru_util.h"
#include "fuzz_support.h"
#include "invariants.h"
#include "varkolt/bmc.h"

namespace {

using testkit::Bytes;

void clearPastText(char* text) {
    const size_t n = strnlen(text, fruTextSize);
    memset(text + n, 0, fruTextSize - n);
}

template <size_t N>
void clearPastBytes(BYTE (&bytes)[N], size_t used) {
    if (used < N) memset(bytes + used, 0, N - used);
}

// The area records of one parse, with every byte past a field's end cleared, so that two
// parses compare equal exactly when they read the same fields.
FruRecordSet takeRecords() {
    FruRecordSet r = FruRecordSet::take();
    if (r.useLength <= 8) memset(r.internalUse.useData2, 0, sizeof r.internalUse.useData2);
    for (char* t : {r.chassisArea.part, r.chassisArea.serial, r.boardArea.mfg, r.boardArea.prod, r.boardArea.serial,
                    r.boardArea.part, r.boardArea.fru, r.productArea.mfg, r.productArea.name, r.productArea.part,
                    r.productArea.version, r.productArea.serial, r.productArea.asset, r.productArea.fru})
        clearPastText(t);
    clearPastBytes(r.chassisArea.custom, r.chassisArea.custom_len);
    clearPastBytes(r.boardArea.custom, r.boardArea.custom_len);
    clearPastBytes(r.productArea.custom, r.productArea.custom_len);
    for (int i = 0; i < fruMultiRecordCount; ++i)
        if (i < r.recordCount)
            clearPastBytes(r.records[i].data, r.records[i].rec_len);
        else
            r.records[i] = fru_area_multi{};
    return r;
}

// What an edit may change: the named field and whether its area is present.
using Forget = std::function<void(FruRecordSet&)>;

void forgetText(char* text, BYTE& length) {
    memset(text, 0, fruTextSize);
    length = 0;
}

struct Code {
    const char* code;
    Forget forget;
    int area;   // the area the field lies in: 0 chassis, 1 board, 2 product (-1: none)
    int field;  // its place among the area's fields (-1: not a field)
};

const Code codes[] = {
    {"ct", [](FruRecordSet& r) { r.chassisArea.type = 0, r.present[1] = 0; }, 0, -1},
    {"cp", [](FruRecordSet& r) { forgetText(r.chassisArea.part, r.chassisArea.part_len), r.present[1] = 0; }, 0, 0},
    {"cs", [](FruRecordSet& r) { forgetText(r.chassisArea.serial, r.chassisArea.serial_len), r.present[1] = 0; }, 0, 1},
    {"bdt", [](FruRecordSet& r) { memset(r.boardArea.mfg_date_time, 0, 3), r.present[2] = 0; }, 1, -1},
    {"bm", [](FruRecordSet& r) { forgetText(r.boardArea.mfg, r.boardArea.mfg_len), r.present[2] = 0; }, 1, 0},
    {"bpn", [](FruRecordSet& r) { forgetText(r.boardArea.prod, r.boardArea.prod_len), r.present[2] = 0; }, 1, 1},
    {"bs", [](FruRecordSet& r) { forgetText(r.boardArea.serial, r.boardArea.serial_len), r.present[2] = 0; }, 1, 2},
    {"bp", [](FruRecordSet& r) { forgetText(r.boardArea.part, r.boardArea.part_len), r.present[2] = 0; }, 1, 3},
    {"bv",
     [](FruRecordSet& r) {
         memset(r.boardArea.custom, 0, sizeof r.boardArea.custom);
         r.boardArea.custom_len = 0;
         r.present[2] = 0;
     },
     1, 5},
    {"pm", [](FruRecordSet& r) { forgetText(r.productArea.mfg, r.productArea.mfg_len), r.present[3] = 0; }, 2, 0},
    {"pn", [](FruRecordSet& r) { forgetText(r.productArea.name, r.productArea.name_len), r.present[3] = 0; }, 2, 1},
    {"ppm", [](FruRecordSet& r) { forgetText(r.productArea.part, r.productArea.part_len), r.present[3] = 0; }, 2, 2},
    {"pv", [](FruRecordSet& r) { forgetText(r.productArea.version, r.productArea.version_len), r.present[3] = 0; },
     2, 3},
    {"ps", [](FruRecordSet& r) { forgetText(r.productArea.serial, r.productArea.serial_len), r.present[3] = 0; }, 2, 4},
    {"pat", [](FruRecordSet& r) { forgetText(r.productArea.asset, r.productArea.asset_len), r.present[3] = 0; }, 2, 5},
    {"xx", [](FruRecordSet&) {}, -1, -1},  // no such field: refused
};

// The first part in which two parses differ, or nullptr.
const char* difference(const FruRecordSet& a, const FruRecordSet& b) {
    auto eq = [](const auto& x, const auto& y) { return memcmp(&x, &y, sizeof x) == 0; };
    if (!eq(a.present, b.present)) return "an edit changed which areas are present";
    if (!eq(a.internalUse, b.internalUse) || a.useLength != b.useLength)
        return "an edit changed the internal-use area";
    if (!eq(a.chassisArea, b.chassisArea)) return "an edit changed a chassis field it did not name";
    if (!eq(a.boardArea, b.boardArea)) return "an edit changed a board field it did not name";
    if (!eq(a.productArea, b.productArea)) return "an edit changed a product field it did not name";
    if (!eq(a.records, b.records) || a.recordCount != b.recordCount) return "an edit changed the multi-records";
    return nullptr;
}

// The first way in which an edit changed how the areas are stored beyond the field it names:
// another field's type/length byte or bytes, an area's format version or language, or the
// bytes of an area it did not touch.
const char* storedDifference(const FruRecordSet& a, const FruRecordSet& b, const Code& code) {
    for (int k = 0; k < 3; ++k) {
        const FruStoredArea& x = a.stored[k];
        const FruStoredArea& y = b.stored[k];
        if (k != code.area && x.whole &&
            (!y.whole || x.length != y.length || memcmp(x.bytes, y.bytes, x.length) != 0))
            return "an edit changed the bytes of an area it did not touch";
        if (x.kept && (!y.kept || x.formatVersion != y.formatVersion || (k > 0 && x.language != y.language)))
            return "an edit changed an area's format version or language";
        for (int i = 0; i < fruStoredFieldCount; ++i) {
            const FruStoredField& f = x.fields[i];
            const FruStoredField& g = y.fields[i];
            if (!f.kept || (k == code.area && i == code.field)) continue;
            if (!g.kept || f.typeLength != g.typeLength || memcmp(f.bytes, g.bytes, f.typeLength & 0x3F) != 0)
                return "an edit changed the stored bytes of a field it did not name";
        }
    }
    return nullptr;
}

void check(bool holds, const char* what) { fuzz::check(holds, "fuzz_fru_image", what); }

// The value of an image read whole reads back, unchanged, from the image built of it (as
// long as that image is small enough for every offset and length byte to hold its units).
void buildsBack(const std::vector<BYTE>& image, vkt::FruLayout layout) {
    const vkt::FruImage value = vkt::decodeFruImage(vkt::ByteView(image.data(), image.size()), layout);
    if (!value.readWhole()) return;
    const std::vector<BYTE> built = vkt::buildFruImage(value);
    if (built.size() > 255 * vkt::fruAreaUnit) return;
    check(vkt::decodeFruImage(vkt::ByteView(built.data(), built.size()), layout) == value,
          "an image read whole does not read back from the image built of it");
}

void parseEverywhere(const Bytes& image) {
    // Exactly as long as the input, so a read past the image end is a finding.
    std::vector<BYTE> exact(image.begin(), image.end());
    buildsBack(exact, vkt::FruLayout{false});
    buildsBack(exact, vkt::FruLayout{true});
    parseFRUData(exact.data(), exact.size(), 0);
    parseFRUData(exact.data(), exact.size(), 1);
    toFRURawKeepsRecords();
    BYTE module[fruModuleImageSize] = {};
    if (!image.empty()) memcpy(module, image.data(), std::min(image.size(), sizeof module));
    parseFRUData(module, 0);
    if (image.size() >= 3) {
        char when[20];
        getMfgDateTime(when, image.data());
    }
}

void collect(fuzz::Stream& in) {
    fuzz::InScratchDirectory scratch;
    auto server = std::make_unique<testkit::SimServer>();
    // Every 16 bytes of area cost two exchanges; past 1 KiB the reads only repeat themselves.
    constexpr uint16_t largestArea = 1024;
    const uint16_t area = in.word() % (largestArea + 1);
    server->fru.accessType = in.byte() & 1;
    const uint8_t source = in.byte();
    fuzz::writeScratchFile("fru_source_index", Bytes{static_cast<uint8_t>('0' + source % 3)});
    server->fru.image = in.rest();
    server->fru.areaSize = area;
    fuzz::attachBackend(&server->bmc);
    cimhost::Host::inProcess()->enumerate("FRUProvider");
    bmc_BackupFRUToText(fuzz::scratchPath("backup.txt").c_str());
}

void edit(fuzz::Stream& in) {
    const Code& code = codes[in.byte() % (sizeof codes / sizeof codes[0])];
    const std::string value = in.text(80);
    auto server = std::make_unique<testkit::SimServer>();
    server->fru.areaSize = in.word() % (fruImageSize / 4 + 1);
    server->fru.image = in.rest();
    fuzz::attachBackend(&server->bmc);
    if (bmc_GetFRUField(nullptr) != 0) return;
    // Whatever encodings its fields use, an image read whole rebuilds with the edit in it.
    if (fruParseIncomplete == 0 && checkFRUField(code.code, value.c_str()) == 0) {
        setFRUField(code.code, value.c_str());
        // (Areas kept as they were stored may, overlapping in the image, add up to more
        // than the write buffer holds; such an image is refused, rightly.)
        check(toFRURawKeepsRecords() || static_cast<size_t>(fruWriteBufferLength) >= fruWriteBufferSize,
              "an image read whole cannot be rebuilt with an edit");
        if (bmc_GetFRUField(nullptr) != 0) return;
    }
    FruRecordSet before = takeRecords();
    const Bytes imageBefore = server->fru.image;

    const int rc = bmc_SetFRUField(code.code, value.c_str());
    if (rc != 0) {
        // Refused before the unlock: nothing may have been written.
        if (server->fru.unlockRequests == 0) check(server->fru.image == imageBefore, "a refused edit wrote");
        return;
    }
    check(bmc_GetFRUField(nullptr) == 0, "the edited image cannot be read");
    FruRecordSet after = takeRecords();
    const char* storedChange = storedDifference(before, after, code);
    check(storedChange == nullptr, storedChange);
    code.forget(before);
    code.forget(after);
    const char* changed = difference(before, after);
    check(changed == nullptr, changed);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::setUpProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Stream in(data, size);
    switch (in.byte() % 3) {
        case 0:
            parseEverywhere(in.rest());
            break;
        case 1:
            collect(in);
            break;
        default:
            edit(in);
            break;
    }
    fuzz::checkTexts("fru_image");
    return 0;
}
