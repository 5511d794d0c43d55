/* The terminal state of standard input: found at start, worked on by the
 * confirmation question, restored at exit and when a signal ends the run. */
#include <signal.h>
#include <unistd.h>

#include "tavcli.h"

struct termios old_term_set;
struct termios new_term_set;
uint32_t term_set_flg = 0;

/* Every catchable signal that ends the run while the tool has the terminal
 * in its own mode (a prompt, a live display, a firmware write). */
static const int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

/* Async-signal-safe: tcsetattr, signal and raise only. The signal then
 * takes its default action, so the run ends as the signal asked. */
static void RestoreTerminalAndEnd(int sig)
{
    if (term_set_flg == 1) {
        tcsetattr(STDIN_FILENO, TCSANOW, &old_term_set);
    }
    signal(sig, SIG_DFL);
    raise(sig);
}

void CliCatchEndingSignals(void)
{
    struct sigaction action = {};
    action.sa_handler = RestoreTerminalAndEnd;
    sigemptyset(&action.sa_mask);
    for (int sig : kEndingSignals) {
        sigaction(sig, &action, NULL);
    }
}

void CliCmdProcessDetach(void)
{
    if (term_set_flg == 1) {
        tcsetattr(STDIN_FILENO, TCSANOW, &old_term_set);
    }
}
