// Switches the identify LED on.
#include "Common.h"
#include "smipmi.h"

VKT_ACTION_PROVIDER(OpenLED, "VKT_OPEN_LED", vkt::ipmiRequest(vkt::netFnOem, vkt::oemLedOn).cc);
