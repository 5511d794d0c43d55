// tavsim inject: event-log entries, the log position, failing entry reads,
// dumps, micro-reboots and failing configuration commits.
#include "sim_inject_firmware.h"

#include <cstring>

#include "sim_firmware.h"

namespace tavsim {

namespace {

constexpr unsigned long kDefaultDumpSize = 65536;

// POS=VALUE: a byte; POS=h:VALUE / POS=w:VALUE a 16/32-bit little-endian
// word; POS=x:HEX raw bytes. Positions are entry offsets (0-511).
bool setField(uint8_t* entry, const std::string& field) {
    size_t eq = field.find('=');
    unsigned long pos, value;
    if (eq == std::string::npos || !parseNumber(field.substr(0, eq), kLogEntrySize - 1, &pos)) return false;
    std::string v = field.substr(eq + 1);
    if (v.rfind("x:", 0) == 0) {
        std::string hex = v.substr(2);
        if (hex.size() % 2 != 0 || pos + hex.size() / 2 > kLogEntrySize) return false;
        for (size_t i = 0; i < hex.size(); i += 2) {
            if (!parseNumber("0x" + hex.substr(i, 2), 0xFF, &value)) return false;
            entry[pos + i / 2] = static_cast<uint8_t>(value);
        }
        return true;
    }
    size_t width = v.rfind("w:", 0) == 0 ? 4 : v.rfind("h:", 0) == 0 ? 2 : 1;
    if (width > 1) v = v.substr(2);
    unsigned long max = width == 4 ? 0xFFFFFFFFul : width == 2 ? 0xFFFFul : 0xFFul;
    if (pos + width > kLogEntrySize || !parseNumber(v, max, &value)) return false;
    for (size_t i = 0; i < width; ++i) entry[pos + i] = static_cast<uint8_t>(value >> (8 * i));
    return true;
}

int injectEvent(SimState& state, const std::string& root, unsigned long adapter, const Args& words) {
    unsigned long logCode, formatCode, logClass;
    if (words.size() < 5 || !parseNumber(words[2], 0xFFFF, &logCode) || !parseNumber(words[3], 0xFFFF, &formatCode) ||
        !parseNumber(words[4], 0xFF, &logClass))
        return complain("usage: event ADAPTER LOGCODE FORMATCODE LOGCLASS [POS=VALUE ...]", 2);
    AdapterRecord& a = state.adapters[adapter];
    uint8_t entry[kLogEntrySize];
    startLogEntry(a, entry, static_cast<uint16_t>(logCode), static_cast<uint16_t>(formatCode),
                  static_cast<uint8_t>(logClass));
    for (size_t i = 5; i < words.size(); ++i)
        if (!setField(entry, words[i])) return complain("bad entry field " + words[i], 2);
    if (!appendLogEntry(root.c_str(), static_cast<unsigned>(adapter), a, entry))
        return complain("cannot write the event log of adapter " + words[1]);
    return 0;
}

int injectIndex(FirmwareRecord& fw, const Args& words) {
    unsigned long index;
    if (words.size() != 3 || !parseNumber(words[2], kLogEntries - 1, &index))
        return complain("usage: event-index ADAPTER INDEX", 2);
    if (fw.logPending != 0) return complain("the event log holds entries not consumed yet");
    fw.logOldest = static_cast<uint32_t>(index);
    return 0;
}

// event-read-error / event-consume-error ADAPTER INDEX [N]: the next N reads or consume requests of the entry fail.
int injectEntryError(uint32_t* failIndex, uint32_t* failCount, const Args& words) {
    unsigned long index, count = 1;
    if (words.size() < 3 || words.size() > 4 || !parseNumber(words[2], kLogEntries - 1, &index) ||
        (words.size() == 4 && (!parseNumber(words[3], 0xFFFFFFFFul, &count) || count == 0)))
        return complain("usage: " + words[0] + " ADAPTER INDEX [N]", 2);
    *failIndex = static_cast<uint32_t>(index);
    *failCount = static_cast<uint32_t>(count);
    return 0;
}

// commit-error ADAPTER [N]: the next N commits fail.
int injectCommitError(FirmwareRecord& fw, const Args& words) {
    unsigned long count = 1;
    if (words.size() > 3 || (words.size() == 3 && (!parseNumber(words[2], 0xFFFFFFFFul, &count) || count == 0)))
        return complain("usage: commit-error ADAPTER [N]", 2);
    fw.failCommitCount = static_cast<uint32_t>(count);
    return 0;
}

int injectDump(FirmwareRecord& fw, const Args& words) {
    unsigned long size = kDefaultDumpSize, status = 1;
    if (words.size() > 4 || (words.size() >= 3 && !parseNumber(words[2], 0x400000, &size)) ||
        (words.size() == 4 && !parseNumber(words[3], 0xFF, &status)))
        return complain("usage: dump ADAPTER [SIZE [STATUS]]", 2);
    fw.dumpSize = static_cast<uint32_t>(size);
    fw.dumpStatus = static_cast<uint8_t>(status);
    return 0;
}

}  // namespace

bool isFirmwareFault(const std::string& fault) {
    return fault == "event" || fault == "event-index" || fault == "event-read-error" ||
           fault == "event-consume-error" || fault == "dump" || fault == "micro-reboot" ||
           fault == "commit-error";
}

int firmwareFault(SimState& state, const std::string& root, const Args& words) {
    unsigned long adapter;
    if (words.size() < 2 || !parseNumber(words[1], 3, &adapter) || adapter >= state.adapterCount ||
        !state.adapters[adapter].present)
        return complain("no adapter " + (words.size() < 2 ? std::string() : words[1]), 2);
    FirmwareRecord& fw = firmwareOf(state.adapters[adapter]);
    const std::string& fault = words[0];
    if (fault == "event") return injectEvent(state, root, adapter, words);
    if (fault == "event-index") return injectIndex(fw, words);
    if (fault == "event-read-error") return injectEntryError(&fw.failReadIndex, &fw.failReadCount, words);
    if (fault == "event-consume-error") return injectEntryError(&fw.failConsumeIndex, &fw.failConsumeCount, words);
    if (fault == "dump") return injectDump(fw, words);
    if (fault == "commit-error") return injectCommitError(fw, words);
    if (words.size() != 2) return complain("usage: micro-reboot ADAPTER", 2);
    fw.microReboot = 1;
    return 0;
}

}  // namespace tavsim
