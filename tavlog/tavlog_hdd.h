/* Drive requests of the drive-log collectors. */
#ifndef TAVLOG_HDD_H
#define TAVLOG_HDD_H

#include "tavlog.h"

/* Request kinds: indexes into the wrapped-command table. */
#define HDD_REQ_TEST_UNIT_READY 0
#define HDD_REQ_START_STOP 1
#define HDD_REQ_INQUIRY 2
#define HDD_REQ_LOG_SENSE 3
#define HDD_REQ_INTERNAL_LOG 4

struct HddRequest {
    uint8_t kind;
    uint8_t hddNo;
    uint32_t paramPointer; /* log-sense parameter pointer or internal-log offset */
    uint32_t allocLength;
    uint8_t *data; /* nullptr for commands without data */
    uint8_t pageControl;
    uint8_t pageCode;
    uint8_t logKind;
    uint8_t startFlag;
    uint8_t status;    /* out: 0 good, 2 check condition */
    uint32_t returned; /* out: bytes returned */
};

int CommonPathCmd(HddRequest *req);
int MotorOn(int *lockFd);
int MotorOff(int lockFd);
int StopRequested(void);

#endif
