// A simulated server opened by the control library, for the tests of the
// adapter, logical-drive and physical-drive information.
#ifndef INFO_FIXTURE_H
#define INFO_FIXTURE_H

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <stdint.h>
#include <string.h>

#include <string>
#include <vector>

#include "tavctl.h"
#include "tavtest.h"

namespace infotest {

using nlohmann::json;

// The bytes of a record, for checks at the record's documented positions.
template <typename Record> std::vector<uint8_t> bytesOf(const Record &record)
{
    const uint8_t *p = reinterpret_cast<const uint8_t *>(&record);
    return std::vector<uint8_t>(p, p + sizeof record);
}

inline uint16_t hostU16(const std::vector<uint8_t> &b, size_t at)
{
    uint16_t v;
    memcpy(&v, b.data() + at, sizeof v);
    return v;
}

inline uint32_t hostU32(const std::vector<uint8_t> &b, size_t at)
{
    uint32_t v;
    memcpy(&v, b.data() + at, sizeof v);
    return v;
}

inline uint64_t hostU64(const std::vector<uint8_t> &b, size_t at)
{
    uint64_t v;
    memcpy(&v, b.data() + at, sizeof v);
    return v;
}

inline std::string textAt(const std::vector<uint8_t> &b, size_t at, size_t width)
{
    return std::string(reinterpret_cast<const char *>(b.data() + at), width);
}

// Every byte of [from, to) is zero.
inline ::testing::AssertionResult zeroBetween(const std::vector<uint8_t> &b, size_t from, size_t to)
{
    for (size_t i = from; i < to; ++i) {
        if (b[i] != 0) {
            return ::testing::AssertionFailure() << "byte " << i << " is " << int(b[i]);
        }
    }
    return ::testing::AssertionSuccess();
}

// A fixed-width text field as the adapter pads it (zeros after the text).
inline std::string padded(const std::string &text, size_t width, char pad = '\0')
{
    std::string s = text.substr(0, width);
    s.resize(width, pad);
    return s;
}

// The library opened (shared) on a simulated server built from a configuration.
class OpenServer {
public:
    explicit OpenServer(const std::string &config) : server(config) {}
    ~OpenServer()
    {
        if (opened) {
            finContData();
        }
    }

    ::testing::AssertionResult open()
    {
        if (!server.ok()) {
            return ::testing::AssertionFailure() << server.initOutput();
        }
        server.activate();
        opened = initContData(0) == 1;
        return opened ? ::testing::AssertionSuccess() : ::testing::AssertionFailure() << "initContData";
    }

    json adapter(int controller = 0) const { return json::parse(server.show())["adapters"][controller]; }
    uint64_t commands(int controller = 0) const { return adapter(controller)["commands"].get<uint64_t>(); }

    // Arms a fault; ASSERT-style through the return value.
    ::testing::AssertionResult inject(const std::vector<std::string> &fault) const
    {
        tavtest::RunResult r = server.inject(fault);
        if (r.status != 0) {
            return ::testing::AssertionFailure() << r.out << r.err;
        }
        return ::testing::AssertionSuccess();
    }

    tavtest::SimServer server;
    bool opened = false;
};

// One fault that fails the next adapter command with a check condition.
inline std::vector<std::string> failNextCommand()
{
    return {"check-condition", "5", "0x24", "0", "1"};
}

}  // namespace infotest

#endif
