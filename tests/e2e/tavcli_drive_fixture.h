// The simulated server shared by the logical-drive and physical-drive command
// tests, the reports it should produce, and helpers to read its state.
#ifndef TAVCLI_DRIVE_FIXTURE_H
#define TAVCLI_DRIVE_FIXTURE_H

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tavtest.h"

namespace drivetest {

// Four adapters of both card types:
// 0 ZN5121 (generation 1): RAID 5 LD 0 degraded by off-line drive 2, RAID 1 LD 1 in a consistency
//   check (37%), RAID 1 LD 2 on drives 8-9 in a copy (LD state 5); drive 5 member-not-in-use in
//   Attention3, drive 6 global hot spare, drive 7 fresh; SAS and SATA drives, every link speed,
//   SMART and bad-spot state.
// 1 ZN5120 (generation 0): RAID 10 LD 0 rebuilding (23%), RAID 1 LD 1 in a copy back with bad
//   spots on both drives (and one in its LD table, which generation 0 does not use); restore candidate 0 (RAID 1,
//   drives 6-7, Good) and 1 (drives 8-9, Warning0).
// 2 ZN5121 without LDs: two fresh drives.
// 3 ZN5120 without drives.
inline const char kServerConfig[] = R"({"speed": 0.000001, "adapters": [
 {"host": 2, "model": "ZN5121",
  "drives": [
   {"slot": 0, "interface": "SAS"},
   {"slot": 1, "interface": "SAS", "link_speed": 7, "smart_state": 4, "bad_spots": [256, 32]},
   {"slot": 2, "interface": "SAS", "state": "alarm"},
   {"slot": 3, "interface": "SATA", "vendor": "VENDOR8X", "product": "PRODUCTNAME01234"},
   {"slot": 4, "interface": "SATA", "link_speed": 254},
   {"slot": 5, "interface": "SAS", "class": 1, "state": 3},
   {"slot": 6, "interface": "SAS"},
   {"slot": 7, "interface": "SATA", "link_speed": 255, "bad_spot_state": 22, "bad_spots": [7]},
   {"slot": 8, "interface": "SAS"}, {"slot": 9, "interface": "SAS"}],
  "logical_drives": [
   {"number": 0, "raid": 5, "members": [0, 1, 2]},
   {"number": 1, "raid": 1, "members": [3, 4], "maintenance_state": 1, "processed_blocks": 1560000,
    "read": "NORA", "write": "WT", "hot_spare_mode": "none", "auto_rebuild": false,
    "error_count": 3, "bad_spots": [78187493530, 16]},
   {"number": 2, "raid": 1, "members": [8, 9], "state": 5, "rebuild_state": 2, "data_lost": 1}],
  "hot_spares": [6]},
 {"host": 3, "model": "ZN5120",
  "drives": [
   {"slot": 0, "interface": "SAS"}, {"slot": 1, "interface": "SAS"},
   {"slot": 2, "interface": "SATA"}, {"slot": 3, "interface": "SATA"},
   {"slot": 4, "interface": "SAS", "bad_spots": [1280, 48]},
   {"slot": 5, "interface": "SAS", "bad_spots": [48, 16]},
   {"slot": 6, "interface": "SATA"}, {"slot": 7, "interface": "SATA"},
   {"slot": 8, "interface": "SAS"}, {"slot": 9, "interface": "SAS"}],
  "logical_drives": [
   {"number": 0, "raid": 10, "members": [0, 1, 2, 3], "state": 17, "rebuild_state": 2,
    "processed_blocks": 2000000, "hot_spare_mode": "group"},
   {"number": 1, "raid": 1, "members": [4, 5], "state": 2, "rebuild_state": 2, "bad_spots": [99]}],
  "restore_candidates": [
   {"number": 0, "raid": 1, "members": [6, 7], "read": "NORA"},
   {"number": 1, "raid": 1, "members": [8, 9], "state": 16}]},
 {"host": 4, "model": "ZN5121",
  "drives": [{"slot": 0, "interface": "SAS"}, {"slot": 1, "interface": "SATA"}]},
 {"host": 5, "model": "ZN5120"}
]})";

// One drive as its information block shows it (revision "0104" and 2147MB
// for every drive of the server).
struct DriveRow {
    int adapter;
    int pd;
    const char* vendor;   // first 7 characters
    const char* product;  // first 15 characters
    const char* assign;
    const char* driveClass;
    const char* state;
    const char* sync;
    const char* smart;
    const char* badSpotState;
    int badSpotCount;
};

