// The options both tools share for running the real library against a simulated BMC
// instead of the host's: --simulate[=SCENARIO] (also replay:FILE), --bmc-sim-vm HOST:PORT
// and --kcs, and for recording every exchange with the BMC, simulated or real: --record
// FILE. A tool that was given one of them restarts itself with the simulator's fake OpenIPMI
// device preloaded; after the restart it must make sure the simulation and the recording
// are really in place, so that a mistyped scenario can never reach the host's real BMC and
// a recording that cannot be written is noticed before anything is sent.
#ifndef VKT_TOOLS_SIM_LAUNCH_H
#define VKT_TOOLS_SIM_LAUNCH_H

#include <string>

namespace vkttools {

struct SimOptions {
    bool simulate = false;  // --simulate or --bmc-sim-vm given
    bool kcs = false;
    std::string scenario = "demo";
    std::string vmAddress;  // HOST:PORT of an external simulator, empty for the built-in one
    std::string recordFile;  // --record FILE; without a simulation the host's own BMC is recorded
};

enum class OptionResult { notMine, taken, error };

// Recognises the option at argv[i] (and consumes the value of "--bmc-sim-vm HOST:PORT" and
// "--record FILE");
// on an error, *error holds a message without the program name.
OptionResult takeSimOption(int argc, char** argv, int& i, SimOptions& options, std::string* error);

// "" when the options fit together, otherwise the message.
std::string checkSimOptions(const SimOptions& options);

enum class Launch { go, restartFailed, notReady };

// Before anything is sent: without a simulation or a recording, go. Otherwise the first
// run restarts the program with the fake device preloaded and returns only when that
// failed (restartFailed, after a message on standard error that begins with `program`; the
// recording's header names `program` and its version); the restarted run goes only when
// the fake device is loaded, serves the simulated server that was asked for and writes the
// recording that was asked for, otherwise notReady with *error saying why not (not
// preloaded, unknown scenario, unusable state file or recording to replay, a recording that
// cannot be written).
Launch launchSimulation(const char* program, char** argv, const SimOptions& options, std::string* error);

// After the run: "" when no recording was asked for or every exchange reached it, else why
// not.
std::string recordingProblem(const SimOptions& options);

// The help lines of the shared options (the simulation's, then --record), indented by two
// spaces.
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
