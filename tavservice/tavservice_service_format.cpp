// The formatters: each decides from an entry's codes and bytes which message
// (if any) it stands for and at which priority.
#include <cstring>

#include "tavservice.h"

namespace {

constexpr uint32_t kSingleBitEvent = 4209;
constexpr uint16_t kSingleBitSent = 65535;

const uint8_t *Status(const ControllerLogEntry *entry)
{
    return entry->raw + ENTRY_STATUS_OFFSET;
}
const uint8_t *Detail(const ControllerLogEntry *entry)
{
    return entry->raw + ENTRY_DETAIL_OFFSET;
}
uint16_t StatusType(const ControllerLogEntry *entry)
{
    return EntryField16(entry, ENTRY_STATUS_OFFSET);
}
uint16_t FormatOf(const ControllerLogEntry *entry)
{
    return EntryField16(entry, ENTRY_FORMAT_OFFSET);
}
uint8_t ClassOf(const ControllerLogEntry *entry)
{
    return entry->raw[ENTRY_CLASS_OFFSET];
}

// An entry no formatter row matches: traced, and dumped in debug mode.
int SkipEntry(const ControllerLogEntry *entry)
{
    Trace_TLogSkip(entry);
    if (DebugMode) {
        uint32_t length = EntryField32(entry, ENTRY_LENGTH_OFFSET);
        writerawdata(entry->raw, length > LOG_ENTRY_SIZE ? LOG_ENTRY_SIZE : length);
    }
    return 1;
}

bool IsValidLdStatus(uint8_t v)
{
    return v <= 6 || (v >= 16 && v <= 19) || v == 21 || v == 22 || (v >= 32 && v <= 36);
}

uint8_t NormalLdStatus(uint8_t v)
{
    return (v == 2 || v == 4 || v == 5 || v == 6 || v == 18 || v == 21) ? 0 : v;
}

int LdStatusChange(const ControllerLogEntry *entry, int contNo, FoundEventList *found, bool format2)
{
    const uint8_t *d = Status(entry);
    if (!IsValidLdStatus(d[5]) || !IsValidLdStatus(d[4]))
        return SkipEntry(entry);
    uint8_t before = NormalLdStatus(d[5]), after = NormalLdStatus(d[4]);
    if (before == 0 && after >= 1 && after <= 31) {
        SendMessage(format2 && Oslog_ver == 1 ? PRI_WARNING : PRI_ERR, 27, contNo, entry, found);
    } else if (before < 32 && after >= 32) {
        SendMessage(PRI_ERR, 28, contNo, entry, found);
    } else if (before != 0 && after == 0) {
        SendMessage(PRI_INFO, 29, contNo, entry, found);
    }
    return 1;
}

// Status-block rows shared by both device-configuration formats.
int DeviceStatusRow(const ControllerLogEntry *entry, int contNo, FoundEventList *found, bool format2)
{
    uint16_t type = StatusType(entry);
    uint8_t state = Status(entry)[4];
    if (type == 1 && (state & 0xF0) == 0x20) {
        SendMessage(format2 && Oslog_ver == 1 ? PRI_ERR : PRI_WARNING, 17, contNo, entry, found);
    } else if (type == 1 && state == 0xFF) {
        SendMessage(PRI_ERR, 18, contNo, entry, found);
    } else if (type == 1 && state == 0x10) {
        SendMessage(PRI_INFO, 19, contNo, entry, found);
    } else if (type == 1 && state == 0) {
        SendMessage(PRI_INFO, 20, contNo, entry, found);
    } else if (type == 2) {
        SendMessage(PRI_INFO, 54, contNo, entry, found);
    } else if (type == 71 && (!format2 || Oslog_ver != 1)) {
        SingleBitCheck(entry, contNo, found, !format2);
    } else if (type == 72) {
        return LdStatusChange(entry, contNo, found, format2);
    } else if (type == 73) {
        SendMessage(PRI_WARNING, 31, contNo, entry, found);
    } else if (type == 24 && state == 6) {
        SendMessage(format2 && Oslog_ver == 1 ? PRI_ERR : PRI_WARNING, 56, contNo, entry, found);
    } else if (format2 && type == 67 && Oslog_ver == 1) {
        SendMessage(PRI_WARNING, 26, contNo, entry, found);
    } else if (!(format2 && type == 8)) {
        return SkipEntry(entry);
    }
    return 1;
}

// The progress value r of a data-restore entry: one word (format 4) or two.
struct Progress {
    bool zero, allOnes, noneAllOnes;
};

Progress ProgressOf(const ControllerLogEntry *entry, bool format4)
{
    uint32_t words[2] = {EntryField32(entry, ENTRY_DETAIL_OFFSET + 20), EntryField32(entry, ENTRY_DETAIL_OFFSET + 24)};
    int count = format4 ? 1 : 2;
    Progress r{true, true, true};
    for (int i = 0; i < count; ++i) {
        r.zero = r.zero && words[i] == 0;
        r.allOnes = r.allOnes && words[i] == 0xFFFFFFFFu;
        r.noneAllOnes = r.noneAllOnes && words[i] != 0xFFFFFFFFu;
    }
    return r;
}

// The message number of a data-restore entry, 0 for none (silently), -1 for no row.
int DataRestoreMessage(const ControllerLogEntry *entry, bool format4)
{
    const uint8_t *d = Detail(entry);
    uint8_t kind = d[18], f = d[17], m = d[48];
    uint16_t s = EntryField16(entry, ENTRY_DETAIL_OFFSET + 32);
    Progress r = ProgressOf(entry, format4);
    if (kind == 0 && f != 0 && r.zero && m != 5)
        return 34;
    if (kind == 0 && f != 0 && r.allOnes && m != 5)
        return 35;
    if (kind == 0xF0 && m != 5)
        return 36;
    if (kind == 1 && r.zero && s != 81)
        return 37;
    if (kind == 1 && r.allOnes)
        return 38;
    if (kind == 2 && r.zero)
        return 39;
    if (kind == 2 && r.allOnes)
        return 40;
    if (kind == 0xF1)
        return 41;
    if (kind == 0xF2)
        return 42;
    if (kind == 1 && r.noneAllOnes && (!r.zero || s == 81))
        return 43;
    if (format4 && ((kind == 3 && (r.zero || r.allOnes)) || kind == 0xF3))
        return 0;
    return -1;
}

}  // namespace

