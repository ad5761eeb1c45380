// vkt-cim: enumerates the classes of libvarkoltprovider through the real library, the way
// a CIM object manager calls it, and prints the instances.
//
//   vkt-cim [--simulate[=SCENARIO] | --bmc-sim-vm HOST:PORT] [--kcs] [--record FILE] [--json]
//           enumerate CLASS|--all
//   vkt-cim classes
//
// On a host with a BMC it talks to the BMC (as root). With --simulate it runs the library
// against a simulated rack server (or plays a recording back), with --bmc-sim-vm against an
// external BMC simulator (OpenIPMI's ipmi_sim) reached over its VM serial protocol: the
// program restarts itself with the fake OpenIPMI device preloaded. --record does the same
// to record every exchange, also with the host's own BMC.
#include <dlfcn.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "cimhost.h"
#include "recording_option.h"

namespace {

const char* const usageText =
    "usage: vkt-cim [--simulate[=SCENARIO] | --bmc-sim-vm HOST:PORT] [--kcs] [--record FILE] [--json]\n"
    "               enumerate CLASS|--all\n"
    "       vkt-cim classes\n"
    "\n"
    "  enumerate CLASS   enumerate one class (CIM class name or provider name)\n"
    "  enumerate --all   enumerate every class; on a real BMC the action classes, which\n"
    "                    change the BMC (LED, cold reset, fan mode...), are left out\n"
    "  --simulate        use a simulated rack server instead of the BMC; SCENARIO is one\n"
    "                    of demo (default), empty, failing, multinode, multinode-nimbet,\n"
    "                    or replay:FILE to play a recording back\n"
    "                    (VKT_SIM_REPLAY_DELAYS=1 keeps its timing)\n"
    "  --bmc-sim-vm HOST:PORT\n"
    "                    use an external BMC simulator (ipmi_sim) through its VM serial\n"
    "                    link at HOST:PORT instead of the BMC\n"
    "  --kcs             with --simulate or --bmc-sim-vm: no OpenIPMI device; the server\n"
    "                    is reached over the KCS I/O ports (simulated, never the real ones)\n"
    "  --json            print the instances as JSON\n"
    "%s"
    "\n"
    "Environment: VKT_PROVIDER_LIB overrides the path of libvarkoltprovider.so.1.\n";

std::string exeDir() {
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return ".";
    buf[n] = '\0';
    std::string path(buf);
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

// A library the program needs: named by the environment, or found relative to the program
// in the places of `relativeDirs` (in order), or left to the dynamic linker.
std::string findLibrary(const char* name, const char* envOverride, std::initializer_list<std::string> relativeDirs) {
    const char* env = envOverride != nullptr ? getenv(envOverride) : nullptr;
    if (env != nullptr && *env != '\0') return env;
    const std::string dir = exeDir();
    for (const std::string& relative : relativeDirs) {
        const std::string candidate = dir + "/" + relative + "/" + name;
        if (access(candidate.c_str(), R_OK) == 0) return candidate;
    }
    return name;
}

// The provider library: ../lib in the build tree, the configured library directory when
// installed.
std::string providerLibrary() {
    return findLibrary("libvarkoltprovider.so.1", "VKT_PROVIDER_LIB", {"../lib", VKT_BIN_TO_LIB, "."});
}

// The simulated server: installed in a private directory (never on the linker's path, since
// it interposes libc calls), in ../lib of the build tree.
std::string simulatorLibrary() {
    return findLibrary("libvktfakebmc.so", "VKT_FAKEBMC_LIB", {VKT_BIN_TO_LIBEXEC, "../lib"});
}

std::string jsonString(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20) {
                    char buf[8];
                    snprintf(buf, sizeof buf, "\\u%04x", c);
                    out += buf;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out + "\"";
}

std::string quoted(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') out += '\\';
        if (c == '\n') {
            out += "\\n";
            continue;
        }
        out += c;
    }
    return out + "\"";
}

void printText(FILE* out, const cimhost::ProviderInfo& info, const cimhost::EnumResult& r) {
    if (r.instances.empty()) {
        fprintf(out, "# %s: no instances\n\n", info.className);
        return;
    }
    for (const cimhost::Instance& inst : r.instances) {
        fprintf(out, "%s\n", inst.path().c_str());
        for (const auto& p : inst.properties)
            fprintf(out, "    %s = %s\n", p.first.c_str(), p.second ? quoted(*p.second).c_str() : "NULL");
        fprintf(out, "\n");
    }
}

void printJson(FILE* out, const cimhost::ProviderInfo& info, const cimhost::EnumResult& r, bool first) {
    fprintf(out, "%s  {\"class\": %s, \"instances\": [", first ? "" : ",\n", jsonString(info.className).c_str());
    for (size_t i = 0; i < r.instances.size(); ++i) {
        const cimhost::Instance& inst = r.instances[i];
        fprintf(out, "%s\n    {\"path\": %s, \"keys\": {", i == 0 ? "" : ",", jsonString(inst.path()).c_str());
        for (size_t k = 0; k < inst.keys.size(); ++k)
            fprintf(out, "%s%s: %s", k == 0 ? "" : ", ", jsonString(inst.keys[k].first).c_str(),
                   jsonString(inst.keys[k].second).c_str());
        fprintf(out, "}, \"properties\": [");
        for (size_t k = 0; k < inst.properties.size(); ++k) {
            const auto& p = inst.properties[k];
            fprintf(out, "%s[%s, %s]", k == 0 ? "" : ", ", jsonString(p.first).c_str(),
                   p.second ? jsonString(*p.second).c_str() : "null");
        }
        fprintf(out, "]}");
    }
    fprintf(out, "%s]}", r.instances.empty() ? "" : "\n  ");
}

void usage(FILE* out) { fprintf(out, usageText, vkttools::recordOptionHelp); }

// Restarts the program with the fake OpenIPMI device preloaded and the scenario (or the
// external simulator's address) chosen; without a simulation (recording only) the
// preload library serves the host's own BMC.
int restartSimulated(char** argv, bool simulate, const std::string& scenario, bool kcs, const std::string& vmAddress) {
    std::string preload = simulatorLibrary();
    if (access(preload.c_str(), R_OK) != 0) {
        fprintf(stderr,
                "vkt-cim: %s needs the simulated server libvktfakebmc.so (package varkolt-simulator), "
                "found neither in %s/%s nor in the build tree\n",
                simulate ? "--simulate" : "--record", exeDir().c_str(), VKT_BIN_TO_LIBEXEC);
        return 2;
    }
    char resolved[PATH_MAX];
    if (realpath(preload.c_str(), resolved) != nullptr) preload = resolved;  // named again after the restart
    const char* old = getenv("LD_PRELOAD");
    std::string value = preload;
    if (old != nullptr && *old != '\0') value = std::string(old) + ":" + preload;  // keep a sanitizer runtime first
    setenv("LD_PRELOAD", value.c_str(), 1);
    setenv("VKT_SIM_SCENARIO", scenario.c_str(), 1);
    setenv("VKT_SIM_TRANSPORT", !simulate ? "host" : kcs ? "kcs" : "device", 1);
    if (!vmAddress.empty())
        setenv("VKT_SIM_VM", vmAddress.c_str(), 1);
    else
        unsetenv("VKT_SIM_VM");
    setenv("VKT_SIM_ACTIVE", preload.c_str(), 1);
    if (simulate && getuid() != 0) setenv("VKT_SIM_FAKE_ROOT", "1", 1);
    setenv("ASAN_OPTIONS", "verify_asan_link_order=0", 0);
    execv("/proc/self/exe", argv);
    perror("vkt-cim: cannot restart with the simulated server");
    return 2;
}

// In the restarted program: whether the preload library named by the restart is loaded.
bool simulatorLoaded() {
    const char* path = getenv("VKT_SIM_ACTIVE");
    if (path == nullptr || *path != '/') return false;
    void* handle = dlopen(path, RTLD_LAZY | RTLD_NOLOAD);
    if (handle == nullptr) return false;
    dlclose(handle);
    return true;
}

// After the restart: the preload library serves the simulation that was asked for (an
// unknown scenario or a recording that cannot be read leave it without one).
bool simulationReady() {
    auto ready = reinterpret_cast<int (*)()>(dlsym(RTLD_DEFAULT, "vktSimulatedServerReady"));
    return ready != nullptr && ready() != 0;
}

bool sameFile(const std::string& a, const std::string& b) {
    struct stat sa{};
    struct stat sb{};
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// Before the restart: the recording must not replace the one being played back.
bool recordingAllowed(const std::string& recordFile, const std::string& scenario) {
    const std::string replay = "replay:";
    if (recordFile.empty() || scenario.rfind(replay, 0) != 0 || !sameFile(recordFile, scenario.substr(replay.size())))
        return true;
    fprintf(stderr, "vkt-cim: --record %s would overwrite the recording being played back\n", recordFile.c_str());
    return false;
}

// After the restart: the simulation and the recording that were asked for are in place.
bool readyToRun(bool simulate, bool recording) {
    if (simulate && !simulatorLoaded()) {
        // Going on would send the action classes to the real BMC.
        fputs("vkt-cim: the simulated server could not be preloaded; nothing was enumerated\n", stderr);
        return false;
    }
    if (simulate && !simulationReady()) {
        fputs("vkt-cim: the simulated server is not in place (see the message above)\n", stderr);
        return false;
    }
    const std::string problem = recording ? vkttools::recordingProblem() : "";
    if (!problem.empty()) fprintf(stderr, "vkt-cim: %s\n", problem.c_str());
    return problem.empty();
}

}  // namespace

int main(int argc, char** argv) {
    bool simulate = false;
    bool json = false;
    bool kcs = false;
    std::string scenario = "demo";
    std::string vmAddress;
    std::string recordFile;
    std::vector<std::string> words;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        std::string error;
        vkttools::RecordOption record = vkttools::takeRecordOption(argc, argv, i, &recordFile, &error);
        if (record == vkttools::RecordOption::error) {
            fprintf(stderr, "vkt-cim: %s\n", error.c_str());
            return 2;
        }
        if (record == vkttools::RecordOption::taken) continue;
        if (a == "--bmc-sim-vm" || a.rfind("--bmc-sim-vm=", 0) == 0) {
            if (a == "--bmc-sim-vm") {
                if (i + 1 >= argc) {
                    fputs("vkt-cim: --bmc-sim-vm needs HOST:PORT\n", stderr);
                    return 2;
                }
                vmAddress = argv[++i];
            } else {
                vmAddress = a.substr(strlen("--bmc-sim-vm="));
            }
            size_t colon = vmAddress.rfind(':');
            if (colon == std::string::npos || colon == 0 || colon + 1 >= vmAddress.size() ||
                vmAddress.find_first_not_of("0123456789", colon + 1) != std::string::npos) {
                fprintf(stderr, "vkt-cim: \"%s\" is not HOST:PORT\n", vmAddress.c_str());
                return 2;
            }
            simulate = true;
        } else if (a == "--simulate") {
            simulate = true;
        } else if (a.rfind("--simulate=", 0) == 0) {
            simulate = true;
            scenario = a.substr(strlen("--simulate="));
        } else if (a == "--kcs") {
            kcs = true;
        } else if (a == "--json") {
            json = true;
        } else if (a == "-h" || a == "--help") {
            usage(stdout);
            return 0;
        } else {
            words.push_back(a);
        }
    }

