// The monitoring service starts the real tavlog after an event of interest:
// the firmware trace lands in the automatic directory, which tavlog makes.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "tavlog_fixture.h"
#include "tavservice_fixture.h"

namespace {

using namespace svctest;

TEST(TavlogFromService, EventOfInterestCollectsTheFirmwareTrace) {
    SimServer server;
    ASSERT_TRUE(server.ok()) << server.initOutput();
    writeConf(server, "tavlog.conf", "DumpDir : " + server.path("/dumps") + "\nPtime : 1\nMaxAreaSizeForClog: 2\n");
    writeConf(server, "eventid.conf", "0 : 4096\n");
    ASSERT_EQ(server.inject({"event", "0", "2", "0x8002", "0", "320=h:1", "322=1", "324=0x20"}).status, 0);
    Service service(server, {"-d", "-t", "1"});
    ASSERT_TRUE(logged(server, "tavutil: F/W Trace Log Get complete Success. EventID: 04681.")) << syslogOf(server);
    const std::string dir = server.path("/opt/morvane/tavutility/log");
    auto traces = tavlogtest::filesMatching(dir, "[0-9]{14}_TAV_0_FWTrcLog");
    ASSERT_EQ(traces.size(), 1u);
    EXPECT_TRUE(tavtest::readFile(dir + "/" + traces[0]) == tavlogtest::windowBytes(0, 0x1700000, 131072));
    struct stat st;
    ASSERT_EQ(stat(dir.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0755u);
}

}  // namespace
