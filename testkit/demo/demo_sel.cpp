// The demo server's event log.
#include "sim_server.h"

namespace testkit {

void addDemoEventLog(SimServer& /*server*/) {}

}  // namespace testkit
