/* One 128 KiB stripe of a logical drive, as two commands of 128 blocks:
 * read and printed as one dump, or written with 0x5A in every byte. The
 * controller maps the logical drive's blocks onto its members. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "TavPth.h"

namespace {

const uint8_t kWriteByte = 0x5A;
const int kStripeBytes = 0x20000;

struct Stripe {
    int cont;
    int ld;
    uint64_t lba;
    int dataHdd; /* -1: not given */
};

/* READ/WRITE (10) or (16) of `blocks` at `lba`; yields the CDB length. */
unsigned stripeCdb(uint8_t *cdb, int read, int wide, uint64_t lba, uint32_t blocks)
{
    memset(cdb, 0, 16);
    if (wide) {
        cdb[0] = read ? 0x88 : 0x8A;
        PthPutBe(cdb + 2, lba, 8);
        PthPutBe(cdb + 10, blocks, 4);
        return 16;
    }
    cdb[0] = read ? 0x28 : 0x2A;
    PthPutBe(cdb + 2, lba, 4);
    PthPutBe(cdb + 7, blocks, 2);
    return 10;
}

int sendHalf(PassThroughInfo *info, int read, int wide, uint8_t *data)
{
    if (wide) {
        return PthSendAny(info, data, PTH_PIECE);
    }
    return read ? PthSendRead(TavPasReadExtend, info, data, PTH_PIECE)
                : PthSendWrite(TavPasWriteExtend, info, data, PTH_PIECE);
}

int runStripe(const Stripe &stripe, int read, int wide)
{
    PthShow(PTH_AT, wide ? "Logical Block Address : 0x%016llX\n\n" : "Logical Block Address : 0x%08llX\n\n",
            static_cast<unsigned long long>(stripe.lba));
    if (stripe.dataHdd >= 0) {
        PthShow(PTH_AT, "Data HDD : %d\n\n", stripe.dataHdd);
    }
    uint8_t *data = static_cast<uint8_t *>(malloc(PTH_PIECE));
    if (data == nullptr) {
        TavPthErr0007(PTH_AT, 12, "Failed in PassThrough");
        TavPthErr0002(PTH_AT);
        return 0;
    }
    uint8_t cdb[16];
    PassThroughInfo info;
    /* A read prints the whole stripe's length, then sends halves. */
    unsigned length =
        stripeCdb(cdb, read, wide, stripe.lba, read ? 2 * PTH_STRIPE_HALF_BLOCKS : PTH_STRIPE_HALF_BLOCKS);
    PthPlain(&info, stripe.cont, stripe.ld, read, cdb, length);
    PthPrintCdb(&info);
    int row = 0;
    int ok = 1;
    /* A signal between the halves of a write waits until both are sent, so
     * a stripe is never left half written. */
    PthSignalCheck();
    PthDeferSignals(!read);
    for (int half = 0; half < 2 && ok; ++half) {
        uint64_t lba = stripe.lba + static_cast<uint64_t>(half) * PTH_STRIPE_HALF_BLOCKS;
        length = stripeCdb(cdb, read, wide, lba, PTH_STRIPE_HALF_BLOCKS);
        PthPlain(&info, stripe.cont, stripe.ld, read, cdb, length);
        memset(data, read ? 0 : kWriteByte, PTH_PIECE);
        ok = sendHalf(&info, read, wide, data);
        if (ok && read) {
            row = TavPasPrintData("Read Command(1 Stripe)", data, PTH_PIECE, row, kStripeBytes);
        }
    }
    if (ok && read) {
        printf("\n");
    }
    free(data);
    PthDeferSignals(0);
    return ok;
}

/* Command-line form: controller, logical drive, address[, data drive]. */
int stripeFromArgs(char **argv, int read, int wide, int withDataHdd)
{
    Stripe stripe = {0, 0, 0, -1};
    if (!PthArgTarget(argv[2], argv[3], PTH_KIND_LD, &stripe.cont, &stripe.ld) ||
        !PthArgAddress(argv[4], wide ? 16 : 8, &stripe.lba)) {
        return 0;
    }
    if (withDataHdd && !PthArgDigit(argv[5], "Data HDD", &stripe.dataHdd)) {
        return 0;
    }
    return runStripe(stripe, read, wide);
}

/* Parameter-file form: controller, logical drive, address[, data drive]. */
int readStripeFile(PthFile *file, Stripe *stripe, int withDataHdd)
{
    char line[PTH_PATH_SIZE];
    if (!PthFileField(file, line, sizeof line, "Controller No", 0))
        return 0;
    if (!PthParseDigit(line, &stripe->cont))
        return PthIllegal(PTH_AT, "Controller No");
    if (!ControllerCheck(stripe->cont))
        return 0;
    if (!PthFileField(file, line, sizeof line, "Drive No", 0))
        return 0;
    if (!PthParseDigit(line, &stripe->ld))
        return PthIllegal(PTH_AT, "Drive No");
    if (!DriveCheck(stripe->cont, stripe->ld, PTH_KIND_LD))
        return 0;
    PthShowTarget(stripe->cont, stripe->ld, PTH_KIND_LD);
    if (!PthFileField(file, line, sizeof line, "Address", 0))
        return 0;
    if (!PthParseHex(line, 8, &stripe->lba))
        return PthIllegal(PTH_AT, "Address");
    if (!withDataHdd)
        return 1;
    if (!PthFileField(file, line, sizeof line, "Data HDD", 0))
        return 0;
    return PthParseDigit(line, &stripe->dataHdd) ? 1 : PthIllegal(PTH_AT, "Data HDD");
}

int stripeFromFile(char **argv, int read)
{
    char resolved[PTH_PATH_SIZE];
    PthFile *file = PthFileOpen(argv[2], resolved, sizeof resolved, 1023);
    if (file == nullptr) {
        return 0;
    }
    Stripe stripe = {0, 0, 0, -1};
    int ok = readStripeFile(file, &stripe, !read);
    PthFileClose(file);
    return ok && runStripe(stripe, read, 0);
}

}  // namespace

int TavLDOneOneStripeRead(int, char **argv)
{
    return stripeFromFile(argv, 1);
}
int TavLDOneOneStripeWrite(int, char **argv)
{
    return stripeFromFile(argv, 0);
}
int TavLDOneOneStripeRead2(int, char **argv)
{
    return stripeFromArgs(argv, 1, 0, 0);
}
int TavLDOneOneStripeWrite2(int, char **argv)
{
    return stripeFromArgs(argv, 0, 0, 1);
}
int TavLDOneOneStripeRead264(int, char **argv)
{
    return stripeFromArgs(argv, 1, 1, 0);
}
int TavLDOneOneStripeWrite264(int, char **argv)
{
    return stripeFromArgs(argv, 0, 1, 1);
}
