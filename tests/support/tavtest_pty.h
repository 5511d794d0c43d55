// An interactive session of a program on a pseudo-terminal under the
// simulator: read what it shows, type keys, send signals, and read the
// terminal's settings after it ended.
#ifndef TAVTEST_PTY_H
#define TAVTEST_PTY_H

#include <sys/types.h>
#include <termios.h>

#include <string>
#include <vector>

#include "tavtest.h"
#include "tavtest_screen.h"

namespace tavtest {

class PtySession {
public:
    // Starts argv[0] (a program of the suite by name) on a fresh terminal
    // of rows x cols. The terminal starts in its usual cooked mode.
    PtySession(const SimServer& sim, const std::vector<std::string>& argv, int rows = 60, int cols = 100);
    ~PtySession();  // a program still running is killed
    PtySession(const PtySession&) = delete;
    PtySession& operator=(const PtySession&) = delete;

    // Reads output until the rendered screen contains text; false when
    // timeoutMs passed or the program ended first.
    bool waitForScreen(const std::string& text, int timeoutMs);
    void type(const std::string& keys);
    void sendSignal(int sig);
    // Reads until the program ended: its status (128 + signal), or -1 on timeout.
    int waitExit(int timeoutMs);

    const std::string& output() const { return output_; }
    Screen screen() const { return renderScreen(output_, false, rows_, cols_); }
    // The terminal's settings as they are now (also after the program ended).
    struct termios settings() const;
    // The settings the terminal had when the program started.
    const struct termios& initialSettings() const { return initial_; }

private:
    bool readSome(int timeoutMs);  // false at end of output

    int master_ = -1;
    pid_t pid_ = -1;
    int rows_;
    int cols_;
    bool exited_ = false;
    int status_ = -1;
    std::string output_;
    struct termios initial_ {};
};

// Whether two terminal settings agree on everything tavcli changes.
bool sameTerminalModes(const struct termios& a, const struct termios& b);

}  // namespace tavtest

#endif
