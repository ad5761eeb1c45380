#include "fru_model.h"

namespace testkit {

void FruModel::install(SimBmc& /*bmc*/) {}

}  // namespace testkit
