// Shared by the record/replay tests: running vkt-cim, cutting its text output into the
// instances of each class, scratch directories.
#ifndef VKT_TESTS_RECORDING_TEST_SUPPORT_H
#define VKT_TESTS_RECORDING_TEST_SUPPORT_H

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "ipmisim_harness.h"
#include "test_support.h"

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

// Scratch files of a recording test; with VKT_KEEP_RECORDINGS set they stay for a look.
class ScratchDir : public testkit::ScratchDir {
public:
    ScratchDir() : testkit::ScratchDir("vkt-recording", "VKT_KEEP_RECORDINGS") {}
};

}  // namespace rectest

#endif
