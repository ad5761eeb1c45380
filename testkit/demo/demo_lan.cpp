// The demo server's LAN settings.
#include "sim_server.h"

namespace testkit {

void addDemoLan(SimServer& /*server*/) {}

}  // namespace testkit
