/* The tool's hex printer, on standard output and into mode-page files. Rows
 * are the suite's dump lines (TavDllFormatDumpLine). */
#include <errno.h>
#include <fcntl.h>
#include <unistd.h>
#include <stdio.h>
#include <string.h>

#include "TavPth.h"
#include "tavbase/file.h"

namespace {

/* Writes the rows of `data` numbered from `firstRow`, each ended by `lineEnd`;
 * yields the number of rows. */
int writeRows(FILE *out, const uint8_t *data, int length, int firstRow, const char *lineEnd)
{
    char row[TAV_DUMP_LINE_SIZE];
    int rows = 0;
    for (int offset = 0; offset < length; offset += TAV_DUMP_BYTES_PER_LINE, ++rows) {
        unsigned count = static_cast<unsigned>(length - offset);
        unsigned address = static_cast<unsigned>(firstRow + rows) * TAV_DUMP_BYTES_PER_LINE;
        TavDllFormatDumpLine(row, sizeof row, address, data + offset, count);
        fprintf(out, "%s%s", row, lineEnd);
    }
    return rows;
}

}  // namespace

int TavPasPrintData(const char *title, const uint8_t *data, int length, int firstRow, int total)
{
    if (firstRow == 0) {
        printf("[%s] Size=%d\n", title, total);
    }
    if (length <= 0 || data == nullptr) {
        printf("\n");
        fflush(stdout);
        return 0;
    }
    if (firstRow == 0) {
        printf("%s\n", TAV_DUMP_SEPARATOR);
    }
    int rows = writeRows(stdout, data, length, firstRow, "\n");
    fflush(stdout);
    if (strcmp(title, "CDB") == 0) {
        dumpLog("TavPthDmp", __LINE__, "## CDB", data, static_cast<unsigned>(length));
    }
    return firstRow + rows;
}

int FileWriteModePage(const char *fileName, const uint8_t *data, int length)
{
    // Appended to, but never through a link, a second hard link or a FIFO.
    int fd = tavbase::OpenFile(fileName, O_WRONLY | O_APPEND | O_CREAT, 0644);
    FILE *file = fd < 0 ? nullptr : fdopen(fd, "a");
    if (file == nullptr) {
        int err = errno;
        if (fd >= 0) {
            close(fd);
        }
        TavPthErr0011(PTH_AT, err);
        TavPthErr0002(PTH_AT);
        return 0;
    }
    fprintf(file, "[Get HDD Mode Page] Size=%d\r\n%s\r\n", length, TAV_DUMP_SEPARATOR);
    writeRows(file, data, length, 0, "\r\n");
    fputs("\r\n", file);
    int failed = ferror(file);
    int err = errno;
    if (fclose(file) != 0 || failed) {
        TavPthErr0004(PTH_AT, "fwrite", strerror(err));
        TavPthErr0002(PTH_AT);
        return 0;
    }
    return 1;
}
