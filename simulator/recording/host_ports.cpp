#include "host_ports.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstring>

namespace testkit {

namespace {
constexpr const char* portDevice = "/dev/port";
constexpr uint8_t floatingBus = 0xFF;
}  // namespace

HostPorts::~HostPorts() {
    if (fd_ >= 0) ::close(fd_);
}

bool HostPorts::open(std::string* error) {
    if (fd_ >= 0) return true;
    fd_ = ::open(portDevice, O_RDWR | O_CLOEXEC);
    if (fd_ < 0 && error != nullptr) *error = std::string("cannot open ") + portDevice + ": " + strerror(errno);
    return fd_ >= 0;
}

uint8_t HostPorts::in(uint16_t port) {
    uint8_t value = floatingBus;
    if (fd_ < 0 || pread(fd_, &value, 1, port) != 1) return floatingBus;
    return value;
}

void HostPorts::out(uint16_t port, uint8_t value) {
    if (fd_ >= 0) (void)!pwrite(fd_, &value, 1, port);
}

}  // namespace testkit
