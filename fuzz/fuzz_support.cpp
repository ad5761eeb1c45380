#include "fuzz_support.h"

#include <fcntl.h>
#include <ftw.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>

#include "fake_ipmi_device.h"
#include "generic_util.h"
#include "library_harness.h"
#include "transport_state.h"

namespace fuzz {

namespace {

std::string scratchDir;
int reportFd = 2;

void noSleep(int) {}

int removeEntry(const char* path, const struct stat*, int, struct FTW*) { return remove(path); }

void removeScratch() {
    if (!scratchDir.empty()) nftw(scratchDir.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
}

// Answer classes of the hostile BMC, picked by the control byte.
enum class Answer : uint8_t { Server, Changed, Message, None, Count };

constexpr size_t maxMessage = 140;  // beyond the 128-byte image on purpose

// How long the library waits for an answer on the device. Answers are queued as the request
// is sent, so any wait long enough for a busy machine to get back to the library will do;
// an answer that never comes shortens it (see HostileBmc::handle).
constexpr int answerWaitMs = 10000;
constexpr int noAnswerWaitMs = 1;

}  // namespace

uint8_t Stream::byte() { return pos_ < size_ ? data_[pos_++] : 0; }

uint16_t Stream::word() {
    const uint8_t ls = byte();
    return static_cast<uint16_t>(ls | byte() << 8);
}

testkit::Bytes Stream::bytes(size_t n) {
    const size_t take = n < left() ? n : left();
    testkit::Bytes out(data_ + pos_, data_ + pos_ + take);
    pos_ += take;
    return out;
}

testkit::Bytes Stream::run(size_t max) {
    const size_t n = byte();
    return bytes(n < max ? n : max);
}

std::string Stream::text(size_t max) {
    const testkit::Bytes b = run(max);
    std::string s;
    for (uint8_t c : b) s += c != 0 ? static_cast<char>(c) : '0';
    return s;
}

testkit::Bytes Stream::rest() { return bytes(left()); }

void setUpProcess() {
    // Kept before the fuzzer silences standard error for the library's sake.
    reportFd = dup(2);
    vkt::setSleepFunction(noSleep);
    testkit::simulateLibraryPorts();
    // Beside the fuzzer's own files, so that a scratch directory an aborted run leaves
    // behind goes with the run directory.
    char tmpl[] = "scratch-XXXXXX";
    char cwd[4096];
    if (getcwd(cwd, sizeof cwd) == nullptr || mkdtemp(tmpl) == nullptr) {
        fputs("fuzz: no scratch directory\n", stderr);
        abort();
    }
    scratchDir = std::string(cwd) + "/" + tmpl;
    atexit(removeScratch);
}

void fail(const char* target, const char* what) {
    const std::string line = std::string(target) + ": " + what + "\n";
    if (write(reportFd, line.data(), line.size()) < 0) {
        // Nothing more to do: the abort below still keeps the input.
    }
    abort();
}

InScratchDirectory::InScratchDirectory() : previous_(open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    if (previous_ < 0 || chdir(scratchDir.c_str()) != 0) abort();
}

InScratchDirectory::~InScratchDirectory() {
    if (fchdir(previous_) != 0) abort();
    close(previous_);
}

void attachBackend(testkit::Backend* backend) {
    testkit::FakeIpmiDevice& dev = testkit::FakeIpmiDevice::get();
    dev.reset();
    testkit::resetLibraryTransport();
    testkit::adjustTransport([](vkt::TransportConfig& c) { c.openIpmiResponseTimeoutMs = answerWaitMs; });
    if (backend != nullptr) {
        dev.setPaths({"/dev/ipmi0"});
        dev.setBackend(backend);
    }
}

std::string scratchPath(const std::string& bytes) {
    std::string name = scratchDir + "/f-";
    for (char c : bytes) name += c == '/' ? '_' : c;
    return name;
}

void writeScratchFile(const std::string& path, const testkit::Bytes& content) {
    FILE* f = fopen(path.c_str(), "wb");
    if (f == nullptr) return;
    if (!content.empty()) fwrite(content.data(), 1, content.size(), f);
    fclose(f);
}

testkit::Bytes readScratchFile(const std::string& path) {
    testkit::Bytes content;
    FILE* f = fopen(path.c_str(), "rb");
    if (f == nullptr) return content;
    int c;
    while ((c = getc(f)) != EOF) content.push_back(static_cast<uint8_t>(c));
    fclose(f);
    return content;
}

std::optional<testkit::IpmiResponse> HostileBmc::handle(const testkit::IpmiRequest& request) {
    // The library takes its time-out after the request has gone out, that is after this
    // call: a request left unanswered (by the input's choice, or because nothing is at its
    // IPMB address) costs a millisecond instead of the whole wait, and an answered one keeps
    // a wait that no busy machine runs out of.
    sent_.push_back(request);
    std::optional<testkit::IpmiResponse> response = answer(request);
    const int waitMs = response ? answerWaitMs : noAnswerWaitMs;
    testkit::adjustTransport([waitMs](vkt::TransportConfig& c) { c.openIpmiResponseTimeoutMs = waitMs; });
    return response;
}

std::optional<testkit::IpmiResponse> HostileBmc::answer(const testkit::IpmiRequest& request) {
    if (in_.empty()) return server_.bmc.handle(request);
    const auto answer = static_cast<Answer>(in_.byte() % static_cast<uint8_t>(Answer::Count));
    switch (answer) {
        case Answer::Server:
            return server_.bmc.handle(request);
        case Answer::Changed: {
            testkit::IpmiResponse r = server_.bmc.handle(request).value_or(testkit::IpmiResponse::error(0xFF));
            if (r.raw && !r.data.empty()) {
                r.cc = r.data.front();
                r.data.erase(r.data.begin());
            }
            r.raw = false;
            // The completion code, the length (cut, or grown with bytes from the input) and
            // one byte anywhere.
            r.cc = in_.byte();
            const size_t length = in_.byte() % maxMessage;
            if (length < r.data.size()) r.data.resize(length);
            while (r.data.size() < length) r.data.push_back(in_.byte());
            const size_t at = in_.byte();
            const uint8_t value = in_.byte();
            if (at < r.data.size()) r.data[at] = value;
            return r;
        }
        case Answer::Message:
            return testkit::IpmiResponse::rawBytes(in_.run(maxMessage));
        case Answer::None:
        case Answer::Count:
            break;
    }
    return std::nullopt;
}

std::unique_ptr<testkit::SimServer> demoServer() { return testkit::makeScenario("demo"); }

std::unique_ptr<testkit::SimServer> demoServer(uint8_t pick) {
    static const char* const scenarios[] = {"demo", "multinode", "multinode-nimbet"};
    return testkit::makeScenario(scenarios[pick % (sizeof scenarios / sizeof scenarios[0])]);
}

}  // namespace fuzz
