#include "fuzz_support.h"

#include <fcntl.h>
#include <ftw.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int RemoveEntry(const char *path, const struct stat *, int, struct FTW *)
{
    return remove(path);
}

void RemoveRoot()
{
    nftw(FuzzRoot().c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}

void MakeParents(const std::string &path)
{
    for (size_t at = path.find('/', 1); at != std::string::npos; at = path.find('/', at + 1)) {
        mkdir(path.substr(0, at).c_str(), 0755);
    }
}

}  // namespace

const std::string &FuzzRoot()
{
    static std::string root;
    if (root.empty()) {
        // Below TAV_FUZZ_TMP when given (a crashing run leaves its root there),
        // else in memory where the machine has it: the writers flush every file.
        const char *parent = getenv("TAV_FUZZ_TMP");
        char name[4096];
        snprintf(name, sizeof name, "%s/tavfuzz.XXXXXX", parent != nullptr ? parent : "/dev/shm");
        if (mkdtemp(name) == nullptr) {
            snprintf(name, sizeof name, "/tmp/tavfuzz.XXXXXX");
            if (mkdtemp(name) == nullptr) {
                perror("mkdtemp");
                abort();
            }
        }
        root = name;
        setenv("TAV_ROOT", name, 1);
        atexit(RemoveRoot);
    }
    return root;
}

std::string FuzzWriteFile(const char *fixedPath, const uint8_t *data, size_t size)
{
    std::string path = FuzzRoot() + fixedPath;
    MakeParents(path);
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return std::string();
    }
    size_t done = 0;
    while (done < size) {
        ssize_t wrote = write(fd, data + done, size - done);
        if (wrote <= 0) {
            break;
        }
        done += static_cast<size_t>(wrote);
    }
    close(fd);
    return done == size ? path : std::string();
}

void FuzzRemoveFile(const char *fixedPath)
{
    unlink((FuzzRoot() + fixedPath).c_str());
}

std::vector<std::string> FuzzSplitWords(const uint8_t *data, size_t size, size_t maxWords)
{
    std::vector<std::string> words(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == '\0' || data[i] == '\n') {
            if (words.size() == maxWords) {
                break;
            }
            words.emplace_back();
        } else {
            words.back().push_back(static_cast<char>(data[i]));
        }
    }
    return words;
}

std::vector<std::string> FuzzSplitParts(const uint8_t *data, size_t size, size_t maxParts)
{
    std::vector<std::string> parts(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == '\0' && parts.size() < maxParts) {
            parts.emplace_back();
        } else {
            parts.back().push_back(static_cast<char>(data[i]));
        }
    }
    return parts;
}

std::vector<char *> FuzzArgv(std::vector<std::string> &words)
{
    std::vector<char *> argv;
    for (std::string &word : words) {
        argv.push_back(&word[0]);
    }
    argv.push_back(nullptr);
    return argv;
}

// Every target makes its scratch root before the first input.
extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzRoot();
    return 0;
}
