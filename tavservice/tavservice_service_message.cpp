// Message composition: the system-log texts of the event translation, their
// detailed codes, and raw dumps of entries in debug mode.
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "tavservice.h"

namespace {

const uint8_t *Status(const ControllerLogEntry *entry)
{
    return entry->raw + ENTRY_STATUS_OFFSET;
}
const uint8_t *Detail(const ControllerLogEntry *entry)
{
    return entry->raw + ENTRY_DETAIL_OFFSET;
}
uint32_t DetailWord(const ControllerLogEntry *entry, int offset)
{
    return EntryField32(entry, ENTRY_DETAIL_OFFSET + offset);
}
uint32_t StatusWord(const ControllerLogEntry *entry, int offset)
{
    return EntryField32(entry, ENTRY_STATUS_OFFSET + offset);
}

uint32_t PdFields(uint8_t pd)
{
    return 0xFFF0FFu | (uint32_t{pd} & 0x0Fu) << 8;
}

// Everything a composed message needs: its EventID, text and detailed code.
struct Composed {
    uint32_t eventId;
    int hasDetailedCode;
    uint32_t detailedCode;
};

int Print(char *text, size_t size, const char *format, ...) __attribute__((format(printf, 3, 4)));
int Print(char *text, size_t size, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    int n = vsnprintf(text, size, format, args);
    va_end(args);
    return n;
}

// Physical-drive state messages (17-20) and the drive-level single rows.
bool ComposeDrive(char *t, size_t n, int no, int c, const ControllerLogEntry *e, Composed *m)
{
    const uint8_t *b = Status(e);
    switch (no) {
    case 17:
        *m = {4096, 1, DetailedCode(6, c, 0xFFF000u | (b[2] & 0x0Fu) << 8 | b[4])};
        Print(t, n, "tavutil: Controller [%d] Physical Drive [%d] Failed. Drive status = 0x[%x]. EventID: 04096.", c,
              b[2], b[4]);
        return true;
    case 18:
        *m = {4112, 1, DetailedCode(7, c, 0xFFF000u | (b[2] & 0x0Fu) << 8 | b[4])};
        Print(t, n, "tavutil: Controller [%d] Physical Drive [%d] was offline. Drive status = 0x[%x]. EventID: 04112.",
              c, b[2], b[4]);
        return true;
    case 19:
        *m = {4128, 0, 0};
        Print(t, n, "tavutil: Controller [%d] Physical Drive [%d] was online. EventID: 04128.", c, b[2]);
        return true;
    case 20:
        *m = {4144, 0, 0};
        Print(t, n, "tavutil: Controller [%d] Physical Drive [%d] status changed to GOOD. EventID: 04144.", c, b[2]);
        return true;
    case 26:
        *m = {4208, 1, DetailedCode(8, c, 0xFFFFFFu)};
        Print(t, n, "tavutil: Controller [%d] memory single bit error occurred. Address = 0x[%x]. EventID: 04208.", c,
              StatusWord(e, 28));
        return true;
    case 31:
        *m = {4384, 1, DetailedCode(11, c, PdFields(b[2]))};
        Print(
            t, n,
            "tavutil: Controller [%d] Physical Drive [%d] S.M.A.R.T. driver detects imminent failure. EventID: 04384.",
            c, b[2]);
        return true;
    default:
        return false;
    }
}

// Logical-drive state messages (27-29) and operator settings (47-49).
bool ComposeLogical(char *t, size_t n, int no, int c, const ControllerLogEntry *e, Composed *m)
{
    const uint8_t *b = Status(e);
    uint32_t ldFields = (b[2] & 0x0Fu) << 20 | uint32_t{b[4]} << 12 | 0xFFFu;
    switch (no) {
    case 27:
        *m = {4240, 1, DetailedCode(9, c, ldFields)};
        Print(t, n,
              "tavutil: Controller [%d] Logical Drive [%d] status changed to Degraded. (Status = 0x[%x]). EventID: "
              "04240.",
              c, b[2], b[4]);
        return true;
    case 28:
        *m = {4256, 1, DetailedCode(10, c, ldFields)};
        Print(t, n, "tavutil: Controller [%d] Logical Drive [%d] Failed. (Status = 0x[%x]). EventID: 04256.", c, b[2],
              b[4]);
        return true;
    case 29:
        *m = {4272, 0, 0};
        Print(t, n,
              "tavutil: Controller [%d] Logical Drive [%d] status changed from Degraded to Optimal. EventID: 04272.", c,
              b[2]);
        return true;
    case 47:
        *m = {4624, 0, 0};
        Print(t, n, "tavutil: Controller [%d] Physical Drive [%d] status set GOOD. EventID: 04624.", c, b[2]);
        return true;
    case 48:
        *m = {4640, 0, 0};
        Print(t, n, "tavutil: Controller [%d] Physical Drive [%d] status set Failed. EventID: 04640.", c, b[2]);
        return true;
    case 49:
        *m = {4656, 0, 0};
        Print(t, n, "tavutil: Controller [%d] Logical Drive [%d] status set Optimal. EventID: 04656.", c, b[2]);
        return true;
    default:
        return false;
    }
}

// Firmware failures (32, 33) and the drive check condition (30).
bool ComposeFirmware(char *t, size_t n, int no, int c, const ControllerLogEntry *e, Composed *m)
{
    const uint8_t *d = Detail(e);
    uint32_t code = DetailWord(e, 16);
    bool newIds = Oslog_ver > 2;
    switch (no) {
    case 30:
        *m = {4352, 0, 0};
        Print(t, n,
              "tavutil: Controller [%d] Physical Drive [%x] Check condition "
              "SenseKEY=0x[%.2x],ASC=0x[%.2x],ASCQ=0x[%.2x]. EventID: 04352.",
              c, DetailWord(e, 24), d[82] & 0x0F, d[92], d[93]);
        return true;
    case 32:
        *m = {newIds ? 5500u : 4400u, 1, DetailedCode(12, c, (code >> 8) & 0xFFFFFFu)};
        Print(t, n, "tavutil: Controller [%d] Firmware panic occurred. errorcode = 0x[%x]. EventID: %05u.", c, code,
              m->eventId);
        return true;
    case 33:
        *m = {newIds ? 5501u : 4416u, 1, DetailedCode(13, c, (code >> 8) & 0xFFFFFFu)};
        Print(t, n, "tavutil: Controller [%d] Hardware error occurred. errorcode = 0x[%x]. EventID: %05u.", c, code,
              m->eventId);
        return true;
    default:
        return false;
    }
}

// Background operations on a logical drive (34-43).
bool ComposeRestore(char *t, size_t n, int no, int c, const ControllerLogEntry *e, Composed *m)
{
    const uint8_t *d = Detail(e);
    static const struct {
        int no;
        uint32_t eventId;
        const char *what;
    } kSimple[] = {
        {34, 4432, "Rebuild started on"},           {35, 4448, "Rebuild completed on"},
        {37, 4464, "Check Consistency started on"}, {38, 4480, "Check Consistency completed on"},
        {39, 4496, "Make Parity Started on"},       {40, 4512, "Make Parity completed on"},
        {41, 4528, "Check Consistency aborted on"}, {42, 4544, "Make Parity aborted on"},
    };
    for (const auto &row : kSimple) {
        if (row.no != no)
            continue;
        *m = {row.eventId, 0, 0};
        Print(t, n, "tavutil: Controller [%d] %s Logical Drive [%d]. EventID: %05u.", c, row.what, d[16], row.eventId);
        return true;
    }
    if (no == 36) {
        *m = {4453, 1, DetailedCode(15, c, (d[16] & 0x0Fu) << 20 | 0x0FF000u | (d[34] & 0x0Fu) << 8 | 0xFFu)};
        Print(t, n,
              "tavutil: Controller [%d] Rebuild aborted on Logical Drive [%d]. An error occurred on Physical Drive "
              "[%d]. EventID: 04453.",
              c, d[16], d[34]);
        return true;
    }
    if (no != 43)
        return false;
    char address[32];
    if (EntryField16(e, ENTRY_FORMAT_OFFSET) == 4)
        snprintf(address, sizeof address, "%x", DetailWord(e, 20));
    else
        snprintf(address, sizeof address, "%llx",
                 static_cast<unsigned long long>(DetailWord(e, 24)) << 32 | DetailWord(e, 20));
    *m = {4560, 0, 0};
    Print(t, n,
          Oslog_ver < 3 ? "tavutil: Controller [%d] Parity Inconsistency occurred on Logical Drive [%d]. Address = "
                          "0x[%s]. EventID: 04560."
                        : "tavutil: Controller [%d] Parity Inconsistency occurred on Logical Drive [%d]. LD Address: "
                          "0x[%s]. EventID: 04560.",
          c, d[16], address);
    return true;
}

// Prevent copy (52, 53, 55), medium errors (54), bad spots (56), single-bit threshold (57).
bool ComposeDriveMaintenance(char *t, size_t n, int no, int c, const ControllerLogEntry *e, Composed *m)
{
    const uint8_t *b = Status(e);
    switch (no) {
    case 52:
        *m = {4672, 0, 0};
        Print(
            t, n,
            "tavutil: Controller [%d] Prevent copy started to Physical Drive[%d] of Logical Drive[%d]. EventID: 04672.",
            c, b[6], b[2]);
        return true;
    case 53:
        *m = {4688, 0, 0};
        Print(t, n, "tavutil: Controller [%d] Prevent copy completed on Logical Drive[%d]. EventID: 04688.", c, b[2]);
        return true;
    case 55:
        *m = {4704, 0, 0};
        Print(t, n, "tavutil: Controller [%d] Prevent copy aborted on Logical Drive[%d]. EventID: 04704.", c, b[2]);
        return true;
    case 54: {
        bool format39 = EntryField16(e, ENTRY_FORMAT_OFFSET) == 39;
        int drive = format39 ? Detail(e)[16] : b[2];
        int count = format39 ? static_cast<int>(DetailWord(e, 28)) : b[16];
        *m = {4692, 0, 0};
        Print(
            t, n,
            "tavutil: Controller [%d] Physical Drive [%d] Medium sector error count is changed([%d]). EventID: 04692.",
            c, drive, count);
        return true;
    }
    case 56: {
        char address[32];
        if (EntryField16(e, ENTRY_FORMAT_OFFSET) == 2)
            snprintf(address, sizeof address, "%x", StatusWord(e, 20));
        else
            snprintf(address, sizeof address, "%llx",
                     static_cast<unsigned long long>(StatusWord(e, 28)) << 32 | StatusWord(e, 24));
        *m = {4720, 1, DetailedCode(19, c, PdFields(b[2]))};
        Print(t, n,
              Oslog_ver < 3
                  ? "tavutil: Controller [%d] Physical Drive [%d] Bad spot[address 0x%s] detected. EventID: 04720."
                  : "tavutil: Controller [%d] Physical Drive [%d] Bad spot[LD Address: 0x%s] detected. EventID: 04720.",
              c, b[2], address);
        return true;
    }
    case 57: {
        uint32_t address[2];
        int valid[2];
        SingleBitAddresses(e, EntryField16(e, ENTRY_FORMAT_OFFSET) == 0x8002, address, valid);
        int pick = (valid[0] && singlebit_err_count[c][address[0] & 0xFF] < 65535) ? 0 : 1;
        *m = {4209, 1, DetailedCode(34, c, address[pick] & 0xFF)};
        Print(t, n, "tavutil: Controller [%d] memory single bit error reaches the threshold. EventID: 04209.", c);
        return true;
    }
    default:
        return false;
    }
}

}  // namespace

