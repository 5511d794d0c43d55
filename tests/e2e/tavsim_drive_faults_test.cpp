// tavsim inject drive-...: faults armed in one drive's record, shown per drive,
// and the refusals of wrong arguments.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tavtest.h"

namespace {

using tavtest::RunResult;
using tavtest::SimServer;

nlohmann::json driveModel(const SimServer& server, int slot) {
    nlohmann::json shown = nlohmann::json::parse(server.show());
    for (const auto& d : shown["adapters"][0]["drives"])
        if (d["slot"] == slot) return d["drive_model"];
    return nullptr;
}

TEST(TavsimDriveFaults, ArmedFaultsShowInTheDrivesRecordAndClearTogether) {
    SimServer server;
    ASSERT_TRUE(server.ok()) << server.initOutput();
    EXPECT_EQ(server.inject({"drive-check-condition", "0", "2", "3", "0x11", "0", "4"}).status, 0);
    EXPECT_EQ(server.inject({"drive-busy", "0", "2", "2"}).status, 0);
    EXPECT_EQ(server.inject({"drive-hang", "0", "2"}).status, 0);
    EXPECT_EQ(server.inject({"drive-stop", "0", "5"}).status, 0);
    nlohmann::json m = driveModel(server, 2);
    EXPECT_EQ(m["check_condition"], (nlohmann::json{{"key", 3}, {"asc", 0x11}, {"ascq", 0}, {"remaining", 4}}));
    EXPECT_EQ(m["busy_remaining"], 2);
    EXPECT_EQ(m["hung"], true);
    EXPECT_EQ(driveModel(server, 5)["stopped"], true);
    EXPECT_EQ(driveModel(server, 0)["commands_received"], 0);
    EXPECT_EQ(server.inject({"drive-clear", "0", "2"}).status, 0);
    m = driveModel(server, 2);
    EXPECT_EQ(m["hung"], false);
    EXPECT_EQ(m["busy_remaining"], 0);
    EXPECT_EQ(m["check_condition"]["remaining"], 0);
}

TEST(TavsimDriveFaults, WrongArgumentsAreRefused) {
    SimServer server;
    ASSERT_TRUE(server.ok()) << server.initOutput();
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* message;
    };
    const std::vector<Case> cases = {
        {{"drive-busy", "0"}, 2, "usage"},
        {{"drive-hang", "0", "2", "5"}, 2, "usage"},
        {{"drive-check-condition", "0", "2", "3", "0x11"}, 2, "usage"},
        {{"drive-check-condition", "0", "2", "3", "0x111", "0"}, 2, "bad value 0x111"},
        {{"drive-busy", "0", "2", "0"}, 2, "bad count 0"},
        {{"drive-busy", "1", "2"}, 2, "no adapter 1"},
        {{"drive-busy", "0", "12"}, 2, "no slot 12"},
        {{"drive-busy", "0", "9"}, 1, "no drive in slot 9"},
        {{"drive-melt", "0", "2"}, 2, "unknown fault drive-melt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.message);
        RunResult r = server.inject(c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
    EXPECT_EQ(driveModel(server, 2)["busy_remaining"], 0) << "nothing armed by a refusal";
}

nlohmann::json driveHealth(const SimServer& server, int slot) {
    nlohmann::json shown = nlohmann::json::parse(server.show());
    for (const auto& d : shown["adapters"][0]["drives"])
        if (d["slot"] == slot) return d["health"];
    return nullptr;
}

// The health a drive reports: configured, changed by the faults, and the
// refusals of wrong values (nothing changes then).
TEST(TavsimDriveFaults, HealthComesFromTheConfigurationAndTheFaults) {
    SimServer server(R"({"adapters":[{"host":2,"model":"ZN5121","drives":[
        {"slot":0,"interface":"SAS","temperature":44,"uncorrected_read_errors":2},
        {"slot":1,"interface":"SATA","predict_failure":true,"pending_sectors":5,"log_all_pages":false}]}]})");
    ASSERT_TRUE(server.ok()) << server.initOutput();
    EXPECT_EQ(driveHealth(server, 0), (nlohmann::json{{"temperature", 44},
                                                      {"temperature_max", 45},
                                                      {"temperature_reference", 70},
                                                      {"predict_failure", false},
                                                      {"uncorrected_read_errors", 2},
                                                      {"uncorrected_write_errors", 0},
                                                      {"reallocated_sectors", 0},
                                                      {"pending_sectors", 0},
                                                      {"offline_uncorrectable", 0},
                                                      {"log_all_pages", true}}));
    EXPECT_EQ(driveHealth(server, 1)["predict_failure"], true);
    EXPECT_EQ(driveHealth(server, 1)["log_all_pages"], false);
    EXPECT_EQ(driveHealth(server, 1)["pending_sectors"], 5);

    EXPECT_EQ(server.inject({"drive-temperature", "0", "0", "60"}).status, 0);
    EXPECT_EQ(driveHealth(server, 0)["temperature_max"], 60) << "the highest seen follows a hotter drive";
    EXPECT_EQ(server.inject({"drive-temperature", "0", "0", "30", "61"}).status, 0);
    EXPECT_EQ(driveHealth(server, 0)["temperature"], 30);
    EXPECT_EQ(driveHealth(server, 0)["temperature_max"], 61);
    EXPECT_EQ(server.inject({"predict-failure", "0", "0"}).status, 0);
    EXPECT_EQ(server.inject({"predict-failure", "0", "1", "off"}).status, 0);
    EXPECT_EQ(driveHealth(server, 0)["predict_failure"], true);
    EXPECT_EQ(driveHealth(server, 1)["predict_failure"], false);
    EXPECT_EQ(server.inject({"drive-errors", "0", "0", "7", "0x10"}).status, 0);
    EXPECT_EQ(server.inject({"drive-sectors", "0", "1", "1", "2", "3"}).status, 0);
    nlohmann::json sas = driveHealth(server, 0), sata = driveHealth(server, 1);
    EXPECT_EQ(sas["uncorrected_read_errors"], 7);
    EXPECT_EQ(sas["uncorrected_write_errors"], 16);
    EXPECT_EQ(sata["reallocated_sectors"], 1);
    EXPECT_EQ(sata["pending_sectors"], 2);
    EXPECT_EQ(sata["offline_uncorrectable"], 3);

    struct Case {
        std::vector<std::string> args;
        int status;
        const char* message;
    };
    const std::vector<Case> cases = {
        {{"drive-temperature", "0", "0"}, 2, "usage"},
        {{"drive-temperature", "0", "0", "256"}, 2, "bad value 256"},
        {{"predict-failure", "0", "0", "on"}, 2, "bad value on"},
        {{"predict-failure", "0", "0", "1"}, 2, "usage"},
        {{"drive-errors", "0", "0", "1"}, 2, "usage"},
        {{"drive-sectors", "0", "1", "1", "2", "x"}, 2, "bad value x"},
        {{"drive-errors", "0", "5", "1", "1"}, 1, "no drive in slot 5"},
        {{"drive-errors", "2", "0", "1", "1"}, 2, "no adapter 2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.message);
        RunResult r = server.inject(c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
    EXPECT_EQ(driveHealth(server, 0), sas) << "nothing changed by a refusal";
    EXPECT_EQ(driveHealth(server, 1), sata);
}

}  // namespace
