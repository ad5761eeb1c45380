// Helpers for tests that run the library's code against the simulated BMC.
#ifndef TESTKIT_TEST_SUPPORT_H
#define TESTKIT_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "fake_ipmi_device.h"
#include "library_harness.h"
#include "sim_kcs.h"
#include "sim_server.h"

namespace testkit {

// Attaches `server` to the fake device with the given device nodes.
void attachServer(SimServer& server, std::vector<std::string> paths = {"/dev/ipmi0"});

// A test with a fresh simulated server (every model installed, no content) on "/dev/ipmi0", the
// same server also behind a simulated KCS interface on ports CA2h/CA3h (used when no
// device node answers), and a library transport in its load-time state. Waits of the
// library take no real time: they advance the server's simulated clock instead.
class SimTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Replaces the server, e.g. with a named scenario.
    void useServer(std::unique_ptr<SimServer> server, std::vector<std::string> paths = {"/dev/ipmi0"});

    std::unique_ptr<SimServer> server_;
    std::unique_ptr<SimKcsBmc> kcs_;
    SimServer& sim() { return *server_; }
    // From now on the library's pauses are recorded in pauses() (emptied here) instead of
    // moving the simulated clock.
    static void recordPauses();
    // The pauses recorded since, in milliseconds.
    static std::vector<int>& pauses();
    SimBmc& bmc() { return server_->bmc; }
    SimKcsBmc& kcs() { return *kcs_; }
    // The requests after the interface probe of the first command: the log without
    // Get Device ID and PICMG exchanges.
    std::vector<IpmiRequest> commandsOnly() const;
    // The same as "netFn/cmd data..." texts.
    std::vector<std::string> commandTexts() const;
    // How many requests reached the server while `body` ran, with its output silenced.
    size_t requestsDuring(const std::function<void()>& body);
    // Makes the library read the SDR repository and the board ID again, as a process that
    // has read nothing yet would.
    static void forgetCachedReads();
};

// Captures what the process writes to standard output or standard error (file
// descriptor level, so C stdio and C++ streams are both caught).
class CaptureOutput {
public:
    explicit CaptureOutput(int fd);  // 1 or 2
    ~CaptureOutput();
    std::string text();  // stops capturing and returns what was written

private:
    int fd_;
    int saved_ = -1;
    std::string path_;
    bool done_ = false;
    std::string text_;
};

// What a routine returned and printed.
struct Outcome {
    int rc = -1;
    std::string out;
    std::string err;
};

// Runs `body` with standard output and standard error captured.
Outcome captureOutcome(const std::function<int()>& body);

// One runIpmiCmd through the library: completion code and the data bytes it reported
// (the reply buffer is pre-filled with A5h, so bytes it never wrote are visible).
struct IpmiAnswer {
    uint8_t cc = 0;
    Bytes data;
};
IpmiAnswer sendIpmi(uint8_t netFn, uint8_t cmd, Bytes request = {});

struct ChildResult {
    bool exited = false;
    int status = -1;  // exit status when exited
    int signal = 0;
    std::string out;
    std::string err;
    double seconds = 0;
};

// Runs `body` in a forked child (optionally after dropping root to nobody) and reports
// how it ended; a body that returns ends the child with status 0.
ChildResult runInChild(const std::function<void()>& body, bool dropRoot = false);


// ---- files ----------------------------------------------------------------------------

// Whole files, byte for byte; a file that cannot be read reads as empty.
void writeFile(const std::string& path, const std::string& content);
void writeFile(const std::string& path, const Bytes& content);
std::string readText(const std::string& path);
Bytes readBytes(const std::string& path);

// A fresh directory under /tmp ("/tmp/PREFIX-XXXXXX"), removed with its files when the
// object goes. When the environment has `keepVariable` set, the directory is left for a
// look at what the test wrote.
class ScratchDir {
public:
    explicit ScratchDir(const std::string& prefix = "vkt-test", const char* keepVariable = nullptr);
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    // Empty when the directory could not be made.
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    // Removes the directory now; false when that failed.
    bool remove();

private:
    std::string path_;
    const char* keepVariable_;
};

// ---- programs for an unprivileged user --------------------------------------------------

// Copies of built programs and their libraries that any user can run, for tests that run a
// tool as an unprivileged user: a build tree may lie where only its owner can enter (a
// checkout under /root, mode 700), an installed tool never does. Programs are copied to
// bin/, each library to lib/ under the name given (the name the programs look for); the
// tools find lib/ relative to themselves, a program linked with a library through
// LD_LIBRARY_PATH=libDir().
class CopiesForAnyUser {
public:
    CopiesForAnyUser(const std::vector<std::string>& programs,
                     const std::vector<std::pair<std::string, std::string>>& libraries);
    // False when a file could not be copied.
    bool ok() const { return ok_; }
    std::string program(const std::string& name) const { return dir_.file("bin/" + name); }
    std::string libDir() const { return dir_.file("lib"); }

private:
    ScratchDir dir_{"vkt-any-user"};
    bool ok_ = false;
};

}  // namespace testkit

#endif
