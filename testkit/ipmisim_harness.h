// Runs OpenIPMI's BMC simulator (ipmi_sim) with the checked-in cross-check scenario
// (tests/ipmisim): free loopback ports, a fresh scratch and state directory per run, the
// SDR source compiled with sdrcomp, FRU images built from their descriptions, the event
// log filled after Set SEL Time. The simulator is stopped by its process ID.
#ifndef TESTKIT_IPMISIM_HARNESS_H
#define TESTKIT_IPMISIM_HARNESS_H

#include <gtest/gtest.h>
#include <sys/types.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "backends/vm_backend.h"
#include "ipmi_message.h"

namespace testkit::ipmisim {

// ---- programs ---------------------------------------------------------------------------

// Full path of a program found in PATH, /usr/sbin or /sbin; "" when absent.
std::string findProgram(const std::string& name);

// The programs the cross-checks need and those that are missing.
struct ToolCheck {
    std::vector<std::string> missing;
    bool ok() const { return missing.empty(); }
    std::string message() const;
};
ToolCheck checkTools();

struct ProcessResult {
    int status = -1;        // exit status; -1 when killed or not started
    bool timedOut = false;
    std::string out;
    std::string err;
    std::string command;    // for messages
};

// Runs argv[0] (looked up with findProgram when it has no slash) with the extra
// environment entries ("NAME=value"), collecting its output; killed after timeoutMs.
// Standard input is the file `inputPath`, or /dev/null.
ProcessResult runProgram(const std::vector<std::string>& argv, int timeoutMs = 30000,
                         const std::vector<std::string>& extraEnv = {}, const std::string& inputPath = "");

// ---- scenario pieces --------------------------------------------------------------------

// "key = value" lines; '#' starts a comment line; keys and values are trimmed.
std::map<std::string, std::string> readKeyValues(const std::string& path, std::string* error = nullptr);

// An IPMI FRU image (common header, chassis, board, product areas with 8-bit ASCII
// fields, checksums, 8-byte padding) from "area.field" keys; "size" pads the image.
Bytes buildFruImage(const std::map<std::string, std::string>& fields);

// Records of a raw SDR file (records back to back, each with its 5-byte header).
std::vector<Bytes> splitSdrRecords(const Bytes& raw);

// The lines of an events file: 16 hexadecimal bytes per line.
std::vector<Bytes> readSelEntries(const std::string& path, std::string* error = nullptr);

// ---- the simulator ----------------------------------------------------------------------

class Simulator {
public:
    struct Options {
        std::string scenarioDir;            // tests/ipmisim of the source tree
        uint32_t selTime = 1700000000;      // Set SEL Time before the events are logged
        bool keepScratch = false;           // leave the scratch directory for inspection
    };

    // Starts ipmi_sim and fills its event log; nullptr and *error on failure.
    static std::unique_ptr<Simulator> start(const Options& options, std::string* error);
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    void stop();
    bool running() const;
    pid_t pid() const { return pid_; }

    uint16_t lanPort() const { return lanPort_; }
    uint16_t vmPort() const { return vmPort_; }
    uint16_t consolePort() const { return consolePort_; }
    std::string vmAddress() const { return "127.0.0.1:" + std::to_string(vmPort_); }
    const std::string& scratchDir() const { return scratch_; }
    // The LAN parameters the lan_config_program keeps ("ip_addr" -> "192.0.2.10", ...).
    std::map<std::string, std::string> lanState() const;
    // Changes one of them behind the BMC's back, as another management path would (the
    // simulator refuses some changes over IPMI, the address source for one).
    bool setLanParameter(const std::string& name, const std::string& value);
    // What ipmi_sim wrote to its standard output and error.
    std::string log() const;
    // The SDR records it was given (compiled from server.sdrs), in repository order.
    std::vector<Bytes> sdrRecords() const;
    // The FRU image of device 0 or 1 as the simulator reads it.
    Bytes fruImage(int device) const;

    // The administrator account the peers log in with.
    std::string user() const { return "admin"; }
    std::string password() const { return "vkt-admin"; }

    // Emulator commands (ipmi_sim_cmd(5)) through the console port, one per line.
    bool console(const std::string& commands, std::string* reply = nullptr);

private:
    Simulator() = default;
    bool prepare(const Options& options, std::string* error);
    bool launch(std::string* error);
    bool populate(const Options& options, std::string* error);

    pid_t pid_ = -1;
    uint16_t lanPort_ = 0;
    uint16_t vmPort_ = 0;
    uint16_t consolePort_ = 0;
    std::string scratch_;
    bool keep_ = false;
};

// One simulator for the whole test program. When the programs are missing the program
// ends as skipped (exit status 77, a message on standard output), unless the environment
// has CI=true: then a missing program is a failure.
class Environment : public ::testing::Environment {
public:
    explicit Environment(std::string scenarioDir) : scenarioDir_(std::move(scenarioDir)) {}
    void SetUp() override;
    void TearDown() override;

    static Simulator* simulator();
    // The fake device's link to the simulator, connected in SetUp.
    static VmBackend* link();

private:
    std::string scenarioDir_;
};

// Exit status of a skipped test program (CTest's SKIP_RETURN_CODE).
constexpr int skipExitStatus = 77;

}  // namespace testkit::ipmisim

#endif
