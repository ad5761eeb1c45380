// The fake OpenIPMI device: serves the kernel driver's device nodes ("/dev/ipmi0",
// "/dev/ipmi/0", "/dev/ipmidev/0") to the library through interposed open/ioctl/select/
// poll/close, with the real <linux/ipmi.h> structures, and hands every request to a
// backend (normally the simulated BMC). Descriptors and paths that are not the device's
// pass through to libc untouched.
#ifndef TESTKIT_FAKE_IPMI_DEVICE_H
#define TESTKIT_FAKE_IPMI_DEVICE_H

#include <sys/types.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "ipmi_message.h"

namespace testkit {

struct FakeDeviceFaults {
    bool refuseGetsEvents = false;  // IPMICTL_SET_GETS_EVENTS_CMD fails (EINVAL)
    bool refuseMyAddress = false;   // IPMICTL_SET_MY_ADDRESS_CMD fails (EINVAL)
    bool refuseSend = false;        // IPMICTL_SEND_COMMAND fails (EIO)
    bool refuseReceive = false;     // IPMICTL_RECEIVE_MSG_TRUNC fails (EIO)
    bool neverReadable = false;     // select/poll never report an answer
    int eintrOnWait = 0;            // the next N select/poll calls fail with EINTR
    int eintrOnIoctl = 0;           // the next N ioctls fail with EINTR
    int staleAnswers = 0;           // the next N answers are preceded by a message with another id
};

class FakeIpmiDevice {
public:
    static FakeIpmiDevice& get();

    // No device node, no backend, no faults, counters cleared. Open descriptors are
    // forgotten (the library must be reset too, see resetLibraryTransport).
    void reset();
    // Which of the three device nodes exist.
    void setPaths(std::vector<std::string> paths);
    void setBackend(Backend* backend);
    Backend* backend() const;
    FakeDeviceFaults& faults();

    int openAttempts(const std::string& path) const;
    int totalOpenAttempts() const;
    int openDescriptors() const;
    int lastGetsEvents() const;
    unsigned lastMyAddress() const;
    // The most answers that were ever waiting to be received at once: 1 when every request
    // was answered and collected before the next one was sent.
    size_t maxPendingAnswers() const;
    // Called on every open attempt of a device path (also when the node is missing).
    void setOpenHook(std::function<void(const char*)> hook);

    // The simulated machine's I/O port list, served as /proc/ioports (empty after reset:
    // no driver holds a port, whatever the real machine runs).
    void setIoports(std::string text);
    static bool isIoportsPath(const char* path);
    int openIoports();  // a readable descriptor with the text, or -1 with errno

    // ---- used by the interposed libc calls ------------------------------------------
    static bool isDevicePath(const char* path);
    int open(const char* path, int flags);  // descriptor, or -1 with errno
    bool owns(int fd) const;
    int ioctl(int fd, unsigned long request, void* arg);  // -1 with errno on failure
    // 1 readable, 0 not (after honouring timeoutMs, -1 = infinite), -1 EINTR.
    int wait(int fd, int timeoutMs);
    int close(int fd);

private:
    struct Queued {
        long msgid;
        IpmiRequest request;
        Bytes payload;
    };
    FakeIpmiDevice() = default;
    int send(void* arg);
    int receive(void* arg);

    mutable std::recursive_mutex mutex_;
    std::vector<std::string> paths_;
    Backend* backend_ = nullptr;
    FakeDeviceFaults faults_;
    std::vector<std::pair<std::string, int>> openAttempts_;
    static constexpr int maxFds = 64;
    int fds_[maxFds] = {};
    int fdCount_ = 0;
    std::deque<Queued> queue_;
    size_t maxPending_ = 0;
    int getsEvents_ = -1;
    unsigned myAddress_ = 0;
    std::function<void(const char*)> openHook_;
    std::string ioports_;
};

}  // namespace testkit

#endif
