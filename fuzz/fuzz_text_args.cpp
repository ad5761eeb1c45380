// The text (and number) arguments of every exported routine that takes any, each routine
// run against the demo server.
// Paths are made to name files inside the scratch directory only.
//
// Input: a selector byte (the routines below, in order), a server byte (fuzz::demoServer),
// then the arguments in order: a text is a length byte and its bytes (a NUL byte reads as
// '0'; length FFh stands for a null pointer), a number is one byte (user IDs, levels, flags)
// or two (VLAN tags, signed), a file a 2-byte length and its contents.
//
// After each call every published text ends inside its field, and a routine that refused
// its arguments (12) sent nothing that changes the BMC (fuzz/invariants.h).
//
// A routine another subsystem adds joins with one line in `routines`.
#include <deque>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "invariants.h"
#include "varkolt/bmc.h"

namespace {

constexpr uint8_t nullText = 0xFF;

// The arguments of one call, read as they are asked for; texts stay alive for the call.
class Args {
public:
    explicit Args(fuzz::Stream& in) : in_(in) {}
    const char* text() {
        const uint8_t n = in_.byte();
        if (n == nullText) return nullptr;
        std::string s;
        for (uint8_t c : in_.bytes(n)) s += c != 0 ? static_cast<char>(c) : '0';
        texts_.push_back(s);
        return texts_.back().c_str();
    }
    const char* path() {
        texts_.push_back(fuzz::scratchPath(in_.text(200)));
        return texts_.back().c_str();
    }
    // A file in the scratch directory with contents from the input (a 2-byte length first).
    const char* file() {
        constexpr size_t largestFile = 4096;
        const size_t n = in_.word() % (largestFile + 1);
        texts_.push_back(fuzz::scratchPath("file"));
        fuzz::writeScratchFile(texts_.back(), in_.bytes(n));
        return texts_.back().c_str();
    }
    unsigned char byte() { return in_.byte(); }
    int number() { return static_cast<int16_t>(in_.word()); }

private:
    fuzz::Stream& in_;
    std::deque<std::string> texts_;  // a deque keeps earlier texts where they are
};

struct Routine {
    const char* name;
    int (*run)(Args&);
};

const Routine routines[] = {
    {"bmc_SetIP", [](Args& a) { return bmc_SetIP(a.text()); }},
    {"bmc_SetSubnetMask", [](Args& a) { return bmc_SetSubnetMask(a.text()); }},
    {"bmc_SetGWIP", [](Args& a) { return bmc_SetGWIP(a.text()); }},
    {"bmc_SetMac", [](Args& a) { return bmc_SetMac(a.text()); }},
    {"bmc_SetDHCPStatus", [](Args& a) { return bmc_SetDHCPStatus(a.number()); }},
    {"bmc_SetGratuitousARP", [](Args& a) { return bmc_SetGratuitousARP(a.number()); }},
    {"bmc_SetVLan",
     [](Args& a) {
         const int enable = a.number();
         return bmc_SetVLan(enable, a.number());
     }},
    {"bmc_AddUser",
     [](Args& a) {
         const unsigned char uid = a.byte();
         const char* name = a.text();
         const char* password = a.text();
         return bmc_AddUser(uid, name, password, a.number());
     }},
    {"bmc_DelUser", [](Args& a) { return bmc_DelUser(a.byte()); }},
    {"bmc_SetUserPassword",
     [](Args& a) {
         const unsigned char uid = a.byte();
         return bmc_SetUserPassword(uid, a.text());
     }},
    {"bmc_SetUserLevel",
     [](Args& a) {
         const unsigned char uid = a.byte();
         return bmc_SetUserLevel(uid, a.byte());
     }},
    {"bmc_SetFRUField",
     [](Args& a) {
         const char* code = a.text();
         return bmc_SetFRUField(code, a.text());
     }},
    {"bmc_GetFRUField", [](Args& a) { return bmc_GetFRUField(a.text()); }},
    {"bmc_DMIToFRU",
     [](Args& a) {
         const char* t[14];
         for (const char*& p : t) p = a.text();
         return bmc_DMIToFRU(t[0], t[1], t[2], t[3], t[4], t[5], t[6], t[7], t[8], t[9], t[10], t[11], t[12], t[13]);
     }},
    {"bmc_BackupFRU", [](Args& a) { return bmc_BackupFRU(a.path()); }},
    {"bmc_RestoreFRU", [](Args& a) { return bmc_RestoreFRU(a.path()); }},
    {"bmc_BackupFRUToText", [](Args& a) { return bmc_BackupFRUToText(a.path()); }},
    {"bmc_RestoreFRUFromText", [](Args& a) { return bmc_RestoreFRUFromText(a.path()); }},
    {"bmc_Discharge", [](Args& a) { return bmc_Discharge(a.number()); }},
    {"bmc_AutoDischarge",
     [](Args& a) {
         const int module = a.number();
         return bmc_AutoDischarge(module, a.number());
     }},
    {"bmc_PXInfo", [](Args& a) { return bmc_PXInfo(a.number()); }},
    {"bmc_MCUUpdate", [](Args& a) { return bmc_MCUUpdate(a.file()); }},
    {"bmc_SetPXField",
     [](Args& a) {
         const char* name = a.text();
         return bmc_SetPXField(name, a.text());
     }},
    {"bmc_SetPXField2",
     [](Args& a) {
         const char* name = a.text();
         const char* first = a.text();
         return bmc_SetPXField2(name, first, a.text());
     }},
    {"bmc_GetPXField", [](Args& a) { return bmc_GetPXField(a.text()); }},
    {"bmc_SetBPLocation", [](Args& a) { return bmc_SetBPLocation(a.text()); }},
    {"bmc_SetChassisLocation",
     [](Args& a) {
         // As many words as argc says, each a text (the caller's part of the bargain).
         const int argc = a.byte() % 9;
         std::vector<char*> argv;
         for (int i = 0; i < argc; ++i) {
             const char* t = a.text();
             argv.push_back(const_cast<char*>(t != nullptr ? t : ""));
         }
         return bmc_SetChassisLocation(argc, argv.data());
     }},
    {"bmc_SystemReset", [](Args& a) { return bmc_SystemReset(a.number()); }},
    {"bmc_SystemSoftShutDown", [](Args& a) { return bmc_SystemSoftShutDown(a.number()); }},
    {"bmc_ExecRawCmd",
     [](Args& a) {
         // argc counts two words ahead of argv, as a command line would; argc may lie low.
         const int words = a.byte() % 132;
         std::vector<char*> argv;
         for (int i = 0; i < words; ++i) {
             const char* t = a.text();
             argv.push_back(const_cast<char*>(t != nullptr ? t : ""));
         }
         const int argc = words + 2 - (a.byte() % 4 == 0 ? 1 : 0);
         return bmc_ExecRawCmd(argc, argv.data());
     }},
    {"bmc_DeleteSDRRecord", [](Args& a) { return bmc_DeleteSDRRecord(a.number()); }},
    {"bmc_SetSDRVer",
     [](Args& a) {
         const unsigned char major = a.byte();
         return bmc_SetSDRVer(major, a.byte());
     }},
    {"bmc_SetFRUVer",
     [](Args& a) {
         const unsigned char major = a.byte();
         return bmc_SetFRUVer(major, a.byte());
     }},
    {"bmc_ConfigurationDownload",
     [](Args& a) {
         const char* path = a.path();
         return bmc_ConfigurationDownload(path, static_cast<short>(a.number()));
     }},
    {"bmc_ConfigurationUpload",
     [](Args& a) {
         const char* path = a.file();
         return bmc_ConfigurationUpload(path, a.byte());
     }},
    {"bmc_nvmeInfo",
     [](Args& a) {
         const int card = a.number();
         return bmc_nvmeInfo(card, a.number());
     }},
    {"bmc_nvme",
     [](Args& a) {
         const int first = a.number();
         const int second = a.number();
         return bmc_nvme(first, second, a.number());
     }},
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::setUpProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Stream in(data, size);
    const Routine& routine = routines[in.byte() % (sizeof routines / sizeof routines[0])];
    auto server = fuzz::demoServer(in.byte());
    fuzz::attachBackend(&server->bmc);
    Args args(in);
    const int result = routine.run(args);
    fuzz::checkRoutine("text_args", routine.name, result, server->bmc.log());
    return 0;
}
