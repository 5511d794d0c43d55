// Starting another program of the suite as a child process: tavlog after
// events of interest, tavcli for a scheduled consistency check.
#include <cerrno>
#include <cstring>
#include <sys/wait.h>
#include <unistd.h>

#include "tavservice.h"
#include "tavservice_notify.h"

// Starts a program of the suite (a fixed path, resolved below TAV_ROOT) as a
// child and waits until a child ends (the end of an event notification
// program does not count). A failed exec is reported by the child (04682) and
// ends it with status 1.
int StartChildAndWait(const char *fixedProgram, char *const argv[])
{
    char program[4096];
    if (!Tool_ResolvePath(fixedProgram, program, sizeof program))
        return -1;
    pid_t pid = fork();
    if (pid < 0) {
        Trace_Logging(__FILE__, __LINE__, strerror(errno), errno);
        return -1;
    }
    if (pid == 0) {
        execv(program, argv);
        Trace_Logging(__FILE__, __LINE__, strerror(errno), errno);
        ServiceLog(Oslog_ver == 1 ? PRI_ERR : PRI_WARNING, "tavutil: The start of tavlog failed. EventID: 04682.");
        _exit(1);
    }
    int status = 0;
    pid_t ended;
    while (((ended = wait(&status)) < 0 && errno == EINTR) || NotifyChildEnded(ended, status)) {
    }
    return 1;
}
