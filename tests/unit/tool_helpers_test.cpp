// Text, number and byte-order helpers of the control library.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tavctl.h"

namespace {

struct NumberCase {
    int width;
    uint32_t value;
    const char *text;
};

TEST(ToolHextostr, WidthGivesExactlyThatManyDigits)
{
    const NumberCase cases[] = {
        {0, 0x0, "0"},     {0, 0xABC, "ABC"}, {0, 0xFFFFFFFF, "FFFFFFFF"},
        {4, 0x1F, "001F"}, {2, 0x1234, "34"}, {8, 0xDEADBEEF, "DEADBEEF"},
    };
    for (const NumberCase &c : cases) {
        char buffer[16];
        EXPECT_STREQ(c.text, Tool_hextostr(c.width, c.value, buffer)) << c.width << " " << c.value;
    }
}

TEST(ToolDectostr, LeadingZerosBecomeBlanksButTheLastDigitStays)
{
    const NumberCase cases[] = {
        {0, 0, "0"},      {0, 4294967295u, "4294967295"},
        {5, 42, "   42"}, {3, 0, "  0"},
        {3, 100, "100"},  {2, 1234, "34"},
        {3, 5007, "  7"},
    };
    for (const NumberCase &c : cases) {
        char buffer[16];
        EXPECT_STREQ(c.text, Tool_dectostr(c.width, c.value, buffer)) << c.width << " " << c.value;
    }
}

TEST(ToolTextToNumber, ParsesDecimalAndEitherCaseOfHexadecimal)
{
    EXPECT_EQ(0u, Tool_dectobin(""));
    EXPECT_EQ(1234567u, Tool_dectobin("1234567"));
    EXPECT_EQ(0xABCDEFu, Tool_hextobin("abcdef"));
    EXPECT_EQ(0xABCDEFu, Tool_hextobin("ABCDEF"));
    EXPECT_EQ(0x1F2Eu, Tool_hextobin("1f2E"));
}

TEST(ToolStrings, CopyAndAppendReturnTheEndOfTheResult)
{
    char buffer[32];
    char *end = Tool_strcpy(buffer, "RAID");
    EXPECT_EQ(buffer + 4, end);
    EXPECT_EQ('\0', *end);
    end = Tool_strcat(buffer, " adapter");
    EXPECT_STREQ("RAID adapter", buffer);
    EXPECT_EQ(buffer + 12, end);
    EXPECT_EQ(12, Tool_strlen(buffer));
    EXPECT_EQ(0, Tool_strlen(""));
}

TEST(ToolStrings, CompareIsEqualOnlyForSameLengthAndContent)
{
    EXPECT_EQ(0, Tool_strcmp("abc", "abc"));
    EXPECT_EQ(0, Tool_strcmp("", ""));
    EXPECT_EQ(1, Tool_strcmp("abc", "abd"));
    EXPECT_EQ(1, Tool_strcmp("abc", "abcd"));
    EXPECT_EQ(1, Tool_strcmp("abcd", "abc"));
    EXPECT_EQ(1, Tool_strcmp("b", "a"));
}

TEST(ToolStrings, InitStrFillsAndTerminates)
{
    char buffer[8];
    memset(buffer, 'x', sizeof buffer);
    Tool_InitStr(buffer, '-', 5);
    EXPECT_STREQ("-----", buffer);
    Tool_InitStr(buffer, '-', 0);
    EXPECT_STREQ("", buffer);
}

TEST(ToolStrings, DelspaceDropsOnlyLeadingBlanks)
{
    char out[32];
    EXPECT_STREQ("ZN5121 rev 2 ", Tool_delspace("   ZN5121 rev 2 ", out));
    EXPECT_STREQ("x", Tool_delspace("x", out));
    EXPECT_STREQ("", Tool_delspace("    ", out));
}

TEST(ToolChangeEndian, ReversesTheBytesInPlace)
{
    uint16_t s = 0x1234;
    Tool_ChangeEndianShort(&s);
    EXPECT_EQ(0x3412, s);
    uint32_t l = 0x12345678;
    Tool_ChangeEndianLong(&l);
    EXPECT_EQ(0x78563412u, l);
    uint64_t ll = 0x0102030405060708ull;
    Tool_ChangeEndianLongLong(&ll);
    EXPECT_EQ(0x0807060504030201ull, ll);

    // Big-endian bytes from the adapter read as the host value after the swap.
    const uint8_t wire[4] = {0x00, 0xF4, 0x24, 0x00};
    memcpy(&l, wire, sizeof l);
    Tool_ChangeEndianLong(&l);
    EXPECT_EQ(16000000u, l);
}

}  // namespace
