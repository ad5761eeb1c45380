// A backend of the fake OpenIPMI device (and of the simulated KCS interface) that plays a
// recording back: each request gets the answer recorded for the same request (target,
// netFn, cmd and data bytes). A request recorded several times gets its answers in the
// order of the file, so SDR, SEL and FRU walks come back as they went; once they are used
// up, the last one is repeated. A request the recording does not hold is answered with
// completion code C1h (invalid command) and named once on standard error.
#ifndef TESTKIT_REPLAY_BACKEND_H
#define TESTKIT_REPLAY_BACKEND_H

#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "ipmi_message.h"
#include "recording/recording_file.h"

namespace testkit {

constexpr uint8_t ccNotInRecording = 0xC1;

class ReplayBackend : public Backend {
public:
    explicit ReplayBackend(std::vector<recording::Exchange> exchanges);

    // Waits the recorded time before each answer.
    void replayDelays(bool on) { delays_ = on; }

    std::optional<IpmiResponse> handle(const IpmiRequest& request) override;

    // Requests that were not in the recording, each once, in the order they came.
    std::vector<std::string> missing() const;
    size_t exchanges() const { return exchanges_.size(); }

private:
    struct Answers {
        std::vector<size_t> at;  // indexes into exchanges_, in file order
        size_t next = 0;
    };

    std::vector<recording::Exchange> exchanges_;
    std::map<std::string, Answers> byRequest_;
    std::vector<std::string> missing_;
    std::set<std::string> reported_;
    bool delays_ = false;
    mutable std::mutex mutex_;
};

}  // namespace testkit

#endif
