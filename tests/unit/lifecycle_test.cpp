// Start-up and termination: discovery from the driver's /proc files, the
// exclusive lock file, controller number checks.
#include <errno.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tavctl.h"
#include "tavctl_internal.h"
#include "tavctl_testutil.h"
#include "tavtest.h"

using tavctltest::ScratchRoot;
using tavtest::fileExists;
using tavtest::readFile;
using tavtest::writeFile;

namespace {

std::string procFile(const std::string &pci, const std::string &model, const std::string &version)
{
    std::string text = "Morvane RAID adapter driver\n"
                       "  tav card no : 0\n"
                       "  host no     : 9\n"
                       "  pci bus/slot: " +
                       pci +
                       "\n"
                       "  card type   : " +
                       model +
                       " rev A\n"
                       "  max channel : 1\n";
    if (!version.empty()) {
        text += "  driver version: " + version + "\n";
    }
    return text + "Statistics\n 0: 0 0 0 0\n";
}

class Discovery : public ::testing::Test {
protected:
    void SetUp() override
    {
        scratch.makeDirs("/proc/scsi/tavdrv");
        initDLLError();
        registerDLLError();
        for (ControllerEntry &entry : Controller) {
            entry.present = 255;
        }
    }
    void addHost(const std::string &name, const std::string &text) const
    {
        writeFile(scratch.path("/proc/scsi/tavdrv/" + name), text);
    }
    ScratchRoot scratch;
};

TEST_F(Discovery, AdaptersAreNumberedInByteOrderOfTheirHostNames)
{
    addHost("2", procFile("5/12", "ZN5120", "1.2.3.9"));
    addHost("10", procFile("3/0", "ZN5121", "1.2.4.54"));
    ASSERT_EQ(AT_FindAdapter(), 1);
    ASSERT_EQ(_AdapterNum, 2);
    EXPECT_EQ(_AdapterHandle[0].hostNumber, 10);
    EXPECT_EQ(_AdapterHandle[0].pciAddress, 0x0300);
    EXPECT_EQ(_AdapterHandle[0].cardType, 16);
    const uint16_t version0[4] = {1, 2, 4, 54};
    EXPECT_EQ(0, memcmp(_AdapterHandle[0].driverVersion, version0, sizeof version0));
    EXPECT_EQ(_AdapterHandle[1].hostNumber, 2);
    EXPECT_EQ(_AdapterHandle[1].pciAddress, 0x0560);
    EXPECT_EQ(_AdapterHandle[1].cardType, 7);
    uint8_t bus = 0, device = 0;
    TavDllGetSlotInfo(1, &bus, &device);
    EXPECT_EQ(bus, 5);
    EXPECT_EQ(device, 12);
    EXPECT_EQ(Controller[0].present, 0);
    EXPECT_EQ(Controller[1].present, 0);
    EXPECT_EQ(Controller[2].present, 255);
}

TEST_F(Discovery, IncompleteFilesAreSkippedWithoutAGap)
{
    addHost("1", procFile("1/0", "ZN5121", "1.2.4.54"));
    addHost("2", procFile("2/0", "ZN5121", ""));  // no driver version line
    addHost(".hidden", procFile("9/0", "ZN5121", "1.2.4.54"));
    addHost("3", procFile("3/0", "ZN5121", "1.2.4.54"));
    ASSERT_EQ(AT_FindAdapter(), 1);
    ASSERT_EQ(_AdapterNum, 2);
    EXPECT_EQ(_AdapterHandle[0].hostNumber, 1);
    EXPECT_EQ(_AdapterHandle[1].hostNumber, 3);
}

TEST_F(Discovery, AFifthCompleteFileIsIgnored)
{
    for (int host = 1; host <= 5; ++host) {
        addHost(std::to_string(host), procFile(std::to_string(host) + "/0", "ZN5121", "1.2.4.54"));
    }
    ASSERT_EQ(AT_FindAdapter(), 1);
    ASSERT_EQ(_AdapterNum, 4);
    EXPECT_EQ(_AdapterHandle[3].hostNumber, 4);
}

TEST_F(Discovery, AnUnknownModelOrUnparsableLineDiscardsEveryAdapter)
{
    const char *broken[] = {"ZN9999", "pci"};
    for (const char *fault : broken) {
        addHost("1", procFile("1/0", "ZN5121", "1.2.4.54"));
        if (std::string(fault) == "pci") {
            addHost("2", procFile("7", "ZN5121", "1.2.4.54"));  // no "/"
        } else {
            addHost("2", procFile("2/0", fault, "1.2.4.54"));
        }
        addHost("3", procFile("3/0", "ZN5121", "1.2.4.54"));
        EXPECT_EQ(AT_FindAdapter(), 0) << fault;
        EXPECT_EQ(_AdapterNum, 0) << fault;
        EXPECT_EQ(Controller[0].present, 255) << "an adapter stays usable after " << fault;
    }
}

TEST_F(Discovery, AMissingDirectoryIsASystemError)
{
    ScratchRoot empty;
    EXPECT_EQ(AT_FindAdapter(), 0);
    EXPECT_EQ(DLLGetLastError(), 0x200u);
}

// The start-up keeps the error that kept it from the driver: the device, then
// the /proc directory; none once both could be read, with or without adapters.
TEST(StartUp, KeepsWhyTheDriverCouldNotBeReached)
{
    {
        ScratchRoot empty;
        ASSERT_EQ(initContData(0), 1);
        EXPECT_EQ(ContCnt, 0);
        EXPECT_EQ(getDiscoveryErrno(), ENOENT) << "no device node";
        finContData();
    }
    tavtest::SimServer server;
    ASSERT_TRUE(server.ok()) << server.initOutput();
    server.activate();
    ASSERT_EQ(initContData(0), 1);
    EXPECT_EQ(ContCnt, 1);
    EXPECT_EQ(getDiscoveryErrno(), 0);
    finContData();
    ASSERT_EQ(std::remove(server.path("/proc/scsi/tavdrv/2").c_str()), 0);
    ASSERT_EQ(initContData(0), 1);
    EXPECT_EQ(ContCnt, 0);
    EXPECT_EQ(getDiscoveryErrno(), 0) << "an empty directory is a server without adapters";
    finContData();
    ASSERT_EQ(rmdir(server.path("/proc/scsi/tavdrv").c_str()), 0);
    ASSERT_EQ(initContData(0), 1);
    EXPECT_EQ(getDiscoveryErrno(), ENOENT) << "no /proc directory";
    finContData();
}

TEST_F(Discovery, ControllerNumbersAreCheckedAndReportedInTheCallersName)
{
    std::string log = scratch.path("/check.log");
    ASSERT_EQ(initLog(log.c_str(), 2000000), 1);  // before discovery: it resets the tables
    addHost("2", procFile("3/0", "ZN5121", "1.2.4.54"));
    ASSERT_EQ(AT_FindAdapter(), 1);
    struct Case {
        int contNo;
        int result;
        uint32_t error;
        const char *name;
    };
    const Case cases[] = {{0, 1, 0, nullptr},
                          {1, 0, 0x10010, "DLL_ARG_ERROR_NO_SUCH_CONTROLLER"},
                          {4, 0, 0x20010, "DLL_ARG_ERROR_CONTNO"},
                          {-1, 0, 0x20010, "DLL_ARG_ERROR_CONTNO"}};
    for (const Case &c : cases) {
        DLLSetErrorCode(0);
        EXPECT_EQ(checkCONTno(c.contNo, "getContInfo", "raidctl", 321), c.result) << c.contNo;
        EXPECT_EQ(DLLGetLastError(), c.error) << c.contNo;
        if (c.name != nullptr) {
            std::string text = readFile(log);
            char errorLine[96];
            snprintf(errorLine, sizeof errorLine, "raidctl(321) ERROR:DLLFUNC getContInfo() DllErrCode=0x%08x",
                     c.error);
            size_t at = text.rfind(errorLine);
            ASSERT_NE(at, std::string::npos) << c.contNo;
            EXPECT_NE(text.find(std::string("raidctl(321) ERROR:PARAM ") + c.name, at), std::string::npos);
        }
    }
    finContData();
}

class ExclusiveLock : public ::testing::Test {
protected:
    void SetUp() override
    {
        scratch.makeDirs("/var/run");
        scratch.makeDirs("/proc/scsi/tavdrv");
        lockPath = scratch.path("/var/run/libtavctl.pid");
    }
    void TearDown() override { finContData(); }