inline const DriveRow kDrives[] = {
    {0, 0, "MORVANE", "MBB2147RC      ", "0-D0", "Member Use", "Good", "3.0Gbps", "None", "None", 0},
    {0, 1, "MORVANE", "MBB2147RC      ", "0-D1", "Member Use", "Good", "1.5Gbps", "Received", "Exist", 2},
    {0, 2, "MORVANE", "MBB2147RC      ", "0", "Member Use", "Alarm0", "3.0Gbps", "None", "None", 0},
    {0, 3, "VENDOR8", "PRODUCTNAME0123", "1-D3", "Member Use", "Good", "3.0Gbps", "None", "None", 0},
    {0, 4, "MORVANE", "MBA3147AT      ", "1-D4", "Member Use", "Good", "Link Error", "None", "None", 0},
    {0, 5, "MORVANE", "MBB2147RC      ", "-", "Member No Use", "Attention3", "3.0Gbps", "None", "None", 0},
    {0, 6, "MORVANE", "MBB2147RC      ", "-", "Spare No Use", "Good", "3.0Gbps", "None", "None", 0},
    {0, 7, "MORVANE", "MBA3147AT      ", "-", "Fresh", "Good", "PHY Disabled", "None", "Over", 1},
    {1, 0, "MORVANE", "MBB2147RC      ", "0-D0", "Member Use", "Good", "3.0Gbps", "None", "None", 0},
    {1, 1, "MORVANE", "MBB2147RC      ", "0-D1", "Member Use", "Good", "3.0Gbps", "None", "None", 0},
    {1, 2, "MORVANE", "MBA3147AT      ", "0-D2", "Member Use", "Good", "3.0Gbps", "None", "None", 0},
    {1, 3, "MORVANE", "MBA3147AT      ", "0-D3", "Member Use", "Good", "3.0Gbps", "None", "None", 0},
    {1, 4, "MORVANE", "MBB2147RC      ", "1-D4", "Member Use", "Good", "3.0Gbps", "None", "Exist", 2},
    {1, 5, "MORVANE", "MBB2147RC      ", "1-D5", "Member Use", "Good", "3.0Gbps", "None", "Exist", 2},
    {1, 6, "MORVANE", "MBA3147AT      ", "RLD", "Restore Candidate", "Good", "3.0Gbps", "None", "None", 0},
    {1, 7, "MORVANE", "MBA3147AT      ", "RLD", "Restore Candidate", "Good", "3.0Gbps", "None", "None", 0},
    {2, 0, "MORVANE", "MBB2147RC      ", "-", "Fresh", "Good", "3.0Gbps", "None", "None", 0},
    {2, 1, "MORVANE", "MBA3147AT      ", "-", "Fresh", "Good", "3.0Gbps", "None", "None", 0},
};

// One LD as its information block shows it.
struct LdRow {
    int adapter;
    int ld;
    int raidLevel;
    int sizeMB;
    const char* state;
    int drives;
    const char* hotSpare;
    const char* autoRebuild;
    const char* rebuild;
    const char* maintenance;
    int progress;
    const char* forceState;
    int errorCount;
    const char* readCache;
    const char* writeCache;
};

inline const LdRow kLds[] = {
    {0, 0, 5, 4294, "Warning0", 3, "Global", "Enabled", "Needed", "No Operation", 0, "None", 0, "RA", "WB"},
    {0, 1, 1, 2147, "Good", 2, "None", "Disabled", "Not Needed", "Checking Parity", 37, "None", 3, "NORA", "WT"},
    {0, 2, 1, 2147, "Attention5", 2, "Global", "Enabled", "Copy Executing", "No Operation", 0, "It is.", 0, "RA", "WB"},
    {1, 0, 10, 4294, "Warning1", 4, "Group", "Enabled", "Rebuild Executing", "No Operation", 23, "None", 0, "RA", "WB"},
    {1, 1, 1, 2147, "Attention2", 2, "Global", "Enabled", "Copy Back Executing", "No Operation", 0, "None", 0, "RA",
     "WB"},
};

inline std::string Padded(const std::string& text, size_t width) {
    std::string out = text.substr(0, width);
    out.resize(width, ' ');
    return out;
}

// The drive's record as the simulator shows it.
inline nlohmann::json SimDrive(const nlohmann::json& state, int adapter, int pd) {
    for (const auto& d : state["adapters"][adapter]["drives"])
        if (d["slot"] == pd) return d;
    ADD_FAILURE() << "no drive " << adapter << ":" << pd;
    return nlohmann::json::object();
}

