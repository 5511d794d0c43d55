// Identification string of the control library, found in the binary by
// "what"-style tools.
#include "tavctl_internal.h"

__attribute__((used)) const char TavDllRcsId[] =
    "@(#) libtavctl - Morvane RAID adapter control library version " TAVCTL_VERSION;
