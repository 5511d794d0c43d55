// Consistency-check scheduler steps of the service loop. The scheduler itself
// is not built yet: both steps do nothing, so the loop runs without starting
// scheduled checks.
#include "tavservice.h"

void ServiceStartSchCheck(void) {}

void CCSchedule(void) {}