    bool lockIsHeld() const { return tavctltest::lockIsHeld(lockPath); }

    // Runs fn in a child process that ends through exit(), so the library's
    // exit handler runs there too; returns the child's exit status.
    template <typename Fn> int inChild(Fn fn) const
    {
        pid_t child = fork();
        if (child == 0) {
            exit(fn());
        }
        int status = 0;
        waitpid(child, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    ScratchRoot scratch;
    std::string lockPath;
};

TEST_F(ExclusiveLock, ASecondExclusiveUserIsRefusedAndLeavesTheFirstOnesFile)
{
    ASSERT_EQ(initContData(1), 1);
    ASSERT_TRUE(fileExists(lockPath));
    struct stat info;
    ASSERT_EQ(stat(lockPath.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    // Another process: refused with 0x4000 (and its exit handler runs).
    int status = inChild([] {
        if (initContData(1) != 0) {
            return 1;
        }
        return DLLGetLastError() == 0x4000u ? 0 : 2;
    });
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(fileExists(lockPath)) << "the refused process removed the holder's lock file";
    EXPECT_TRUE(lockIsHeld());

    // A forked child of the holder that exits does not release or remove it.
    EXPECT_EQ(inChild([] { return 0; }), 0);
    EXPECT_TRUE(fileExists(lockPath));
    EXPECT_TRUE(lockIsHeld());

    ASSERT_EQ(finContData(), 1);
    EXPECT_FALSE(fileExists(lockPath));
    EXPECT_EQ(inChild([] { return initContData(1) == 1 && finContData() == 1 ? 0 : 1; }), 0);
}

TEST_F(ExclusiveLock, ALeftOverLockFileIsUsedButNotRemoved)
{
    writeFile(lockPath, "");
    ASSERT_EQ(initContData(1), 1);
    EXPECT_TRUE(lockIsHeld());
    ASSERT_EQ(finContData(), 1);
    EXPECT_TRUE(fileExists(lockPath));
    EXPECT_FALSE(lockIsHeld());
}

// A symbolic link at the lock file's path is not followed: the start-up
// fails as an open failure and the link's target keeps its mode.
TEST_F(ExclusiveLock, ALinkAtTheLockPathIsNotFollowed)
{
    std::string target = scratch.path("/var/run/target");
    writeFile(target, "keep\n");
    ASSERT_EQ(chmod(target.c_str(), 0644), 0);
    ASSERT_EQ(symlink(target.c_str(), lockPath.c_str()), 0);
    EXPECT_EQ(initContData(1), 0);
    EXPECT_EQ(DLLGetLastError(), 0x200u);
    struct stat info;
    ASSERT_EQ(stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0644u);
    EXPECT_EQ(readFile(target), "keep\n");
}

TEST_F(ExclusiveLock, SharedUseTakesNoLock)
{
    ASSERT_EQ(initContData(0), 1);
    EXPECT_EQ(initContData_done, 1);
    EXPECT_FALSE(fileExists(lockPath));
    ASSERT_EQ(finContData(), 1);
    EXPECT_EQ(initContData_done, 0);
}

TEST_F(ExclusiveLock, AMissingLockDirectoryFailsAsASystemError)
{
    ScratchRoot bare;
    EXPECT_EQ(initContData(1), 0);
    EXPECT_EQ(DLLGetLastError(), 0x200u);
}

}  // namespace
