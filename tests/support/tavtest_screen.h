// What a terminal shows after a program's output: the bytes are fed to a
// terminal emulator (libvterm) and the screen is read back row by row.
#ifndef TAVTEST_SCREEN_H
#define TAVTEST_SCREEN_H

#include <string>
#include <vector>

namespace tavtest {

struct Screen {
    std::vector<std::string> rows;  // every row, trailing blanks removed
    int cursorRow = 0;
    int cursorCol = 0;

    // The rows from the first non-empty one to the last non-empty one.
    std::vector<std::string> used() const;
    // The first row that contains text, or -1.
    int find(const std::string& text) const;
};

// Renders output as a terminal of the given size shows it. With
// translateNewlines, a lone "\n" moves to the start of the next line as a
// terminal's output processing (ONLCR) makes it do; output read from a
// pseudo-terminal has that already.
Screen renderScreen(const std::string& output, bool translateNewlines, int rows = 60, int cols = 100);

}  // namespace tavtest

#endif
