// Event notification: an administrator's program run for every event message
// at or above a configured priority, configured in conf/notify.conf.
//
// The program runs without a shell, one at a time, as
//     PROGRAM EVENTID PRIORITY MESSAGE
// with TAV_EVENT_ID, TAV_EVENT_PRIORITY and TAV_EVENT_MESSAGE in its
// environment. It never holds up the service: a run longer than the time
// limit is killed, events that arrive meanwhile wait in a bounded queue and
// the ones that find it full are dropped and counted in the trace.
#ifndef TAVSERVICE_NOTIFY_H
#define TAVSERVICE_NOTIFY_H

#include <stddef.h>
#include <stdio.h>
#include <sys/types.h>

#define NOTIFY_PROGRAM_SIZE 1024
#define NOTIFY_MESSAGE_SIZE 1024
#define NOTIFY_DEFAULT_TIMEOUT 30
#define NOTIFY_MAX_TIMEOUT 3600
#define NOTIFY_DEFAULT_QUEUE 32
#define NOTIFY_MAX_QUEUE 256

struct NotifySettings {
    char program[NOTIFY_PROGRAM_SIZE];  // empty: notification off
    int minLevel;                       // syslog level (LOG_ERR ...): events at this level or more urgent
    unsigned timeoutSeconds;
    unsigned queueSize;
};

// Reads the settings from an open notify.conf ("Key : value" lines); keys
// missing or invalid keep their defaults, each invalid one traced.
void NotifyParseSettings(FILE *file, NotifySettings *settings);
// The syslog level of a priority name ("err", "warning", "info", ...), or -1.
int NotifyLevelOfName(const char *name);
// The five-digit event number of a message ("... EventID: 04096. ..."); 0
// when the message is no event message.
int NotifyEventId(const char *message, char *id, size_t size);

// Reads conf/notify.conf; called once in the service process after start-up.
void NotifyInit(void);
// Called for every message the service sends to syslog.
void NotifyEvent(int priority, const char *message);
// Sleeps like ServiceSleep while tending a running program and the queue.
void NotifySleep(unsigned seconds);
// Returns 1 when `pid` (ended with `status`) was the notification program, so
// that a caller waiting for its own child goes on waiting.
int NotifyChildEnded(pid_t pid, int status);

#endif
