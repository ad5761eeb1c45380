#include "recording_option.h"

#include <dlfcn.h>

#include <cstdlib>
#include <cstring>

namespace vkttools {

namespace {
// Exported by the preload library.
constexpr const char* errorSymbol = "vktRecordingError";
}  // namespace

const char* const recordOptionHelp =
    "  --record FILE     write every exchange with the BMC (request, answer, time) to FILE,\n"
    "                    a text file that --simulate=replay:FILE plays back; the data of\n"
    "                    Set User Password requests is written as zeros\n";

RecordOption takeRecordOption(int argc, char** argv, int& i, std::string* file, std::string* error) {
    const std::string a = argv[i];
    if (a == "--record") {
        if (i + 1 >= argc) {
            *error = "--record needs a file name";
            return RecordOption::error;
        }
        *file = argv[++i];
    } else if (a.rfind("--record=", 0) == 0) {
        *file = a.substr(strlen("--record="));
    } else {
        return RecordOption::notMine;
    }
    if (file->empty()) {
        *error = "--record needs a file name";
        return RecordOption::error;
    }
    return RecordOption::taken;
}

void exportRecording(const std::string& file, const std::string& tool, int argc, char** argv) {
    std::string command = tool.substr(0, tool.find(' '));
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        command += a.find_first_of(" \t\"'") == std::string::npos && !a.empty() ? " " + a : " '" + a + "'";
    }
    setenv("VKT_RECORD", file.c_str(), 1);
    setenv("VKT_RECORD_TOOL", tool.c_str(), 1);
    setenv("VKT_RECORD_COMMAND", command.c_str(), 1);
}

std::string recordingProblem() {
    using ErrorFunction = const char* (*)();
    auto fn = reinterpret_cast<ErrorFunction>(dlsym(RTLD_DEFAULT, errorSymbol));
    if (fn == nullptr) return "the recorder (libvktfakebmc.so) is not preloaded";
    const char* text = fn();
    return text != nullptr ? text : "";
}

}  // namespace vkttools
