#include "user_model.h"

namespace testkit {

void UserModel::install(SimBmc& /*bmc*/) {}

}  // namespace testkit
