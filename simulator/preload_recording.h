// The LD_PRELOAD library's recording and replay (see preload_main.cpp for the environment).
#ifndef TESTKIT_PRELOAD_RECORDING_H
#define TESTKIT_PRELOAD_RECORDING_H

#include <memory>
#include <string>

#include "ipmi_message.h"
#include "sim_ports.h"

namespace testkit::preload {

constexpr const char* replayPrefix = "replay:";

// The backend that plays the recording FILE of a "replay:FILE" scenario back; nullptr and
// *error when the file cannot be used.
std::unique_ptr<Backend> replayBackend(const std::string& scenario, std::string* error);

// Starts recording when VKT_RECORD names a file: the device nodes through the fake device
// (or the host's nodes), and the port accesses on their way to `ports`. Returns the port
// space to attach in place of `ports` (the recorder, or `ports` unchanged).
PortSpace* startRecording(PortSpace* ports, bool hostDevice, const std::string& source);

// No simulated server at all: the host's device nodes and, through /dev/port, its KCS
// ports, recorded when VKT_RECORD asks for it.
void serveHost();

// "" while no recording was asked for or every exchange reached the file; otherwise why
// the recording is missing or incomplete.
std::string recordingError();

}  // namespace testkit::preload

#endif
