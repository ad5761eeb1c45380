// The KCS port channel: drives the KCS system interface through the processor's I/O ports.
// It knows nothing above itself; the channel selector hands it request images.
#ifndef VKT_KCS_LINUX_H
#define VKT_KCS_LINUX_H

#include <stdint.h>

constexpr int kcsDataPortA = 0xCA2;
constexpr int kcsStatusPortA = 0xCA3;
constexpr int kcsDataPortB = 0xCA8;
constexpr int kcsStatusPortB = 0xCAC;

// One exchange of a request image (`length` bytes, at most 128) over the ports. Returns 0 with
// the response image in `response` (room for 128 bytes) and its length in *responseLength.
// Returns a completion code instead, with no port touched, when the exchange cannot be
// made: FFh while the kernel's IPMI driver owns the ports (or the kernel's I/O port list
// cannot be read to rule that out), C0h while another process keeps the ports busy past
// the wait bound, FFh too while the interface probe looks at a port pair that nothing
// decodes (its status register reads FFh), so that the probe can go on to the other pair.
// Ends the process (status 21) when the exchange times out or breaks the KCS protocol.
int kcs_Exchange(const unsigned char* request, int length, unsigned char* response, int* responseLength);

// The interface probe chooses the port pair before each of its attempts and reports how
// the whole probe went: after a failed probe the pair of the last successful one is used
// again, so a BMC found once on CA8h/CACh stays reachable.
void kcs_SelectPorts(int dataPort, int statusPort);
void kcs_ProbeSucceeded();
void kcs_ProbeFailed();

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
// ports; the port range must be granted once before the first access. (The transport's
// configuration names another, see transport_state.h.)
class PortIo {
public:
    virtual ~PortIo() = default;
    // Asks for access to the KCS ports CA2h to CACh; false when the system refuses.
    virtual bool permit() = 0;
    virtual uint8_t in(uint16_t port) = 0;
    virtual void out(uint16_t port, uint8_t value) = 0;
};

}  // namespace vkt

#endif
