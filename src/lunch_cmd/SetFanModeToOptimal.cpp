// Sets the fan mode to "Optimal".
#include "Common.h"
#include "generic_util.h"

VKT_ACTION_PROVIDER(SetFanModeToOptimal, "VKT_SetFanModeToOptimal", setFanSpeedMode(2));
