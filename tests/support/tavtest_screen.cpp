#include "tavtest_screen.h"

#include <vterm.h>

#include <memory>

namespace tavtest {

namespace {

std::string withCarriageReturns(const std::string& output) {
    std::string out;
    out.reserve(output.size() + output.size() / 8);
    for (char c : output) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

std::string rowText(VTermScreen* screen, int row, int cols) {
    std::string text;
    for (int col = 0; col < cols; ++col) {
        VTermScreenCell cell;
        VTermPos pos{row, col};
        vterm_screen_get_cell(screen, pos, &cell);
        if (cell.width == 0) continue;  // the second half of a wide character
        uint32_t ch = cell.chars[0];
        text += ch == 0 ? ' ' : ch < 0x80 ? static_cast<char>(ch) : '?';
    }
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

}  // namespace

std::vector<std::string> Screen::used() const {
    size_t first = 0, last = rows.size();
    while (first < last && rows[first].empty()) ++first;
    while (last > first && rows[last - 1].empty()) --last;
    return std::vector<std::string>(rows.begin() + static_cast<long>(first), rows.begin() + static_cast<long>(last));
}

int Screen::find(const std::string& text) const {
    for (size_t i = 0; i < rows.size(); ++i)
        if (rows[i].find(text) != std::string::npos) return static_cast<int>(i);
    return -1;
}

Screen renderScreen(const std::string& output, bool translateNewlines, int rows, int cols) {
    std::unique_ptr<VTerm, void (*)(VTerm*)> vt(vterm_new(rows, cols), vterm_free);
    vterm_set_utf8(vt.get(), 1);
    VTermScreen* screen = vterm_obtain_screen(vt.get());
    vterm_screen_reset(screen, 1);
    std::string bytes = translateNewlines ? withCarriageReturns(output) : output;
    vterm_input_write(vt.get(), bytes.data(), bytes.size());
    vterm_screen_flush_damage(screen);
    Screen result;
    for (int row = 0; row < rows; ++row) result.rows.push_back(rowText(screen, row, cols));
    VTermPos cursor;
    vterm_state_get_cursorpos(vterm_obtain_state(vt.get()), &cursor);
    result.cursorRow = cursor.row;
    result.cursorCol = cursor.col;
    return result;
}

}  // namespace tavtest
