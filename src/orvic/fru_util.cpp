// FRU access: the command set choice, the inventory area size, segment reads and writes,
// and the FRU write protection.
#include "fru_util.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "progress.h"
#include "smipmi.h"
#include "varkolt/bmc.h"

BYTE fruNetFu = 0;
BYTE fruGetInventoryCmd = 0;
BYTE fruReadFRUCmd = 0;
BYTE fruWriteFRUCmd = 0;
BYTE fruInventoryAreaInfo[3];
BYTE fru1Flag = 0;
BYTE fruData[fruImageSize];
int32_t fruDataLength = 0;

namespace {

constexpr const char* sourceIndexFile = "fru_source_index";

void selectStandardCommands() {
    fruNetFu = vkt::netFnStorage;
    fruGetInventoryCmd = vkt::cmdGetFruInventoryAreaInfo;
    fruReadFRUCmd = vkt::cmdReadFruData;
    fruWriteFRUCmd = vkt::cmdWriteFruData;
}

void selectOemCommands() {
    fruNetFu = vkt::netFnOem;
    fruGetInventoryCmd = vkt::oemGetFruInventoryAreaInfo;
    fruReadFRUCmd = vkt::oemReadFruData;
    fruWriteFRUCmd = vkt::oemWriteFruData;
}

// The index the file holds: 0 when it is missing or does not start with a number, -1 for a
// number that does not fit an int.
long readSourceIndex() {
    FILE* f = fopen(sourceIndexFile, "r");
    if (f == nullptr) return 0;
    // Blank lines before the number count as white space, as for a "%d" scan.
    int c;
    while ((c = getc(f)) == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f') {
    }
    char text[64] = {};
    size_t n = 0;
    while (c != EOF && n + 1 < sizeof text && (isdigit(c) || ((c == '+' || c == '-') && n == 0))) {
        text[n++] = static_cast<char>(c);
        c = getc(f);
    }
    fclose(f);
    const char* p = text;
    char* end = nullptr;
    errno = 0;
    long value = strtol(p, &end, 10);
    if (end == p) return 0;
    if (errno == ERANGE || value < -2147483647L - 1 || value > 2147483647L) return -1;
    return value;
}

uint16_t le16(BYTE ls, BYTE ms) { return static_cast<uint16_t>(ms << 8 | ls); }

BYTE fruDeviceId() { return fru1Flag == 1 ? 1 : 0; }

}  // namespace

void loadFRUSourceSetting() {
    switch (readSourceIndex()) {
        case 0:
            selectStandardCommands();
            break;
        case 1:
            selectOemCommands();
            break;
        default:
            // Another number keeps the earlier choice; before any choice, sending FRU requests
            // with netFn/cmd 00h would reach a chassis command instead.
            if (fruNetFu == 0) selectStandardCommands();
            break;
    }
}

BYTE getFRUInventoryAreaInfo() {
    loadFRUSourceSetting();
    const BYTE request[] = {0x00};
    vkt::IpmiReply reply = vkt::ipmiRequest(fruNetFu, fruGetInventoryCmd, request, sizeof request);
    if (!reply.ok()) return reply.cc;
    // A shorter answer leaves the bytes it did not send as they were.
    const vkt::FruInventoryInfoReply info = vkt::FruInventoryInfoReply::decode(reply.view());
    std::copy(info.bytes.begin(), info.bytes.begin() + static_cast<long>(info.received), fruInventoryAreaInfo);
    return reply.cc;
}

size_t fruInventoryAreaSize() {
    size_t size = le16(fruInventoryAreaInfo[0], fruInventoryAreaInfo[1]);
    if (fruInventoryAreaInfo[2] == vkt::fruAccessByWords) size *= 2;
    return size;
}

BYTE readFRUbySegment(BYTE (&data)[fruImageSize], int32_t* length) {
    size_t size = fruInventoryAreaSize();
    // The buffer holds one image of fruImageSize bytes; a larger area is read only so far.
    if (size > fruImageSize) size = fruImageSize;
    if (length != nullptr) *length = static_cast<int32_t>(size);
    // Bytes past the area must not carry an earlier, larger image into the parser.
    memset(data + size, 0, fruImageSize - size);

    size_t offset = 0;
    while (offset < size) {
        const BYTE count = static_cast<BYTE>(size - offset < fruSegmentSize ? size - offset : fruSegmentSize);
        const BYTE request[] = {fruDeviceId(), static_cast<BYTE>(offset & 0xFF), static_cast<BYTE>(offset >> 8 & 0xFF),
                                count};
        vkt::IpmiReply reply = vkt::ipmiRequest(fruNetFu, fruReadFRUCmd, request, sizeof request);
        if (!reply.ok()) return reply.cc;
        // Take no more than was asked, than the BMC says it returned, or than it sent.
        const vkt::FruReadReply read = vkt::FruReadReply::decode(reply.view());
        const size_t got = std::min<size_t>(read.data.size(), count);
        read.data.copyTo(data + offset, 0, got);
        if (got == 0) {
            // Nothing came back: leave a hole of zeros rather than an earlier image's bytes.
            memset(data + offset, 0, count);
            offset += count;
        } else {
            // A short answer: ask again for the rest instead of keeping stale bytes.
            offset += got;
        }
        vkt::reportProgress(VKT_PROGRESS_FRU_READ, static_cast<long>(offset), static_cast<long>(size));
    }
    return 0;
}

BYTE writeFRUbySegment(BYTE offsetLS, BYTE offsetMS, const BYTE* data, BYTE count) {
    BYTE request[vkt::ipmiMaxRequestData] = {};
    constexpr size_t head = 3;
    size_t n = count;
    if (n > sizeof request - head) n = sizeof request - head;
    request[0] = fruDeviceId();
    request[1] = offsetLS;
    request[2] = offsetMS;
    if (data != nullptr && n > 0) memcpy(request + head, data, n);
    if (fruNetFu == 0) loadFRUSourceSetting();
    vkt::IpmiReply reply = vkt::ipmiRequest(fruNetFu, fruWriteFRUCmd, request, static_cast<int>(head + n));
    return reply.cc;
}

BYTE writeFRUBufferInSegments(size_t length, size_t segmentSize) {
    if (length > fruWriteBufferSize) length = fruWriteBufferSize;
    for (size_t offset = 0; offset < length; offset += segmentSize) {
        // The last segment carries only what is left: nothing past the image reaches the FRU.
        const size_t count = length - offset < segmentSize ? length - offset : segmentSize;
        const BYTE cc = writeFRUbySegment(static_cast<BYTE>(offset & 0xFF), static_cast<BYTE>(offset >> 8 & 0xFF),
                                          fruWriteBuffer + offset, static_cast<BYTE>(count));
        if (cc != 0) return cc;
        vkt::reportProgress(VKT_PROGRESS_FRU_WRITE, static_cast<long>(offset + count), static_cast<long>(length));
    }
    return 0;
}

static BYTE setFRUWriteProtect(BYTE state) {
    const BYTE request[] = {state};
    return vkt::ipmiRequest(vkt::netFnOem, vkt::oemFruWriteProtect, request, sizeof request).cc;
}

BYTE lockFRU() { return setFRUWriteProtect(vkt::fruProtectLock); }
BYTE unlockFRU() { return setFRUWriteProtect(vkt::fruProtectUnlock); }
