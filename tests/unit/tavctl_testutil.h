// Helpers of the control library's unit tests: a scratch TAV_ROOT for tests
// that need no simulated adapter, and standard output capture.
#ifndef TAVCTL_TESTUTIL_H
#define TAVCTL_TESTUTIL_H

#include <fcntl.h>
#include <ftw.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <stdexcept>
#include <string>

#include "tavtest.h"

namespace tavctltest {

// A fresh directory used as TAV_ROOT while the object lives.
class ScratchRoot {
public:
    ScratchRoot()
    {
        char pattern[] = "/tmp/tavctl-unit.XXXXXX";
        if (mkdtemp(pattern) == nullptr) {
            throw std::runtime_error("mkdtemp failed");
        }
        root_ = pattern;
        setenv("TAV_ROOT", root_.c_str(), 1);
    }
    ~ScratchRoot()
    {
        unsetenv("TAV_ROOT");
        nftw(root_.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
    }
    ScratchRoot(const ScratchRoot &) = delete;
    ScratchRoot &operator=(const ScratchRoot &) = delete;

    const std::string &root() const { return root_; }
    std::string path(const std::string &rel) const { return root_ + rel; }

    // Creates the directories of rel below the root ("/var/run").
    void makeDirs(const std::string &rel) const
    {
        std::string current = root_;
        size_t start = 1;
        while (start <= rel.size()) {
            size_t slash = rel.find('/', start);
            current = root_ + rel.substr(0, slash);
            mkdir(current.c_str(), 0755);
            if (slash == std::string::npos) {
                break;
            }
            start = slash + 1;
        }
    }

private:
    static int removeEntry(const char *path, const struct stat *, int, struct FTW *) { return remove(path); }
    std::string root_;
};

// Collects what the library prints on standard output between construction
// and text().
class StdoutCapture {
public:
    StdoutCapture()
    {
        fflush(stdout);
        char pattern[] = "/tmp/tavctl-stdout.XXXXXX";
        fd_ = mkstemp(pattern);
        unlink(pattern);
        saved_ = dup(STDOUT_FILENO);
        dup2(fd_, STDOUT_FILENO);
    }
    ~StdoutCapture()
    {
        restore();
        close(fd_);
    }
    StdoutCapture(const StdoutCapture &) = delete;
    StdoutCapture &operator=(const StdoutCapture &) = delete;

    std::string text()
    {
        restore();
        std::string out;
        char buffer[4096];
        ssize_t got;
        lseek(fd_, 0, SEEK_SET);
        while ((got = read(fd_, buffer, sizeof buffer)) > 0) {
            out.append(buffer, static_cast<size_t>(got));
        }
        return out;
    }

private:
    void restore()
    {
        if (saved_ >= 0) {
            fflush(stdout);
            dup2(saved_, STDOUT_FILENO);
            close(saved_);
            saved_ = -1;
        }
    }
    int fd_ = -1;
    int saved_ = -1;
};

// Sets or clears an environment variable for one scope.
class ScopedEnv {
public:
    ScopedEnv(const char *name, const char *value) : name_(name)
    {
        const char *old = getenv(name);
        hadOld_ = old != nullptr;
        if (hadOld_) {
            old_ = old;
        }
        if (value != nullptr) {
            setenv(name, value, 1);
        } else {
            unsetenv(name);
        }
    }
    ~ScopedEnv()
    {
        if (hadOld_) {
            setenv(name_.c_str(), old_.c_str(), 1);
        } else {
            unsetenv(name_.c_str());
        }
    }
    ScopedEnv(const ScopedEnv &) = delete;
    ScopedEnv &operator=(const ScopedEnv &) = delete;

private:
    std::string name_;
    std::string old_;
    bool hadOld_ = false;
};

// Whether some process holds the flock of the file at path.
inline bool lockIsHeld(const std::string &path)
{
    int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0) {
        return false;
    }
    bool held = flock(fd, LOCK_EX | LOCK_NB) != 0;
    close(fd);
    return held;
}

// The 201-byte line number index (from 0) of a trace log text.
inline std::string logLine(const std::string &log, size_t index)
{
    return index * 201 < log.size() ? log.substr(index * 201, 201) : std::string();
}

}  // namespace tavctltest

#endif
