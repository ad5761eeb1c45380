#include "test_support.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "generic_util.h"
#include "sdr_util.h"
#include "sel_util.h"
#include "smipmi.h"

namespace testkit {

namespace {

// The library's pauses take no real time; they move the simulated server's clock.
SimClock* activeClock = nullptr;
void advanceClock(int ms) {
    if (activeClock != nullptr) activeClock->advance(ms);
}

// Test programs never let the library at the machine's ports, even before the first
// fixture runs, and never see which driver owns the machine's ports.
const bool portsSimulated = [] {
    simulateLibraryPorts();
    return true;
}();

}  // namespace

void attachServer(SimServer& server, std::vector<std::string> paths) {
    FakeIpmiDevice& dev = FakeIpmiDevice::get();
    dev.setPaths(std::move(paths));
    dev.setBackend(&server.bmc);
}

void SimTest::SetUp() {
    FakeIpmiDevice::get().reset();
    resetLibraryTransport();
    server_ = std::make_unique<SimServer>();
    attachServer(*server_);
    kcs_ = std::make_unique<SimKcsBmc>(&server_->bmc);
    attachPortSpace(kcs_.get());
    activeClock = &server_->clock;
    vkt::setSleepFunction(advanceClock);
}

void SimTest::TearDown() {
    attachPortSpace(nullptr);
    resetLibraryTransport();
    FakeIpmiDevice::get().reset();
    vkt::setSleepFunction(nullptr);
    activeClock = nullptr;
}

void SimTest::useServer(std::unique_ptr<SimServer> server, std::vector<std::string> paths) {
    resetLibraryTransport();
    FakeIpmiDevice::get().reset();
    server_ = std::move(server);
    activeClock = &server_->clock;
    attachServer(*server_, std::move(paths));
    kcs_ = std::make_unique<SimKcsBmc>(&server_->bmc);
    attachPortSpace(kcs_.get());
}

std::vector<int>& SimTest::pauses() {
    static std::vector<int> recorded;
    return recorded;
}

void SimTest::recordPauses() {
    pauses().clear();
    vkt::setSleepFunction([](int ms) { pauses().push_back(ms); });
}

std::vector<IpmiRequest> SimTest::commandsOnly() const {
    std::vector<IpmiRequest> out;
    for (const IpmiRequest& r : server_->bmc.log())
        if (!r.is(0x06, 0x01) && r.netFn != 0x2C) out.push_back(r);
    return out;
}

std::vector<std::string> SimTest::commandTexts() const {
    std::vector<std::string> out;
    for (const IpmiRequest& r : commandsOnly()) out.push_back(r.toString());
    return out;
}

size_t SimTest::requestsDuring(const std::function<void()>& body) {
    bmc().clearLog();
    CaptureOutput out(1);
    CaptureOutput err(2);
    body();
    return bmc().log().size();
}

void SimTest::forgetCachedReads() {
    isSDRLoadedFlag = 0;
    boardName[0] = boardType[0] = '\0';
}

CaptureOutput::CaptureOutput(int fd) : fd_(fd) {
    char tmpl[] = "/tmp/vkt-capture-XXXXXX";
    int tmp = mkstemp(tmpl);
    if (tmp < 0) return;
    path_ = tmpl;
    fflush(fd_ == 1 ? stdout : stderr);
    saved_ = dup(fd_);
    dup2(tmp, fd_);
    ::close(tmp);
}

CaptureOutput::~CaptureOutput() { text(); }

std::string CaptureOutput::text() {
    if (done_) return text_;
    done_ = true;
    if (saved_ < 0) return text_;
    fflush(fd_ == 1 ? stdout : stderr);
    dup2(saved_, fd_);
    ::close(saved_);
    text_ = readText(path_);
    unlink(path_.c_str());
    return text_;
}

Outcome captureOutcome(const std::function<int()>& body) {
    CaptureOutput out(1);
    CaptureOutput err(2);
    Outcome o;
    o.rc = body();
    o.out = out.text();
    o.err = err.text();
    return o;
}

IpmiAnswer sendIpmi(uint8_t netFn, uint8_t cmd, Bytes request) {
    BYTE resp[vkt::ipmiMaxResponseData];
    memset(resp, 0xA5, sizeof resp);
    DWORD len = 9999;
    BYTE cc = runIpmiCmd(0x20, netFn, cmd, request.data(), static_cast<int>(request.size()), resp, &len);
    EXPECT_LE(len, static_cast<DWORD>(vkt::ipmiMaxResponseData));
    DWORD n = std::min<DWORD>(len, vkt::ipmiMaxResponseData);
    return IpmiAnswer{cc, Bytes(resp, resp + n)};
}

ChildResult runInChild(const std::function<void()>& body, bool dropRoot) {
    ChildResult result;
    char outPath[] = "/tmp/vkt-child-out-XXXXXX";
    char errPath[] = "/tmp/vkt-child-err-XXXXXX";
    int outFd = mkstemp(outPath);
    int errFd = mkstemp(errPath);
    fflush(stdout);
    fflush(stderr);
    auto start = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        dup2(outFd, 1);
        dup2(errFd, 2);
        if (dropRoot && getuid() == 0) {
            if (setgid(65534) != 0 || setuid(65534) != 0) _exit(99);
            // The parent may have passed the library's root check already; the child
            // is someone else now, and starts with a transport of its own.
            resetLibraryTransport();
        }
        body();
        fflush(stdout);
        fflush(stderr);
        _exit(0);
    }
    int status = 0;
    if (pid > 0) waitpid(pid, &status, 0);
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (pid > 0 && WIFEXITED(status)) {
        result.exited = true;
        result.status = WEXITSTATUS(status);
    } else if (pid > 0 && WIFSIGNALED(status)) {
        result.signal = WTERMSIG(status);
    }
    result.out = readText(outPath);
    result.err = readText(errPath);
    ::close(outFd);
    ::close(errFd);
    unlink(outPath);
    unlink(errPath);
    return result;
}

void writeFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary);
    out << content;
}

void writeFile(const std::string& path, const Bytes& content) {
    writeFile(path, std::string(content.begin(), content.end()));
}

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

Bytes readBytes(const std::string& path) {
    const std::string s = readText(path);
    return Bytes(s.begin(), s.end());
}

ScratchDir::ScratchDir(const std::string& prefix, const char* keepVariable) : keepVariable_(keepVariable) {
    std::string tmpl = "/tmp/" + prefix + "-XXXXXX";
    if (mkdtemp(&tmpl[0]) != nullptr) path_ = tmpl;
}

ScratchDir::~ScratchDir() {
    if (keepVariable_ == nullptr || getenv(keepVariable_) == nullptr) (void)remove();
}

bool ScratchDir::remove() {
    if (path_.empty()) return true;
    const std::string cmd = "rm -rf '" + path_ + "'";
    const bool removed = system(cmd.c_str()) == 0;
    path_.clear();
    return removed;
}

namespace {

bool copyFile(const std::string& from, const std::string& to, mode_t mode) {
    std::ifstream in(from, std::ios::binary);
    std::ofstream out(to, std::ios::binary | std::ios::trunc);
    if (!in || !out) return false;
    out << in.rdbuf();
    out.close();
    return !out.fail() && chmod(to.c_str(), mode) == 0;
}

}  // namespace

CopiesForAnyUser::CopiesForAnyUser(const std::vector<std::string>& programs,
                                   const std::vector<std::pair<std::string, std::string>>& libraries) {
    const std::string& root = dir_.path();
    if (root.empty() || chmod(root.c_str(), 0755) != 0 || mkdir(program("").c_str(), 0755) != 0 ||
        mkdir(libDir().c_str(), 0755) != 0)
        return;
    for (const std::string& p : programs)
        if (!copyFile(p, program(p.substr(p.rfind('/') + 1)), 0755)) return;
    for (const auto& [from, name] : libraries)
        if (!copyFile(from, libDir() + "/" + name, 0644)) return;
    ok_ = true;
}

}  // namespace testkit
