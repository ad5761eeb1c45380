// The KCS port exchange.
#include "kcs_linux.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>
#if defined(__i386__) || defined(__x86_64__)
#include <sys/io.h>
#define VKT_HAVE_PORT_IO 1
#endif

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "bounded.h"
#include "ipmi_defs.h"
#include "transport_state.h"

namespace {

// KCS status register: the two buffer flags and the interface state in bits 7-6.
constexpr unsigned char kcsOBF = 0x01;
constexpr unsigned char kcsIBF = 0x02;
constexpr unsigned char kcsStateMask = 0xC0;
constexpr unsigned char kcsIdleState = 0x00;
constexpr unsigned char kcsReadState = 0x40;
constexpr unsigned char kcsWriteState = 0x80;

// Control codes: the first three go to the command port, READ to the data port.
constexpr unsigned char kcsGetStatusAbort = 0x60;
constexpr unsigned char kcsWriteStart = 0x61;
constexpr unsigned char kcsWriteEnd = 0x62;
constexpr unsigned char kcsReadByte = 0x68;

// An I/O port that nothing decodes reads as all ones.
constexpr unsigned char kcsNoInterface = 0xFF;

// Both port pairs lie in CA2h..CACh, so one grant covers either.
constexpr int kcsPortBase = kcsDataPortA;
constexpr int kcsPortCount = kcsStatusPortB - kcsDataPortA + 1;

// The response image holds 128 bytes; a BMC that offers more has the surplus acknowledged
// and dropped, and one that goes on past this many bytes is treated as broken.
constexpr int kcsMaxResponseBytes = 1024;

// Safety net for the one-second waits when SIGALRM cannot reach the process (a host that
// blocks it in every thread): a wait never outlasts this.
constexpr long long kcsWaitBackstopUs = 1500000;

constexpr int exitKcsFailure = 21;

// Set by the alarm's handler: a signal's only way to tell the wait anything.
volatile sig_atomic_t isTimeout = 0;

// The processor's I/O ports.
class ProcessorPorts final : public vkt::PortIo {
public:
    bool permit() override {
#ifdef VKT_HAVE_PORT_IO
        return ioperm(kcsPortBase, kcsPortCount, 1) == 0;
#else
        return false;
#endif
    }
    uint8_t in(uint16_t port) override {
#ifdef VKT_HAVE_PORT_IO
        return inb(port);
#else
        (void)port;
        return kcsNoInterface;
#endif
    }
    void out(uint16_t port, uint8_t value) override {
#ifdef VKT_HAVE_PORT_IO
        outb(value, port);
#else
        (void)port;
        (void)value;
#endif
    }
};

ProcessorPorts processorPorts;

vkt::Transport::Kcs& channel() { return vkt::transport().kcs; }

vkt::PortIo& ports() {
    vkt::PortIo* configured = vkt::transport().config.portIo;
    return configured != nullptr ? *configured : processorPorts;
}

long long monotonicUs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

[[noreturn]] void kcs_ErrorExit() {
    printf("\n [kcs] kcs_error_exit:\n");
    exit(exitKcsFailure);
}

// Brings the interface back to IDLE with GET_STATUS/ABORT as far as the BMC follows, then
// gives up: the request is lost either way.
[[noreturn]] void kcs_ErrorRecovery() {
    printf("\n [kcs] kcs_error:\n");
    auto abortTransfer = [] {
        unsigned char state = 0;
        unsigned char statusCode = 0;
        if (kcs_WaitOnIBF() != 0) return;
        kcs_WriteCommand(kcsGetStatusAbort);
        if (kcs_WaitOnIBF() != 0) return;
        kcs_ClearOBF();
        kcs_WriteData(0x00);
        if (kcs_WaitOnIBF() != 0) return;
        kcs_GetState(&state);
        if (state != kcsReadState) return;
        if (kcs_WaitOnOBF() != 0) return;
        kcs_ReadData(&statusCode);
        kcs_WriteData(kcsReadByte);
        if (kcs_WaitOnIBF() != 0) return;
        kcs_GetState(&state);
        if (state != kcsIdleState) return;
        if (kcs_WaitOnOBF() != 0) return;
        kcs_ClearOBF();
    };
    abortTransfer();
    kcs_ErrorExit();
}

// ---- waiting for the BMC ------------------------------------------------------------------

// The first pause between two status polls.
constexpr long long kcsPauseUs = 5;
// For this long a wait polls without pausing: a BMC that moves a byte within a few
// microseconds is seen at no system call. Spinning any longer would burn the host's CPU,
// which the server exists to run applications on, for a BMC that takes milliseconds.
constexpr long long kcsSpinUs = 5;
// Every poll that sleeps costs the host some ten microseconds of CPU or more (the system
// call, the timer, the wake-up, the status read), however short the pause asked for, and
// the pause itself lasts longer than asked (the thread's timer slack, 50 us by default). So
// once asleep a wait pauses for half the time it has waited so far, within these bounds: a
// BMC is seen at most half its own time late, and one that takes milliseconds costs a few
// polls per byte, not hundreds.
constexpr long long kcsPauseShare = 2;
constexpr long long kcsLongestPauseUs = 1000;
// A BMC that slow keeps its pace, byte after byte. Once the waits that had to sleep lately
// all lasted at least as long as this, and no one of them more than twice as long as
// another, a wait first sleeps through nine tenths of the shortest in one go and only then
// polls, with its pauses growing afresh from there: a BMC that keeps its pace is seen
// within a few per cent of its time at a few polls per byte. A wait counts for as long as
// the flag was seen not ready, so a BMC that speeds up shows at once and its next waits
// poll from the start again.
constexpr long long kcsPacedFromUs = 500;
constexpr long long kcsPaceSpread = 2;
constexpr long long kcsPacedTenths = 9;
// The bound of one wait.
constexpr long long kcsWaitUs = 1000000;
// The alarm that enforces it is set once a wait has lasted this long: the waits of a BMC
// that keeps up, even a slow one, end well before, and set no timer. A paced sleep never
// reaches past it.
constexpr long long kcsAlarmAfterUs = 10000;

// The pause after having polled for `pollingUs`.
long long pauseAfter(long long pollingUs) {
    return std::clamp(pollingUs / kcsPauseShare, kcsPauseUs, kcsLongestPauseUs);
}

// How long the next wait that has to sleep may sleep before its first look (0: it polls).
long long pacedSleepUs(const vkt::Transport::Kcs& kcs) {
    if (kcs.recentWaits < vkt::kcsRememberedWaits) return 0;
    const long long* begin = kcs.recentWaitsUs;
    const long long* end = begin + vkt::kcsRememberedWaits;
    const long long shortest = *std::min_element(begin, end);
    const long long longest = *std::max_element(begin, end);
    if (shortest < kcsPacedFromUs || longest > shortest * kcsPaceSpread) return 0;
    return std::min(shortest * kcsPacedTenths / 10, kcsAlarmAfterUs);
}

// A wait that had to sleep, seen not ready for `notReadyUs`.
void rememberWait(vkt::Transport::Kcs& kcs, long long notReadyUs) {
    kcs.recentWaitsUs[kcs.nextRecentWait] = notReadyUs;
    kcs.nextRecentWait = (kcs.nextRecentWait + 1) % vkt::kcsRememberedWaits;
    if (kcs.recentWaits < vkt::kcsRememberedWaits) ++kcs.recentWaits;
}

}  // namespace