uint32_t DetailedCode(uint32_t category, int contNo, uint32_t fields)
{
    return category << 26 | (static_cast<uint32_t>(contNo) & 0x3u) << 24 | (fields & 0x00FFFFFFu);
}

void AddFoundEvent(FoundEventList *found, uint32_t eventId)
{
    if (found != nullptr && found->count < MAX_FOUND_EVENTS) {
        found->events[found->count++] = eventId;
    }
}

void SingleBitAddresses(const ControllerLogEntry *entry, int format8002, uint32_t address[2], int valid[2])
{
    const uint8_t *b = Status(entry);
    uint32_t validity;
    if (format8002) {
        address[0] = b[44];
        address[1] = b[52];
        validity = StatusWord(entry, 56);
    } else {
        address[0] = StatusWord(entry, 32);
        address[1] = StatusWord(entry, 40);
        validity = StatusWord(entry, 44);
    }
    valid[0] = (validity & 0x1u) != 0;
    valid[1] = (validity & 0x2u) != 0;
}

// Composes message `messageNo` into `text` and records its EventID; returns
// the EventID, or 0 for a number without a message.
int GetMessage(char *text, size_t size, int messageNo, int contNo, const ControllerLogEntry *entry,
               FoundEventList *found)
{
    Composed m{};
    if (!ComposeDrive(text, size, messageNo, contNo, entry, &m) &&
        !ComposeLogical(text, size, messageNo, contNo, entry, &m) &&
        !ComposeFirmware(text, size, messageNo, contNo, entry, &m) &&
        !ComposeRestore(text, size, messageNo, contNo, entry, &m) &&
        !ComposeDriveMaintenance(text, size, messageNo, contNo, entry, &m)) {
        return 0;
    }
    if (m.hasDetailedCode) {
        size_t used = strlen(text);
        snprintf(text + used, size - used, " Detailedcode: %08x.", m.detailedCode);
    }
    AddFoundEvent(found, m.eventId);
    return static_cast<int>(m.eventId);
}

void SendMessage(int priority, int messageNo, int contNo, const ControllerLogEntry *entry, FoundEventList *found)
{
    char text[512];
    if (GetMessage(text, sizeof text, messageNo, contNo, entry, found) != 0) {
        ServiceLog(priority, "%s", text);
    }
}

void writerawdata(const uint8_t *data, unsigned length)
{
    tavopenlog();
    for (unsigned offset = 0; offset < length; offset += 8) {
        uint8_t b[8] = {};
        char shown[9] = {};
        for (unsigned i = 0; i < 8; ++i) {
            b[i] = offset + i < length ? data[offset + i] : 0;
            shown[i] = (isprint(b[i]) && b[i] != '%') ? static_cast<char>(b[i]) : '.';
        }
        syslog(PRI_INFO, "%04x: %02x %02x %02x %02x %02x %02x %02x %02x    %s", offset, b[0], b[1], b[2], b[3], b[4],
               b[5], b[6], b[7], shown);
    }
    tavcloselog();
}
