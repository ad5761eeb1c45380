#include "sel_model.h"

namespace testkit {

void SelModel::install(SimBmc& /*bmc*/) {}

}  // namespace testkit
