// The demo server's sensors.
#include "sim_server.h"

namespace testkit {

void addDemoSensors(SimServer& /*server*/) {}

}  // namespace testkit