namespace vkt {

// What the waits of one exchange borrow from the process, given back when the exchange
// ends: SIGALRM and the real interval timer for the one-second alarm. The host process may
// use SIGALRM and the timer itself (a CIMOM's own alarm): its alarm is saved and restored,
// and one that fell due meanwhile goes off right afterwards instead of being lost. Nothing
// is borrowed until a wait needs it, so an exchange with a BMC that keeps up costs no
// system call for its alarm.
class KcsExchangeClock {
public:
    KcsExchangeClock() : outer_(channel().clock) { channel().clock = this; }
    ~KcsExchangeClock() {
        giveBack();
        channel().clock = outer_;
    }
    KcsExchangeClock(const KcsExchangeClock&) = delete;
    KcsExchangeClock& operator=(const KcsExchangeClock&) = delete;

    // SIGALRM (to timer_handler) in `us` microseconds, replacing any earlier alarm.
    void arm(long long us) {
        Transport::Kcs& kcs = channel();
        memset(&kcs.alarmTimer, 0, sizeof kcs.alarmTimer);
        kcs.alarmTimer.it_value.tv_sec = static_cast<time_t>(us / 1000000);
        kcs.alarmTimer.it_value.tv_usec = static_cast<suseconds_t>(us % 1000000);
        if (alarmBorrowed_) {
            setitimer(ITIMER_REAL, &kcs.alarmTimer, nullptr);
            return;
        }
        // The host's timer is taken over first, so no host alarm can reach our handler.
        setitimer(ITIMER_REAL, &kcs.alarmTimer, &hostTimer_);
        memset(&kcs.alarmAction, 0, sizeof kcs.alarmAction);
        kcs.alarmAction.sa_handler = timer_handler;
        kcs.alarmAction.sa_flags = 0;
        sigaction(SIGALRM, &kcs.alarmAction, &hostAction_);
        borrowedAt_ = monotonicUs();
        alarmBorrowed_ = true;
    }

private:
    void giveBack() {
        if (!alarmBorrowed_) return;
        // Ours goes first, so it cannot reach the host's handler.
        itimerval off{};
        setitimer(ITIMER_REAL, &off, nullptr);
        sigaction(SIGALRM, &hostAction_, nullptr);
        if (hostTimer_.it_value.tv_sec == 0 && hostTimer_.it_value.tv_usec == 0) return;
        itimerval rest = hostTimer_;
        long long left = static_cast<long long>(hostTimer_.it_value.tv_sec) * 1000000 + hostTimer_.it_value.tv_usec -
                         (monotonicUs() - borrowedAt_);
        if (left < 1) left = 1;
        rest.it_value.tv_sec = static_cast<time_t>(left / 1000000);
        rest.it_value.tv_usec = static_cast<suseconds_t>(left % 1000000);
        setitimer(ITIMER_REAL, &rest, nullptr);
    }

