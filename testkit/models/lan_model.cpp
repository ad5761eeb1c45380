#include "lan_model.h"

namespace testkit {

void LanModel::install(SimBmc& /*bmc*/) {}

}  // namespace testkit
