// Shared pieces of the fuzz targets.
//
// Each target runs the library's own objects in-process against the simulator: the fake
// OpenIPMI device in front of a BMC, the simulated KCS port space behind the library's
// ports. Pauses of the library take no time, its files go to a scratch directory, and a
// BMC can answer either from a simulated server or from the fuzzer's input.
#ifndef FUZZ_SUPPORT_H
#define FUZZ_SUPPORT_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ipmi_message.h"
#include "sim_server.h"

namespace fuzz {

// The fuzzer's input read from the front, one piece after the other. Reads past the end
// give zeros (and empty byte runs), so every input is a complete one.
class Stream {
public:
    Stream(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool empty() const { return pos_ >= size_; }
    size_t left() const { return pos_ < size_ ? size_ - pos_ : 0; }
    uint8_t byte();
    uint16_t word();  // least significant byte first
    // Up to `n` bytes (fewer at the end).
    testkit::Bytes bytes(size_t n);
    // A run whose length (up to `max`) is the next byte.
    testkit::Bytes run(size_t max = 255);
    // The same as a text; it may hold any byte but NUL.
    std::string text(size_t max = 255);
    // Everything not read yet.
    testkit::Bytes rest();

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

// Once per process, from LLVMFuzzerInitialize: the library's pauses take no time, its port
// accesses reach the simulated port space, and a scratch directory in the working directory
// (removed at exit) takes the files the library is asked to read and write.
void setUpProcess();

// A broken property: the message goes to the fuzzer's log (standard error as it was when
// the process started, which the fuzzer keeps even when it silences the library), then the
// process aborts so the input is kept as a finding.
[[noreturn]] void fail(const char* target, const char* what);
inline void check(bool holds, const char* target, const char* what) {
    if (!holds) fail(target, what);
}

// Makes the scratch directory the working directory while it lives (the library reads
// "fru_source_index" from the working directory). The fuzzer's own files stay where it runs.
class InScratchDirectory {
public:
    InScratchDirectory();
    ~InScratchDirectory();
    InScratchDirectory(const InScratchDirectory&) = delete;
    InScratchDirectory& operator=(const InScratchDirectory&) = delete;

private:
    int previous_;
};

// Before each input: the library's transport back to its load-time state and the fake
// device serving /dev/ipmi0 from `backend` (nullptr: no device node, so the library falls
// back to the KCS ports).
void attachBackend(testkit::Backend* backend);

// A path inside the scratch directory made of arbitrary bytes (no directory part of its own,
// so nothing outside the scratch directory is ever touched).
std::string scratchPath(const std::string& bytes);
void writeScratchFile(const std::string& path, const testkit::Bytes& content);
// The whole file (empty when it cannot be read).
testkit::Bytes readScratchFile(const std::string& path);

// A BMC whose answers the input decides, request by request. A control byte picks how the
// simulated server's answer reaches the library: as it is, changed (completion code, length
// and bytes from the input), replaced by a message of any length from the input (a missing
// completion code included), or not at all. An exhausted input lets the server answer, so
// even an empty input drives a whole enumeration.
class HostileBmc : public testkit::Backend {
public:
    HostileBmc(Stream& in, testkit::SimServer& server) : in_(in), server_(server) {}
    std::optional<testkit::IpmiResponse> handle(const testkit::IpmiRequest& request) override;
    // Every request the library sent, answered or not.
    const std::vector<testkit::IpmiRequest>& sent() const { return sent_; }

private:
    std::optional<testkit::IpmiResponse> answer(const testkit::IpmiRequest& request);
    Stream& in_;
    testkit::SimServer& server_;
    std::vector<testkit::IpmiRequest> sent_;
};

// A fresh demo server (sensors, event log, FRU, LAN, users, power devices, ...).
std::unique_ptr<testkit::SimServer> demoServer();
// The demo server alone (0), or in a multi-node chassis of either family (1, 2).
std::unique_ptr<testkit::SimServer> demoServer(uint8_t pick);

}  // namespace fuzz

#endif
