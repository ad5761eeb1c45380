// FRU restores from a file whose contents come from the input, the simulated FRU device
// absorbing the writes, and the text listing's round trip: a listing written by the backup,
// of any image at all, must be taken and must restore the very bytes it lists.
//
// Input: a mode byte, the FRU area size (2 bytes, up to 1 KiB), a "fru_source_index" byte,
// then
//   0  the contents of a binary image file;
//   1  the contents of a text listing;
//   2  a FRU image, backed up as a listing and restored onto an erased device.
#include <cstdio>
#include <cstdlib>

#include "fru_util.h"
#include "fuzz_support.h"
#include "invariants.h"
#include "varkolt/bmc.h"

namespace {

using testkit::Bytes;

constexpr uint16_t largestArea = 1024;

void check(bool holds, const char* what) { fuzz::check(holds, "fuzz_fru_restore", what); }

std::unique_ptr<testkit::SimServer> fruDevice(uint16_t area, Bytes image) {
    auto server = std::make_unique<testkit::SimServer>();
    server->fru.areaSize = area;
    server->fru.image = std::move(image);
    fuzz::attachBackend(&server->bmc);
    return server;
}

// A restore that fails before the unlock must not have written anything.
void restoreFile(bool text, uint16_t area, const Bytes& content) {
    const std::string path = fuzz::scratchPath(text ? "restore.txt" : "restore.bin");
    fuzz::writeScratchFile(path, content);
    auto server = fruDevice(area, Bytes(area, 0xFF));
    const Bytes before = server->fru.image;
    const int rc = text ? bmc_RestoreFRUFromText(path.c_str()) : bmc_RestoreFRU(path.c_str());
    if (rc != 0 && server->fru.unlockRequests == 0) check(server->fru.image == before, "a refused restore wrote");
    if (rc == 0) check(server->fru.writeProtected, "a restore left the FRU unlocked");
}

void roundTrip(uint16_t area, const Bytes& image) {
    const std::string path = fuzz::scratchPath("listing.txt");
    auto original = fruDevice(area, image);
    if (bmc_BackupFRUToText(path.c_str()) != 0) return;
    const Bytes listed = original->fru.image;

    auto erased = fruDevice(area, Bytes(area, 0xFF));
    check(bmc_RestoreFRUFromText(path.c_str()) == 0, "a listing written by the backup was not restored");
    const size_t n = static_cast<size_t>(fruWriteBufferLength);
    check(n <= erased->fru.image.size(), "the restore wrote past the area");
    for (size_t i = 0; i < n; ++i) {
        const uint8_t expected = i < listed.size() ? listed[i] : 0xFF;
        check(erased->fru.image[i] == expected, "the listing did not restore the bytes it lists");
    }
    for (size_t i = n; i < erased->fru.image.size(); ++i)
        check(erased->fru.image[i] == 0xFF, "the restore wrote more than the listing holds");
    // What was restored lists as the listing it came from.
    const std::string again = fuzz::scratchPath("again.txt");
    check(bmc_BackupFRUToText(again.c_str()) == 0, "the restored image cannot be backed up");
    check(fuzz::readScratchFile(again) == fuzz::readScratchFile(path), "the restored image lists otherwise");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::setUpProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::InScratchDirectory scratch;
    fuzz::Stream in(data, size);
    const uint8_t mode = in.byte() % 3;
    const uint16_t area = in.word() % (largestArea + 1);
    const uint8_t source = in.byte();
    fuzz::writeScratchFile("fru_source_index", Bytes{static_cast<uint8_t>('0' + source % 3)});
    if (mode == 2)
        roundTrip(area, in.rest());
    else
        restoreFile(mode == 1, area, in.rest());
    fuzz::checkTexts("fru_restore");
    return 0;
}
