// --record FILE, shared by the tools: the program restarts itself with the test kit's
// preload library, which writes every exchange with the BMC (real or simulated) to FILE.
#ifndef VKT_TOOLS_RECORDING_OPTION_H
#define VKT_TOOLS_RECORDING_OPTION_H

#include <string>

namespace vkttools {

enum class RecordOption { notMine, taken, error };

// Recognises "--record FILE" or "--record=FILE" at argv[i] (consuming the value).
RecordOption takeRecordOption(int argc, char** argv, int& i, std::string* file, std::string* error);

// The environment the preload library reads: the file, and the tool and command line
// for the recording's header.
void exportRecording(const std::string& file, const std::string& tool, int argc, char** argv);

// After the restart: "" when the recording runs, else why not (the file cannot be
// written, the preload library is missing, a line could not be written).
std::string recordingProblem();

extern const char* const recordOptionHelp;

}  // namespace vkttools

#endif
