// The statistics parameter file performance.conf as the library writes it,
// for tests that prepare or expect one.
#ifndef PERFORM_TEXT_H
#define PERFORM_TEXT_H

#include <string>
#include <utility>
#include <vector>

namespace tavtest {

inline const char kPerformanceFile[] = "/opt/morvane/tavutility/conf/performance.conf";

// The head line "static_para:<head>" and four adapter sections; the flags
// listed as "<adapter>/<ld>" are 1, every other one 0.
inline std::string PerformanceText(const std::string& head, const std::vector<std::string>& selected = {}) {
    std::string text = "static_para:" + head + "\n";
    for (int a = 0; a < 4; ++a) {
        text += "adp" + std::to_string(a) + ":\n";
        for (int l = 0; l < 8; ++l) {
            bool on = false;
            for (const std::string& s : selected) on = on || s == std::to_string(a) + "/" + std::to_string(l);
            text += "ld" + std::to_string(l) + ":" + (on ? "1" : "0") + "\n";
        }
    }
    return text;
}

inline const std::string kIdlePerformanceText = PerformanceText("0,0,0,,txt");
inline const std::string kStopPerformanceText = PerformanceText("2,0,0,,txt");

}  // namespace tavtest

#endif
