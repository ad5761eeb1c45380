// Shared by the record/replay tests: running vkt-cim, cutting its text output into the
// instances of each class, scratch files.
#ifndef VKT_TESTS_RECORDING_TEST_SUPPORT_H
#define VKT_TESTS_RECORDING_TEST_SUPPORT_H

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "ipmisim_harness.h"

namespace rectest {

inline testkit::ipmisim::ProcessResult vktCim(std::vector<std::string> args, const std::vector<std::string>& env = {}) {
    args.insert(args.begin(), VKT_CIM_TOOL);
    return testkit::ipmisim::runProgram(args, 120000, env);
}

// The text each class printed, by class name: "varkolt/cimv2:VKT_FRU..." starts an
// instance, "# VKT_NM: no instances" stands for a class without one.
inline std::map<std::string, std::string> byClass(const std::string& output) {
    std::map<std::string, std::string> sections;
    std::string current;
    std::istringstream in(output);
    for (std::string line; std::getline(in, line);) {
        const std::string prefix = "varkolt/cimv2:";
        if (line.rfind(prefix, 0) == 0) {
            current = line.substr(prefix.size(), line.find('.') == std::string::npos ? std::string::npos
                                                                                      : line.find('.') - prefix.size());
        } else if (line.rfind("# ", 0) == 0 && line.find(": no instances") != std::string::npos) {
            current = line.substr(2, line.find(':') - 2);
        }
        if (!current.empty()) sections[current] += line + "\n";
    }
    return sections;
}

// A fresh directory under /tmp, removed with its files when the object goes.
class ScratchDir {
public:
    ScratchDir() {
        char tmpl[] = "/tmp/vkt-recording-XXXXXX";
        if (mkdtemp(tmpl) != nullptr) path_ = tmpl;
    }
    ~ScratchDir() {
        if (!path_.empty() && getenv("VKT_KEEP_RECORDINGS") == nullptr)
            (void)!system(("rm -rf '" + path_ + "'").c_str());
    }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

inline std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

}  // namespace rectest

#endif
