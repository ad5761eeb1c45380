#include "sim_ports.h"

#include <errno.h>
#include <signal.h>
#include <ucontext.h>

#include <bitset>
#include <cstring>

namespace testkit {

namespace {

constexpr uint8_t floatingBus = 0xFF;

PortSpace* attached = nullptr;
bool refused = false;
bool (*accessCheck)() = nullptr;
int requests = 0;

// Ports granted by simulatedIoperm; only their instructions are emulated, any other port
// faults as it would on the machine.
std::bitset<0x10000> granted;
bool trapInstalled = false;
struct sigaction previousSegv;

// x86 port instructions with a byte operand: IN AL,DX / IN AL,imm8 / OUT DX,AL / OUT imm8,AL.
constexpr uint8_t opInDx = 0xEC;
constexpr uint8_t opInImm = 0xE4;
constexpr uint8_t opOutDx = 0xEE;
constexpr uint8_t opOutImm = 0xE6;

void onPortTrap(int /*signo*/, siginfo_t* info, void* context) {
#if defined(__x86_64__) || defined(__i386__)
    auto* uc = static_cast<ucontext_t*>(context);
    greg_t* regs = uc->uc_mcontext.gregs;
#if defined(__x86_64__)
    greg_t& ip = regs[REG_RIP];
    greg_t& ax = regs[REG_RAX];
    const greg_t dx = regs[REG_RDX];
#else
    greg_t& ip = regs[REG_EIP];
    greg_t& ax = regs[REG_EAX];
    const greg_t dx = regs[REG_EDX];
#endif
    // A privileged instruction faults with SI_KERNEL and the instruction pointer on it, so
    // the code bytes there are readable.
    if (info->si_code == SI_KERNEL) {
        const auto* code = reinterpret_cast<const uint8_t*>(ip);
        uint16_t port = 0;
        int length = 0;
        switch (code[0]) {
            case opInDx:
            case opOutDx:
                port = static_cast<uint16_t>(dx & 0xFFFF);
                length = 1;
                break;
            case opInImm:
            case opOutImm:
                port = code[1];
                length = 2;
                break;
            default:
                break;
        }
        if (length > 0 && granted.test(port)) {
            if (code[0] == opInDx || code[0] == opInImm)
                ax = static_cast<greg_t>((ax & ~static_cast<greg_t>(0xFF)) | portIn(port));
            else
                portOut(port, static_cast<uint8_t>(ax & 0xFF));
            ip += length;
            return;
        }
    }
#else
    (void)info;
    (void)context;
#endif
    // Not ours: the instruction faults again under whatever handled SIGSEGV before.
    sigaction(SIGSEGV, &previousSegv, nullptr);
}

void installTrap() {
    if (trapInstalled) return;
    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_sigaction = onPortTrap;
    sa.sa_flags = SA_SIGINFO | SA_NODEFER;
    sigemptyset(&sa.sa_mask);
    if (sigaction(SIGSEGV, &sa, &previousSegv) == 0) trapInstalled = true;
}

}  // namespace

void attachPortSpace(PortSpace* space) { attached = space; }
PortSpace* attachedPortSpace() { return attached; }

uint8_t portIn(uint16_t port) { return attached != nullptr ? attached->in(port) : floatingBus; }

void portOut(uint16_t port, uint8_t value) {
    if (attached != nullptr) attached->out(port, value);
}

void refusePortAccess(bool refuse) { refused = refuse; }
int portAccessRequests() { return requests; }

void resetPortAccess() {
    refused = false;
    requests = 0;
}

void setPortAccessCheck(bool (*check)()) { accessCheck = check; }

bool requestPortAccess() {
    ++requests;
    return !refused && (accessCheck == nullptr || accessCheck());
}

int simulatedIoperm(unsigned long from, unsigned long num, int turnOn) {
    if (from > 0xFFFF || num > 0x10000 - from) {
        errno = EINVAL;
        return -1;
    }
    if (turnOn != 0) {
        if (!requestPortAccess()) {
            errno = EPERM;
            return -1;
        }
        installTrap();
    }
    for (unsigned long p = from; p < from + num; ++p) granted.set(p, turnOn != 0);
    return 0;
}

int simulatedIopl(int /*level*/) {
    errno = EPERM;
    return -1;
}

}  // namespace testkit
