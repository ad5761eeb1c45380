// A hostile BMC: every answer (completion code, length, bytes, or none at all) can come
// from the input, while the demo server answers whatever the input leaves alone. Each input
// drives one enumeration of one of the library's providers through the CIMOM host, or one
// exported routine that talks to the BMC.
//
// Input: a selector byte (providers in the order of the provider list, then the routines
// below), a server byte (fuzz::demoServer), then the control stream of fuzz::HostileBmc.
//
// New providers join by themselves (they come from the one provider list). An exported
// routine that reads from or writes to the BMC joins with one line in `routines` below; its
// text arguments belong in fuzz_text_args.cpp.
#include <functional>
#include <vector>

#include "cimhost.h"
#include "fuzz_support.h"
#include "varkolt/bmc.h"

namespace {

struct Routine {
    const char* name;
    void (*run)();
};

std::string scratchFile(const char* name) { return fuzz::scratchPath(name); }

const Routine routines[] = {
    {"bmc_GetSDR", [] { bmc_GetSDR(); }},
    {"bmc_GetSELInfo", [] { bmc_GetSELInfo(); }},
    {"bmc_GetSELList", [] { bmc_GetSELList(); }},
    {"bmc_GetFRUList", [] { bmc_GetFRUList(); }},
    {"bmc_GetFRUField", [] { bmc_GetFRUField("pn"); }},
    {"bmc_BackupFRU", [] { bmc_BackupFRU(scratchFile("fru.bin").c_str()); }},
    {"bmc_BackupFRUToText", [] { bmc_BackupFRUToText(scratchFile("fru.txt").c_str()); }},
    {"bmc_RestoreFRU",
     [] {
         fuzz::writeScratchFile(scratchFile("restore.bin"), fuzz::demoServer()->fru.image);
         bmc_RestoreFRU(scratchFile("restore.bin").c_str());
     }},
    {"bmc_SetFRUField", [] { bmc_SetFRUField("pn", "Hostile"); }},
    {"bmc_DMIToFRU",
     [] {
         bmc_DMIToFRU("M", "N", "P", "V", "S", "A", "202001020304", "BM", "BN", "BP", "BS", "17", "CP", "CS");
     }},
    {"bmc_SetIP", [] { bmc_SetIP("192.0.2.10"); }},
    {"bmc_SetSubnetMask", [] { bmc_SetSubnetMask("255.255.255.0"); }},
    {"bmc_SetGWIP", [] { bmc_SetGWIP("192.0.2.1"); }},
    {"bmc_SetMac", [] { bmc_SetMac("00:00:5E:00:53:10"); }},
    {"bmc_SetDHCPStatus", [] { bmc_SetDHCPStatus(1); }},
    {"bmc_SetGratuitousARP", [] { bmc_SetGratuitousARP(1); }},
    {"bmc_SetVLan", [] { bmc_SetVLan(1, 100); }},
    {"bmc_GetVLan", [] { bmc_GetVLan(); }},
    {"bmc_GetIPandMac", [] { bmc_GetIPandMac(); }},
    {"bmc_GetGWIP", [] { bmc_GetGWIP(); }},
    {"bmc_GetSubnetMask", [] { bmc_GetSubnetMask(); }},
    {"bmc_GetDHCPStatus", [] { bmc_GetDHCPStatus(); }},
    {"bmc_GetUserList", [] { bmc_GetUserList(); }},
    {"bmc_AddUser", [] { bmc_AddUser(6, "hostile", "pw", 4); }},
    {"bmc_DelUser", [] { bmc_DelUser(4); }},
    {"bmc_SetUserPassword", [] { bmc_SetUserPassword(3, "pw"); }},
    {"bmc_SetUserLevel", [] { bmc_SetUserLevel(3, 2); }},
    {"bmc_GetPMBusInfo", [] { bmc_GetPMBusInfo(nullptr); }},
    {"bmc_GetBatteryInfo", [] { bmc_GetBatteryInfo(nullptr); }},
    {"bmc_Discharge", [] { bmc_Discharge(1); }},
    {"bmc_AutoDischarge", [] { bmc_AutoDischarge(2, 30); }},
    {"bmc_GetDeviceID", [] { bmc_GetDeviceID(); }},
    {"bmc_GetNMSDR", [] { bmc_GetNMSDR(); }},
    {"bmc_GetHostCPUData", [] { bmc_GetHostCPUData(); }},
    {"bmc_CPUMemTemp", [] { bmc_CPUMemTemp(); }},
    {"bmc_NMSelfTest", [] { bmc_NMSelfTest(); }},
    {"bmc_GetSELTime", [] { bmc_GetSELTime(); }},
    {"bmc_ListImagesInfo", [] { bmc_ListImagesInfo(); }},
    {"bmc_GetPState", [] { bmc_GetPState(); }},
    {"bmc_GetTState", [] { bmc_GetTState(); }},
    {"bmc_NMReset", [] { bmc_NMReset(); }},
    {"bmc_NMReset2Default", [] { bmc_NMReset2Default(); }},
    {"bmc_NMUpdateMode", [] { bmc_NMUpdateMode(); }},
    {"bmc_OEMGetTemp", [] { bmc_OEMGetTemp(); }},
    {"bmc_OEMGetPower", [] { bmc_OEMGetPower(); }},
    {"bmc_PXInfo", [] { bmc_PXInfo(0); }},
    {"bmcGetPXNodeID", [] { bmcGetPXNodeID(); }},
    {"bmc_GetPXField", [] { bmc_GetPXField("bpnrevision"); }},
    {"bmc_SetPXField", [] { bmc_SetPXField("nodesn", "NODE-SN-01"); }},
    {"bmc_SetPXField2", [] { bmc_SetPXField2("bpnrevision", "1", "2"); }},
    {"bmc_SetBPLocation", [] { bmc_SetBPLocation("2"); }},
    {"bmc_GetBPLocation", [] { bmc_GetBPLocation(); }},
    {"bmc_SetChassisLocation",
     [] {
         char* const argv[] = {const_cast<char*>("vktool"), const_cast<char*>("px"), const_cast<char*>("location"),
                               const_cast<char*>("01"), const_cast<char*>("02"), const_cast<char*>("03"),
                               const_cast<char*>("04"), const_cast<char*>("05")};
         bmc_SetChassisLocation(8, argv);
     }},
    {"bmc_GetChassisLocation", [] { bmc_GetChassisLocation(); }},
    {"bmc_MCUUpdate",
     [] {
         const char firmware[] = "S00600004844521B\nS1060000010203F3\nS9030000FC\n";
         fuzz::writeScratchFile(scratchFile("fw.s19"), testkit::Bytes(firmware, firmware + sizeof firmware - 1));
         bmc_MCUUpdate(scratchFile("fw.s19").c_str());
     }},
    {"bmc_GetUserLevel", [] { bmc_GetUserLevel(); }},
    {"bmc_ColdReset",
     [] {
         waitBMCWakeupFlag = 1;  // the wait's probes meet the hostile answers too
         bmc_ColdReset();
     }},
    {"bmc_FactoryDefault", [] { bmc_FactoryDefault(); }},
    {"bmc_FactoryDefaultAll", [] { bmc_FactoryDefaultAll(); }},
    {"bmc_FactoryDefaultLan", [] { bmc_FactoryDefaultLan(); }},
    {"bmc_ClearAllSEL", [] { bmc_ClearAllSEL(); }},
    {"bmc_GetSelfTest", [] { bmc_GetSelfTest(); }},
    {"bmc_GetFirmwareRevision", [] { bmc_GetFirmwareRevision(); }},
    {"bmc_SystemReset", [] { bmc_SystemReset(1); }},
    {"bmc_SystemSoftShutDown", [] { bmc_SystemSoftShutDown(0); }},
    {"bmc_ExecRawCmd",
     [] {
         char* const argv[] = {const_cast<char*>("06"), const_cast<char*>("01")};
         bmc_ExecRawCmd(4, const_cast<char**>(argv));
     }},
    {"bmc_DeleteSDRRecord", [] { bmc_DeleteSDRRecord(1); }},
    {"bmc_GetSDRVer", [] { bmc_GetSDRVer(); }},
    {"bmc_SetSDRVer", [] { bmc_SetSDRVer(1, 2); }},
    {"bmc_GetFRUVer", [] { bmc_GetFRUVer(); }},
    {"bmc_SetFRUVer", [] { bmc_SetFRUVer(1, 2); }},
    {"bmc_ConfigurationDownload", [] { bmc_ConfigurationDownload(scratchFile("config.bin").c_str(), 0); }},
    {"bmc_ConfigurationUpload",
     [] {
         fuzz::writeScratchFile(scratchFile("upload.bin"), testkit::Bytes(300, 0x5A));
         bmc_ConfigurationUpload(scratchFile("upload.bin").c_str(), 0);
     }},
    {"bmc_nvmeList", [] { bmc_nvmeList(); }},
    {"bmc_nvmeInfo", [] { bmc_nvmeInfo(0, 1); }},
    {"bmc_nvme", [] { bmc_nvme(1, 2, 3); }},
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
    if (choice < providers.size())
        cimhost::Host::inProcess()->enumerate(providers[choice].prefix);
    else
        routines[choice - providers.size()].run();
    return 0;
}
