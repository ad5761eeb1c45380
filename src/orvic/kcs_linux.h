// The channel selector and the KCS port channel.
#ifndef VKT_KCS_LINUX_H
#define VKT_KCS_LINUX_H

#include <stdint.h>

constexpr int kcsDataPortA = 0xCA2;
constexpr int kcsStatusPortA = 0xCA3;
constexpr int kcsDataPortB = 0xCA8;
constexpr int kcsStatusPortB = 0xCAC;

extern int KCS_DATA;
extern int KCS_STATUS;

// Carries one request image over the OpenIPMI device, else over the KCS ports. Returns 0
// with the response image in ResponseBuf and its length in resp_data_len. Ends the process
// when not running as root (status 42) and when the port exchange times out or breaks the
// KCS protocol (status 21).
int kcs_Interface(unsigned char* RequestCmd, unsigned char* ResponseBuf, int kcs_ReqLength, int kcs_CurLength);

// The interface probe chooses the port pair before each of its attempts and reports how
// the whole probe went: after a failed probe the pair of the last successful one is used
// again, so a BMC found once on CA8h/CACh stays reachable.
void kcs_SelectPorts(int dataPort, int statusPort);
void kcs_ProbeSucceeded();
void kcs_ProbeFailed();

// Root check, cached for the life of the process: ends it with status 42 when not root.
void checkRootPermission();

// Port primitives of the KCS system interface (one register access each).
void kcs_ReadStatus(unsigned char* status);
void kcs_GetState(unsigned char* state);
void kcs_ReadData(unsigned char* data);
void kcs_WriteData(unsigned char data);
void kcs_WriteCommand(unsigned char command);
int kcs_OBFSet();
void kcs_ClearOBF();
// 0 once the flag is as wanted, 1 after the one-second time-out.
int kcs_WaitOnIBF();
int kcs_WaitOnOBF();

// The one-second waits: SIGALRM from the real interval timer sets the time-out flag.
void timer_handler(int signo);
void init_timer_1S();
void init_timer_0S();

namespace vkt {

// Where the KCS registers are read and written. The library uses the processor's I/O
// ports; the port range must be granted once before the first access.
class PortIo {
public:
    virtual ~PortIo() = default;
    // Asks for access to the KCS ports CA2h to CACh; false when the system refuses.
    virtual bool permit() = 0;
    virtual uint8_t in(uint16_t port) = 0;
    virtual void out(uint16_t port, uint8_t value) = 0;
};

// Replaces the port space (nullptr: the processor's ports). Access is asked for again
// before the next exchange. Internal to the library.
void setPortIo(PortIo* io);

// While the interface probe runs, a port pair that nothing decodes (its status register
// reads FFh) fails that attempt instead of ending the process, so the probe can go on to
// the other pair.
void setKcsProbing(bool probing);

// Back to the load-time state: no port pair chosen or remembered, access not yet granted.
void resetKcsChannel();

}  // namespace vkt

#endif
