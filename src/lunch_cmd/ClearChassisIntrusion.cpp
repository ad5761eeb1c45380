// Clears the latched chassis intrusion state.
#include "Common.h"
#include "generic_util.h"

VKT_ACTION_PROVIDER(ClearChassisIntrusion, "VKT_ClearChassisIntrusion", clearChassisIntrusion());
