/* Printers of the vendor log page 0x32 (the drive's SMART-style counters) in
 * its three layouts. The labels are EUC-JP bytes, written as escapes so that
 * no editor or compiler setting changes what is printed; each carries its
 * text in a comment. */
#include <stdio.h>

#include "TavPth.h"

namespace {

/* 累積稼動時間[h]: */
const char kOperatingTime[] = "\xCE\xDF\xC0\xD1\xB2\xD4\xC6\xB0\xBB\xFE\xB4\xD6[h]:";
/* リードしたセクタ数 */
const char kReadSectors[] = "\xA5\xEA\xA1\xBC\xA5\xC9\xA4\xB7\xA4\xBF\xA5\xBB\xA5\xAF\xA5\xBF\xBF\xF4";
/* 現在のリードエラー数 */
const char kReadCurrent[] = "\xB8\xBD\xBA\xDF\xA4\xCE\xA5\xEA\xA1\xBC\xA5\xC9\xA5\xA8\xA5\xE9\xA1\xBC\xBF\xF4";
/* 前回のリードエラー数 */
const char kReadPrevious[] = "\xC1\xB0\xB2\xF3\xA4\xCE\xA5\xEA\xA1\xBC\xA5\xC9\xA5\xA8\xA5\xE9\xA1\xBC\xBF\xF4";
/* ライトしたセクタ数 */
const char kWriteSectors[] = "\xA5\xE9\xA5\xA4\xA5\xC8\xA4\xB7\xA4\xBF\xA5\xBB\xA5\xAF\xA5\xBF\xBF\xF4";
/* 現在のライトエラー数 */
const char kWriteCurrent[] = "\xB8\xBD\xBA\xDF\xA4\xCE\xA5\xE9\xA5\xA4\xA5\xC8\xA5\xA8\xA5\xE9\xA1\xBC\xBF\xF4";
/* 前回のライトエラー数 */
const char kWritePrevious[] = "\xC1\xB0\xB2\xF3\xA4\xCE\xA5\xE9\xA5\xA4\xA5\xC8\xA5\xA8\xA5\xE9\xA1\xBC\xBF\xF4";
/* シークしたセクタ数 */
const char kSeekSectors[] = "\xA5\xB7\xA1\xBC\xA5\xAF\xA4\xB7\xA4\xBF\xA5\xBB\xA5\xAF\xA5\xBF\xBF\xF4";
/* 現在のシークエラー数 */
const char kSeekCurrent[] = "\xB8\xBD\xBA\xDF\xA4\xCE\xA5\xB7\xA1\xBC\xA5\xAF\xA5\xA8\xA5\xE9\xA1\xBC\xBF\xF4";
/* 前回のシークエラー数 */
const char kSeekPrevious[] = "\xC1\xB0\xB2\xF3\xA4\xCE\xA5\xB7\xA1\xBC\xA5\xAF\xA5\xA8\xA5\xE9\xA1\xBC\xBF\xF4";
/* 過去ワーストエラー数: */
const char kWorst[] = "\xB2\xE1\xB5\xEE\xA5\xEF\xA1\xBC\xA5\xB9\xA5\xC8\xA5\xA8\xA5\xE9\xA1\xBC\xBF\xF4:";
/* 残り交替セクタ数: */
const char kSpare[] = "\xBB\xC4\xA4\xEA\xB8\xF2\xC2\xD8\xA5\xBB\xA5\xAF\xA5\xBF\xBF\xF4:";
/* 今回のスピンアップ時間[s]: */
const char kSpinNow[] = "\xBA\xA3\xB2\xF3\xA4\xCE\xA5\xB9\xA5\xD4\xA5\xF3\xA5\xA2\xA5\xC3\xA5\xD7\xBB\xFE\xB4\xD6[s]:";
/* 前回のスピンアップ時間[s]: */
const char kSpinLast[] = "\xC1\xB0\xB2\xF3\xA4\xCE\xA5\xB9\xA5\xD4\xA5\xF3\xA5\xA2\xA5\xC3\xA5\xD7\xBB\xFE\xB4\xD6[s]:";
/* 最大スピンアップ時間[s]: */
const char kSpinMax[] = "\xBA\xC7\xC2\xE7\xA5\xB9\xA5\xD4\xA5\xF3\xA5\xA2\xA5\xC3\xA5\xD7\xBB\xFE\xB4\xD6[s]:";
/* 最大時間を要した時の発生時間[h]: */
const char kSpinMaxTime[] = "\xBA\xC7\xC2\xE7\xBB\xFE\xB4\xD6\xA4\xF2\xCD\xD7\xA4\xB7\xA4\xBF\xBB\xFE\xA4\xCE\xC8\xAF"
                            "\xC0\xB8\xBB\xFE\xB4\xD6[h]:";
/* 現在のCSS 回数: */
const char kCss[] = "\xB8\xBD\xBA\xDF\xA4\xCE"
                    "CSS \xB2\xF3\xBF\xF4:";
/* 現在の装置温度: */
const char kTempNow[] = "\xB8\xBD\xBA\xDF\xA4\xCE\xC1\xF5\xC3\xD6\xB2\xB9\xC5\xD9:";
/* 過去最大温度: */
const char kTempMax[] = "\xB2\xE1\xB5\xEE\xBA\xC7\xC2\xE7\xB2\xB9\xC5\xD9:";
/* 最大温度を検出したときの時間[h]: */
const char kTempMaxTime[] = "\xBA\xC7\xC2\xE7\xB2\xB9\xC5\xD9\xA4\xF2\xB8\xA1\xBD\xD0\xA4\xB7\xA4\xBF\xA4\xC8\xA4\xAD"
                            "\xA4\xCE\xBB\xFE\xB4\xD6[h]:";
/* 現在の12V 電圧: */
const char kVoltNow[] = "\xB8\xBD\xBA\xDF\xA4\xCE"
                        "12V \xC5\xC5\xB0\xB5:";
/* 最大電圧: */
const char kVoltMax[] = "\xBA\xC7\xC2\xE7\xC5\xC5\xB0\xB5:";
/* 最低電圧: */
const char kVoltMin[] = "\xBA\xC7\xC4\xE3\xC5\xC5\xB0\xB5:";
/* 最大電圧を検出したときの時間[h]: */
const char kVoltMaxTime[] = "\xBA\xC7\xC2\xE7\xC5\xC5\xB0\xB5\xA4\xF2\xB8\xA1\xBD\xD0\xA4\xB7\xA4\xBF\xA4\xC8\xA4\xAD"
                            "\xA4\xCE\xBB\xFE\xB4\xD6[h]:";
/* 最低電圧を検出したときの時間[h]: */
const char kVoltMinTime[] = "\xBA\xC7\xC4\xE3\xC5\xC5\xB0\xB5\xA4\xF2\xB8\xA1\xBD\xD0\xA4\xB7\xA4\xBF\xA4\xC8\xA4\xAD"
                            "\xA4\xCE\xBB\xFE\xB4\xD6[h]:";
/* SMART ASC: */
const char kSmartAsc[] = "SMART ASC:";
/* SMART ASCQ: */
const char kSmartAscq[] = "SMART ASCQ:";
/* SMART 警告を検出した時間[h]: */
const char kSmartTime[] = "SMART \xB7\xD9\xB9\xF0\xA4\xF2\xB8\xA1\xBD\xD0\xA4\xB7\xA4\xBF\xBB\xFE\xB4\xD6[h]:";
const unsigned kHeaderBytes = 4;

struct Cursor {
    const uint8_t *page;
    unsigned at; /* start of the current parameter */
};

uint32_t field(const Cursor &c, unsigned offset, unsigned bytes)
{
    return static_cast<uint32_t>(PthGetBe(c.page + c.at + offset, bytes));
}

/* Minutes as hours with two decimals. */
void hours(const char *label, uint32_t minutes)
{
    printf("%s%8u.%02u\n", label, minutes / 60, (minutes % 60) * 100 / 60);
}

void volts(const char *label, uint8_t value)
{
    printf("%s1%u.%u\n", label, value >> 4, value & 0x0Fu);
}

void endParameter(Cursor *c, unsigned length)
{
    printf("\n");
    c->at += length;
}

/* Read, write or seek: per head the sectors and the current and previous
 * error counts, then the worst error count in the last two bytes. */
void headCounters(Cursor *c, unsigned length, unsigned heads, const char *sectors, const char *current,
                  const char *previous)
{
    for (unsigned h = 0; h < heads; ++h) {
        unsigned block = 10 + 8 * h;
        printf("%s[Head%u]:%10u\n", sectors, h, field(*c, block, 4));
        printf("%s[Head%u]:%5u\n", current, h, field(*c, block + 4, 2));
        printf("%s[Head%u]:%5u\n", previous, h, field(*c, block + 6, 2));
    }
    printf("%s%5u\n", kWorst, field(*c, length - 2, 2));
    endParameter(c, length);
}

void printLogPage32(const uint8_t *data, unsigned headLength, unsigned heads)
{
    Cursor c = {data, kHeaderBytes};
    hours(kOperatingTime, field(c, 4, 4));
    endParameter(&c, 8);
    headCounters(&c, headLength, heads, kReadSectors, kReadCurrent, kReadPrevious);
    headCounters(&c, headLength, heads, kWriteSectors, kWriteCurrent, kWritePrevious);
    headCounters(&c, headLength, heads, kSeekSectors, kSeekCurrent, kSeekPrevious);
    printf("%s%5u\n", kSpare, field(c, 4, 2));
    endParameter(&c, 6);
    printf("%s%4u\n%s%4u\n%s%4u\n", kSpinNow, field(c, 6, 1), kSpinLast, field(c, 7, 1), kSpinMax, field(c, 8, 1));
    hours(kSpinMaxTime, field(c, 10, 4));
    endParameter(&c, 14);
    printf("%s%5u\n", kCss, field(c, 6, 2));
    endParameter(&c, 8);
    printf("%s%3u\n%s%3u\n", kTempNow, field(c, 4, 1), kTempMax, field(c, 6, 1));
    hours(kTempMaxTime, field(c, 8, 4));
    endParameter(&c, 18);
    volts(kVoltNow, static_cast<uint8_t>(field(c, 4, 1)));
    volts(kVoltMax, static_cast<uint8_t>(field(c, 6, 1)));
    volts(kVoltMin, static_cast<uint8_t>(field(c, 12, 1)));
    hours(kVoltMaxTime, field(c, 8, 4));
    hours(kVoltMinTime, field(c, 14, 4));
    endParameter(&c, 18);
    printf("%s%02X\n%s%02X\n", kSmartAsc, field(c, 6, 1), kSmartAscq, field(c, 7, 1));
    hours(kSmartTime, field(c, 8, 4));
    endParameter(&c, 12);
    fflush(stdout);
}

}  // namespace

/* The page is read from a buffer of PTH_LOG32_BUFFER bytes, enough for the
 * longest layout. */
void PrintLogPage32Fix73(const uint8_t *data)
{
    printLogPage32(data, 44, 1);
}
void PrintLogPage32Fix146(const uint8_t *data)
{
    printLogPage32(data, 76, 8);
}
void PrintLogPage32Fix36(const uint8_t *data)
{
    printLogPage32(data, 28, 2);
}