int LogDeviceCfg(const ControllerLogEntry *entry, int contNo, FoundEventList *found)
{
    uint16_t format = FormatOf(entry);
    if (format == 39) {
        SendMessage(PRI_INFO, 54, contNo, entry, found);
        return 1;
    }
    if ((format == 0x8002 || format == 2) && ClassOf(entry) == 0) {
        return DeviceStatusRow(entry, contNo, found, format == 2);
    }
    return SkipEntry(entry);
}

// Counts single-bit errors per memory address byte; an address reaching the
// threshold is reported once per run.
void SingleBitCheck(const ControllerLogEntry *entry, int contNo, FoundEventList *found, int format8002)
{
    uint32_t address[2];
    int valid[2];
    SingleBitAddresses(entry, format8002, address, valid);
    uint16_t *counters = singlebit_err_count[contNo];
    for (int i = 0; i < 2; ++i) {
        if (valid[i] && counters[address[i] & 0xFF] < kSingleBitSent)
            ++counters[address[i] & 0xFF];
    }
    uint32_t threshold = 10;
    ThresholdReadConfigFile(kSingleBitEvent, &threshold);
    if (threshold == 0)
        return;
    for (int i = 0; i < 2; ++i) {
        uint16_t &counter = counters[address[i] & 0xFF];
        if (valid[i] && counter < kSingleBitSent && counter >= threshold) {
            SendMessage(PRI_WARNING, 57, contNo, entry, found);
            counter = kSingleBitSent;
        }
    }
}

