/* The code-to-text tables of every information display, and getOutputStr
 * that looks codes up in them. */
#include <stdio.h>
#include <string.h>

#include "tavcli.h"

struct CodeText {
    int code;
    const char *text;
};

struct TextTable {
    int selector;
    size_t cut; /* the caller's text buffer, terminator included */
    const CodeText *rows;
    size_t count;
};

static const CodeText strcGROUPStsTbl[] = {
    {0x00, "Good"},       {0x01, "Attention1"}, {0x02, "Attention2"}, {0x03, "Attention3"}, {0x04, "Attention4"},
    {0x05, "Attention5"}, {0x06, "Attention6"}, {0x10, "Warning0"},   {0x11, "Warning1"},   {0x12, "Warning2"},
    {0x13, "Warning3"},   {0x14, "Warning4"},   {0x15, "Warning5"},   {0x16, "Warning6"},   {0x20, "Alarm0"},
    {0x21, "Alarm1"},     {0x22, "Alarm2"},     {0x23, "Alarm3"},     {0x24, "Alarm4"},     {0xFF, "Nonexist"},
};

static const CodeText strcHotSPTbl[] = {{0, "Global"}, {1, "Group"}, {2, "None"}};

static const CodeText strcAutoRebldTbl[] = {{0, "Enabled"}, {1, "Disabled"}};

static const CodeText strcREBLDstsTbl[] = {{0, "Not Needed"}, {1, "Needed"}, {2, "Rebuild Executing"}};

static const CodeText strcMAINTstsTbl[] = {{0, "No Operation"}, {1, "Checking Parity"}, {2, "Writing Parity"}};

static const CodeText strcDATALostTbl[] = {{0, "None"}, {1, "It is."}};

static const CodeText strcRDConTbl[] = {{0, "RA"}, {1, "NORA"}};

static const CodeText strcWBConTbl[] = {{0, "WB"}, {1, "WT"}};

static const CodeText strcHDDclassTbl[] = {
    {0, "Member Use"}, {1, "Member No Use"}, {4, "Fresh"},
    {2, "Spare Use"},  {3, "Spare No Use"},  {5, "Restore Candidate"},
};

static const CodeText strcHDDStsTbl[] = {
    {0x00, "Good"},          {0x01, "Attention1"}, {0x02, "Attention2"}, {0x03, "Attention3"}, {0x04, "Attention4"},
    {0x05, "Attention5"},    {0x06, "Attention6"}, {0x20, "Alarm0"},     {0x21, "Alarm1"},     {0x22, "Alarm2"},
    {0x23, "Alarm3"},        {0x24, "Alarm4"},     {0x25, "Alarm5"},     {0x26, "Alarm6"},     {0x27, "Alarm7"},
    {0x80, "Not Supported"}, {0xFF, "Nonexist"},
};

static const CodeText strcSYNCperiodTbl[] = {
    {7, "1.5Gbps"}, {8, "3.0Gbps"}, {0xFE, "Link Error"}, {0xFF, "PHY Disabled"}};

static const CodeText strcSMARTTbl[] = {{0, "None"}, {4, "Received"}};

static const CodeText strcBSTbl[] = {{0, "None"}, {6, "Exist"}, {0x16, "Over"}};

static const CodeText strcRESTintvTbl[] = {{1, "High"}, {2, "Middle"}, {3, "Low"}};

#define TABLE(selector, cut, rows)                                  \
    {                                                               \
        (selector), (cut), (rows), sizeof(rows) / sizeof((rows)[0]) \
    }

static const TextTable kTables[] = {
    TABLE(CLI_TEXT_LD_STATE, 14, strcGROUPStsTbl),     TABLE(CLI_TEXT_HOT_SPARE, 7, strcHotSPTbl),
    TABLE(CLI_TEXT_AUTO_REBUILD, 9, strcAutoRebldTbl), TABLE(CLI_TEXT_REBUILD, 20, strcREBLDstsTbl),
    TABLE(CLI_TEXT_MAINTENANCE, 16, strcMAINTstsTbl),  TABLE(CLI_TEXT_DATA_LOST, 7, strcDATALostTbl),
    TABLE(CLI_TEXT_READ_POLICY, 5, strcRDConTbl),      TABLE(CLI_TEXT_WRITE_POLICY, 5, strcWBConTbl),
    TABLE(CLI_TEXT_PD_CLASS, 18, strcHDDclassTbl),     TABLE(CLI_TEXT_PD_STATE, 14, strcHDDStsTbl),
    TABLE(CLI_TEXT_LINK_SPEED, 16, strcSYNCperiodTbl), TABLE(CLI_TEXT_SMART, 10, strcSMARTTbl),
    TABLE(CLI_TEXT_BAD_SPOT, 10, strcBSTbl),           TABLE(CLI_TEXT_PRIORITY, 7, strcRESTintvTbl),
};

/* The error word shown for a selector no table has. */
#define UNDEFINED_SELECTOR_CODE 0x100010u

static const TextTable *FindTable(int selector)
{
    for (const TextTable &table : kTables) {
        if (table.selector == selector) {
            return &table;
        }
    }
    return NULL;
}

const char *CliCodeText(int selector, int code)
{
    const TextTable *table = FindTable(selector);
    for (size_t i = 0; table != NULL && i < table->count; ++i) {
        if (table->rows[i].code == code) {
            return table->rows[i].text;
        }
    }
    return NULL;
}

void getOutputStr(int selector, int code, char *text, size_t textSize, int adapter)
{
    CLI_TRACE_ENTRY(MOD_CMD_COM);
    const TextTable *table = FindTable(selector);
    if (table == NULL) {
        CliInternalErrorCode(1, UNDEFINED_SELECTOR_CODE, MOD_CMD_COM, __LINE__);
        CliFatalStop(adapter, MOD_CMD_COM, __LINE__);
    }
    const char *found = CliCodeText(selector, code);
    if (found == NULL) {
        CliAbnormalInfo(adapter, MOD_CMD_COM, __LINE__);
        return;
    }
    size_t size = table->cut < textSize ? table->cut : textSize;
    if (size > 0) {
        snprintf(text, size, "%s", found);
    }
}