// INQUIRY bytes 8-47 of a drive: vendor, product, revision and serial as the
// simulator put them into its INQUIRY data.
inline std::string InquiryText(const nlohmann::json& state, int adapter, int pd) {
    nlohmann::json d = SimDrive(state, adapter, pd);
    auto text = [&d](const char* key, size_t width) { return Padded(d[key].get<std::string>(), width); };
    return text("vendor", 8) + text("product", 16) + text("revision", 4) + text("serial", 12);
}

// A drive's block with its first line ("Physical Disk: %d" or
// "PD: %d Information") and a state text.
inline std::string DriveBlock(const DriveRow& r, const nlohmann::json& state, bool infoHeading,
                              const char* stateText = nullptr) {
    std::string first =
        infoHeading ? "PD: " + std::to_string(r.pd) + " Information" : "Physical Disk: " + std::to_string(r.pd);
    return first + "\nVendor ID:             " + r.vendor + "\nProduct ID:            " + r.product +
           "\nRevision:              0104\nAssign Virtual Disk:   " + r.assign +
           "\nClass:                 " + r.driveClass + "\nSize:                  2147MB" +
           "\nState:                 " + (stateText ? stateText : r.state) + "\nSync Period:           " + r.sync +
           "\nSMART:                 " + r.smart + "\nBad Spot State:        " + r.badSpotState +
           "\nBad Spot Count:        " + std::to_string(r.badSpotCount) +
           "\nInquiry Data:          " + InquiryText(state, r.adapter, r.pd) + "\n\n";
}

inline const DriveRow& Drive(int adapter, int pd) {
    for (const auto& r : kDrives)
        if (r.adapter == adapter && r.pd == pd) return r;
    ADD_FAILURE() << "no expected row for drive " << adapter << ":" << pd;
    return kDrives[0];
}

inline std::string LdBlock(const LdRow& r) {
    return "Virtual Disk:          " + std::to_string(r.ld) + "\nRAID Level:            RAID" +
           std::to_string(r.raidLevel) + "\nSize:                  " + std::to_string(r.sizeMB) +
           "MB\nState:                 " + r.state +
           "\nStripe Size:           128kB\nNumber of Drives:      " + std::to_string(r.drives) +
           "\nHot Spare Mode:        " + r.hotSpare + "\nAuto Rebuild:          " + r.autoRebuild +
           "\nRebuild State:         " + r.rebuild + "\nMaintenance State:     " + r.maintenance +
           "\nOperation Progress:    " + std::to_string(r.progress) + "%\nForce State Change:    " + r.forceState +
           "\nOperation Error Count: " + std::to_string(r.errorCount) + "\nRead Cache:            " + r.readCache +
           "\nWrite Cache:           " + r.writeCache + "\n\n";
}

inline const LdRow& Ld(int adapter, int ld) {
    for (const auto& r : kLds)
        if (r.adapter == adapter && r.ld == ld) return r;
    ADD_FAILURE() << "no expected row for LD " << adapter << ":" << ld;
    return kLds[0];
}

// A test case of a command with its input and the complete output.
struct Case {
    std::vector<std::string> args;
    std::string out;
    int status = 0;
};

inline std::string Joined(const std::vector<std::string>& args) {
    std::string out;
    for (const auto& a : args) out += a + " ";
    return out;
}

class DriveCommands : public ::testing::Test {
protected:
    explicit DriveCommands(const char* config = kServerConfig) : sim(config) {}

    void SetUp() override { ASSERT_TRUE(sim.ok()) << sim.initOutput(); }

    tavtest::RunResult Tavcli(const std::vector<std::string>& args, const std::string& input = "") const {
        std::vector<std::string> argv{"tavcli"};
        argv.insert(argv.end(), args.begin(), args.end());
        return sim.run(argv, input);
    }

    nlohmann::json Show() const { return nlohmann::json::parse(sim.show()); }

    // Commands the adapter has answered so far.
    int Commands(int adapter) const { return Show()["adapters"][adapter]["commands"]; }

    // The state of every adapter without its command counter.
    nlohmann::json StateWithoutCounters() const {
        nlohmann::json state = Show();
        for (auto& a : state["adapters"]) a.erase("commands");
        return state;
    }

    void ExpectCase(const Case& c, const std::string& input = "") const {
        tavtest::RunResult r = Tavcli(c.args, input);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.status, c.status);
    }

    void ExpectCases(const std::vector<Case>& cases) const {
        for (const auto& c : cases) {
            SCOPED_TRACE(Joined(c.args));
            ExpectCase(c);
        }
    }

    tavtest::SimServer sim;
};

}  // namespace drivetest

#endif
