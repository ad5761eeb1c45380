// NVMe drives behind the add-on cards: presence and locate bitmaps per card, drive data
// read from the drive's management data, and the management request. The BMC serves all
// of it through one OEM command whose first request byte is 6Ch.
#include <array>
#include <cstdio>

#include "bounded.h"
#include "dmifru_util.h"
#include "entry_barrier.h"
#include "ipmi_defs.h"
#include "ipmi_replies.h"
#include "smipmi.h"
#include "varkolt/bmc.h"

namespace {

constexpr BYTE nvmeSelector = 0x6C;
constexpr BYTE nvmeQuery = 0x00;
constexpr BYTE nvmeManage = 0x01;
constexpr BYTE driveDataRead = 0x01;
constexpr int byteMax = 0xFF;

// Drive data reads: offset and length of each.
constexpr BYTE identityOffset = 0x00, identityLength = 0x19;
constexpr BYTE linkOffset = 0x19, linkLength = 0x3C;
constexpr BYTE healthOffset = 0x5C, healthLength = 0x0C;

bool validCard(int card) { return card >= 0 && card < vkt::nvmeCardCount; }
bool validSlot(int slot) { return slot >= 0 && slot < vkt::nvmeSlotCount; }

// The card's status answer; a failed query (or an unknown card) reads as all zeros.
vkt::IpmiReply cardStatus(int card) {
    vkt::IpmiReply reply;
    reply.cc = vkt::ccParameterOutOfRange;
    if (!validCard(card)) return reply;
    const BYTE request[5] = {nvmeSelector, nvmeQuery, static_cast<BYTE>(card), 0x00, 0x00};
    reply = vkt::ipmiRequest(vkt::netFnOem, vkt::oemTagsAndDrives, request);
    if (!reply.ok()) reply.length = 0;
    return reply;
}

vkt::NvmeCardStatusReply statusOf(const vkt::IpmiReply& status) {
    return vkt::NvmeCardStatusReply::decode(status.view());
}

vkt::IpmiReply readDrive(int card, int slot, BYTE offset, BYTE length) {
    const BYTE request[7] = {nvmeSelector, nvmeQuery, static_cast<BYTE>(card), static_cast<BYTE>(slot),
                             driveDataRead, offset, length};
    return vkt::ipmiRequest(vkt::netFnOem, vkt::oemTagsAndDrives, request);
}

// A fixed-width text field of the drive data, cut at a NUL.
template <size_t N, size_t W>
void driveText(char (&out)[N], const std::array<char, W>& field) {
    vkt::copyText(out, field.data(), W);
}

void printIdentity(int card, int slot, const vkt::NvmeCardStatusReply& status, const vkt::NvmeIdentityReply& id) {
    putchar('\n');
    printf("CPLD version              : %02X %02X\n", status.cpld[0], status.cpld[1]);
    nvmeLocateStatus(card, slot);
    printf("Class Code                : %02X %02X %02X\n", id.classCode[0], id.classCode[1], id.classCode[2]);
    printf("Vendor ID                 : %02X %02X\n", id.vendorId >> 8, id.vendorId & 0xFF);
    char serial[sizeof id.serial + 1];
    driveText(serial, id.serial);
    printf("Serial Number             : %.20s\n", serial);
}

void printLinks(const vkt::NvmeLinkReply& link) {
    char model[sizeof link.model + 1];
    driveText(model, link.model);
    printf("Model Number              : %.40s\n", model);
    printf("Port 0 Max Link Speed     : %4.2f GT/s\n", nvmeSpeedMapping(link.port0Speed));
    printf("Port 0 Max Link Width     : %d\n", link.port0Width);
    printf("Port 1 Max Link Speed     : %4.2f GT/s\n", nvmeSpeedMapping(link.port1Speed));
    printf("Port 1 Max Link Width     : %d\n", link.port1Width);
    printf("Initial Power Requirement : %d Watts\n", link.initialPower);
    printf("Max Power Requirement     : %d Watts\n", link.maxPower);
}

}  // namespace

BYTE nvmeDetect(int card, int index) {
    if (index < 0) return 0;
    // Any byte of the status answer, by its place.
    return cardStatus(card).view()[static_cast<size_t>(index)];
}

