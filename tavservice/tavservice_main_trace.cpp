// The service's trace lines (through the library's trace log) and its
// system-log messages.
#include <cstdarg>
#include <cstdio>

#include "tavservice.h"
#include "tavservice_notify.h"

namespace {

int SyslogOption()
{
    return DebugMode ? (LOG_PID | LOG_CONS | LOG_PERROR) : (LOG_PID | LOG_CONS);
}

}  // namespace

void Trace_Logging(const char *file, int line, const char *text, int code)
{
    char message[512];
    snprintf(message, sizeof message, "%s - error code - 0x%08x", text, static_cast<unsigned>(code));
    dumpLog(file, static_cast<unsigned>(line), message, nullptr, 0);
}

void Trace_Logging2(int kind, const char *file, int line, const char *function, int contNo, uint32_t eventId,
                    int cacheMode, int signo)
{
    char message[256];
    switch (kind) {
    case 1:
        snprintf(message, sizeof message, "%s CALL \n", function);
        break;
    case 2:
        snprintf(message, sizeof message, "%s CALL (Contno=%d)\n", function, contNo);
        break;
    case 3:
        snprintf(message, sizeof message, "%s CALL (Contno=%d, ChachMode=0x%02x)\n", function, contNo,
                 static_cast<unsigned>(cacheMode));
        break;
    case 4:
        snprintf(message, sizeof message, "%s CALL (EventId=0x%08x)\n", function, eventId);
        break;
    case 5:
        snprintf(message, sizeof message, "%s CALL (Signo=%d)\n", function, signo);
        break;
    default:
        snprintf(message, sizeof message, "%s CALL LOG Message Not Support\n", function);
        break;
    }
    dumpLog(file, static_cast<unsigned>(line), message, nullptr, 0);
}

void Trace_Text(const char *file, int line, const char *format, ...)
{
    char message[512];
    va_list args;
    va_start(args, format);
    vsnprintf(message, sizeof message, format, args);
    va_end(args);
    dumpLog(file, static_cast<unsigned>(line), message, nullptr, 0);
}

void tavopenlog(void)
{
    openlog(LogIdent, SyslogOption(), LOG_DAEMON);
}

void tavcloselog(void)
{
    closelog();
}

void ServiceLog(int priority, const char *format, ...)
{
    char message[1024];
    va_list args;
    va_start(args, format);
    vsnprintf(message, sizeof message, format, args);
    va_end(args);
    tavopenlog();
    syslog(priority, "%s", message);
    tavcloselog();
    NotifyEvent(priority, message);
}
