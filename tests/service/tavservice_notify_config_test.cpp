// The event notification's settings (notify.conf) and how it recognises an
// event message.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <syslog.h>

#include "tavservice_notify.h"

namespace {

NotifySettings parse(const std::string &text)
{
    NotifySettings settings;
    FILE *file = fmemopen(const_cast<char *>(text.data()), text.size(), "r");
    if (text.empty())
        file = fopen("/dev/null", "r");
    NotifyParseSettings(file, &settings);
    fclose(file);
    return settings;
}

}  // namespace

TEST(NotifySettings, KeysDefaultsAndInvalidValues)
{
    struct Row {
        const char *text;
        const char *program;
        int level;
        unsigned timeout;
        unsigned queue;
    };
    const Row rows[] = {
        {"", "", LOG_WARNING, 30, 32},
        {"Program : /usr/local/bin/page-me  \nMinPriority : err\nTimeout : 0x10\nQueueSize : 4\n",
         "/usr/local/bin/page-me", LOG_ERR, 16, 4},
        {"MinPriority : info\r\nTimeout : 3600\r\nQueueSize : 256\r\n", "", LOG_INFO, 3600, 256},
        // comments are skipped, the first line of a key wins
        {"# Program : /commented\n  Program: /first\nProgram : /second\nMinPriority : notice\nMinPriority : err\n",
         "/first", LOG_NOTICE, 30, 32},
        // out of range or unparsable values keep the defaults
        {"MinPriority : loud\nTimeout : 0\nQueueSize : 257\n", "", LOG_WARNING, 30, 32},
        {"Timeout : 12abc\nQueueSize : 0\n", "", LOG_WARNING, 30, 32},
        {"Timeout : 3601\nMinPriority : warn\n", "", LOG_WARNING, 30, 32},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.text);
        NotifySettings s = parse(row.text);
        EXPECT_STREQ(s.program, row.program);
        EXPECT_EQ(s.minLevel, row.level);
        EXPECT_EQ(s.timeoutSeconds, row.timeout);
        EXPECT_EQ(s.queueSize, row.queue);
    }
}

TEST(NotifySettings, PriorityNames)
{
    const std::pair<const char *, int> names[] = {
        {"emerg", LOG_EMERG},
        {"alert", LOG_ALERT},
        {"crit", LOG_CRIT},
        {"err", LOG_ERR},
        {"error", LOG_ERR},
        {"warning", LOG_WARNING},
        {"notice", LOG_NOTICE},
        {"info", LOG_INFO},
        {"debug", LOG_DEBUG},
        {"ERR", -1},
        {"", -1},
        {"warnings", -1},
    };
    for (const auto &[name, level] : names)
        EXPECT_EQ(NotifyLevelOfName(name), level) << name;
}

TEST(NotifyEventId, OnlyMessagesEndingInAnEventNumber)
{
    const std::pair<const char *, const char *> messages[] = {
        {"tavutil: Controller [0] Physical Drive [1] Failed. Drive status = 0x[20]. EventID: 04096. Detailedcode: "
         "18fff120.",
         "04096"},
        {"tavutil: tavservice was started. EventID: 00016.", "00016"},
        {"ControllCode: 2. DriverErrCode: -1. errno: 5.(Input/output error)", nullptr},
        {"tavutil: EventID: 123.", nullptr},
        {"tavutil: EventID:04096.", nullptr},
    };
    for (const auto &[message, id] : messages) {
        char got[8] = "x";
        int found = NotifyEventId(message, got, sizeof got);
        if (id == nullptr) {
            EXPECT_EQ(found, 0) << message;
        } else {
            EXPECT_EQ(found, 1) << message;
            EXPECT_STREQ(got, id) << message;
        }
    }
}

// A program path longer than the setting holds is refused whole, never cut
// into the name of another program.
TEST(NotifySettings, OverlongProgramPathRunsNothing)
{
    const std::string path = "/usr/local/bin/" + std::string(sizeof(NotifySettings{}.program), 'p');
    EXPECT_STREQ(parse("Program : " + path + "\n").program, "");
    const std::string fits = "/usr/local/bin/" + std::string(sizeof(NotifySettings{}.program) - 16, 'p');
    EXPECT_EQ(parse("Program : " + fits + "\n").program, fits);
}
