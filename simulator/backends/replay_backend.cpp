#include "replay_backend.h"

#include <cmath>
#include <cstdio>

#include "clock.h"

namespace testkit {

ReplayBackend::ReplayBackend(std::vector<recording::Exchange> exchanges) : exchanges_(std::move(exchanges)) {
    for (size_t i = 0; i < exchanges_.size(); ++i) {
        // A hand-written line may hold a password; it is compared as the recorder stores it.
        recording::scrubSecrets(exchanges_[i].request);
        byRequest_[recording::requestText(exchanges_[i].request)].at.push_back(i);
    }
}

std::optional<IpmiResponse> ReplayBackend::handle(const IpmiRequest& incoming) {
    IpmiRequest request = incoming;
    recording::scrubSecrets(request);
    const std::string key = recording::requestText(request);
    const recording::Exchange* found = nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = byRequest_.find(key);
        if (it == byRequest_.end()) {
            if (reported_.insert(key).second) {
                missing_.push_back(key);
                fprintf(stderr, "fake IPMI device: replay: \"%s\" is not in the recording; answered %02Xh\n", key.c_str(),
                        ccNotInRecording);
            }
            return IpmiResponse::error(ccNotInRecording);
        }
        Answers& a = it->second;
        found = &exchanges_[a.at[a.next < a.at.size() ? a.next : a.at.size() - 1]];
        if (a.next < a.at.size()) ++a.next;
    }
    if (!found->answer) return std::nullopt;
    if (delays_ && found->ms > 0) pauseMs(static_cast<int>(std::lround(found->ms)));
    return IpmiResponse::rawBytes(*found->answer);
}

std::vector<std::string> ReplayBackend::missing() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return missing_;
}

}  // namespace testkit
