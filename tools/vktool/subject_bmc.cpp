// vktool bmc: maintenance of the BMC itself (cold reset, factory defaults, self test,
// firmware revision) and the host's reset or shutdown with a one-time boot device.
#include <strings.h>

#include "cli.h"

namespace vktool {

namespace {

const Option waitOption = {"--wait", nullptr, "wait until the restarted BMC answers again (up to 99 seconds)"};

// The BMC restarts after these: ask first, and wait for it when --wait is given.
int restartBmc(Invocation& inv, const std::string& question, int (*routine)()) {
    if (!inv.confirm(question)) return notConfirmed;
    waitBMCWakeupFlag = inv.has("--wait") ? 1 : 0;
    return routine();
}

int coldReset(Invocation& inv) { return restartBmc(inv, "Cold-reset the BMC?", bmc_ColdReset); }

int factoryDefault(Invocation& inv) {
    const std::string scope = inv.arguments.empty() ? "" : inv.arguments[0];
    if (scope.empty()) return restartBmc(inv, "Reset the BMC to its factory defaults?", bmc_FactoryDefault);
    if (scope == "all") return restartBmc(inv, "Reset every setting of the BMC to its factory default?", bmc_FactoryDefaultAll);
    if (scope == "lan") return restartBmc(inv, "Reset the BMC's LAN settings to their factory defaults?", bmc_FactoryDefaultLan);
    return inv.refuse("SCOPE must be all or lan");
}

int wait(Invocation&) { return waitBMCWakeup(); }
int selfTest(Invocation&) { return bmc_GetSelfTest(); }
int firmware(Invocation&) { return bmc_GetFirmwareRevision(); }

// By the library's boot device index 0 to 9.
constexpr const char* bootDevices[] = {"none",   "pxe",         "disk",          "cdrom",        "bios",
                                       "remote", "remote-disk", "remote-floppy", "remote-cdrom", "remote-efi"};
constexpr long lastBootDevice = 9;

int resetHost(Invocation& inv, const char* question, int (*routine)(int)) {
    long index = 0;
    if (!inv.arguments.empty()) {
        const std::string& device = inv.arguments[0];
        index = -1;
        for (long i = 0; i <= lastBootDevice; ++i)
            if (strcasecmp(device.c_str(), bootDevices[i]) == 0) index = i;
        if (index < 0) {
            std::optional<long> n = inv.number(device, "BOOT-DEVICE", 0, lastBootDevice);
            if (!n) return VKT_BMC_BAD_ARGUMENT;
            index = *n;
        }
    }
    if (!inv.confirm(question)) return notConfirmed;
    return routine(static_cast<int>(index));
}

int hostReset(Invocation& inv) { return resetHost(inv, "Hard-reset the host?", bmc_SystemReset); }
int hostShutdown(Invocation& inv) { return resetHost(inv, "Shut the host down?", bmc_SystemSoftShutDown); }

const std::string bootHelp =
    "BOOT-DEVICE, used for the next boot only (name or number): none 0, pxe 1, disk 2,\n"
    "cdrom 3, bios 4 (BIOS setup), remote 5 (remote media), remote-disk 6, remote-floppy 7,\n"
    "remote-cdrom 8, remote-efi 9 (remote media, EFI boot). Without it, none.\n";

constexpr const char* bootWords =
    "none pxe disk cdrom bios remote remote-disk remote-floppy remote-cdrom remote-efi";

}  // namespace

extern const Subject bmcSubject = {
    "bmc",
    "maintenance of the BMC and the host's reset",
    "The BMC restarts after a cold reset and a factory default; with --wait the action\n"
    "returns once it answers again (a dot a second, the first probe after 60 seconds).\n",
    {
        {"cold-reset", "", "cold-reset the BMC", "", 0, 0, {waitOption}, coldReset, changesBmc | showsProgress},
        {"factory-default", "[all|lan]", "reset the BMC (every setting / the LAN settings) to its factory defaults",
         "", 0, 1, {waitOption}, factoryDefault, changesBmc | showsProgress, {{"1", "all lan"}}},
        {"wait", "", "wait until a restarting BMC answers again", "", 0, 0, {}, wait, showsProgress},
        {"self-test", "", "print the BMC's self-test result", "", 0, 0, {}, selfTest},
        {"firmware", "", "print the BMC's firmware revision", "", 0, 0, {}, firmware},
        {"host-reset", "[BOOT-DEVICE]", "hard-reset the host", bootHelp, 0, 1, {}, hostReset, changesBmc,
         {{"1", bootWords}}},
        {"host-shutdown", "[BOOT-DEVICE]", "shut the host down through ACPI", bootHelp, 0, 1, {}, hostShutdown,
         changesBmc, {{"1", bootWords}}},
    },
};

}  // namespace vktool