    KcsExchangeClock* outer_;
    bool alarmBorrowed_ = false;
    struct sigaction hostAction_{};
    itimerval hostTimer_{};
    long long borrowedAt_ = 0;
};

}  // namespace vkt

namespace {

using vkt::KcsExchangeClock;

void spinFor(long long us) {
    const long long until = monotonicUs() + us;
    while (monotonicUs() < until) {
    }
}

// Polls the status register until `ready` holds, for at most one second.
template <typename Ready>
int waitOnStatus(Ready ready) {
    unsigned char status = 0;
    kcs_ReadStatus(&status);
    if (ready(status)) return 0;  // the usual case: no pause at all
    // A primitive used on its own, outside an exchange, borrows for this wait alone.
    std::optional<KcsExchangeClock> own;
    if (channel().clock == nullptr) own.emplace();
    KcsExchangeClock& clock = *channel().clock;
    const long long start = monotonicUs();
    bool alarmSet = false;
    long long paced = pacedSleepUs(channel());
    long long pollingSince = 0;  // where the pauses grow from: the start, or the paced look
    long long notReady = 0;      // the flag was seen not ready this long into the wait
    bool slept = false;
    for (;;) {
        const long long waited = monotonicUs() - start;
        if (waited < kcsSpinUs) {
            spinFor(kcsPauseUs);
        } else {
            if (!alarmSet && waited >= kcsAlarmAfterUs) {
                clock.arm(kcsWaitUs - waited);
                isTimeout = 0;
                alarmSet = true;
            }
            const bool pacedSleep = paced > waited;
            usleep(static_cast<useconds_t>(pacedSleep ? paced - waited : pauseAfter(waited - pollingSince)));
            if (pacedSleep) pollingSince = monotonicUs() - start;
            paced = 0;
            slept = true;
        }
        kcs_ReadStatus(&status);
        if (ready(status)) {
            if (slept) rememberWait(channel(), notReady);
            return 0;
        }
        // The alarm ends the wait; the clock confirms the alarm is this wait's (an earlier
        // wait's, replaced by arm(), may still have been on its way) and stands in for it
        // when SIGALRM cannot reach the process.
        const long long elapsed = monotonicUs() - start;
        notReady = elapsed;
        if ((alarmSet && isTimeout != 0 && elapsed >= kcsWaitUs) || elapsed > kcsWaitBackstopUs) return 1;
    }
}

// After each byte of the write phase: the BMC must have taken it and still be in WRITE.
void finishWriteStep() {
    if (kcs_WaitOnIBF() != 0) kcs_ErrorExit();
    unsigned char state = 0;
    kcs_GetState(&state);
    if (state != kcsWriteState) kcs_ErrorRecovery();
    kcs_ClearOBF();
}

void writeRequest(const unsigned char* request, int length) {
    if (kcs_WaitOnIBF() != 0) kcs_ErrorExit();
    kcs_ClearOBF();
    kcs_WriteCommand(kcsWriteStart);
    finishWriteStep();
    for (int i = 0; i < length - 1; ++i) {
        kcs_WriteData(request[i]);
        finishWriteStep();
    }
    kcs_WriteCommand(kcsWriteEnd);
    finishWriteStep();
    kcs_WriteData(request[length - 1]);
}

// Returns the number of bytes stored in ResponseBuf.
int readResponse(unsigned char* ResponseBuf) {
    int stored = 0;
    int received = 0;
    for (;;) {
        if (kcs_WaitOnIBF() != 0) kcs_ErrorExit();
        unsigned char state = 0;
        kcs_GetState(&state);
        if (state == kcsReadState) {
            // The byte may not be there yet: wait for it (bounded), then look at the
            // state again before taking it.
            if (kcs_OBFSet() == 0) {
                if (kcs_WaitOnOBF() != 0) kcs_ErrorExit();
                continue;
            }
            if (received == kcsMaxResponseBytes) kcs_ErrorRecovery();
            unsigned char byte = 0;
            kcs_ReadData(&byte);
            ++received;
            if (stored < vkt::ipmiImageSize) ResponseBuf[stored++] = byte;
            kcs_WriteData(kcsReadByte);
        } else if (state == kcsIdleState) {
            if (kcs_WaitOnOBF() != 0) kcs_ErrorExit();
            kcs_ClearOBF();  // the dummy byte that ends the transfer
            return stored;
        } else {
            kcs_ErrorRecovery();
        }
    }
}

void grantPortAccess() {
    if (channel().portsGranted) return;
    if (!ports().permit()) kcs_ErrorExit();
    channel().portsGranted = true;
}

bool interfacePresent() {
    unsigned char status = 0;
    kcs_ReadStatus(&status);
    return status != kcsNoInterface;
}

// ---- the kernel's driver ------------------------------------------------------------------


// The KCS register ranges of both port pairs.
struct PortRange {
    unsigned long long first;
    unsigned long long last;
};
constexpr PortRange kcsRanges[] = {{kcsDataPortA, kcsStatusPortA}, {kcsDataPortB, kcsStatusPortB}};

// /proc/ioports is a few kilobytes; anything past this is not a port list.
constexpr size_t ioportsMaxBytes = 64 * 1024;

// The name under which the kernel's IPMI system interface driver claims the registers it
// drives. The entries it nests in ("IPI0001:00" from ACPI, "IPMI Address 1" and
// "dmi-ipmi-si.0" from the SMBIOS tables) only say where the firmware put the interface:
// they are there from boot, with or without a driver, and survive rmmod.
constexpr std::string_view kernelDriverName = "ipmi_si";

enum class PortOwner { none, kernelDriver, unknown };

struct PortEntry {
    size_t depth = 0;
    unsigned long long first = 0;
    unsigned long long last = 0;
    std::string_view name;
};

// Reads the hexadecimal number at the front of `text` (at most 16 digits) and drops it.
bool takeHex(std::string_view& text, unsigned long long* value) {
    size_t n = 0;
    unsigned long long v = 0;
    for (; n < text.size() && n < 16; ++n) {
        const char c = text[n];
        if (!isxdigit(static_cast<unsigned char>(c))) break;
        const int digit = c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
        v = v * 16 + static_cast<unsigned long long>(digit);
    }
    if (n == 0 || (n < text.size() && isxdigit(static_cast<unsigned char>(text[n])) != 0)) return false;
    text.remove_prefix(n);
    *value = v;
    return true;
}

// The kernel writes each entry as "<two spaces per level>start-end : name", parents before
// their children. Anything else is not its list.
bool parsePortEntry(std::string_view line, PortEntry* entry) {
    size_t indent = 0;
    while (indent < line.size() && line[indent] == ' ') ++indent;
    if (indent % 2 != 0) return false;
    entry->depth = indent / 2;
    line.remove_prefix(indent);
    if (!takeHex(line, &entry->first) || line.empty() || line.front() != '-') return false;
    line.remove_prefix(1);
    if (!takeHex(line, &entry->last) || line.substr(0, 3) != " : ") return false;
    line.remove_prefix(3);
    entry->name = line;
    return entry->first <= entry->last;
}

bool claimsKcsRegisters(const PortEntry& entry) {
    if (entry.name != kernelDriverName) return false;
    // A process without CAP_SYS_ADMIN reads every range as 0000-0000: the driver is
    // there and may well hold the KCS registers.
    if (entry.first == 0 && entry.last == 0) return true;
    for (const PortRange& r : kcsRanges)
        if (entry.first <= r.last && entry.last >= r.first) return true;
    return false;
}

// Judges the whole list: a claim by the driver wins; short of one, a line out of the
// kernel's format (or out of its nesting) leaves the owner unknown.
PortOwner portOwnerIn(std::string_view text) {
    std::vector<PortRange> parents;  // the enclosing entries of the line at hand
    bool wellFormed = true;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        PortEntry entry;
        if (!parsePortEntry(line, &entry)) {
            wellFormed = false;
            continue;
        }
        if (claimsKcsRegisters(entry)) return PortOwner::kernelDriver;
        if (entry.depth > parents.size()) {
            wellFormed = false;  // a level skipped
            continue;
        }
        parents.resize(entry.depth);
        if (!parents.empty() && (entry.first < parents.back().first || entry.last > parents.back().last))
            wellFormed = false;  // a child outside its parent
        parents.push_back({entry.first, entry.last});
    }
    return wellFormed ? PortOwner::none : PortOwner::unknown;
}

