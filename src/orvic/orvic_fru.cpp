// The exported FRU routines: the collector of the FRU provider, backup and restore of the
// FRU image (binary or text listing) and field editing.
#include <cstdio>
#include <cstring>

#include "entry_barrier.h"
#include "fru_util.h"
#include "output_file.h"
#include "smipmi.h"
#include "varkolt/bmc.h"

namespace {

const char* shown(const char* text) { return text != nullptr ? text : ""; }

// Reads the whole FRU image into fruData; 0 or VKT_BMC_COMMAND_FAILED after the message.
int readFRUImage(bool quiet) {
    BYTE cc = getFRUInventoryAreaInfo();
    if (cc != 0) {
        if (!quiet) vkt::reportFailure("Failed to get FRU inventory area, %s", cc);
        return VKT_BMC_COMMAND_FAILED;
    }
    cc = readFRUbySegment(fruData, &fruDataLength);
    if (cc != 0) {
        if (!quiet) vkt::reportFailure("Failed to get FRU data, %s", cc);
        return VKT_BMC_COMMAND_FAILED;
    }
    return VKT_BMC_OK;
}

size_t imageLength() {
    return fruDataLength > 0 ? static_cast<size_t>(fruDataLength) : 0;
}

// Messages of a failed restore; the FRU stays unlocked, as it was for the write.
int reportRestoreResult(int result, const char* path) {
    if (result == fruFileOpenError) {
        fprintf(stderr, "Load %s file error.\n", shown(path));
    } else if (result == fruFileReadError) {
        fputs("Reading error.\n", stderr);
    } else {
        vkt::reportFailure("Write FRU error, %s", static_cast<BYTE>(result));
    }
    return VKT_BMC_COMMAND_FAILED;
}

// The two file forms of a restore: how a file is read into the write buffer, the segment
// size its image is written in, and whether it is a text listing.
struct RestoreForm {
    int (*load)(const char*);
    size_t segmentSize;
    bool listing;
};

int refuseListing(const char* path) {
    fprintf(stderr, "The listing %s does not describe a consistent FRU image; nothing was written.\n", shown(path));
    return VKT_BMC_COMMAND_FAILED;
}

// A file larger than the FRU area would be written in part before the BMC refuses the rest,
// leaving the FRU overwritten and unlocked: compare before anything is unlocked.
int checkFitsFRUArea(const char* path, const RestoreForm& form) {
    const BYTE cc = getFRUInventoryAreaInfo();
    if (cc != 0) {
        vkt::reportFailure("Failed to get FRU inventory area, %s", cc);
        return VKT_BMC_COMMAND_FAILED;
    }
    const size_t area = fruInventoryAreaSize();
    const size_t length = static_cast<size_t>(fruWriteBufferLength);
    if (length > area) {
        fprintf(stderr, "The file %s (%d bytes) is larger than the FRU area (%d bytes); nothing was written.\n",
                shown(path), static_cast<int>(fruWriteBufferLength), static_cast<int>(area));
        return VKT_BMC_COMMAND_FAILED;
    }
    // A listing that stops where an area or a field would go on is the backup of an image
    // that ended there, a FRU of just that size; for a FRU of any other size its end was lost.
    const size_t backedUp = area < fruImageSize ? area : fruImageSize;
    if (form.listing && length != backedUp && fruListingEndsWithImage(fruWriteBuffer, length))
        return refuseListing(path);
    return VKT_BMC_OK;
}

int restore(const char* path, const RestoreForm& form) {
    // The file is read and checked first: one that cannot be read whole is refused with
    // nothing sent; one that cannot be opened is still reported after the unlock, as it
    // always was.
    const int loaded = form.load(path);
    if (loaded == fruFileReadError) return reportRestoreResult(loaded, path);
    if (loaded == fruFileInconsistent) return refuseListing(path);
    if (loaded == fruFileOk) {
        if (int r = checkFitsFRUArea(path, form)) return r;
    }
    BYTE cc = unlockFRU();
    if (cc != 0) {
        vkt::reportFailure("Unlock FRU error, %s", cc);
        return VKT_BMC_COMMAND_FAILED;
    }
    if (loaded != fruFileOk) return reportRestoreResult(loaded, path);
    const BYTE written = writeFRUBufferInSegments(static_cast<size_t>(fruWriteBufferLength), form.segmentSize);
    if (written != 0) return reportRestoreResult(written, path);
    fputs("Restore FRU successfully.", stdout);
    cc = lockFRU();
    if (cc != 0) {
        vkt::reportFailure("Lock FRU error, %s", cc);
        return VKT_BMC_COMMAND_FAILED;
    }
    return VKT_BMC_OK;
}

constexpr RestoreForm binaryFile = {loadFRUFile, fruSegmentSize, false};
constexpr RestoreForm textListing = {loadFRUTextFile, fruTextSegmentSize, true};

struct FieldValue {
    const char* code;
    const char* value;
};

// Reads and parses the FRU, applies the fields, rebuilds the image and writes it between an
// unlock and a lock; the new image is read back at the end.
int rewriteFRU(const FieldValue* fields, size_t count) {
    // A typo must not rewrite the whole inventory: refuse before the FRU is even read.
    for (size_t i = 0; i < count; ++i) {
        if (!isFRUFieldCode(fields[i].code)) {
            fprintf(stderr, "Unknown FRU field %s.\n", shown(fields[i].code));
            return VKT_BMC_BAD_ARGUMENT;
        }
        if (fields[i].value != nullptr && checkFRUField(fields[i].code, fields[i].value) != 0) {
            fprintf(stderr, "Invalid value %s for FRU field %s.\n", fields[i].value, fields[i].code);
            return VKT_BMC_BAD_ARGUMENT;
        }
    }
    if (int r = readFRUImage(false)) return r;
    parseFRUData(fruData, imageLength(), 0);
    for (size_t i = 0; i < count; ++i)
        if (fields[i].value != nullptr) setFRUField(fields[i].code, fields[i].value);
    // Refuse before anything is unlocked: a rebuilt image that lost what the records could
    // not hold, or that does not fit the FRU, would leave a damaged inventory behind.
    if (fruParseIncomplete || !toFRURawKeepsRecords()) {
        fputs("The FRU image holds data that cannot be rebuilt; nothing was written.\n", stderr);
        return VKT_BMC_COMMAND_FAILED;
    }
    if (fruWriteBufferLength > fruDataLength) {
        fprintf(stderr, "The new FRU image (%d bytes) is larger than the FRU area (%d bytes); nothing was written.\n",
                static_cast<int>(fruWriteBufferLength), static_cast<int>(fruDataLength));
        return VKT_BMC_COMMAND_FAILED;
    }

    BYTE cc = unlockFRU();
    if (cc != 0) {
        vkt::reportFailure("Unlock FRU error, %s", cc);
        return VKT_BMC_COMMAND_FAILED;
    }
    cc = writeFRU();
    if (cc != 0) {
        vkt::reportFailure("Write FRU error, %s", cc);
        return VKT_BMC_COMMAND_FAILED;
    }
    cc = lockFRU();
    if (cc != 0) {
        vkt::reportFailure("Lock FRU error, %s", cc);
        return VKT_BMC_COMMAND_FAILED;
    }
    return bmc_GetFRUList();
}

int writeDMIToFRU(const FieldValue (&fields)[14]) { return rewriteFRU(fields, 14); }

}  // namespace

