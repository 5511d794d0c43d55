/* Parameter files: resolved and opened, read line by line with comments
 * ('/' first) and lines beginning with white space skipped, the rest counted
 * from 1. Every line is bounded: a longer one is reported, never split. */
#include <ctype.h>
#include <errno.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "TavPth.h"
#include "tavbase/file.h"

struct PthFile {
    FILE *stream;
    unsigned maxLine; /* characters of a line besides its line end */
    int counted;
    int error;
};

PthFile *PthFileOpen(const char *name, char *resolved, size_t resolvedSize, unsigned maxLine)
{
    char path[PATH_MAX];
    if (realpath(name, path) == nullptr) {
        TavPthErr0004(PTH_AT, "realpath", strerror(errno));
        TavPthErr0002(PTH_AT);
        return nullptr;
    }
    snprintf(resolved, resolvedSize, "%s", path);
    FILE *stream = tavbase::OpenReadStream(path);
    if (stream == nullptr) {
        TavPthErr0006(PTH_AT, errno);
        TavPthErr0002(PTH_AT);
        return nullptr;
    }
    PthFile *file = static_cast<PthFile *>(calloc(1, sizeof(PthFile)));
    if (file == nullptr) {
        fclose(stream);
        TavPthErr0007(PTH_AT, errno, "Failed in PassThrough");
        TavPthErr0002(PTH_AT);
        return nullptr;
    }
    file->stream = stream;
    file->maxLine = maxLine;
    PthSetSignalInput(fileno(stream));
    return file;
}

int PthFileNext(PthFile *file, char *line, size_t size)
{
    char buffer[PTH_PATH_SIZE];
    size_t capacity = file->maxLine + 1 < sizeof buffer ? file->maxLine + 1 : sizeof buffer;
    /* A full buffer without the line end is a line that fits only when its end follows. */
    while (fgets(buffer, static_cast<int>(capacity), file->stream) != nullptr) {
        size_t length = strlen(buffer);
        bool tooLong = false;
        if (length + 1 == capacity && buffer[length - 1] != '\n') {
            int c = fgetc(file->stream);
            tooLong = c != '\n' && c != EOF;
            while (c != EOF && c != '\n') {
                c = fgetc(file->stream);
            }
        }
        unsigned char first = static_cast<unsigned char>(buffer[0]);
        if (first == '/' || first == '\0' || isspace(first)) {
            continue;
        }
        ++file->counted;
        if (tooLong) {
            return -1;
        }
        PthCutLineEnd(buffer);
        snprintf(line, size, "%s", buffer);
        return 1;
    }
    file->error = ferror(file->stream);
    return 0;
}

int PthFileError(const PthFile *file)
{
    return file->error;
}
int PthFileLines(const PthFile *file)
{
    return file->counted;
}

void PthFileRewind(PthFile *file)
{
    rewind(file->stream);
    file->counted = 0;
    file->error = 0;
}

void PthFileClose(PthFile *file)
{
    if (file != nullptr) {
        PthSetSignalInput(-1);
        fclose(file->stream);
        free(file);
    }
}

int PthFileEnded(PthFile *file, int argno)
{
    if (argno < 0) {
        argno = file->counted;
    }
    PthSignalCheck();  // a read ended by a signal is the signal's ending, not a read error
    if (file->error) {
        TavPthErr0004(PTH_AT, "fgets", strerror(EIO));
    } else {
        TavPthErr0014(PTH_AT, argno);
    }
    TavPthErr0002(PTH_AT);
    return 0;
}

int PthFileField(PthFile *file, char *line, size_t size, const char *label, int argno)
{
    int got = PthFileNext(file, line, size);
    if (got < 0) {
        return PthIllegal(PTH_AT, label);
    }
    return got > 0 ? 1 : PthFileEnded(file, argno);
}
