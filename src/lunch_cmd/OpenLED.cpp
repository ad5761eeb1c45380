// Switches the identify LED on.
#include "Common.h"
#include "generic_util.h"

VKT_ACTION_PROVIDER(OpenLED, "VKT_OPEN_LED", setIdentifyLed(true));