extern "C" {

int bmc_GetFRUList(void) {
    return vkt::entryBarrier(__func__, [&] {
        if (int r = readFRUImage(false)) return r;
        parseFRUData(fruData, imageLength(), 1);
        return VKT_BMC_OK;
    });
}

int bmc_BackupFRU(const char* path) {
    return vkt::entryBarrier(__func__, [&] {
        if (int r = readFRUImage(false)) return r;
        parseFRUData(fruData, imageLength(), 0);
        FILE* f = vkt::openOutputFile(path);
        if (f == nullptr) {
            fprintf(stderr, "new %s file error\n", shown(path));
            return VKT_BMC_COMMAND_FAILED;
        }
        const size_t n = imageLength();
        const bool written = fwrite(fruData, 1, n, f) == n;
        const bool closed = fclose(f) == 0;
        if (!written || !closed) {
            fprintf(stderr, "new %s file error\n", shown(path));
            return VKT_BMC_COMMAND_FAILED;
        }
        fputs("Backup FRU successfully.", stdout);
        return VKT_BMC_OK;
    });
}

int bmc_RestoreFRU(const char* path) {
    return vkt::entryBarrier(__func__, [&] { return restore(path, binaryFile); });
}

int bmc_BackupFRUToText(const char* path) {
    return vkt::entryBarrier(__func__, [&] {
        if (int r = readFRUImage(false)) return r;
        const int result = parseFRUDataToText(fruData, imageLength(), path);
        if (result == fruFileVersionError) {
            fprintf(stderr, "Unsupported FRU format version %02Xh; nothing was written.\n",
                    fruDataLength > 0 ? fruData[0] : 0);
            return VKT_BMC_COMMAND_FAILED;
        }
        if (result != fruFileOk) {
            fprintf(stderr, "new %s file error\n", shown(path));
            return VKT_BMC_COMMAND_FAILED;
        }
        fputs("Backup FRU successfully.", stdout);
        return VKT_BMC_OK;
    });
}

int bmc_RestoreFRUFromText(const char* path) {
    return vkt::entryBarrier(__func__, [&] { return restore(path, textListing); });
}

int bmc_SetFRUField(const char* code, const char* value) {
    return vkt::entryBarrier(__func__, [&] {
        if (value == nullptr) {
            fputs("No value given for the FRU field.\n", stderr);
            return VKT_BMC_BAD_ARGUMENT;
        }
        const FieldValue field[] = {{code, value}};
        return rewriteFRU(field, 1);
    });
}

int bmc_GetFRUField(const char* /*code*/) {
    return vkt::entryBarrier(__func__, [&] {
        if (int r = readFRUImage(true)) return r;
        parseFRUData(fruData, imageLength(), 0);
        return VKT_BMC_OK;
    });
}

int bmc_DMIToFRU(const char* productManufacturer, const char* productName, const char* productPartModel,
                 const char* productVersion, const char* productSerial, const char* productAssetTag,
                 const char* boardMfgDateTime, const char* boardManufacturer, const char* boardProductName,
                 const char* boardPartNumber, const char* boardSerial, const char* chassisType,
                 const char* chassisPart, const char* chassisSerial) {
    const FieldValue fields[14] = {
        {"pm", productManufacturer}, {"pn", productName},       {"ppm", productPartModel},
        {"pv", productVersion},      {"ps", productSerial},     {"pat", productAssetTag},
        {"bdt", boardMfgDateTime},   {"bm", boardManufacturer}, {"bpn", boardProductName},
        {"bp", boardPartNumber},     {"bs", boardSerial},       {"ct", chassisType},
        {"cp", chassisPart},         {"cs", chassisSerial},
    };
    return vkt::entryBarrier(__func__, [&] { return writeDMIToFRU(fields); });
}

}  // extern "C"
