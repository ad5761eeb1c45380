// The KCS port exchange with an input-driven BMC side. Without a device node the library
// probes for the BMC and carries each request over the KCS ports, which either
//   0  read whatever the input says (every status and data register read is the next
//      input byte; once the input is used up the interface reads as idle), or
//   1  belong to the simulated KCS BMC (testkit/sim_kcs.h) on a port pair and with faults
//      chosen by the input, in front of the hostile BMC (fuzz_support.h).
// A broken exchange ends the process with status 21, as it must in a CIMOM; here that exit
// ends the input instead (the program is linked with --wrap=exit), so the fault paths that
// lead there are fuzzed too.
//
// Input: a mode byte, (mode 1: port pair, exchange number, fault and write number, delays,)
// a request count byte, each request as netFn, command and a data run (up to 130 bytes,
// more than a request may carry), then the port bytes (mode 0) or the hostile BMC's
// control stream.
#include <dlfcn.h>
#include <fcntl.h>
#include <setjmp.h>
#include <signal.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "fuzz_support.h"
#include "sim_kcs.h"
#include "sim_ports.h"
#include "smipmi.h"

extern "C" [[noreturn]] void __real_exit(int status);

namespace {

constexpr int exitKcsFailure = 21;
constexpr int exitNotRoot = 42;
constexpr size_t maxRequest = 130;  // more than a request may carry, on purpose

sigjmp_buf* exitJump = nullptr;

// The library's clock while an exchange runs (see usleep and clock_gettime below).
bool virtualTime = false;
long long virtualUs = 0;

// Every register read is the next input byte.
class InputPorts final : public testkit::PortSpace {
public:
    explicit InputPorts(fuzz::Stream& in) : in_(in) {}
    uint8_t in(uint16_t port) override {
        if (!in_.empty()) return in_.byte();
        // Used up: the status register shows an idle interface with a byte waiting (so no
        // wait lasts), the data register reads 00h.
        constexpr uint8_t idleWithByte = 0x01;
        return port == testkit::kcsPrimaryStatus || port == testkit::kcsSecondaryStatus ? idleWithByte : 0x00;
    }
    void out(uint16_t, uint8_t) override {}

private:
    fuzz::Stream& in_;
};

struct Request {
    uint8_t netFn;
    uint8_t cmd;
    testkit::Bytes data;
};

// Descriptors open at a moment; an exit jumps over the code that would close the ones an
// exchange opened (its port lock), so they are closed afterwards.
constexpr int watchedDescriptors = 1024;

std::vector<bool> openDescriptors() {
    std::vector<bool> open(watchedDescriptors);
    for (int fd = 0; fd < watchedDescriptors; ++fd) open[fd] = fcntl(fd, F_GETFD) != -1;
    return open;
}

// Sends the requests; false when the channel ended the process.
bool exchange(const std::vector<Request>& requests) {
    // The host's alarm (libFuzzer's time-out) is the channel's to borrow and give back; an
    // exit in the middle skips the giving back, so it is done here.
    struct sigaction alarmAction;
    itimerval alarmTimer;
    sigaction(SIGALRM, nullptr, &alarmAction);
    getitimer(ITIMER_REAL, &alarmTimer);
    const std::vector<bool> openBefore = openDescriptors();
    sigjmp_buf jump;
    bool finished = false;
    virtualTime = true;
    if (sigsetjmp(jump, 1) == 0) {
        exitJump = &jump;
        // Nothing that owns memory may live in the frames an exit jumps over.
        for (const Request& r : requests) {
            BYTE request[maxRequest] = {};
            std::copy(r.data.begin(), r.data.end(), request);
            BYTE response[vkt::ipmiMaxResponseData];
            DWORD length = 0;
            runIpmiCmd(vkt::bmcSlaveAddr, r.netFn, r.cmd, request, static_cast<int>(r.data.size()), response, &length);
            if (length > sizeof response) abort();
        }
        finished = true;
    }
    exitJump = nullptr;
    virtualTime = false;
    sigaction(SIGALRM, &alarmAction, nullptr);
    setitimer(ITIMER_REAL, &alarmTimer, nullptr);
    if (!finished) {
        const std::vector<bool> openAfter = openDescriptors();
        for (int fd = 0; fd < watchedDescriptors; ++fd)
            if (openAfter[fd] && !openBefore[fd]) close(fd);
    }
    return finished;
}

}  // namespace

