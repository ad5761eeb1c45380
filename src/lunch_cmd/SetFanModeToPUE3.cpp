// Sets the fan mode to "PUE3 Optimal".
#include "Common.h"
#include "generic_util.h"

VKT_ACTION_PROVIDER(SetFanModeToPUE3, "VKT_SetFanModeToPUE3", setFanSpeedMode(5));