    if (words.size() == 1 && words[0] == "classes") {
        for (const cimhost::ProviderInfo& p : cimhost::providers())
            printf("%-28s %-22s %s\n", p.className, p.prefix, p.action ? "action" : "data");
        return 0;
    }
    if (words.size() != 2 || words[0] != "enumerate") {
        usage(stderr);
        return 2;
    }

    if (kcs && !simulate) {
        fputs("vkt-cim: --kcs needs --simulate (on a real host the library chooses the channel)\n", stderr);
        return 2;
    }
    const bool recording = !recordFile.empty();
    if (!recordingAllowed(recordFile, scenario)) return 2;
    if ((simulate || recording) && getenv("VKT_SIM_ACTIVE") == nullptr) {
        if (recording) vkttools::exportRecording(recordFile, std::string("vkt-cim ") + VKT_VERSION, argc, argv);
        return restartSimulated(argv, simulate, scenario, kcs, vmAddress);
    }
    if (!readyToRun(simulate, recording)) return 2;

    std::vector<const cimhost::ProviderInfo*> targets;
    if (words[1] == "--all") {
        for (const cimhost::ProviderInfo& p : cimhost::providers())
            if (simulate || !p.action) targets.push_back(&p);
        if (!simulate) fputs("vkt-cim: action classes left out (they act on the BMC); name one to run it\n", stderr);
    } else {
        const cimhost::ProviderInfo* p = cimhost::findProvider(words[1]);
        if (p == nullptr) {
            fprintf(stderr, "vkt-cim: unknown class \"%s\" (see: vkt-cim classes)\n", words[1].c_str());
            return 2;
        }
        targets.push_back(p);
    }

