// A hostile BMC: every answer (completion code, length, bytes, or none at all) can come
// from the input, while the demo server answers whatever the input leaves alone. Each input
// drives one enumeration of one of the library's providers through the CIMOM host, or one
// exported routine that talks to the BMC.
//
// Input: a selector byte (providers in the order of the provider list, then the routines
// below), a server byte (fuzz::demoServer), then the control stream of fuzz::HostileBmc.
//
// After each input every published text ends inside its field, and a routine that refused
// its arguments (12) sent nothing that changes the BMC (fuzz/invariants.h).
//
// New providers join by themselves (they come from the one provider list). An exported
// routine that reads from or writes to the BMC joins with one line in `routines` below; its
// text arguments belong in fuzz_text_args.cpp.
#include <functional>
#include <vector>

#include "cimhost.h"
#include "fuzz_support.h"
#include "invariants.h"
#include "varkolt/bmc.h"

namespace {

struct Routine {
    const char* name;
    int (*run)();
};

std::string scratchFile(const char* name) { return fuzz::scratchPath(name); }

const Routine routines[] = {
    {"bmc_GetSDR", [] { return bmc_GetSDR(); }},
    {"bmc_GetSELInfo", [] { return bmc_GetSELInfo(); }},
    {"bmc_GetSELList", [] { return bmc_GetSELList(); }},
    {"bmc_GetFRUList", [] { return bmc_GetFRUList(); }},
    {"bmc_GetFRUField", [] { return bmc_GetFRUField("pn"); }},
    {"bmc_BackupFRU", [] { return bmc_BackupFRU(scratchFile("fru.bin").c_str()); }},
    {"bmc_BackupFRUToText", [] { return bmc_BackupFRUToText(scratchFile("fru.txt").c_str()); }},
    {"bmc_RestoreFRU",
     [] {
         fuzz::writeScratchFile(scratchFile("restore.bin"), fuzz::demoServer()->fru.image);
         return bmc_RestoreFRU(scratchFile("restore.bin").c_str());
     }},
    {"bmc_SetFRUField", [] { return bmc_SetFRUField("pn", "Hostile"); }},
    {"bmc_DMIToFRU",
     [] {
         return bmc_DMIToFRU("M", "N", "P", "V", "S", "A", "202001020304", "BM", "BN", "BP", "BS", "17", "CP", "CS");
     }},
    {"bmc_SetIP", [] { return bmc_SetIP("192.0.2.10"); }},
    {"bmc_SetSubnetMask", [] { return bmc_SetSubnetMask("255.255.255.0"); }},
    {"bmc_SetGWIP", [] { return bmc_SetGWIP("192.0.2.1"); }},
    {"bmc_SetMac", [] { return bmc_SetMac("00:00:5E:00:53:10"); }},
    {"bmc_SetDHCPStatus", [] { return bmc_SetDHCPStatus(1); }},
    {"bmc_SetGratuitousARP", [] { return bmc_SetGratuitousARP(1); }},
    {"bmc_SetVLan", [] { return bmc_SetVLan(1, 100); }},
    {"bmc_GetVLan", [] { return bmc_GetVLan(); }},
    {"bmc_GetIPandMac", [] { return bmc_GetIPandMac(); }},
    {"bmc_GetGWIP", [] { return bmc_GetGWIP(); }},
    {"bmc_GetSubnetMask", [] { return bmc_GetSubnetMask(); }},
    {"bmc_GetDHCPStatus", [] { return bmc_GetDHCPStatus(); }},
    {"bmc_GetUserList", [] { return bmc_GetUserList(); }},
    {"bmc_AddUser", [] { return bmc_AddUser(6, "hostile", "pw", 4); }},
    {"bmc_DelUser", [] { return bmc_DelUser(4); }},
    {"bmc_SetUserPassword", [] { return bmc_SetUserPassword(3, "pw"); }},
    {"bmc_SetUserLevel", [] { return bmc_SetUserLevel(3, 2); }},
    {"bmc_GetPMBusInfo", [] { return bmc_GetPMBusInfo(nullptr); }},
    {"bmc_GetBatteryInfo", [] { return bmc_GetBatteryInfo(nullptr); }},
    {"bmc_Discharge", [] { return bmc_Discharge(1); }},
    {"bmc_AutoDischarge", [] { return bmc_AutoDischarge(2, 30); }},
    {"bmc_GetDeviceID", [] { return bmc_GetDeviceID(); }},
    {"bmc_GetNMSDR", [] { return bmc_GetNMSDR(); }},
    {"bmc_GetHostCPUData", [] { return bmc_GetHostCPUData(); }},
    {"bmc_CPUMemTemp", [] { return bmc_CPUMemTemp(); }},
    {"bmc_NMSelfTest", [] { return bmc_NMSelfTest(); }},
    {"bmc_GetSELTime", [] { return bmc_GetSELTime(); }},
    {"bmc_ListImagesInfo", [] { return bmc_ListImagesInfo(); }},
    {"bmc_GetPState", [] { return bmc_GetPState(); }},
    {"bmc_GetTState", [] { return bmc_GetTState(); }},
    {"bmc_NMReset", [] { return bmc_NMReset(); }},
    {"bmc_NMReset2Default", [] { return bmc_NMReset2Default(); }},
    {"bmc_NMUpdateMode", [] { return bmc_NMUpdateMode(); }},
    {"bmc_OEMGetTemp", [] { return bmc_OEMGetTemp(); }},
    {"bmc_OEMGetPower", [] { return bmc_OEMGetPower(); }},
    {"bmc_PXInfo", [] { return bmc_PXInfo(0); }},
    {"bmcGetPXNodeID", [] { return bmcGetPXNodeID(); }},
    {"bmc_GetPXField", [] { return bmc_GetPXField("bpnrevision"); }},
    {"bmc_SetPXField", [] { return bmc_SetPXField("nodesn", "NODE-SN-01"); }},
    {"bmc_SetPXField2", [] { return bmc_SetPXField2("bpnrevision", "1", "2"); }},
    {"bmc_SetBPLocation", [] { return bmc_SetBPLocation("2"); }},
    {"bmc_GetBPLocation", [] { return bmc_GetBPLocation(); }},
    {"bmc_SetChassisLocation",
     [] {
         char* const argv[] = {const_cast<char*>("vktool"), const_cast<char*>("px"), const_cast<char*>("location"),
                               const_cast<char*>("01"), const_cast<char*>("02"), const_cast<char*>("03"),
                               const_cast<char*>("04"), const_cast<char*>("05")};
         return bmc_SetChassisLocation(8, argv);
     }},
    {"bmc_GetChassisLocation", [] { return bmc_GetChassisLocation(); }},
    {"bmc_MCUUpdate",
     [] {
         const char firmware[] = "S00600004844521B\nS1060000010203F3\nS9030000FC\n";
         fuzz::writeScratchFile(scratchFile("fw.s19"), testkit::Bytes(firmware, firmware + sizeof firmware - 1));
         return bmc_MCUUpdate(scratchFile("fw.s19").c_str());
     }},
    {"bmc_GetUserLevel", [] { return bmc_GetUserLevel(); }},
    {"bmc_ColdReset",
     [] {
         waitBMCWakeupFlag = 1;  // the wait's probes meet the hostile answers too
         return bmc_ColdReset();
     }},
    {"bmc_FactoryDefault", [] { return bmc_FactoryDefault(); }},
    {"bmc_FactoryDefaultAll", [] { return bmc_FactoryDefaultAll(); }},
    {"bmc_FactoryDefaultLan", [] { return bmc_FactoryDefaultLan(); }},
    {"bmc_ClearAllSEL", [] { return bmc_ClearAllSEL(); }},
    {"bmc_GetSelfTest", [] { return bmc_GetSelfTest(); }},
    {"bmc_GetFirmwareRevision", [] { return bmc_GetFirmwareRevision(); }},
    {"bmc_SystemReset", [] { return bmc_SystemReset(1); }},
    {"bmc_SystemSoftShutDown", [] { return bmc_SystemSoftShutDown(0); }},
    {"bmc_ExecRawCmd",
     [] {
         char* const argv[] = {const_cast<char*>("06"), const_cast<char*>("01")};
         return bmc_ExecRawCmd(4, const_cast<char**>(argv));
     }},
    {"bmc_DeleteSDRRecord", [] { return bmc_DeleteSDRRecord(1); }},
    {"bmc_GetSDRVer", [] { return bmc_GetSDRVer(); }},
    {"bmc_SetSDRVer", [] { return bmc_SetSDRVer(1, 2); }},
    {"bmc_GetFRUVer", [] { return bmc_GetFRUVer(); }},
    {"bmc_SetFRUVer", [] { return bmc_SetFRUVer(1, 2); }},
    {"bmc_ConfigurationDownload", [] { return bmc_ConfigurationDownload(scratchFile("config.bin").c_str(), 0); }},
    {"bmc_ConfigurationUpload",
     [] {
         fuzz::writeScratchFile(scratchFile("upload.bin"), testkit::Bytes(300, 0x5A));
         return bmc_ConfigurationUpload(scratchFile("upload.bin").c_str(), 0);
     }},
    {"bmc_nvmeList", [] { return bmc_nvmeList(); }},
    {"bmc_nvmeInfo", [] { return bmc_nvmeInfo(0, 1); }},
    {"bmc_nvme", [] { return bmc_nvme(1, 2, 3); }},
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::setUpProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Stream in(data, size);
    const std::vector<cimhost::ProviderInfo>& providers = cimhost::providers();
    const size_t choices = providers.size() + sizeof routines / sizeof routines[0];
    const size_t choice = in.byte() % choices;

    auto server = fuzz::demoServer(in.byte());
    fuzz::HostileBmc bmc(in, *server);
    fuzz::attachBackend(&bmc);
    // A host per input: what the broker made goes with it, so the fuzzer's leak check
    // sees only what the library itself keeps.
    if (choice < providers.size()) {
        cimhost::Host::inProcess()->enumerate(providers[choice].prefix);
        fuzz::checkTexts("hostile_bmc");
    } else {
        const Routine& routine = routines[choice - providers.size()];
        fuzz::checkRoutine("hostile_bmc", routine.name, routine.run(), bmc.sent());
    }
    return 0;
}
