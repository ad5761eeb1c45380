// Restarts the BMC (a cold reset; the BMC's settings are kept).
#include "Common.h"
#include "generic_util.h"

VKT_ACTION_PROVIDER(BMCResetToDefault, "VKT_BMCResetToDefault", coldReset());
