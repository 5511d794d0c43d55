/* Commands not available in this build: refused as unsupported. */
#include "TavPth.h"

namespace {
int unsupported()
{
    TavPthErr0015(PTH_AT);
    TavPthErr0002(PTH_AT);
    return 0;
}
}  // namespace

int TavPrintLogsense(int, char **) { return unsupported(); }
int TavPDPrintModePage(int, char **) { return unsupported(); }
