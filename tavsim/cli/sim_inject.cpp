// tavsim inject: arms command faults and changes the drives of an adapter.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "sim_commands.h"
#include "sim_config.h"
#include "sim_drive_faults.h"
#include "sim_inject_flash.h"
#include "sim_inject_firmware.h"
#include "sim_inject_load.h"
#include "sim_operations.h"
#include "sim_partition.h"
#include "sim_server.h"
#include "sim_topology.h"

namespace tavsim {

// A number in decimal or with 0x; false when the text is not one.
bool parseNumber(const std::string& text, unsigned long max, unsigned long* value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    unsigned long v = std::strtoul(text.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || v > max || text[0] == '-') return false;
    *value = v;
    return true;
}

namespace {

const char kInjectUsage[] =
    "usage: tavsim inject DIR [--adapter N] busy N | check-condition KEY ASC ASCQ [N] | adapter-error CODE [N] |\n"
    "       ioctl-error ERRNO [N] | pass N | remove-drive-on-command SLOT |\n"
    "       fail-drive ADAPTER SLOT | remove-drive ADAPTER SLOT |\n"
    "       insert-drive ADAPTER SLOT [JSON] | drive-check-condition ADAPTER SLOT KEY ASC ASCQ [N] |\n"
    "       drive-busy ADAPTER SLOT [N] | drive-hang ADAPTER SLOT | drive-stop ADAPTER SLOT | drive-clear ADAPTER SLOT "
    "|\n"
    "       drive-temperature ADAPTER SLOT C [MAX] | predict-failure ADAPTER SLOT [off] |\n"
    "       drive-errors ADAPTER SLOT READ WRITE | drive-sectors ADAPTER SLOT REALLOCATED PENDING OFFLINE |\n"
    "       partition ADAPTER LD [clear] | restart-adapter ADAPTER |\n"
    "       operation-progress ADAPTER GROUP PERCENT [hold] |\n"
    "       event ADAPTER LOGCODE FORMATCODE LOGCLASS [POS=VALUE ...] | event-index ADAPTER INDEX |\n"
    "       event-read-error ADAPTER INDEX [N] |\n"
    "       event-consume-error ADAPTER INDEX [N] | dump ADAPTER [SIZE [STATUS]] | micro-reboot ADAPTER |\n"
    "       commit-error ADAPTER [N] |\n"
    "       load ADAPTER LD READS WRITES [BLOCKS]";

struct ErrnoName {
    const char* name;
    int value;
};
constexpr ErrnoName kErrnoNames[] = {
    {"EIO", EIO},       {"EINVAL", EINVAL}, {"ENODEV", ENODEV}, {"ENXIO", ENXIO},   {"EBUSY", EBUSY},
    {"EFAULT", EFAULT}, {"EPERM", EPERM},   {"EAGAIN", EAGAIN}, {"ENOMEM", ENOMEM}, {"ETIMEDOUT", ETIMEDOUT}};

bool parseErrno(const std::string& text, unsigned long* value) {
    for (const ErrnoName& e : kErrnoNames)
        if (text == e.name) {
            *value = static_cast<unsigned long>(e.value);
            return true;
        }
    return parseNumber(text, 4095, value) && *value > 0;
}

class Injection {
public:
    Injection(SimState& state, const std::string& root) : state_(state), root_(root) {}

    int run(const Args& words, unsigned long adapter) {
        const std::string& fault = words[0];
        if (fault == "busy") return commandFault(words, adapter, kFaultBusy, 0, 0);
        if (fault == "check-condition") return commandFault(words, adapter, kFaultCheckCondition, 3, 0xFF);
        if (fault == "adapter-error") return commandFault(words, adapter, kFaultAdapterError, 1, 0xFFFFFF);
        if (fault == "ioctl-error") return commandFault(words, adapter, kFaultIoctlError, 1, 4095);
        if (fault == "pass") return commandFault(words, adapter, kFaultPass, 0, 0);
        if (fault == "remove-drive-on-command")
            return commandFault(words, adapter, kFaultRemoveDriveOnCommand, 1, kMaxDrives - 1);
        int health = injectDriveHealth(state_, words, kInjectUsage);
        if (health >= 0) return health;
        if (fault.rfind("drive-", 0) == 0) return injectDriveFault(root_.c_str(), state_, words, kInjectUsage);
        if (fault == "fail-drive" || fault == "remove-drive" || fault == "insert-drive") return driveChange(words);
        if (fault == "partition") return injectPartition(state_, root_, words);
        if (fault == "load") return injectLoad(state_, root_, words);
        if (isFirmwareFault(fault)) return firmwareFault(state_, root_, words);
        int changed = injectAdapterChange(state_, words);
        if (changed >= 0) return changed;
        return complain(std::string("unknown fault ") + fault + "\n" + kInjectUsage, 2);
    }

private:
    bool adapterOk(unsigned long adapter) const {
        return adapter < state_.adapterCount && state_.adapters[adapter].present;
    }

