// Sets the fan mode to "Full".
#include "Common.h"
#include "generic_util.h"

VKT_ACTION_PROVIDER(SetFanModeToFull, "VKT_SetFanModeToFull", setFanSpeedMode(1));