void nvmeLocateStatus(int card, int slot) {
    if (!validSlot(slot)) return;
    const vkt::IpmiReply status = cardStatus(card);
    if (!status.ok()) return;
    printf("locate status             : %s\n", statusOf(status).locating(slot) ? "Yes" : "No");
}

float nvmeSpeedMapping(BYTE code) {
    switch (code) {
        case 1:
            return 2.5f;
        case 2:
            return 5.0f;
        case 3:
            return 8.0f;
        default:
            return 0.0f;
    }
}

BYTE nvmeList() {
    puts("Following list shows the presenting NVME SSD HD(s):");
    for (int card = 0; card < vkt::nvmeCardCount; ++card) {
        const vkt::NvmeCardStatusReply status = statusOf(cardStatus(card));
        for (int slot = 0; slot < vkt::nvmeSlotCount; ++slot)
            if (status.presenting(slot)) printf("aoc %d slot %d is presenting\n", card, slot);
    }
    return vkt::ccSuccess;
}

BYTE nvmeInfo(int card, int slot) {
    // A negative slot or an unknown card would shift by a negative amount or read another
    // card's bitmap.
    if (!validCard(card) || !validSlot(slot)) {
        puts("slot out of range");
        return vkt::ccSuccess;
    }
    const vkt::NvmeCardStatusReply status = statusOf(cardStatus(card));
    if (!status.presenting(slot)) {
        printf("aoc %d slot %d is not presenting\n", card, slot);
        return vkt::ccSuccess;
    }
    const vkt::IpmiReply id = readDrive(card, slot, identityOffset, identityLength);
    if (!id.ok()) return id.cc;
    printIdentity(card, slot, status, vkt::NvmeIdentityReply::decode(id.view()));
    const vkt::IpmiReply link = readDrive(card, slot, linkOffset, linkLength);
    if (!link.ok()) return link.cc;
    printLinks(vkt::NvmeLinkReply::decode(link.view()));
    const vkt::IpmiReply health = readDrive(card, slot, healthOffset, healthLength);
    if (!health.ok()) return health.cc;
    const vkt::NvmeHealthReply drive = vkt::NvmeHealthReply::decode(health.view());
    printf("Temperature               : %d degrees C\n", drive.temperature);
    return vkt::ccSuccess;
}

BYTE nvmeManagement(int a, int b, int c) {
    for (int v : {a, b, c})
        if (v < 0 || v > byteMax) return vkt::ccParameterOutOfRange;
    const BYTE request[5] = {nvmeSelector, nvmeManage, static_cast<BYTE>(b), static_cast<BYTE>(c), static_cast<BYTE>(a)};
    return vkt::ipmiRequest(vkt::netFnOem, vkt::oemTagsAndDrives, request).cc;
}

int bmc_nvmeList(void) {
    return vkt::entryBarrier(__func__, [&] { return nvmeList() == vkt::ccSuccess ? VKT_BMC_OK : VKT_BMC_COMMAND_FAILED; });
}

int bmc_nvmeInfo(int card, int slot) {
    return vkt::entryBarrier(__func__, [&] {
        const BYTE cc = nvmeInfo(card, slot);
        if (cc == vkt::ccSuccess) return VKT_BMC_OK;
        vkt::reportFailure("Failed to get NVMe drive information, %s", cc);
        return VKT_BMC_COMMAND_FAILED;
    });
}

int bmc_nvme(int a, int b, int c) {
    return vkt::entryBarrier(__func__, [&] {
        // Each argument is one request byte; a larger value would send another request.
        for (int v : {a, b, c}) {
            if (v < 0 || v > byteMax) {
                fprintf(stderr, "Not a valid NVMe request argument %d (0 to %d).\n", v, byteMax);
                return VKT_BMC_BAD_ARGUMENT;
            }
        }
        const BYTE cc = nvmeManagement(a, b, c);
        if (cc != vkt::ccSuccess) {
            vkt::reportFailure("Failed to send NVMe management request, %s", cc);
            return VKT_BMC_COMMAND_FAILED;
        }
        puts("Done.");
        return VKT_BMC_OK;
    });
}
