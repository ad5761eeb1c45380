// The options both tools share for running the real library against a simulated BMC
// instead of the host's: --simulate[=SCENARIO], --bmc-sim-vm HOST:PORT and --kcs. A tool
// that was given one of them restarts itself with the test kit's fake OpenIPMI device
// preloaded; after the restart it must make sure the simulation is really in place, so
// that a mistyped scenario can never reach the host's real BMC.
#ifndef VKT_TOOLS_SIM_LAUNCH_H
#define VKT_TOOLS_SIM_LAUNCH_H

#include <string>

namespace vkttools {

struct SimOptions {
    bool simulate = false;  // --simulate or --bmc-sim-vm given
    bool kcs = false;
    std::string scenario = "demo";
    std::string vmAddress;  // HOST:PORT of an external simulator, empty for the built-in one
};

enum class OptionResult { notMine, taken, error };

// Recognises the option at argv[i] (and consumes the value of "--bmc-sim-vm HOST:PORT");
// on an error, *error holds a message without the program name.
OptionResult takeSimOption(int argc, char** argv, int& i, SimOptions& options, std::string* error);

// "" when the options fit together, otherwise the message.
std::string checkSimOptions(const SimOptions& options);

// True in the process that was restarted with the simulation preloaded.
bool simulationRestarted();

// Restarts the program with the fake device preloaded; returns only when that failed
// (after a message on standard error that begins with `program`).
void restartSimulated(const char* program, char** argv, const SimOptions& options);

// After the restart: true when the fake device named by the restart is loaded and serves
// a simulated server; otherwise *error says why not (not preloaded, unknown scenario,
// unusable state file).
bool simulationReady(std::string* error);

// The help lines of the shared options, indented by two spaces.
extern const char* const simOptionsHelp;

// The provider library: ../lib in the build tree, the configured library directory when
// installed; VKT_PROVIDER_LIB names another.
std::string providerLibrary();
// The simulated server: installed in a private directory (never on the linker's path,
// since it interposes libc calls), in ../lib of the build tree; VKT_FAKEBMC_LIB names
// another.
std::string simulatorLibrary();

// A JSON string literal of `s` (quotes, escapes, control characters as \u00XX).
std::string jsonString(const std::string& s);

}  // namespace vkttools

#endif
