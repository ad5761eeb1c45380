#include "sim_launch.h"

#include <dlfcn.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace vkttools {

namespace {

constexpr const char* activeVariable = "VKT_SIM_ACTIVE";
// Exported by the fake device's preload library once a simulated server answers, and the
// state of the recording it writes.
constexpr const char* readySymbol = "vktSimulatedServerReady";
constexpr const char* recordingSymbol = "vktRecordingError";
constexpr const char* replayPrefix = "replay:";

bool validAddress(const std::string& address) {
    const size_t colon = address.rfind(':');
    return colon != std::string::npos && colon != 0 && colon + 1 < address.size() &&
           address.find_first_not_of("0123456789", colon + 1) == std::string::npos;
}

bool sameFile(const std::string& a, const std::string& b) {
    struct stat sa{};
    struct stat sb{};
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// The command line for the recording's header, on one line.
std::string commandLine(const char* program, char** argv) {
    std::string command = program;
    for (int i = 1; argv[i] != nullptr; ++i) {
        const std::string a = argv[i];
        command += a.find_first_of(" \t\"'") == std::string::npos && !a.empty() ? " " + a : " '" + a + "'";
    }
    return command;
}

// The recording's part of the restart's environment.
void exportRecording(const char* program, char** argv, const SimOptions& options) {
    if (options.recordFile.empty()) {
        unsetenv("VKT_RECORD");
        return;
    }
    setenv("VKT_RECORD", options.recordFile.c_str(), 1);
    setenv("VKT_RECORD_TOOL", (std::string(program) + " " + VKT_VERSION).c_str(), 1);
    setenv("VKT_RECORD_COMMAND", commandLine(program, argv).c_str(), 1);
}

// The preload library the restart named, when it is loaded (release with dlclose).
void* preloadHandle() {
    const char* path = getenv(activeVariable);
    return path != nullptr && *path == '/' ? dlopen(path, RTLD_LAZY | RTLD_NOLOAD) : nullptr;
}

std::string recordingErrorOf(void* handle) {
    using ErrorFunction = const char* (*)();
    auto fn = reinterpret_cast<ErrorFunction>(dlsym(handle, recordingSymbol));
    if (fn == nullptr) return "the recorder could not be preloaded";
    const char* text = fn();
    return text != nullptr ? text : "";
}

std::string exeDir() {
    char buf[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return ".";
    buf[n] = '\0';
    const std::string path(buf);
    const size_t slash = path.rfind('/');
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

// Length of the well-formed UTF-8 sequence at s[i], 0 when there is none.
size_t utf8SequenceAt(const std::string& s, size_t i) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char lead = byte(i);
    size_t n = 0;
    if (lead >= 0xC2 && lead <= 0xDF) n = 2;
    else if (lead >= 0xE0 && lead <= 0xEF) n = 3;
    else if (lead >= 0xF0 && lead <= 0xF4) n = 4;
    if (n == 0 || i + n > s.size()) return 0;
    for (size_t k = 1; k < n; ++k)
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
    // Overlong forms, surrogates and code points past U+10FFFF.
    if ((lead == 0xE0 && byte(i + 1) < 0xA0) || (lead == 0xED && byte(i + 1) > 0x9F) ||
        (lead == 0xF0 && byte(i + 1) < 0x90) || (lead == 0xF4 && byte(i + 1) > 0x8F))
        return 0;
    return n;
}

}  // namespace

const char* const simOptionsHelp =
    "  --simulate[=SCENARIO]\n"
    "                    use a simulated rack server instead of the BMC; SCENARIO is one\n"
    "                    of demo (default), empty, failing, multinode, multinode-nimbet,\n"
    "                    or replay:FILE to play a recording made with --record back\n"
    "  --bmc-sim-vm HOST:PORT\n"
    "                    use an external BMC simulator (ipmi_sim) through its VM serial\n"
    "                    link at HOST:PORT instead of the BMC\n"
    "  --kcs             with --simulate or --bmc-sim-vm: no OpenIPMI device; the server\n"
    "                    is reached over the KCS I/O ports (simulated, never the real ones)\n"
    "  --record FILE     write every exchange with the BMC (request, answer, time) to FILE,\n"
    "                    the host's own BMC or the simulated one; the data of Set User\n"
    "                    Password requests is written as zeros (VKT_SIM_REPLAY_DELAYS=1\n"
    "                    makes a replay keep the recorded timing)\n";

OptionResult takeSimOption(int argc, char** argv, int& i, SimOptions& options, std::string* error) {
    const std::string a = argv[i];
    if (a == "--bmc-sim-vm" || a.rfind("--bmc-sim-vm=", 0) == 0) {
        std::string address;
        if (a == "--bmc-sim-vm") {
            if (i + 1 >= argc) {
                *error = "--bmc-sim-vm needs HOST:PORT";
                return OptionResult::error;
            }
            address = argv[++i];
        } else {
            address = a.substr(strlen("--bmc-sim-vm="));
        }
        if (!validAddress(address)) {
            *error = "\"" + address + "\" is not HOST:PORT";
            return OptionResult::error;
        }
        options.vmAddress = address;
        options.simulate = true;
        return OptionResult::taken;
    }
    if (a == "--simulate") {
        options.simulate = true;
        return OptionResult::taken;
    }
    if (a.rfind("--simulate=", 0) == 0) {
        options.simulate = true;
        options.scenario = a.substr(strlen("--simulate="));
        if (options.scenario.empty()) {
            *error = "--simulate= needs a scenario name";
            return OptionResult::error;
        }
        return OptionResult::taken;
    }
    if (a == "--kcs") {
        options.kcs = true;
        return OptionResult::taken;
    }
    if (a == "--record" || a.rfind("--record=", 0) == 0) {
        if (a == "--record" && i + 1 >= argc) {
            *error = "--record needs a file name";
            return OptionResult::error;
        }
        options.recordFile = a == "--record" ? argv[++i] : a.substr(strlen("--record="));
        if (options.recordFile.empty()) {
            *error = "--record needs a file name";
            return OptionResult::error;
        }
        return OptionResult::taken;
    }
    return OptionResult::notMine;
}

std::string checkSimOptions(const SimOptions& options) {
    if (options.kcs && !options.simulate)
        return "--kcs needs --simulate (on a real host the library chooses the channel)";
    const std::string& scenario = options.scenario;
    if (options.simulate && !options.recordFile.empty() && scenario.rfind(replayPrefix, 0) == 0 &&
        sameFile(options.recordFile, scenario.substr(strlen(replayPrefix))))
        return "--record " + options.recordFile + " would overwrite the recording being played back";
    return "";
}

namespace {

// A simulation or a recording: the tool runs with the preload library.
bool needsPreload(const SimOptions& options) { return options.simulate || !options.recordFile.empty(); }

bool simulationRestarted() { return getenv(activeVariable) != nullptr; }

void restartSimulated(const char* program, char** argv, const SimOptions& options) {
    std::string preload = simulatorLibrary();
    if (access(preload.c_str(), R_OK) != 0) {
        fprintf(stderr,
                "%s: %s needs the simulated server libvktfakebmc.so (package varkolt-simulator), "
                "found neither in %s/%s nor in the build tree\n",
                program, options.simulate ? "--simulate" : "--record", exeDir().c_str(), VKT_BIN_TO_LIBEXEC);
        return;
    }
    char resolved[PATH_MAX];
    if (realpath(preload.c_str(), resolved) != nullptr) preload = resolved;  // named again after the restart
    const char* old = getenv("LD_PRELOAD");
    std::string value = preload;
    if (old != nullptr && *old != '\0') value = std::string(old) + ":" + preload;  // keep a sanitizer runtime first
    setenv("LD_PRELOAD", value.c_str(), 1);
    setenv("VKT_SIM_SCENARIO", options.scenario.c_str(), 1);
    // Recording alone: no simulated server, the host's own device nodes and ports.
    setenv("VKT_SIM_TRANSPORT", !options.simulate ? "host" : options.kcs ? "kcs" : "device", 1);
    if (!options.vmAddress.empty())
        setenv("VKT_SIM_VM", options.vmAddress.c_str(), 1);
    else
        unsetenv("VKT_SIM_VM");
    setenv(activeVariable, preload.c_str(), 1);
    if (options.simulate && getuid() != 0) setenv("VKT_SIM_FAKE_ROOT", "1", 1);
    exportRecording(program, argv, options);
    setenv("ASAN_OPTIONS", "verify_asan_link_order=0", 0);
    execv("/proc/self/exe", argv);
    fprintf(stderr, "%s: cannot restart with the simulated server: %s\n", program, strerror(errno));
}

bool simulationReady(const SimOptions& options, std::string* error) {
    // The preload library the restart named must be the one loaded: going on without it
    // would send everything to the host's real BMC.
    void* handle = preloadHandle();
    if (handle == nullptr) {
        *error = options.simulate ? "the simulated server could not be preloaded" : "the recorder could not be preloaded";
        return false;
    }
    using ReadyFunction = int (*)();
    auto ready = reinterpret_cast<ReadyFunction>(dlsym(handle, readySymbol));
    const bool serving = !options.simulate || (ready != nullptr && ready() != 0);
    *error = options.recordFile.empty() ? "" : recordingErrorOf(handle);
    dlclose(handle);
    if (!serving) *error = "the simulated server could not be started";
    return error->empty();
}

}  // namespace

Launch launchSimulation(const char* program, char** argv, const SimOptions& options, std::string* error) {
    if (!needsPreload(options)) return Launch::go;
    if (!simulationRestarted()) {
        restartSimulated(program, argv, options);
        return Launch::restartFailed;
    }
    return simulationReady(options, error) ? Launch::go : Launch::notReady;
}

std::string recordingProblem(const SimOptions& options) {
    if (options.recordFile.empty()) return "";
    void* handle = preloadHandle();
    if (handle == nullptr) return "the recorder could not be preloaded";
    std::string problem = recordingErrorOf(handle);
    dlclose(handle);
    return problem;
}

std::string providerLibrary() {
    return findLibrary("libvarkoltprovider.so.1", "VKT_PROVIDER_LIB", {"../lib", VKT_BIN_TO_LIB, "."});
}

std::string simulatorLibrary() {
    return findLibrary("libvktfakebmc.so", "VKT_FAKEBMC_LIB", {VKT_BIN_TO_LIBEXEC, "../lib"});
}

std::string jsonString(const std::string& s) {
    std::string out = "\"";
    for (size_t i = 0; i < s.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c >= 0x80) {
            // BMC texts are bytes: a byte that is no part of UTF-8 is shown as the
            // Latin-1 character of its value, so the document stays valid JSON.
            const size_t n = utf8SequenceAt(s, i);
            if (n > 0) {
                out.append(s, i, n);
                i += n - 1;
            } else {
                char buf[8];
                snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            }
            continue;
        }
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

}  // namespace vkttools
