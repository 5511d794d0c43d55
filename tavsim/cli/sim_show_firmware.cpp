// tavsim show: the firmware fields of an adapter (event log, dump, clock).
#include "sim_show_firmware.h"

#include "sim_firmware.h"

namespace tavsim {

void showFirmware(const AdapterRecord& adapter, nlohmann::ordered_json& j) {
    const FirmwareRecord& fw = firmwareOf(adapter);
    char clock[32];
    firmwareClockText(adapter, clock, sizeof clock);
    j["clock"] = clock[0] ? nlohmann::ordered_json(clock) : nlohmann::ordered_json(nullptr);
    j["event_log"] = {{"index", firmwareLogIndex(adapter)}, {"pending", fw.logPending}};
    j["driver_info_requests"] = fw.driverInfoRequests;
    j["dump"] = {{"status", fw.dumpStatus}, {"size", fw.dumpSize}, {"micro_reboot", fw.microReboot != 0}};
    j["failing_commits"] = fw.failCommitCount;
}

}  // namespace tavsim