// Who holds the KCS registers, from the kernel's I/O port list. Driving them while the
// kernel's ipmi_si does would break both conversations, so a list that cannot be read, or
// that does not read as the kernel writes it, leaves the ports alone as well. An empty list
// names no owner.
PortOwner kcsPortOwner() {
    const int fd = open(vkt::transport().config.ioportsPath, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return PortOwner::unknown;
    std::string text;
    char chunk[4096];
    bool readable = true;
    for (;;) {
        const ssize_t n = read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) readable = false;
        if (n <= 0) break;
        text.append(chunk, static_cast<size_t>(n));
        if (text.size() > ioportsMaxBytes) {
            readable = false;
            break;
        }
    }
    close(fd);
    return readable ? portOwnerIn(text) : PortOwner::unknown;
}

void tellOperatorOnce(PortOwner owner) {
    vkt::Transport::Kcs& kcs = channel();
    if (owner == PortOwner::kernelDriver) {
        if (kcs.ownerNoticeGiven) return;
        kcs.ownerNoticeGiven = true;
        fputs("The kernel's IPMI driver owns the KCS interface but there is no IPMI device node: "
              "load the ipmi_devintf module (modprobe ipmi_devintf) so that /dev/ipmi0 appears.\n",
              stderr);
        return;
    }
    if (kcs.unknownOwnerNoticeGiven) return;
    kcs.unknownOwnerNoticeGiven = true;
    fprintf(stderr,
            "The KCS ports are left alone: %s cannot be read as the kernel's I/O port list, so the "
            "kernel's IPMI driver may own them.\n",
            vkt::transport().config.ioportsPath);
}

