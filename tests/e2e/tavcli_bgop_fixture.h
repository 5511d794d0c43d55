// Servers and expected screens of the background-operation command tests.
#ifndef TAVCLI_BGOP_FIXTURE_H
#define TAVCLI_BGOP_FIXTURE_H

#include <cstdio>
#include <string>

namespace bgoptest {

// Adapter 0: LD 0 RAID 5 (drives 0-2), LD 1 RAID 0 (drive 3), LD 2 checking at 10 % (drives 4-5),
//   LD 3 checking at 57 % (drives 8-9), LD 4 rebuilding at 25 % (drives 10-11), LD 5 writing parity at
//   30 % (drives 6-7). The running operations are set in the configuration and stay where they are.
// Adapter 1: LD 0 RAID 1 degraded (drive 1 off line), LD 1 RAID 1 degraded and shown as copy back
//   (state 2), LD 2 in a copy at 64 % (state 5, drives 4-5), LD 3 RAID 5 checking (drives 6, 8, 9); drive 7
//   fresh, drives 10 and 11 global hot spares; no automatic rebuild.
inline const char kServerConfig[] = R"({"speed": 1, "adapters": [
 {"host": 2, "model": "ZN5121",
  "drives": [{"slot": 0, "interface": "SAS"}, {"slot": 1, "interface": "SAS"}, {"slot": 2, "interface": "SAS"},
   {"slot": 3, "interface": "SAS"}, {"slot": 4, "interface": "SAS"}, {"slot": 5, "interface": "SAS"},
   {"slot": 6, "interface": "SAS"}, {"slot": 7, "interface": "SAS"}, {"slot": 8, "interface": "SAS"},
   {"slot": 9, "interface": "SAS"}, {"slot": 10, "interface": "SAS"}, {"slot": 11, "interface": "SAS"}],
  "logical_drives": [
   {"number": 0, "raid": 5, "members": [0, 1, 2]},
   {"number": 1, "raid": 0, "members": [3]},
   {"number": 2, "raid": 1, "members": [4, 5], "blocks": 1000000, "maintenance_state": 1, "processed_blocks": 100000},
   {"number": 3, "raid": 1, "members": [8, 9], "blocks": 1000000, "maintenance_state": 1, "processed_blocks": 570000},
   {"number": 4, "raid": 1, "members": [10, 11], "blocks": 1000000, "state": 17, "rebuild_state": 2, "processed_blocks": 250000},
   {"number": 5, "raid": 1, "members": [6, 7], "blocks": 1000000, "maintenance_state": 2, "processed_blocks": 300000}]},
 {"host": 3, "model": "ZN5121",
  "drives": [{"slot": 0, "interface": "SAS"}, {"slot": 1, "interface": "SAS", "state": "alarm"},
   {"slot": 2, "interface": "SAS"}, {"slot": 3, "interface": "SAS", "state": "alarm"},
   {"slot": 4, "interface": "SAS"}, {"slot": 5, "interface": "SAS"}, {"slot": 6, "interface": "SAS"},
   {"slot": 7, "interface": "SAS"}, {"slot": 8, "interface": "SAS"}, {"slot": 9, "interface": "SAS"},
   {"slot": 10, "interface": "SAS"}, {"slot": 11, "interface": "SAS"}],
  "logical_drives": [
   {"number": 0, "raid": 1, "members": [0, 1], "auto_rebuild": false, "blocks": 1000000},
   {"number": 1, "raid": 1, "members": [2, 3], "auto_rebuild": false, "state": 2, "rebuild_state": 1},
   {"number": 2, "raid": 1, "members": [4, 5], "blocks": 1000000, "state": 5, "rebuild_state": 2, "processed_blocks": 640000},
   {"number": 3, "raid": 5, "members": [6, 8, 9], "maintenance_state": 1}],
  "hot_spares": [10, 11]}
]})";

// Drives of 256 MiB: a check of a RAID 1 of two takes 8 s at speed 1.
inline const char kSmallServer[] = R"({"speed": 1, "adapters": [{"host": 2, "model": "ZN5121",
  "drives": [{"slot": 0, "interface": "SAS", "blocks": 524288}, {"slot": 1, "interface": "SAS", "blocks": 524288},
             {"slot": 2, "interface": "SAS", "blocks": 524288}, {"slot": 3, "interface": "SAS", "blocks": 524288}],
  "logical_drives": [{"number": 0, "raid": 1, "members": [0, 1], "blocks": 500000},
                     {"number": 1, "raid": 1, "members": [2, 3], "blocks": 500000}]}]})";

// A progress row as a terminal shows it: the row's first 19 columns, one
// star per two percent around the number at 42-45.
inline std::string BarRow(const std::string& head, int percent) {
    int left = percent / 2 < 23 ? percent / 2 : 23;
    int right = percent >= 56 ? (percent - 54) / 2 : 0;
    std::string number = percent == 100 ? "100%" : (percent < 10 ? "0" : "") + std::to_string(percent) + " %";
    return head + std::string(left, '*') + std::string(23 - left, '-') + number + std::string(right, '*') +
           std::string(23 - right, '-');
}

inline std::string LdRow(int adapter, int ld, int percent) {
    char head[32];
    snprintf(head, sizeof head, "   %2d       %2d     ", adapter, ld);
    return BarRow(head, percent);
}

inline std::string PdRow(int adapter, int pd, const char* kind, int percent) {
    char head[32];
    snprintf(head, sizeof head, "  %2d       %2d    %s", adapter, pd, kind);
    return BarRow(head, percent);
}

inline const char kCheckHeading[] = "Check Consistency progress of virtual drives...";
inline const char kParityHeading[] = "Make Parity progress of virtual drives...";
inline const char kRebuildHeading[] = "Rebuild[R], Copy Back[CB] and Copy[C] progress of physical drives...";
inline const char kLdColumns[] = " Adapter #  VD #               Percent Complete";
inline const char kPdColumns[] = "Adapter #  PD #  state             Percent Complete";

}  // namespace bgoptest

#endif
