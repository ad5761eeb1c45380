#include "sdr_model.h"

namespace testkit {

void SdrModel::install(SimBmc& /*bmc*/) {}

}  // namespace testkit
