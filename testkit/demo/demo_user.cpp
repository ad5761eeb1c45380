// The demo server's user accounts.
#include "sim_server.h"

namespace testkit {

void addDemoUsers(SimServer& /*server*/) {}

}  // namespace testkit