    std::string error;
    std::string libPath = providerLibrary();
    std::unique_ptr<cimhost::Host> host = cimhost::Host::load(libPath, &error);
    if (!host) {
        fprintf(stderr, "vkt-cim: cannot load %s: %s\n", libPath.c_str(), error.c_str());
        return 1;
    }

    // Keep the JSON document clean: whatever the library prints on standard output goes
    // to standard error meanwhile.
    FILE* out = stdout;
    if (json) {
        fflush(stdout);
        int fd = dup(1);
        out = fd >= 0 ? fdopen(fd, "w") : nullptr;
        if (out == nullptr) out = stdout;
        else dup2(2, 1);
    }

    int status = 0;
    if (json) fprintf(out, "[\n");
    for (size_t i = 0; i < targets.size(); ++i) {
        cimhost::EnumResult r = host->enumerate(targets[i]->prefix);
        fflush(stdout);
        if (r.rc != CMPI_RC_OK) {
            fprintf(stderr, "vkt-cim: %s: enumeration failed with status %d\n", targets[i]->className, static_cast<int>(r.rc));
            status = 1;
        }
        if (json)
            printJson(out, *targets[i], r, i == 0);
        else
            printText(out, *targets[i], r);
        fflush(out);
    }
    if (json) fprintf(out, "\n]\n");
    fflush(out);
    if (recording && !vkttools::recordingProblem().empty()) {
        fprintf(stderr, "vkt-cim: the recording is incomplete: %s\n", vkttools::recordingProblem().c_str());
        status = 1;
    }
    return status;
}
