// The changeable state of a simulated server (user accounts, LAN parameters, FRU images,
// the SDR and FRU version tags and the configuration files the BMC holds)
// as a small text file, so that successive processes that each run the library against
// the simulated server (one tool invocation after the other) see each other's changes.
#ifndef TESTKIT_SIM_STATE_H
#define TESTKIT_SIM_STATE_H

#include <string>

#include "sim_server.h"

namespace testkit {

// One "key value" line per item; values are hexadecimal bytes or decimal numbers.
std::string serializeState(const SimServer& server);
// Applies what `text` holds over the server's current content (areas the text does not
// mention keep theirs). False, with *error set, for a line that cannot be read; the lines
// before it have been applied.
bool applyState(SimServer& server, const std::string& text, std::string* error);

// The same through a file; a missing file loads as nothing. saveState replaces the file
// as a whole (written beside it, then renamed), so a reader never sees half of it.
bool loadState(SimServer& server, const std::string& path, std::string* error);
bool saveState(const SimServer& server, const std::string& path, std::string* error);

}  // namespace testkit

#endif