int LogDataTransfer(const ControllerLogEntry *entry, int contNo, FoundEventList *found)
{
    if (FormatOf(entry) != 176 || ClassOf(entry) != 0)
        return SkipEntry(entry);
    SendMessage(PRI_INFO, 30, contNo, entry, found);
    if (DebugMode) {
        uint8_t record[72];
        memcpy(record, "***cdb**", 8);
        memcpy(record + 8, Detail(entry) + 52, 12);
        memcpy(record + 20, "******snsdt*", 12);
        memcpy(record + 32, Detail(entry) + 80, 40);
        writerawdata(record, sizeof record);
    }
    return 1;
}

int LogHindrance(const ControllerLogEntry *entry, int contNo, FoundEventList *found)
{
    if (FormatOf(entry) != 3 || ClassOf(entry) != 0)
        return SkipEntry(entry);
    int priority = Oslog_ver > 2 ? PRI_WARNING : PRI_ERR;
    uint8_t kind = Detail(entry)[28];
    if (kind == 0x20)
        SendMessage(priority, 32, contNo, entry, found);
    else if (kind == 0x40)
        SendMessage(priority, 33, contNo, entry, found);
    if (DebugMode)
        writerawdata(Detail(entry), LOG_ENTRY_SIZE - ENTRY_DETAIL_OFFSET);
    return 1;
}

int LogDataRestore(const ControllerLogEntry *entry, int contNo, FoundEventList *found)
{
    uint16_t format = FormatOf(entry);
    if ((format != 4 && format != 0x8004) || ClassOf(entry) != 0)
        return SkipEntry(entry);
    int message = DataRestoreMessage(entry, format == 4);
    if (message < 0)
        return SkipEntry(entry);
    if (message == 0)
        return 1;
    int priority = PRI_INFO;
    if (message == 36)
        priority = (format == 4 && Oslog_ver == 1) ? PRI_WARNING : PRI_ERR;
    if (message == 43)
        priority = PRI_ERR;
    SendMessage(priority, message, contNo, entry, found);
    return 1;
}

int LogTraidRas(const ControllerLogEntry *entry, int contNo, FoundEventList *found)
{
    uint16_t format = FormatOf(entry);
    if ((format != 2 && format != 0x8002) || ClassOf(entry) != 0)
        return SkipEntry(entry);
    uint16_t type = StatusType(entry);
    uint8_t state = Status(entry)[4];
    if (type == 1 && state == 0)
        SendMessage(PRI_INFO, 47, contNo, entry, found);
    else if (type == 1 && (state & 0xF0) == 0x20)
        SendMessage(PRI_INFO, 48, contNo, entry, found);
    else if (type == 32 && state == 0)
        SendMessage(PRI_INFO, 49, contNo, entry, found);
    else
        return SkipEntry(entry);
    return 1;
}

int LogDumpExistence(const ControllerLogEntry *entry, int contNo, FoundEventList *, ServiceConfigs *configs)
{
    if (entry->raw[238] == 2) {
        return GetIncmpleteDumpFile(contNo, configs) == -1 ? -1 : 1;
    }
    return 1;
}

int LogTraidAtt5(const ControllerLogEntry *entry, int contNo, FoundEventList *found)
{
    uint16_t format = FormatOf(entry);
    if (format != 2 && format != 0x8002)
        return SkipEntry(entry);
    uint8_t before = Status(entry)[5], after = Status(entry)[4];
    if (before == 0 && after == 5)
        SendMessage(PRI_INFO, 52, contNo, entry, found);
    else if (before == 5 && after == 21)
        SendMessage(PRI_INFO, 53, contNo, entry, found);
    else if (before == 5)
        SendMessage(PRI_WARNING, 55, contNo, entry, found);
    else
        return SkipEntry(entry);
    return 1;
}
