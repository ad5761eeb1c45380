// The host's own I/O ports through /dev/port, for recording a KCS conversation with a real
// BMC: the library's port instructions still trap into the simulator (its ioperm grants
// nothing), and each trapped access becomes one byte read or written at the port's offset
// of /dev/port, which the kernel turns into the same in/out instruction. Needs root with
// CAP_SYS_RAWIO, and a kernel that allows /dev/port (lockdown forbids it).
#ifndef TESTKIT_HOST_PORTS_H
#define TESTKIT_HOST_PORTS_H

#include <string>

#include "sim_ports.h"

namespace testkit {

class HostPorts : public PortSpace {
public:
    HostPorts() = default;
    ~HostPorts() override;
    HostPorts(const HostPorts&) = delete;
    HostPorts& operator=(const HostPorts&) = delete;

    bool open(std::string* error);
    uint8_t in(uint16_t port) override;   // FFh when the access fails
    void out(uint16_t port, uint8_t value) override;

private:
    int fd_ = -1;
};

}  // namespace testkit

#endif
