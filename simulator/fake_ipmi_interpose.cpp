// libc entry points that route the device nodes and descriptors of the fake OpenIPMI
// device to it; everything else goes to the next definition (libc) unchanged. Linked into
// test programs and into the LD_PRELOAD library. While a device recorder is installed, the
// device nodes go through it instead (it hands them on to the fake device or to libc). The
// I/O port permission calls never reach the kernel: port instructions always trap into
// the simulator (sim_ports.h). The list of which driver holds which ports (/proc/ioports)
// is the simulated machine's, except while a real BMC is recorded.
#undef _FORTIFY_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdarg.h>
#include <sys/select.h>

#include "fake_ipmi_device.h"
#include "recording/device_recorder.h"
#include "sim_ports.h"

using testkit::FakeIpmiDevice;

namespace {

template <typename Fn>
Fn next(const char* name) {
    return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

mode_t modeArg(int flags, va_list ap) {
    return (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE ? static_cast<mode_t>(va_arg(ap, int)) : 0;
}

int openDevice(const char* path, int flags, mode_t mode) {
    if (testkit::DeviceRecorder* recorder = testkit::deviceRecorder()) return recorder->open(path, flags, mode);
    return FakeIpmiDevice::get().open(path, flags);
}

bool simulatedIoports(const char* path) {
    if (!FakeIpmiDevice::isIoportsPath(path)) return false;
    testkit::DeviceRecorder* recorder = testkit::deviceRecorder();
    return recorder == nullptr || !recorder->onHost();
}

testkit::DeviceRecorder* recorderOf(int fd) {
    testkit::DeviceRecorder* recorder = testkit::deviceRecorder();
    return recorder != nullptr && recorder->owns(fd) ? recorder : nullptr;
}

int timevalMs(const timeval* tv) {
    if (tv == nullptr) return -1;
    return static_cast<int>(tv->tv_sec * 1000 + tv->tv_usec / 1000);
}

}  // namespace

extern "C" {

int open(const char* path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    mode_t mode = modeArg(flags, ap);
    va_end(ap);
    if (FakeIpmiDevice::isDevicePath(path)) return openDevice(path, flags, mode);
    if (simulatedIoports(path)) return FakeIpmiDevice::get().openIoports();
    static auto real = next<int (*)(const char*, int, ...)>("open");
    return real(path, flags, mode);
}

int open64(const char* path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    mode_t mode = modeArg(flags, ap);
    va_end(ap);
    if (FakeIpmiDevice::isDevicePath(path)) return openDevice(path, flags, mode);
    if (simulatedIoports(path)) return FakeIpmiDevice::get().openIoports();
    static auto real = next<int (*)(const char*, int, ...)>("open64");
    return real(path, flags, mode);
}

int __open_2(const char* path, int flags) {
    if (FakeIpmiDevice::isDevicePath(path)) return openDevice(path, flags, 0);
    if (simulatedIoports(path)) return FakeIpmiDevice::get().openIoports();
    static auto real = next<int (*)(const char*, int)>("__open_2");
    return real(path, flags);
}

int __open64_2(const char* path, int flags) {
    if (FakeIpmiDevice::isDevicePath(path)) return openDevice(path, flags, 0);
    if (simulatedIoports(path)) return FakeIpmiDevice::get().openIoports();
    static auto real = next<int (*)(const char*, int)>("__open64_2");
    return real(path, flags);
}

int ioctl(int fd, unsigned long request, ...) {
    va_list ap;
    va_start(ap, request);
    void* arg = va_arg(ap, void*);
    va_end(ap);
    if (testkit::DeviceRecorder* recorder = recorderOf(fd)) return recorder->ioctl(fd, request, arg);
    FakeIpmiDevice& dev = FakeIpmiDevice::get();
    if (dev.owns(fd)) return dev.ioctl(fd, request, arg);
    static auto real = next<int (*)(int, unsigned long, ...)>("ioctl");
    return real(fd, request, arg);
}

int select(int nfds, fd_set* readfds, fd_set* writefds, fd_set* exceptfds, timeval* timeout) {
    FakeIpmiDevice& dev = FakeIpmiDevice::get();
    int fake = -1;
    for (int fd = 0; readfds != nullptr && fd < nfds && fd < FD_SETSIZE; ++fd)
        if (FD_ISSET(fd, readfds) && dev.owns(fd)) fake = fd;
    if (fake < 0) {
        static auto real = next<int (*)(int, fd_set*, fd_set*, fd_set*, timeval*)>("select");
        return real(nfds, readfds, writefds, exceptfds, timeout);
    }
    int ready = dev.wait(fake, timevalMs(timeout));
    if (ready < 0) return -1;
    FD_ZERO(readfds);
    if (writefds != nullptr) FD_ZERO(writefds);
    if (exceptfds != nullptr) FD_ZERO(exceptfds);
    if (ready == 0) return 0;
    FD_SET(fake, readfds);
    return 1;
}

int poll(pollfd* fds, nfds_t nfds, int timeout) {
    FakeIpmiDevice& dev = FakeIpmiDevice::get();
    nfds_t fake = nfds;
    for (nfds_t i = 0; fds != nullptr && i < nfds; ++i)
        if (dev.owns(fds[i].fd)) fake = i;
    if (fake == nfds) {
        static auto real = next<int (*)(pollfd*, nfds_t, int)>("poll");
        return real(fds, nfds, timeout);
    }
    int ready = dev.wait(fds[fake].fd, timeout);
    if (ready < 0) return -1;
    for (nfds_t i = 0; i < nfds; ++i) fds[i].revents = 0;
    if (ready == 0) return 0;
    fds[fake].revents = POLLIN;
    return 1;
}

int close(int fd) {
    if (testkit::DeviceRecorder* recorder = recorderOf(fd)) return recorder->close(fd);
    FakeIpmiDevice& dev = FakeIpmiDevice::get();
    if (dev.owns(fd)) return dev.close(fd);
    static auto real = next<int (*)(int)>("close");
    return real(fd);
}

int ioperm(unsigned long from, unsigned long num, int turn_on) { return testkit::simulatedIoperm(from, num, turn_on); }

int iopl(int level) { return testkit::simulatedIopl(level); }

}  // extern "C"
