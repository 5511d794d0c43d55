// The tick timer and the busy wait that lets a new logical drive come up.
#include <time.h>

#include "tavctl_internal.h"

namespace {

constexpr uint32_t TICKS_PER_SECOND = 18;
constexpr uint64_t MS_PER_TICK = 55;
constexpr uint64_t MS_PER_SECOND = 1000;
constexpr time_t SECONDS_PER_DAY = 86400;

}  // namespace

TAVCTL_API uint32_t AT_GetTimer(void)
{
    time_t now = time(nullptr);
    return static_cast<uint32_t>(now % SECONDS_PER_DAY) * TICKS_PER_SECOND;
}

// Counts ticks as 55 ms each; since the counter moves 18 ticks (990 ms) once a
// second, a wait of one second lasts between one and two seconds.
TAVCTL_API void Tool_Sleep(uint32_t seconds)
{
    const uint32_t start = AT_GetTimer();
    const uint64_t wanted = static_cast<uint64_t>(seconds) * MS_PER_SECOND;
    for (;;) {
        uint32_t now = AT_GetTimer();
        if (now < start || static_cast<uint64_t>(now - start) * MS_PER_TICK >= wanted) {
            return;
        }
    }
}
