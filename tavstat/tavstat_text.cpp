// State texts and health of logical and physical drives. The texts are the
// command-line tool's, so every program of the suite names a state alike.
#include <stdio.h>

#include "tavcli.h"
#include "tavstat.h"

namespace {

const char *textOf(int selector, int code)
{
    const char *text = CliCodeText(selector, code);
    return text != nullptr ? text : "Unknown";
}

constexpr uint8_t STATE_ATTENTION_FIRST = 0x01;
constexpr uint8_t STATE_ALARM_FIRST = 0x20;
constexpr uint8_t STATE_ALARM_LAST = 0x27;
constexpr uint8_t BAD_SPOTS_NONE = 0;
constexpr size_t INQUIRY_SERIAL = 36;
constexpr size_t INQUIRY_SERIAL_SIZE = 12;

}  // namespace

const char *StatLdStateText(uint8_t code)
{
    return textOf(CLI_TEXT_LD_STATE, code);
}
const char *StatPdStateText(uint8_t code)
{
    return textOf(CLI_TEXT_PD_STATE, code);
}
const char *StatClassText(uint8_t code)
{
    return textOf(CLI_TEXT_PD_CLASS, code);
}
const char *StatLinkSpeedText(uint8_t code)
{
    return textOf(CLI_TEXT_LINK_SPEED, code);
}
const char *StatBadSpotText(uint8_t code)
{
    return textOf(CLI_TEXT_BAD_SPOT, code);
}
const char *StatPriorityText(uint16_t code)
{
    return textOf(CLI_TEXT_PRIORITY, code);
}

std::string StatRaidText(const DLL_GET_LOGICAL_DISK_INFO &ld)
{
    if (ld.raidLevel == 1 && ld.memberCount >= 4) {
        return "RAID10";
    }
    return "RAID" + std::to_string(ld.raidLevel);
}

const char *StatOperationText(const DLL_GET_LOGICAL_DISK_INFO &ld)
{
    if (ld.rebuildState == 2) {
        return "rebuild";
    }
    if (ld.maintenance == 1) {
        return "consistency-check";
    }
    if (ld.maintenance == 2) {
        return "parity-creation";
    }
    return "none";
}

// Good is OK; Attention and Warning (redundancy reduced or being restored)
// warn; Alarm (data not reachable) is critical; an unknown code too.
StatHealth StatLdHealth(uint8_t state)
{
    if (state == 0) {
        return HEALTH_OK;
    }
    if (state < STATE_ALARM_FIRST) {
        return HEALTH_WARNING;
    }
    return HEALTH_CRITICAL;
}

// Alarm (off line, failed) is critical; Attention, a pulled drive and bad
// spots warn.
StatHealth StatPdHealth(uint8_t state, const DLL_GET_HDD_INFO *info)
{
    if (state == TAV_STATE_UNDEFINED) {
        return HEALTH_OK;
    }
    if (state >= STATE_ALARM_FIRST && state <= STATE_ALARM_LAST) {
        return HEALTH_CRITICAL;
    }
    if (state >= STATE_ATTENTION_FIRST ||
        (info != nullptr && (info->badSpotState != BAD_SPOTS_NONE || info->badSpotCount != 0))) {
        return HEALTH_WARNING;
    }
    return HEALTH_OK;
}

std::string StatField(const char *text, size_t size)
{
    size_t n = 0;
    while (n < size && text[n] != '\0') {
        ++n;
    }
    while (n > 0 && (text[n - 1] == ' ')) {
        --n;
    }
    return std::string(text, n);
}

std::string StatSerial(const DLL_GET_HDD_INFO &pd)
{
    return StatField(reinterpret_cast<const char *>(pd.inquiry) + INQUIRY_SERIAL, INQUIRY_SERIAL_SIZE);
}

std::string StatDriverVersion(const DLL_GET_CONTROLLER_INFO &c)
{
    char text[32];
    snprintf(text, sizeof text, "%u.%u.%u.%u", c.driverVersion[0], c.driverVersion[1], c.driverVersion[2],
             c.driverVersion[3]);
    return text;
}
