/* Writing a firmware image to the adapter: WRITE BUFFER (download and save)
 * in 4,096-byte pieces with the progress bar. */
#include <errno.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include "tavcli_update.h"

#define BAR_LINES_UP 2 /* the bar row and a line end above the cursor */

int WriteBuffer(int adapter, uint32_t offset, uint32_t length, const uint8_t *data)
{
    CLI_TRACE_ENTRY(MOD_WRITE);
    for (int attempt = 0; attempt < CLI_FW_ATTEMPTS; ++attempt) {
        SDllLinuxCmd cmd;
        Linux_InitCMD(&cmd, 0, (uint8_t *)data, (int)length, 0);
        const uint8_t cdb[10] = {0x3B,
                                 0x05,
                                 0x01,
                                 (uint8_t)(offset >> 16),
                                 (uint8_t)(offset >> 8),
                                 (uint8_t)offset,
                                 (uint8_t)(length >> 16),
                                 (uint8_t)(length >> 8),
                                 (uint8_t)length,
                                 0x00};
        memcpy(cmd.cdb, cdb, sizeof cdb);
        cmd.cdbLength = sizeof cdb;
        uint8_t *detail = NULL;
        if (Linux_CmdExe((uint16_t)adapter, &cmd, &detail) == CMDEXE_OK) {
            return 1;
        }
    }
    CliLogging(CLI_LOG_TRACE, MOD_WRITE, __LINE__, "Fatal error - Adapter %d: It is abnormal in the I/O device.",
               adapter);
    return 0;
}

int CliFwReadAt(const CliFwImage *image, off_t offset, uint8_t *buffer, size_t length)
{
    size_t done = 0;
    while (done < length) {
        ssize_t got = pread(image->fd, buffer + done, length - done, offset + (off_t)done);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return 0;
        }
        done += (size_t)got;
    }
    return 1;
}

static int ReadPiece(const CliFwImage *image, off_t offset, uint8_t *buffer, size_t length)
{
    if (!CliFwReadAt(image, offset, buffer, length)) {
        CliLogging(CLI_LOG_TRACE, MOD_WRITE, __LINE__, "Fatal error - %s: file read failure.", image->path);
        return 0;
    }
    return 1;
}

/* Every piece in order, the bar advanced after each: 1 when all went. */
static int SendPieces(int adapter, const CliFwImage *image)
{
    uint32_t pieces = image->dataSize / CLI_FW_PIECE + (image->dataSize % CLI_FW_PIECE != 0);
    off_t start = CLI_FW_IMAGE_HEADER + (image->noHeaderCheck ? 0 : CLI_FW_OUTER_HEADER);
    CliBar bar;
    CliBarInit(&bar, 0);
    for (uint32_t i = 0; i < pieces; ++i) {
        uint8_t piece[CLI_FW_PIECE];
        uint32_t offset = i * CLI_FW_PIECE;
        uint32_t length = image->dataSize - offset < CLI_FW_PIECE ? image->dataSize - offset : CLI_FW_PIECE;
        if (!ReadPiece(image, start + (off_t)offset, piece, length) || !WriteBuffer(adapter, offset, length, piece)) {
            return 0;
        }
        CliBarDrawTo(&bar, (int)((uint64_t)(i + 1) * 100 / pieces), BAR_LINES_UP, NULL, NULL);
    }
    return 1;
}

int WriteROMimg(int adapter, CliFwImage *image)
{
    CLI_TRACE_ENTRY(MOD_WRITE);
    struct sigaction ignore = {};
    struct sigaction previous;
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGTSTP, &ignore, &previous);
    struct termios found;
    int terminal = tcgetattr(STDIN_FILENO, &found) == 0;
    if (terminal) {
        struct termios quiet = found;
        quiet.c_lflag &= ~(tcflag_t)ECHO;
        tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
    }
    CliLogging(CLI_LOG_STDOUT, MOD_WRITE, __LINE__,
               "Firmware Update progress of...\n\n Adapter #                     Percent Complete");
    CliLogging(CLI_LOG_STDOUT, MOD_WRITE, __LINE__,
               "        %2d         -----------------------00 %s-----------------------\r", adapter, "%%");
    fputs("\n", stdout);
    int written = SendPieces(adapter, image);
    fflush(stdout);
    if (terminal) {
        tcsetattr(STDIN_FILENO, TCSANOW, &found);
    }
    sigaction(SIGTSTP, &previous, NULL);
    return written;
}

int WriteMain(int adapter, CliFwImage *image)
{
    CLI_TRACE_ENTRY(MOD_WRITE);
    return WriteROMimg(adapter, image);
}
