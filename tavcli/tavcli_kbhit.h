/* Key poll of the background-operation commands and their live displays:
 * standard input in single-key mode while the object lives, and the
 * terminal put back as tavcli found it when a signal ends the process. */
#ifndef TAVCLI_KBHIT_H
#define TAVCLI_KBHIT_H

#include <signal.h>
#include <termios.h>

class Tkbhit {
public:
    /* Reads the settings of standard input into both records, clears ICANON,
     * ECHO and ISIG and sets VMIN and VTIME to 0 in the working copy, and
     * applies it at once. Standard input that is not a terminal is left
     * alone; a byte waiting on it counts as a key. */
    Tkbhit();
    /* Re-applies the settings found when the object was made. */
    ~Tkbhit();
    Tkbhit(const Tkbhit &) = delete;
    Tkbhit &operator=(const Tkbhit &) = delete;

    /* 1 when a key was pressed or, for input that is not a terminal, a
     * byte was waiting (the byte is consumed), else 0; never waits. End of
     * input is not a key. */
    int _kbhit();

    /* Waits up to the given time for a key without spinning: 1 as soon as a
     * key was pressed (consumed), 0 when the time ran out. */
    int waitKey(int milliseconds);

private:
    void apply(const struct termios *settings);

    struct termios found_;
    struct termios working_;
    int terminal_;
    struct sigaction previous_[3];
};

#endif
