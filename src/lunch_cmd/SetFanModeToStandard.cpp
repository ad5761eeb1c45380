// Sets the fan mode to "Standard".
#include "Common.h"
#include "generic_util.h"

VKT_ACTION_PROVIDER(SetFanModeToStandard, "VKT_SetFanModeToStandard", setFanSpeedMode(0));
