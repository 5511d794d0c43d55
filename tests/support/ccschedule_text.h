// The consistency-check schedule file as the library writes it, for tests
// that prepare or expect one.
#ifndef CCSCHEDULE_TEXT_H
#define CCSCHEDULE_TEXT_H

#include <string>
#include <utility>
#include <vector>

namespace tavtest {

inline const char kScheduleFile[] = "/opt/morvane/tavutility/conf/ccschedule.conf";

// Four sections "adp<c>" with eight lines "ld<l>:" each; the entries name
// "<c>/<l>" and the text after the colon.
inline std::string ScheduleText(const std::vector<std::pair<std::string, std::string>>& values) {
    std::string text;
    for (int c = 0; c < 4; ++c) {
        text += "adp" + std::to_string(c) + "\n";
        for (int l = 0; l < 8; ++l) {
            std::string value;
            for (const auto& v : values)
                if (v.first == std::to_string(c) + "/" + std::to_string(l)) value = v.second;
            text += "ld" + std::to_string(l) + ":" + value + "\n";
        }
    }
    return text;
}

}  // namespace tavtest

#endif
