// Switches the identify LED off.
#include "Common.h"
#include "smipmi.h"

VKT_ACTION_PROVIDER(CloseLED, "VKT_ClOSE_LED", vkt::ipmiRequest(vkt::netFnOem, vkt::oemLedOff).cc);
