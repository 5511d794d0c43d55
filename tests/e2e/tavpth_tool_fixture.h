// The maintenance tool's tests: one simulated server with SAS and SATA drives
// and a logical drive on one member, the tool run under the simulator, and
// the drives' media and state read back.
#ifndef TAVPTH_TOOL_FIXTURE_H
#define TAVPTH_TOOL_FIXTURE_H

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tavtest.h"

namespace pthtest {

// Controller 0: SAS drives 0 (MBB2147RC), 1 (MBA3073RC), 4 (MBB2300RC) and 5
// (MBB2600RC); SATA drives 2 (ATA QRX4410AB) and 3 (ATA OTHER220). Logical
// drive 0 is RAID 0 on drive 4 alone (not striped: its block n is drive 4's
// block n); logical drive 1 is RAID 1 on drives 0 and 5.
inline const char kServer[] = R"({"adapters": [{"host": 2, "model": "ZN5121", "drives": [
  {"slot": 0, "interface": "SAS", "product": "MBB2147RC", "blocks": 262144},
  {"slot": 1, "interface": "SAS", "product": "MBA3073RC", "blocks": 262144},
  {"slot": 2, "interface": "SATA", "vendor": "ATA", "product": "QRX4410AB", "blocks": 262144},
  {"slot": 3, "interface": "SATA", "vendor": "ATA", "product": "OTHER220", "blocks": 262144},
  {"slot": 4, "interface": "SAS", "product": "MBB2300RC", "blocks": 262144},
  {"slot": 5, "interface": "SAS", "product": "MBB2600RC", "blocks": 262144}],
  "logical_drives": [{"number": 0, "raid": 0, "members": [4]},
                     {"number": 1, "raid": 1, "members": [0, 5]}]}]})";

inline const char kAbnormalEnd[] = "TAV0002-I PassThrough Tool abnormal end.\n";

struct Case {
    std::vector<std::string> args;  // after the program name
    std::string out;                // the whole standard output
    int status;
};

// The hex rows of the tool's printer, built here independently.
inline std::string HexRows(const std::vector<uint8_t>& data, unsigned firstRow = 0) {
    std::string out;
    for (size_t offset = 0; offset < data.size(); offset += 16) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "%08X: ", static_cast<unsigned>((firstRow + offset / 16) * 16));
        std::string row = buf, chars;
        for (size_t i = 0; i < 16; ++i) {
            if (offset + i < data.size()) {
                uint8_t b = data[offset + i];
                std::snprintf(buf, sizeof buf, "%02X ", b);
                row += buf;
                chars += std::isalnum(b) ? static_cast<char>(b) : '.';
            } else {
                row += "   ";
            }
            if (i == 7) row += ' ';
        }
        out += row + " " + chars + "\n";
    }
    return out;
}

inline std::string Rule() { return std::string(77, '-') + "\n"; }

// "[title] Size=n", the rule and the rows.
inline std::string Dump(const std::string& title, const std::vector<uint8_t>& data) {
    return "[" + title + "] Size=" + std::to_string(data.size()) + "\n" + Rule() + HexRows(data);
}

inline std::string Cdb(const std::vector<uint8_t>& cdb) { return Dump("CDB", cdb) + "\n"; }

class Tool : public ::testing::Test {
protected:
    explicit Tool(const std::string& config = kServer) : sim(config) {}
    void SetUp() override { ASSERT_TRUE(sim.ok()) << sim.initOutput(); }

    tavtest::RunResult Run(const std::vector<std::string>& args) const {
        std::vector<std::string> argv{"tavpth"};
        argv.insert(argv.end(), args.begin(), args.end());
        return sim.run(argv);
    }
    void Expect(const Case& c) const {
        auto r = Run(c.args);
        std::string label;
        for (const auto& a : c.args) label += a + " ";
        EXPECT_EQ(r.out, c.out) << label;
        EXPECT_EQ(r.status, c.status) << label << r.err;
    }
    void ExpectAll(const std::vector<Case>& cases) const {
        for (const auto& c : cases) Expect(c);
    }

    // A file below the server's directory; yields its path.
    std::string File(const std::string& name, const std::string& content) const {
        std::string path = sim.path("/" + name);
        tavtest::writeFile(path, content);
        return path;
    }

    // Runs `command` on a parameter file of `content`; the output after the
    // file's name line.
    tavtest::RunResult RunFile(const std::string& command, const std::string& content) const {
        std::string path = File("params.txt", content);
        auto r = Run({command, path});
        std::string head = "Parameter Filename :" + path + "\n";
        if (r.out.compare(0, head.size(), head) == 0) r.out.erase(0, head.size());
        return r;
    }

    std::string MediaPath(int slot) const {
        char name[64];
        std::snprintf(name, sizeof name, "/var/lib/tavsim/media/c0-d%02d.img", slot);
        return sim.path(name);
    }
    std::vector<uint8_t> Media(int slot, uint64_t lba, size_t blocks) const {
        std::vector<uint8_t> data(blocks * 512, 0);
        std::ifstream in(MediaPath(slot), std::ios::binary);
        in.seekg(static_cast<std::streamoff>(lba * 512));
        in.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(data.size()));
        return data;
    }
    void SetMedia(int slot, uint64_t lba, const std::vector<uint8_t>& data) const {
        if (!tavtest::fileExists(MediaPath(slot))) tavtest::writeFile(MediaPath(slot), "");
        std::fstream io(MediaPath(slot), std::ios::binary | std::ios::in | std::ios::out);
        io.seekp(static_cast<std::streamoff>(lba * 512));
        io.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    }
    nlohmann::json DriveModel(int slot) const {
        auto state = nlohmann::json::parse(sim.show());
        for (const auto& d : state["adapters"][0]["drives"])
            if (d["slot"] == slot) return d["drive_model"];
        return nlohmann::json();
    }
    std::string TraceLog() const { return tavtest::readFile(sim.path("/opt/morvane/tavutility/tavpth.log")); }

    tavtest::SimServer sim;
};

inline std::vector<uint8_t> Bytes(size_t count, uint8_t value) { return std::vector<uint8_t>(count, value); }

}  // namespace pthtest

#endif
