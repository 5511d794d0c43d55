// The service's process-wide state.
#include "tavservice.h"

RaidControllerEntry RaidController[TAV_MAX_CONTROLLERS];
ServiceConfigs Configs;
FoundEventList FoundEvents[TAV_MAX_CONTROLLERS];
uint32_t DemandToGetClog[TAV_MAX_CONTROLLERS];
uint32_t CountOfWakeup[TAV_MAX_CONTROLLERS];
uint32_t time_counter[TAV_MAX_CONTROLLERS];
uint32_t service_waitcount;
unsigned PollInterval;
uint8_t Oslog_ver;
uint8_t Model;
int Fd = -1;
int DebugMode;
uint16_t DriverVersion[4];
tavbase::LockFile PidLock = {-1, 0, 0, 0, ""};
const char PidFile[] = "/var/run/tavservice.pid";
const char LogIdent[] = "tavservice";
