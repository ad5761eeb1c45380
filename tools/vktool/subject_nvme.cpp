// vktool nvme: NVMe drives behind the BMC's add-on cards.
#include "cli.h"

namespace vktool {

namespace {

constexpr long lastCard = 1;
constexpr long lastSlot = 15;
constexpr long maxByte = 0xFF;

int list(Invocation&) { return bmc_nvmeList(); }

int info(Invocation& inv) {
    std::optional<long> card = inv.number(inv.arguments[0], "CARD", 0, lastCard);
    if (!card) return VKT_BMC_BAD_ARGUMENT;
    std::optional<long> slot = inv.number(inv.arguments[1], "SLOT", 0, lastSlot);
    if (!slot) return VKT_BMC_BAD_ARGUMENT;
    return bmc_nvmeInfo(static_cast<int>(*card), static_cast<int>(*slot));
}

int request(Invocation& inv) {
    long values[3] = {};
    const char* names[3] = {"A", "B", "C"};
    for (int i = 0; i < 3; ++i) {
        std::optional<long> v = inv.number(inv.arguments[static_cast<size_t>(i)], names[i], 0, maxByte);
        if (!v) return VKT_BMC_BAD_ARGUMENT;
        values[i] = *v;
    }
    if (!inv.confirm("Send the NVMe management request?")) return notConfirmed;
    return bmc_nvme(static_cast<int>(values[0]), static_cast<int>(values[1]), static_cast<int>(values[2]));
}

}  // namespace

extern const Subject nvmeSubject = {
    "nvme",
    "NVMe drives behind the add-on cards",
    "Add-on cards 0 and 1 with slots 0 to 15.\n",
    {
        {"list", "", "list the slots that hold a drive", "", 0, 0, {}, list},
        {"info", "CARD SLOT", "print a drive's identity, links, power and temperature", "", 2, 2, {}, info, plainAction,
         {{"1", "0 1"}}},
        {"request", "A B C", "send the management request {6Ch, 01h, B, C, A} (bytes 0-255)",
         "", 3, 3, {}, request, changesBmc},
    },
};

}  // namespace vktool