// ---- taking turns with other processes -----------------------------------------------------

constexpr useconds_t lockPollUs = 1000;

void tellLockRefusedOnce(const char* why) {
    vkt::Transport::Kcs& kcs = channel();
    if (kcs.lockNoticeGiven) return;
    kcs.lockNoticeGiven = true;
    fprintf(stderr,
            "The KCS lock %s is not used: %s. Exchanges go ahead without taking turns with other "
            "processes.\n",
            vkt::transport().config.kcsLockPath, why);
}

enum class LockPlace { ours, missing, refused };

// The lock's directory, made if missing. Only a directory of this process's own user (root)
// that nobody else may write to will do: whoever could create the lock file could hold it
// and stop every exchange. A lock directly in /run is fine, since only root writes there.
LockPlace lockDirectory(const char* lockPath) {
    const char* slash = strrchr(lockPath, '/');
    const std::string dir = slash == nullptr ? "." : slash == lockPath ? "/" : std::string(lockPath, slash);
    if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return LockPlace::missing;  // no /run, read-only
    struct stat st {};
    if (lstat(dir.c_str(), &st) != 0) return LockPlace::missing;
    const bool ours = S_ISDIR(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
    return ours ? LockPlace::ours : LockPlace::refused;
}

// Holds the advisory lock for one exchange. The file is opened per exchange, so a child
// forked meanwhile never shares the lock. When the file cannot be opened or locked at all
// (no /run) there is nobody to take turns with, and the exchange goes ahead; so it does,
// after one message, when the lock is in a place another user could have prepared.
class KcsPortLock {
public:
    KcsPortLock() {
        const vkt::TransportConfig& config = vkt::transport().config;
        const LockPlace place = lockDirectory(config.kcsLockPath);
        if (place == LockPlace::refused)
            tellLockRefusedOnce("its directory belongs to another user or is open to other users");
        if (place != LockPlace::ours) return;
        // Never through a link, and never waiting on a FIFO.
        fd_ = open(config.kcsLockPath, O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
        if (fd_ < 0) {
            if (errno == ELOOP) tellLockRefusedOnce("it is a symbolic link");
            return;
        }
        struct stat st {};
        if (fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid()) {
            tellLockRefusedOnce("it is not a regular file of this process's user");
            release();
            return;
        }
        const int waitMs = config.kcsLockWaitMs > 0 ? config.kcsLockWaitMs : 0;
        const long long deadline = monotonicUs() + static_cast<long long>(waitMs) * 1000;
        for (;;) {
            if (flock(fd_, LOCK_EX | LOCK_NB) == 0) return;
            if (errno == EINTR) continue;
            if (errno != EWOULDBLOCK) {
                release();  // locks unsupported here: nobody to take turns with
                return;
            }
            if (monotonicUs() >= deadline) {
                busy_ = true;
                release();
                return;
            }
            usleep(lockPollUs);
        }
    }
    ~KcsPortLock() { release(); }
    KcsPortLock(const KcsPortLock&) = delete;
    KcsPortLock& operator=(const KcsPortLock&) = delete;

    // Another process kept the ports past the wait bound.
    bool busy() const { return busy_; }

private:
    void release() {
        if (fd_ >= 0) close(fd_);  // closing drops the lock
        fd_ = -1;
    }
    int fd_ = -1;
    bool busy_ = false;
};

}  // namespace

int kcs_Exchange(const unsigned char* request, int length, unsigned char* response, int* responseLength) {
    if (responseLength != nullptr) *responseLength = 0;
    if (request == nullptr || response == nullptr || length < 1 || length > vkt::ipmiImageSize)
        return vkt::ccRequestLengthInvalid;
    const PortOwner owner = kcsPortOwner();
    if (owner != PortOwner::none) {
        tellOperatorOnce(owner);
        return vkt::ccUnspecified;
    }
    KcsPortLock lock;
    if (lock.busy()) return vkt::ccNodeBusy;
    // Ports outside CA2h..CACh are never driven, whatever state the selector is in.
    if (KCS_DATA == 0 || KCS_STATUS == 0) kcs_SelectPorts(kcsDataPortA, kcsStatusPortA);
    grantPortAccess();
    if (channel().probing && !interfacePresent()) return vkt::ccUnspecified;
    KcsExchangeClock clock;
    writeRequest(request, length);
    const int received = readResponse(response);
    if (responseLength != nullptr) *responseLength = received;
    return 0;
}

// ---- port primitives ------------------------------------------------------------------------

void kcs_ReadStatus(unsigned char* status) { *status = ports().in(static_cast<uint16_t>(KCS_STATUS)); }

void kcs_GetState(unsigned char* state) {
    kcs_ReadStatus(state);
    *state &= kcsStateMask;
}

void kcs_ReadData(unsigned char* data) { *data = ports().in(static_cast<uint16_t>(KCS_DATA)); }

void kcs_WriteData(unsigned char data) { ports().out(static_cast<uint16_t>(KCS_DATA), data); }

void kcs_WriteCommand(unsigned char command) { ports().out(static_cast<uint16_t>(KCS_STATUS), command); }

int kcs_OBFSet() {
    unsigned char status = 0;
    kcs_ReadStatus(&status);
    return status & kcsOBF;
}

void kcs_ClearOBF() {
    unsigned char status = 0;
    kcs_ReadStatus(&status);
    if ((status & kcsOBF) != 0) {
        unsigned char discarded = 0;
        kcs_ReadData(&discarded);
    }
}

int kcs_WaitOnIBF() {
    return waitOnStatus([](unsigned char status) { return (status & kcsIBF) == 0; });
}

int kcs_WaitOnOBF() {
    return waitOnStatus([](unsigned char status) { return (status & kcsOBF) != 0; });
}

// ---- one-second timer ---------------------------------------------------------------------

void timer_handler(int /*signo*/) { isTimeout = 1; }

namespace {

// Installs the handler and fills the timer value with a one-shot time (0: disarmed).
void installTimer(long seconds) {
    vkt::Transport::Kcs& kcs = channel();
    memset(&kcs.alarmAction, 0, sizeof kcs.alarmAction);
    kcs.alarmAction.sa_handler = timer_handler;
    kcs.alarmAction.sa_flags = 0;
    sigaction(SIGALRM, &kcs.alarmAction, nullptr);
    memset(&kcs.alarmTimer, 0, sizeof kcs.alarmTimer);
    kcs.alarmTimer.it_value.tv_sec = seconds;
}

}  // namespace

void init_timer_1S() { installTimer(1); }

void init_timer_0S() { installTimer(0); }

void kcs_SelectPorts(int dataPort, int statusPort) {
    KCS_DATA = dataPort;
    KCS_STATUS = statusPort;
}

void kcs_ProbeSucceeded() {
    channel().probedData = KCS_DATA;
    channel().probedStatus = KCS_STATUS;
}

void kcs_ProbeFailed() {
    const vkt::Transport::Kcs& kcs = channel();
    if (kcs.probedData != 0) kcs_SelectPorts(kcs.probedData, kcs.probedStatus);
}
