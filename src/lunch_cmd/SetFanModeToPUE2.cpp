// Sets the fan mode to "PUE2 Optimal".
#include "Common.h"
#include "generic_util.h"

VKT_ACTION_PROVIDER(SetFanModeToPUE2, "VKT_SetFanModeToPUE2", setFanSpeedMode(3));
