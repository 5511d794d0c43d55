// Event-log polling: reads the entries a controller wrote since the last
// visit, hands each to its formatter and consumes it.
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "tavservice.h"

int abortlogoffset[TAV_MAX_CONTROLLERS] = {-1, -1, -1, -1};
uint16_t singlebit_err_count[TAV_MAX_CONTROLLERS][256];

namespace {

// Per controller the entry that was translated but whose consume request
// failed: the next visit finds it again and consumes it without sending its
// message a second time. index -1: none.
struct LoggedEntry {
    int index;
    ControllerLogEntry entry;
};
LoggedEntry g_logged[TAV_MAX_CONTROLLERS] = {{-1, {}}, {-1, {}}, {-1, {}}, {-1, {}}};

bool AlreadyLogged(int contNo, int index, const ControllerLogEntry *entry)
{
    const LoggedEntry &logged = g_logged[contNo];
    return logged.index == index && memcmp(logged.entry.raw, entry->raw, sizeof entry->raw) == 0;
}

constexpr uint8_t kEmptyByte = 0x11;

uint16_t Swap16(uint16_t v)
{
    return static_cast<uint16_t>((v >> 8) | (v << 8));
}

bool AllBytes(const uint8_t *p, int from, int to, uint8_t value)
{
    for (int i = from; i <= to; ++i)
        if (p[i] != value)
            return false;
    return true;
}

}  // namespace

uint16_t EntryField16(const ControllerLogEntry *entry, int offset)
{
    uint16_t v;
    memcpy(&v, entry->raw + offset, sizeof v);
    return v;
}

uint32_t EntryField32(const ControllerLogEntry *entry, int offset)
{
    uint32_t v;
    memcpy(&v, entry->raw + offset, sizeof v);
    return v;
}

// The adapter stores the header fields big-endian.
void ConvertLogEntry(ControllerLogEntry *entry)
{
    for (int offset : {ENTRY_LENGTH_OFFSET, ENTRY_FIELD36_OFFSET}) {
        uint32_t v = EntryField32(entry, offset);
        Tool_ChangeEndianLong(&v);
        memcpy(entry->raw + offset, &v, sizeof v);
    }
    for (int offset : {ENTRY_LOGCODE_OFFSET, ENTRY_FORMAT_OFFSET, ENTRY_FIELD34_OFFSET}) {
        uint16_t v = Swap16(EntryField16(entry, offset));
        memcpy(entry->raw + offset, &v, sizeof v);
    }
}

int IsLastLogEntry(const ControllerLogEntry *entry)
{
    const uint8_t *p = entry->raw;
    return AllBytes(p, 0, 15, kEmptyByte) && AllBytes(p, 24, 26, kEmptyByte) && AllBytes(p, 28, 30, kEmptyByte) &&
           p[33] == kEmptyByte && AllBytes(p, 64, 511, kEmptyByte) &&
           EntryField32(entry, ENTRY_LENGTH_OFFSET) == 0x11111111u &&
           EntryField16(entry, ENTRY_LOGCODE_OFFSET) == 0x1111 && EntryField16(entry, ENTRY_FORMAT_OFFSET) == 0x1111 &&
           EntryField16(entry, ENTRY_FIELD34_OFFSET) == 0x1111 &&
           EntryField32(entry, ENTRY_FIELD36_OFFSET) == 0x11111111u;
}

void Trace_TLogSkip(const ControllerLogEntry *entry)
{
    Trace_Text(__FILE__, __LINE__, "TLOG Skip LOGCode=0x%x FormatCode=0x%x LOGClass=0x%x",
               EntryField16(entry, ENTRY_LOGCODE_OFFSET), EntryField16(entry, ENTRY_FORMAT_OFFSET),
               entry->raw[ENTRY_CLASS_OFFSET]);
}

int WriteLogEntryToSystemLog(int contNo, ControllerLogEntry *entry, FoundEventList *found, ServiceConfigs *configs)
{
    if (IsLastLogEntry(entry)) {
        return -1;
    }
    switch (EntryField16(entry, ENTRY_LOGCODE_OFFSET)) {
    case 2:
        return LogDeviceCfg(entry, contNo, found);
    case 7:
        return LogDataTransfer(entry, contNo, found);
    case 32:
        return LogHindrance(entry, contNo, found);
    case 33:
        return LogDataRestore(entry, contNo, found);
    case 34:
        return LogTraidRas(entry, contNo, found);
    case 35:
        return LogDumpExistence(entry, contNo, found, configs);
    case 41:
        return LogTraidAtt5(entry, contNo, found);
    default:
        Trace_TLogSkip(entry);
        return 1;
    }
}

// Reads from the resume point (or the firmware's index) up to the first empty
// slot. A ring without any empty slot is read once round, never endlessly.
int ProcessLogs(int contNo, FoundEventList *found, ServiceConfigs *configs)
{
    TRACE_CALL(2, contNo, 0, 0, 0);
    uint8_t status[SYSTEM_STATUS_SIZE];
    if (GetSystemStatus(contNo, status) < 0) {
        return -1;
    }
    uint32_t writeIndex = SystemStatusWriteIndex(status);
    if (writeIndex > LOG_RING_ENTRIES) {
        return -1;
    }
    int index = abortlogoffset[contNo] != -1 ? abortlogoffset[contNo] : static_cast<int>(writeIndex);
    index %= LOG_RING_ENTRIES;
    int translated = 0;
    while (translated < LOG_RING_ENTRIES) {
        ControllerLogEntry entry;
        if (GetLogEntry(contNo, index, &entry) < 0) {
            break;
        }
        if (!AlreadyLogged(contNo, index, &entry) && WriteLogEntryToSystemLog(contNo, &entry, found, configs) == -1) {
            break;
        }
        if (GetRealLogEntry(contNo, index) < 0) {
            g_logged[contNo].index = index;
            g_logged[contNo].entry = entry;
            break;
        }
        g_logged[contNo].index = -1;
        ++translated;
        index = (index + 1) % LOG_RING_ENTRIES;
    }
    abortlogoffset[contNo] = translated == 0 ? -1 : index;
    return 1;
}
