// Performance-statistics steps of the service loop. Statistics logging is not
// built yet: both steps do nothing, so no statistics file is written.
#include "tavservice.h"

void prfm_call_ini(void) {}

void prfm_chk_getstate(void) {}
