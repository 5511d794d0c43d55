/* The terminal state of standard input: found at start, worked on by the
 * confirmation question, restored at exit. */
#include <unistd.h>

#include "tavcli.h"

struct termios old_term_set;
struct termios new_term_set;
uint32_t term_set_flg = 0;

void CliCmdProcessDetach(void)
{
    if (term_set_flg == 1) {
        tcsetattr(STDIN_FILENO, TCSANOW, &old_term_set);
    }
}
