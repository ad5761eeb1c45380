// The demo server's FRU inventory.
#include "sim_server.h"

namespace testkit {

void addDemoFru(SimServer& /*server*/) {}

}  // namespace testkit