// The channel's exit: back to the input's end while an exchange runs, the real exit else.
// (The process's descriptors would close at a real exit, the port lock's among them.)
extern "C" [[noreturn]] void __wrap_exit(int status) {
    if (exitJump != nullptr && (status == exitKcsFailure || status == exitNotRoot)) siglongjmp(*exitJump, 1);
    __real_exit(status);
}

// While an exchange runs, the library's clock moves only when it pauses, a millisecond per
// pause at least: a one-second wait for a flag that never comes (a port nothing answers
// on, the BMC gone silent) then costs a thousand polls instead of a second.
extern "C" int usleep(useconds_t us) {
    if (virtualTime) {
        constexpr long long shortestPauseUs = 1000;
        virtualUs += std::max<long long>(us, shortestPauseUs);
        return 0;
    }
    timespec ts{static_cast<time_t>(us / 1000000), static_cast<long>(us % 1000000) * 1000};
    return nanosleep(&ts, nullptr);
}

extern "C" int clock_gettime(clockid_t id, timespec* ts) {
    using Fn = int (*)(clockid_t, timespec*);
    static const Fn real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "clock_gettime"));
    const int r = real(id, ts);
    if (r == 0 && virtualTime && id == CLOCK_MONOTONIC) {
        const long long ns = ts->tv_nsec + virtualUs % 1000000 * 1000;
        ts->tv_sec += static_cast<time_t>(virtualUs / 1000000 + ns / 1000000000);
        ts->tv_nsec = static_cast<long>(ns % 1000000000);
    }
    return r;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::setUpProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Stream in(data, size);
    const bool simulated = (in.byte() & 1) != 0;
    testkit::KcsFaults faults;
    uint8_t pair = 0;
    if (simulated) {
        pair = in.byte() % 3;  // CA2h/CA3h, CA8h/CACh, or nowhere
        const uint8_t exchangeNo = in.byte();
        faults.onExchange = exchangeNo == 0xFF ? -1 : exchangeNo % 8;
        // Bits 7-6 of the write number: the fault at that write (none, ERROR state, IBF
        // stuck); bit 5: the first answer byte never comes.
        const uint8_t writeNo = in.byte();
        if ((writeNo >> 6) == 1) faults.errorAtWrite = writeNo % 32;
        if ((writeNo >> 6) == 2) faults.ibfStuckAtWrite = writeNo % 32;
        faults.obfNeverSet = (writeNo & 0x20) != 0 && (writeNo >> 6) == 3;
        faults.ibfDelayReads = in.byte() % 8;
        faults.obfDelayReads = in.byte() % 8;
    }
    std::vector<Request> requests(in.byte() % 4 + 1);
    for (Request& r : requests) {
        r.netFn = in.byte() & 0x3F;
        r.cmd = in.byte();
        r.data = in.run(maxRequest);
    }

    fuzz::attachBackend(nullptr);  // no device node: the KCS ports it is
    InputPorts inputPorts(in);
    auto server = fuzz::demoServer();
    fuzz::HostileBmc hostile(in, *server);
    testkit::SimKcsBmc kcs(&hostile);
    kcs.keepLog(false);
    kcs.faults() = faults;
    if (pair == 1) kcs.placeAt(testkit::kcsSecondaryData, testkit::kcsSecondaryStatus);
    if (pair == 2) kcs.removeFromBus();
    testkit::attachPortSpace(simulated ? static_cast<testkit::PortSpace*>(&kcs) : &inputPorts);
    exchange(requests);
    testkit::attachPortSpace(nullptr);
    return 0;
}
