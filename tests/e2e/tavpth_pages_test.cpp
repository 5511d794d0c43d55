// tavpth's page printing: the log-page report of L with its EUC-JP labels,
// compared byte for byte and, through iconv, as readable text; and
// PDPrintModePage with the file it appends to.
#include <cstdio>

#include "tavpth_tool_fixture.h"

namespace {

using pthtest::Cdb;
using pthtest::Dump;
using pthtest::kAbnormalEnd;

// A SATA drive (skipped by L), a "073" drive (one head printed) and a drive
// whose page 0x32 layout is unknown (page 0x31 only).
const char kPagesServer[] = R"({"adapters": [{"host": 2, "model": "ZN5121", "drives": [
  {"slot": 0, "interface": "SATA", "vendor": "ATA", "product": "QRX4410AB"},
  {"slot": 3, "interface": "SAS", "product": "MBA3073RC"},
  {"slot": 4, "interface": "SAS", "product": "MBB2600RC"}]}]})";

class Pages : public pthtest::Tool {
protected:
    Pages() : Tool(kPagesServer) {}
};

std::string Iconv(const std::string& text, const std::string& from, const std::string& to) {
    auto r = tavtest::runCommand({"iconv", "-f", from, "-t", to}, text);
    EXPECT_EQ(r.status, 0) << r.err;
    return r.out;
}

// Page 0x31 as the simulated drive keeps it: entries 1-3 hold errors.
std::string Page31(int slot) {
    std::string out = "No.\t累積(h)\t\tP-On(m)\t\tｾﾝｽﾃﾞｰﾀ\tLBA\t\tCDB\n";
    char line[128];
    for (int i = 0; i < 171; ++i) {
        if (i < 3) {
            std::snprintf(line, sizeof line, "%03d\t%8u.50\t%8u.50\t%s\t%08X\t28\n", i + 1, i + 1, i + 10,
                          i == 2 ? "031100" : "011800", 0x1000 * (i + 1) + slot);
        } else {
            std::snprintf(line, sizeof line, "%03d\t       0.00\t       0.00\t000000\t00000000\t00\n", i + 1);
        }
        out += line;
    }
    return out;
}

std::string Head(const std::string& kind, int worst) {
    return kind + "したセクタ数[Head0]:   " +
           std::to_string(1000000 * (kind == "リード"   ? 1
                                     : kind == "ライト" ? 2
                                                        : 3)) +
           "\n現在の" + kind + "エラー数[Head0]:    0\n前回の" + kind + "エラー数[Head0]:    " +
           std::to_string(kind == "リード"   ? 1
                          : kind == "ライト" ? 2
                                             : 3) +
           "\n過去ワーストエラー数:    " + std::to_string(worst) + "\n\n";
}

std::string Report() {
    // Every drive but drive 0 is led by an empty line, the first one shown included.
    std::string out = "\nRAID Controller No.0\nPhysical Drive No.3\n\n<<<Logpage31:過去にHDDが挙げたエラーログ>>>\n" +
                      Cdb({0xBB, 3, 0x4D, 0, 0x31, 0, 0, 0, 0, 0x35, 0x74, 0}) + Page31(3) +
                      "\n<<<Logpage32:HDD SMART系ログ>>>\n" + Cdb({0xBB, 3, 0x4D, 0, 0x32, 0, 0, 0, 0, 0x00, 0xD4, 0});
    out += "累積稼動時間[h]:       1.50\n\n" + Head("リード", 7) + Head("ライト", 7) + Head("シーク", 7);
    out +=
        "残り交替セクタ数:  291\n\n"
        "今回のスピンアップ時間[s]:   6\n前回のスピンアップ時間[s]:   7\n最大スピンアップ時間[s]:   9\n"
        "最大時間を要した時の発生時間[h]:       2.00\n\n"
        "現在のCSS 回数:  300\n\n"
        "現在の装置温度: 35\n過去最大温度: 45\n最大温度を検出したときの時間[h]:       5.00\n\n"
        "現在の12V 電圧:11.9\n最大電圧:12.3\n最低電圧:11.9\n最大電圧を検出したときの時間[h]:       1.50\n"
        "最低電圧を検出したときの時間[h]:       0.50\n\n"
        "SMART ASC:00\nSMART ASCQ:00\nSMART 警告を検出した時間[h]:       0.00\n\n";
    out += "\nRAID Controller No.0\nPhysical Drive No.4\n\n<<<Logpage31:過去にHDDが挙げたエラーログ>>>\n" +
           Cdb({0xBB, 4, 0x4D, 0, 0x31, 0, 0, 0, 0, 0x35, 0x74, 0}) + Page31(4) + "\n<<<Logpage32:HDD SMART系ログ>>>\n";
    return out;
}

