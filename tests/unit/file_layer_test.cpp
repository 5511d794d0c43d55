// The file layer on each kind of thing that can stand at a path: what a
// write-open, a read-open and a replacement do with it, and which stale
// temporaries are cleared.
#include <gtest/gtest.h>

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "tavbase/file.h"
#include "tavtest.h"

namespace {

class FileLayer : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tavbase-file.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        other = dir + "/other";
        tavtest::writeFile(other, "other\n");
    }
    void TearDown() override { tavtest::runCommand({"rm", "-rf", dir}); }
    std::string path(const char* name) const { return dir + "/" + name; }

    std::string dir, other;
};

// errno of a failed open, or 0 when it succeeded (the descriptor is closed).
int openErrno(int fd) {
    if (fd >= 0) {
        close(fd);
        return 0;
    }
    return errno;
}

TEST_F(FileLayer, EachKindOfPathOnWriteReadAndReplace) {
    struct Case {
        const char* what;
        int (*plant)(const std::string& at, const std::string& other);  // 0 when planted
        int write, read, replace;  // errno (0: done)
    } cases[] = {
        {"missing", [](const std::string&, const std::string&) { return 0; }, 0, ENOENT, 0},
        {"regular file", [](const std::string& at, const std::string&) {
             tavtest::writeFile(at, "x\n");
             return 0;
         }, 0, 0, 0},
        {"link", [](const std::string& at, const std::string& o) { return symlink(o.c_str(), at.c_str()); }, ELOOP, 0,
         ELOOP},
        {"dangling link", [](const std::string& at, const std::string&) { return symlink("/nonexistent/x", at.c_str()); },
         ELOOP, ENOENT, ELOOP},
        {"hard link", [](const std::string& at, const std::string& o) { return link(o.c_str(), at.c_str()); }, EINVAL, 0, 0},
        {"FIFO", [](const std::string& at, const std::string&) { return mkfifo(at.c_str(), 0600); }, ENXIO, EINVAL,
         EINVAL},
        {"directory", [](const std::string& at, const std::string&) { return mkdir(at.c_str(), 0755); }, EISDIR, EINVAL,
         EINVAL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string at = path(c.what);
        ASSERT_EQ(c.plant(at, other), 0);
        EXPECT_EQ(openErrno(tavbase::OpenFile(at.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644)), c.write);
        unlink(at.c_str());  // the write may have created it
        rmdir(at.c_str());
        ASSERT_EQ(c.plant(at, other), 0);
        EXPECT_EQ(openErrno(tavbase::OpenReadFile(at.c_str())), c.read);
        errno = 0;
        int replaced = tavbase::ReplaceFile(at.c_str(), "new\n", 4, 0644);
        EXPECT_EQ(replaced == tavbase::kReplaced ? 0 : errno, c.replace);
        if (replaced == tavbase::kReplaced) {
            EXPECT_EQ(tavtest::readFile(at), "new\n");
        }
        EXPECT_EQ(tavtest::readFile(other), "other\n");
        EXPECT_FALSE(tavtest::fileExists("/nonexistent/x"));
    }
    EXPECT_EQ(tavtest::runCommand({"sh", "-c", "ls -A '" + dir + "' | grep -c tmp"}).out, "0\n");
}

// A temporary file of a process that has ended goes; one of a running
// process, and a file merely named alike, stay.
TEST_F(FileLayer, OnlyTheTemporariesOfEndedProcessesAreRemoved) {
    pid_t ended = fork();
    ASSERT_GE(ended, 0);
    if (ended == 0) _exit(0);
    ASSERT_EQ(waitpid(ended, nullptr, 0), ended);
    const std::string dead = path("out.prom.tmp") + std::to_string(ended) + ".abcdef";
    const std::string live = path("out.prom.tmp") + std::to_string(getppid()) + ".abcdef";
    const std::string alike = path("out.prom.tmpfile");
    for (const auto& p : {dead, live, alike}) tavtest::writeFile(p, "part");
    int d = open(dir.c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(d, 0);
    tavbase::RemoveStaleTempsAt(d, "out.prom");
    close(d);
    EXPECT_FALSE(tavtest::fileExists(dead));
    EXPECT_TRUE(tavtest::fileExists(live));
    EXPECT_TRUE(tavtest::fileExists(alike));
}

}  // namespace
