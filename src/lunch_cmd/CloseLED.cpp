// Switches the identify LED off.
#include "Common.h"
#include "generic_util.h"

VKT_ACTION_PROVIDER(CloseLED, "VKT_ClOSE_LED", setIdentifyLed(false));