    // FAULT V1 .. Vn [N] (busy takes only its count).
    int commandFault(const Args& words, unsigned long adapter, FaultKind kind, size_t values, unsigned long max) {
        bool countRequired = kind == kFaultBusy || kind == kFaultPass;
        if (words.size() < 1 + values + (countRequired ? 1 : 0) || words.size() > 2 + values)
            return complain(kInjectUsage, 2);
        if (!adapterOk(adapter)) return complain("no adapter " + std::to_string(adapter), 2);
        unsigned long v[3] = {};
        for (size_t i = 0; i < values; ++i) {
            bool ok =
                kind == kFaultIoctlError ? parseErrno(words[1 + i], &v[i]) : parseNumber(words[1 + i], max, &v[i]);
            if (!ok) return complain("bad value " + words[1 + i] + " for " + words[0], 2);
        }
        unsigned long count = 1;
        if (words.size() == 2 + values && (!parseNumber(words.back(), UINT32_MAX, &count) || count == 0))
            return complain("bad count " + words.back(), 2);
        FaultRecord f{};
        f.kind = kind;
        f.remaining = static_cast<uint32_t>(count);
        f.senseKey = static_cast<uint8_t>(v[0]);
        f.asc = static_cast<uint8_t>(v[1]);
        f.ascq = static_cast<uint8_t>(v[2]);
        f.code = static_cast<uint32_t>(v[0]);
        f.errorNumber = static_cast<int32_t>(v[0]);
        for (FaultRecord& slot : state_.adapters[adapter].faults)
            if (slot.kind == kFaultNone || slot.remaining == 0) {
                slot = f;
                return 0;
            }
        return complain("too many faults armed on adapter " + std::to_string(adapter));
    }

    int driveChange(const Args& words) {
        unsigned long adapter, slot;
        if (words.size() < 3 || words.size() > 4 || (words.size() == 4 && words[0] != "insert-drive"))
            return complain(kInjectUsage, 2);
        if (!parseNumber(words[1], 3, &adapter) || !adapterOk(adapter)) return complain("no adapter " + words[1], 2);
        if (!parseNumber(words[2], kMaxDrives - 1, &slot)) return complain("no slot " + words[2], 2);
        AdapterRecord& a = state_.adapters[adapter];
        DriveRecord& d = a.drives[slot];
        int s = static_cast<int>(slot);
        if (words[0] == "insert-drive")
            return insert(a, static_cast<int>(adapter), s, words.size() == 4 ? words[3] : "");
        if (!d.configured || !d.present) return complain("no drive in slot " + words[2], 1);
        if (words[0] == "fail-drive")
            failDrive(a, s);
        else
            removeDrive(a, s);
        return 0;
    }

    int insert(AdapterRecord& a, int controller, int slot, const std::string& json) {
        DriveRecord& d = a.drives[slot];
        if (d.configured && d.present)
            return complain("slot " + std::to_string(slot) + " holds a drive; remove it first");
        if (d.configured && json.empty()) {
            reinsertDrive(a, slot);
            return 0;
        }
        DriveRecord fresh;
        std::string error;
        if (!buildDrive(json, controller, slot, &fresh, &error)) return complain(error, 2);
        if (!resetMedia(root_.c_str(), controller, slot, fresh.blocks))
            return complain("cannot create the media of the new drive: " + std::string(std::strerror(errno)));
        installDrive(a, slot, fresh);
        return 0;
    }

    SimState& state_;
    const std::string& root_;
};

}  // namespace

int commandInject(const Args& args) {
    Args words(args.begin() + (args.empty() ? 0 : 1), args.end());
    unsigned long adapter = 0;
    if (words.size() >= 2 && (words[0] == "--adapter" || words[0] == "-a")) {
        if (!parseNumber(words[1], 3, &adapter)) return complain("bad adapter " + words[1], 2);
        words.erase(words.begin(), words.begin() + 2);
    }
    if (args.empty() || words.empty()) return complain(kInjectUsage, 2);
    std::string root;
    StateMapping mapping;
    if (!openServer(args[0], &root, &mapping)) return 1;
    int status;
    {
        StateLock lock(mapping);
        advanceServer(ModelContext{root.c_str(), mapping.state});  // a change lands on the adapter as it is now
        status = Injection(*mapping.state, root).run(words, adapter);
    }
    unmapState(&mapping);
    return status;
}

}  // namespace tavsim
