/* Firmware update: the image file as checked, and the writing of its data
 * to the adapter. */
#ifndef TAVCLI_UPDATE_H
#define TAVCLI_UPDATE_H

#include <limits.h>
#include <sys/types.h>

#include "tavcli_prog.h"

#define CLI_FW_OUTER_HEADER 32
#define CLI_FW_IMAGE_HEADER 256
#define CLI_FW_PIECE 4096
#define CLI_FW_ATTEMPTS 4

/* Image header fields. */
#define CLI_FW_REVISION 8   /* general revision, 4 characters */
#define CLI_FW_DATE 12      /* century, year, month, day */
#define CLI_FW_AUTHOR 16    /* 16 characters */
#define CLI_FW_DATA_SIZE 48 /* big-endian */

/* The image of one update. The data are written through the descriptor the
 * checks read, so what reaches the adapter is the file that was checked,
 * even when its name is given to another file meanwhile. */
struct CliFwImage {
    char path[PATH_MAX]; /* resolved path */
    int fd;              /* -1: not open */
    int noHeaderCheck;   /* the file has no outer header */
    uint32_t dataSize;
    uint8_t header[CLI_FW_IMAGE_HEADER]; /* image header as read */
};

/* The checks of one update, each printing why it failed: the file exists
 * and is readable (its resolved path into image->path); the headers and
 * size of the open file; the adapter's revision and the operator's answer.
 * start_update runs them and the write for one adapter. */
int CheckAttribute(const char *file, CliFwImage *image);
int CheckImagefile(CliFwImage *image);
int isGoUpdate(int adapter, const CliFwImage *image, uint32_t flags);
int start_update(int adapter, const char *file, uint32_t flags, int moreFollow);

/* Reads exactly length bytes at offset of the checked file: 1, or 0. */
int CliFwReadAt(const CliFwImage *image, off_t offset, uint8_t *buffer, size_t length);

/* Writes the image's data to the adapter with the progress bar: 1 when
 * every piece was written. */
int WriteMain(int adapter, CliFwImage *image);
int WriteROMimg(int adapter, CliFwImage *image);

/* One WRITE BUFFER (download and save) of length bytes at offset, up to
 * four attempts: 1 written, 0 after the I/O device message. */
int WriteBuffer(int adapter, uint32_t offset, uint32_t length, const uint8_t *data);

#endif
