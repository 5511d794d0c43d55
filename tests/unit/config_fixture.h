// Support of the configuration and background-operation tests: what the
// library sent, read back from its detail dumps, and small server builders.
#ifndef CONFIG_FIXTURE_H
#define CONFIG_FIXTURE_H

#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "info_fixture.h"
#include "tavctl_testutil.h"

namespace configtest {

using infotest::json;
using infotest::OpenServer;

constexpr uint8_t OP_MODE_SELECT = 0x15;

// One command as the library handed it to the driver.
struct SentCommand {
    std::vector<uint8_t> cdb;
    std::vector<uint8_t> data;  // outgoing data

    uint8_t opcode() const { return cdb.empty() ? 0 : cdb[0]; }
    // MODE SELECT pages: page bytes follow the 4-byte mode header.
    uint8_t pageByte(size_t at) const { return data.size() > 4 + at ? data[4 + at] : 0xEE; }
    uint8_t page() const { return pageByte(0); }
    uint8_t function() const { return pageByte(2); }
    uint8_t number() const { return pageByte(3); }
    uint8_t parameter() const { return pageByte(4); }
};

// What the library printed and sent while an action ran.
struct Recording {
    std::string out;
    std::vector<SentCommand> commands;

    std::vector<SentCommand> modeSelects() const
    {
        std::vector<SentCommand> pages;
        for (const SentCommand &c : commands) {
            if (c.opcode() == OP_MODE_SELECT) {
                pages.push_back(c);
            }
        }
        return pages;
    }
};

// The dumps "[TITLE] Size=N" of a detail trace, with their bytes.
inline std::vector<std::pair<std::string, std::vector<uint8_t>>> parseDumps(const std::string &text)
{
    std::vector<std::pair<std::string, std::vector<uint8_t>>> dumps;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        size_t close = line.find("] Size=");
        if (line.empty() || line[0] != '[' || close == std::string::npos) {
            continue;
        }
        std::string title = line.substr(1, close - 1);
        size_t size = std::stoul(line.substr(close + 7));
        std::vector<uint8_t> bytes;
        if (size > 0) {
            std::getline(in, line);  // separator
        }
        while (bytes.size() < size && std::getline(in, line)) {
            std::istringstream row(line.substr(10));  // after "%08X: "
            for (size_t i = 0; i < 16 && bytes.size() < size; ++i) {
                unsigned value = 0;
                row >> std::hex >> value;
                bytes.push_back(static_cast<uint8_t>(value));
            }
        }
        dumps.emplace_back(title, std::move(bytes));
    }
    return dumps;
}

// Each "CDB" dump with the outgoing data dumped just before it.
inline std::vector<SentCommand> parseCommands(const std::string &text)
{
    std::vector<SentCommand> commands;
    const auto dumps = parseDumps(text);
    for (size_t i = 0; i < dumps.size(); ++i) {
        if (dumps[i].first != "CDB") {
            continue;
        }
        SentCommand command;
        command.cdb = dumps[i].second;
        if (i > 0 && dumps[i - 1].first == "INDATA") {
            command.data = dumps[i - 1].second;
        }
        commands.push_back(command);
    }
    return commands;
}

// Runs action with detail dumps on and standard output captured.
template <typename Action> Recording record(Action action)
{
    Recording r;
    {
        tavctltest::ScopedEnv debug("TAV_DEBUG", "DETAIL");
        tavctltest::StdoutCapture capture;
        action();
        r.out = capture.text();
    }
    r.commands = parseCommands(r.out);
    return r;
}

// A call on one drive or logical drive that must answer without sending a page.
struct QuietCase {
    const char *what;
    int (*call)(uint8_t contNo, uint8_t number);
    uint8_t number;
    int result;
    uint32_t word;
};

inline void expectQuiet(const std::vector<QuietCase> &cases)
{
    for (const QuietCase &c : cases) {
        int result = -1;
        Recording r = record([&] { result = c.call(0, c.number); });
        EXPECT_EQ(c.result, result) << c.what;
        EXPECT_EQ(c.word, DLLGetLastError()) << c.what;
        EXPECT_TRUE(r.modeSelects().empty()) << c.what;
    }
}

// A drive object of the simulator's configuration.
inline std::string drive(int slot, const std::string &extra = std::string())
{
    return R"({"slot": )" + std::to_string(slot) + R"(, "interface": "SAS")" + (extra.empty() ? "" : ", " + extra) +
           "}";
}

// A one-adapter server (host 2, ZN5121) from the JSON of its lists.
inline std::string server(const std::string &drives, const std::string &logicalDrives = "[]",
                          const std::string &extra = std::string())
{
    return R"({"adapters": [{"host": 2, "model": "ZN5121", "drives": )" + drives + R"(, "logical_drives": )" +
           logicalDrives + (extra.empty() ? "" : ", " + extra) + "}]}";
}

// Drives 0 .. count-1, all good.
inline std::string goodDrives(int count)
{
    std::string list = "[";
    for (int slot = 0; slot < count; ++slot) {
        list += (slot ? ", " : "") + drive(slot);
    }
    return list + "]";
}

}  // namespace configtest

#endif
