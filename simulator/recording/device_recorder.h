// Records the conversation on an OpenIPMI device node: sits between the library's open/
// ioctl/close on /dev/ipmi* and whatever serves the node (the kernel driver, or the test
// kit's fake device), hands every call on unchanged and writes each request with the
// answer the library received for it. Waits (select/poll) need no recording and go to the
// serving side directly.
#ifndef TESTKIT_DEVICE_RECORDER_H
#define TESTKIT_DEVICE_RECORDER_H

#include <sys/types.h>

#include <map>
#include <mutex>
#include <set>

#include "recording/recording_file.h"

namespace testkit {

// Who serves the device nodes underneath the recorder.
class DeviceCalls {
public:
    virtual ~DeviceCalls() = default;
    virtual int open(const char* path, int flags, mode_t mode) = 0;  // -1 with errno
    virtual int ioctl(int fd, unsigned long request, void* arg) = 0;
    virtual int close(int fd) = 0;
};

DeviceCalls& fakeDeviceCalls();  // the simulator's fake device
DeviceCalls& hostDeviceCalls();  // the host's own nodes, through libc

class DeviceRecorder {
public:
    DeviceRecorder(DeviceCalls& lower, recording::Writer& writer) : lower_(lower), writer_(writer) {}

    int open(const char* path, int flags, mode_t mode);
    bool owns(int fd) const;
    int ioctl(int fd, unsigned long request, void* arg);
    int close(int fd);
    // Writes the requests still waiting for an answer as unanswered.
    void finish();
    // Whether the nodes underneath are the host's own (a real BMC is being recorded).
    bool onHost() const { return &lower_ == &hostDeviceCalls(); }

private:
    struct Pending {
        IpmiRequest request;
        long long startUs = 0;
    };
    void sent(const void* arg, long long startUs);
    void received(const void* arg);
    void giveUpPending(long long nowUs);

    DeviceCalls& lower_;
    recording::Writer& writer_;
    mutable std::recursive_mutex mutex_;
    std::set<int> fds_;
    std::map<long, Pending> pending_;  // by message ID
    std::set<long> abandoned_;
};

// The recorder the interposed libc calls route the device nodes through; nullptr: none.
void installDeviceRecorder(DeviceRecorder* recorder);
DeviceRecorder* deviceRecorder();

}  // namespace testkit

#endif