TEST_F(Pages, LogReportIsEucJp) {
    auto r = Run({"L"});
    EXPECT_EQ(r.status, 0);
    // The labels' bytes, independent of any converter.
    EXPECT_NE(r.out.find("<<<Logpage32:HDD SMART\xB7\xCF\xA5\xED\xA5\xB0>>>\n"), std::string::npos);
    EXPECT_NE(r.out.find("\tP-On(m)\t\t\x8E\xBE\x8E\xDD\x8E\xBD\x8E\xC3\x8E\xDE\x8E\xB0\x8E\xC0\tLBA"),
              std::string::npos);
    EXPECT_EQ(r.out, Iconv(Report(), "UTF-8", "EUC-JP"));
    EXPECT_EQ(Iconv(r.out, "EUC-JP", "UTF-8"), Report());
    EXPECT_NE(TraceLog().find("skipped for not supported [TavPrintLogsense] command."), std::string::npos);
}

// A drive whose page 0x31 fails gets no page 0x32; L still succeeds.
TEST_F(Pages, FailedPageIsReportedAndTheWalkGoesOn) {
    ASSERT_EQ(sim.inject({"drive-check-condition", "0", "3", "5", "0x24", "0"}).status, 0);
    auto r = Run({"L"});
    EXPECT_EQ(r.status, 0);
    std::string failed = "\nRAID Controller No.0\nPhysical Drive No.3\n\n<<<Logpage31:\xB2\xE1\xB5\xEE";
    size_t at = r.out.find("TAV0005-E Request sense data  KEY:05  ASC:24  ASCQ:00\n");
    ASSERT_NE(at, std::string::npos) << r.out.substr(0, 400);
    EXPECT_EQ(r.out.compare(0, failed.size(), failed), 0);
    EXPECT_EQ(r.out.find("Logpage32"), r.out.rfind("Logpage32"));  // only drive 4's
    EXPECT_NE(r.out.find("Physical Drive No.4"), std::string::npos);
}

TEST_F(Pages, ModePageIsPrintedAndAppendedToItsFile) {
    std::string dir = sim.path("/work");
    tavtest::runCommand({"mkdir", "-p", dir});
    std::string command = "cd '" + dir + "' && exec '" + tavtest::tavsimPath() + "' run '" + sim.root() +
                          "' -- tavpth PDPrintModePage 0 3 7F 00 20";
    auto first = tavtest::runCommand({"sh", "-c", command});
    ASSERT_EQ(first.status, 0) << first.out;
    std::string head =
        "RAID Controller No.0\nPhysical Drive No.3\nPage Code     : 0x3F\nSub Page Code : 0x00\n"
        "Data Size     : 0x20\n\n" +
        Cdb({0xBB, 3, 0x1A, 0x08, 0x3F, 0x00, 0x20, 0x00});
    ASSERT_EQ(first.out.compare(0, head.size(), head), 0) << first.out;
    std::string dump = first.out.substr(head.size());
    EXPECT_EQ(dump.compare(0, 30, "[Get HDD Mode Page] Size=32\n--"), 0) << dump;

    auto second = tavtest::runCommand({"sh", "-c", command});
    EXPECT_EQ(second.out, first.out);
    // The file holds the printed rows with "\r\n" line ends and an empty line, twice.
    std::string report;
    for (char c : dump) report += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_EQ(tavtest::readFile(dir + "/Cnt0Dev3.txt"), report + "\r\n" + report + "\r\n");
}

TEST_F(Pages, ModePageArgumentsAreChecked) {
    std::string target3 = "RAID Controller No.0\nPhysical Drive No.3\n";
    auto illegal = [](const std::string& label) {
        return "TAV0022-E Ileagal Parameter. detail=" + label + "\n" + kAbnormalEnd;
    };
    ExpectAll({
        {{"PDPrintModePage", "0", "3", "100", "00", "20"}, target3 + illegal("Page Code"), 1},
        {{"PDPrintModePage", "0", "3", "0x1", "00", "20"}, target3 + illegal("Page Code"), 1},
        {{"PDPrintModePage", "0", "3", "3F", "G", "20"}, target3 + illegal("Sub Page Code"), 1},
        {{"PDPrintModePage", "0", "3", "3F", "00", ""}, target3 + illegal("Data Size"), 1},
        {{"PDPrintModePage", "0", "0", "3F", "00", "20"},
         "RAID Controller No.0\nPhysical Drive No.0\nTAV0024-E <SATA> drive does not support this command.\n" +
             std::string(kAbnormalEnd),
         1},
    });
    EXPECT_EQ(DriveModel(3)["commands_received"], 0);
}

}  // namespace
