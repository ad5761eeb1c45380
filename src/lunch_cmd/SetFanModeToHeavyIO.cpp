// Sets the fan mode to "Heavy IO".
#include "Common.h"
#include "generic_util.h"

VKT_ACTION_PROVIDER(SetFanModeToHeavyIO, "VKT_SetFanModeToHeavyIO", setFanSpeedMode(4));
