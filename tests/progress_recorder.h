// What the library reports to a progress handler (bmc_SetProgressHandler) while the
// recorder lives, as "done/total" texts per kind.
#ifndef TESTS_PROGRESS_RECORDER_H
#define TESTS_PROGRESS_RECORDER_H

#include <string>
#include <vector>

#include "varkolt/bmc.h"

class ProgressRecorder {
public:
    ProgressRecorder() { bmc_SetProgressHandler(&record, this); }
    ~ProgressRecorder() { bmc_SetProgressHandler(nullptr, nullptr); }
    ProgressRecorder(const ProgressRecorder&) = delete;
    ProgressRecorder& operator=(const ProgressRecorder&) = delete;

    std::vector<std::string> of(int what) const {
        std::vector<std::string> out;
        for (const Report& r : reports_)
            if (r.what == what) out.push_back(std::to_string(r.done) + "/" + std::to_string(r.total));
        return out;
    }
    // Every report in order, as "what:done/total".
    std::vector<std::string> all() const {
        std::vector<std::string> out;
        for (const Report& r : reports_)
            out.push_back(std::to_string(r.what) + ":" + std::to_string(r.done) + "/" + std::to_string(r.total));
        return out;
    }
    void clear() { reports_.clear(); }

private:
    struct Report {
        int what;
        long done, total;
    };
    static void record(void* self, int what, long done, long total) {
        static_cast<ProgressRecorder*>(self)->reports_.push_back({what, done, total});
    }
    std::vector<Report> reports_;
};

#endif
