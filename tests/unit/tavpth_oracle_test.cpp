// An oracle we did not write: every CDB the pass-through library hands to the
// controller, and the sense data it hands back, decoded by libsgutils2 and
// compared with what the test meant to send or provoke. A misplaced byte
// shows up as another command name, size or sense field.
#include <scsi/sg_lib.h>
#include <string.h>

#include <string>
#include <vector>

#include "tavpth_fixture.h"

using namespace tavpthtest;

namespace {

constexpr int kFixedCdbSlot = 16;  // the default server's driver takes the CDB in a 16-byte field

std::string commandName(const uint8_t *cdb)
{
    char name[256];
    sg_get_command_name(cdb, 0, sizeof name, name);
    return name;
}

using ReadEntry = uint32_t (*)(PassThroughInfo *, uint8_t *, uint32_t *, uint8_t *, uint32_t *);
using WriteEntry = uint32_t (*)(PassThroughInfo *, uint8_t *, uint32_t, uint8_t *, uint32_t *);

class Oracle : public PassThrough {
protected:
    // Sends through `call` while recording; returns the one request it made.
    template <typename Call> SeenRequest sendOne(Call call, Outcome *outcome = nullptr)
    {
        g_seen.clear();
        g_recording = true;
        Outcome o = run(call);
        g_recording = false;
        if (outcome != nullptr) {
            *outcome = o;
        }
        EXPECT_EQ(g_seen.size(), 1u);
        return g_seen.empty() ? SeenRequest{} : g_seen[0];
    }

    static void expectSense(const Outcome &o, const char *key, const char *ascText)
    {
        ASSERT_EQ(o.code, TAVPAS_CHECK_CONDITION);
        sg_scsi_sense_hdr header;
        ASSERT_TRUE(sg_scsi_normalize_sense(o.result.data(), static_cast<int>(o.resultLength), &header));
        char text[256];
        EXPECT_STREQ(sg_get_sense_key_str(header.sense_key, sizeof text, text), key);
        EXPECT_EQ(std::string(sg_get_asc_ascq_str(header.asc, header.ascq, sizeof text, text)),
                  std::string("Additional sense: ") + ascText);
    }
};

TEST_F(Oracle, EveryTypedScsiCommandSendsTheDrivesCdbInTheWrapper)
{
    struct Case {
        ReadEntry read;
        WriteEntry write;
        std::vector<uint8_t> driveCdb;  // operation code left 0 where the library places it
        uint32_t length;
        const char *name;
    };
    const Case cases[] = {
        {TavPasInquiry, nullptr, {0, 0, 0, 0, 48, 0}, 48, "Inquiry"},
        {TavPasLogSense, nullptr, {0, 0, 0x31, 0, 0, 0, 0, 0x35, 0x74, 0}, 0x3574, "Log sense"},
        {TavPasModeSense, nullptr, {0, 0x08, 0x3F, 0, 0xFF, 0}, 0xFF, "Mode sense(6)"},
        {TavPasReadBuffer, nullptr, {0, 0x02, 0, 0, 0, 0, 0, 0x02, 0, 0}, 512, "Read buffer(10), data"},
        {TavPasReadExtend, nullptr, rw10(0, 0x100, 1), 512, "Read(10)"},
        {TavPasReadLong, nullptr, {0, 0, 0, 0, 0x01, 0, 0, 0x02, 0x08, 0}, 520, "Read long(10)"},
        {TavPasRequestInternalLog, nullptr, {0, 1, 0, 0, 0, 0, 0, 0, 4, 0}, 4, "Vendor specific [0xfe]"},
        {nullptr, TavPasModeSelect, {0x15, 0x11, 0, 0, 0x22, 0}, 0x22, "Mode select(6)"},
        {nullptr,
         TavPasWriteBuffer,
         {0x3B, 0x07, 0, 0, 0, 0, 0, 0x10, 0, 0},
         0x1000,
         "Write buffer, download microcode with offsets, save, and activate"},
        {nullptr, TavPasWriteExtend, rw10(0x2A, 0x100, 1), 512, "Write(10)"},
        {nullptr, TavPasWriteLong, {0x3F, 0, 0, 0, 0x01, 0, 0, 0x02, 0x08, 0}, 520, "Write long(10)"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> data(c.length, 0);
        if (c.write == TavPasModeSelect) {
            data[4] = 0x22;
            data[5] = 0x1C;
        }
        PassThroughInfo info = wrapped(5, c.read != nullptr, c.driveCdb);
        info.cdb[0] = 0;
        if (c.write != nullptr) {
            info.cdb[0] = 0xBA;
        }
        uint32_t length = c.length;
        SeenRequest seen = sendOne([&](uint8_t *r, uint32_t *rl) {
            return c.read != nullptr ? c.read(&info, data.data(), &length, r, rl)
                                     : c.write(&info, data.data(), length, r, rl);
        });
        if (seen.area.empty()) {
            continue;
        }
        const uint8_t *area = seen.area.data();
        EXPECT_EQ(area[0], c.read != nullptr ? 0xBB : 0xBA);
        EXPECT_EQ(area[1], 5);
        EXPECT_EQ(commandName(area + 2), c.name);
        EXPECT_EQ(sg_get_command_size(area[2]), static_cast<int>(c.driveCdb.size()));
        EXPECT_EQ(seen.targetId, 5);
        EXPECT_EQ(seen.lengthIn & 0xFFFFFF, c.read != nullptr ? 0u : c.length);
        EXPECT_EQ(seen.lengthOut, c.read != nullptr ? c.length : 0u);
        EXPECT_EQ(memcmp(area + 3, c.driveCdb.data() + 1, c.driveCdb.size() - 1), 0)
            << "the caller's bytes after the operation code travel unchanged";
    }
}

TEST_F(Oracle, CommandsWithoutDataAndTheSataCommandsAreWhatTheyClaim)
{
    PassThroughInfo unit = wrapped(2, false, {0x1B, 0x01, 0, 0, 0x01, 0});
    SeenRequest seen = sendOne([&](uint8_t *r, uint32_t *rl) {
        uint32_t zero = 0;
        return TavPasAnyCommand(&unit, nullptr, &zero, r, rl);
    });
    ASSERT_FALSE(seen.area.empty());
    EXPECT_EQ(commandName(seen.area.data() + 2), "Start stop unit");
    EXPECT_EQ(seen.lengthIn & 0xFFFFFF, 0u);
    EXPECT_EQ(seen.lengthOut, 0u);

    struct Case {
        ReadEntry read;
        WriteEntry write;
        uint8_t ata;
    };
    for (Case c : {Case{TavPasIdentifyDevice, nullptr, 0xEC}, Case{TavPasReadSectorExt, nullptr, 0x24},
                   Case{nullptr, TavPasWriteSectorExt, 0x34}}) {
        SCOPED_TRACE(int(c.ata));
        std::vector<uint8_t> data(512, 0);
        PassThroughInfo info = request(1, 1, 7, 1, sat16(c.read ? 0x09 : 0x0B, c.read ? 0x0E : 0x06, 1, 0x20, 0));
        info.cdb[0] = 0;
        info.transferUnit = 1;
        uint32_t length = 512;
        g_seen.clear();
        g_recording = true;
        Outcome o = run([&](uint8_t *r, uint32_t *rl) {
            return c.read != nullptr ? c.read(&info, data.data(), &length, r, rl)
                                     : c.write(&info, data.data(), length, r, rl);
        });
        g_recording = false;
        ASSERT_EQ(o.code, TAVPAS_OK);
        ASSERT_EQ(g_seen.size(), 2u);
        const uint8_t *sat = g_seen[0].area.data() + kFixedCdbSlot;
        EXPECT_EQ(commandName(sat), "ATA pass-through(16)");
        EXPECT_EQ(sg_get_command_size(sat[0]), 16);
        EXPECT_EQ(sat[14], c.ata);
        EXPECT_EQ(sat[13], 0x40);
    }
}

TEST_F(Oracle, SenseDataComesBackWhereTheDecodersLookForIt)
{
    std::vector<uint8_t> data(512);
    inject({"drive-check-condition", "0", "1", "3", "0x11", "0"});
    PassThroughInfo read = wrapped(1, true, rw10(0x28, 0, 1));
    Outcome o = any(read, data.data(), 512);
    expectSense(o, "Medium Error", "Unrecovered read error");

    inject({"drive-stop", "0", "1"});
    PassThroughInfo ready = wrapped(1, false, {0x00, 0, 0, 0, 0, 0});
    expectSense(any(ready, nullptr, 0), "Not Ready", "Logical unit not ready, initializing command required");

    PassThroughInfo unknown = wrapped(2, true, {0xC9, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    expectSense(any(unknown, data.data(), 16), "Illegal Request", "Invalid command operation code");

    // The READ LONG probe: incorrect length, information = requested - actual.
    PassThroughInfo probe = wrapped(2, true, {0x3E, 0, 0, 0, 0x01, 0, 0, 0x02, 0x00, 0});
    o = any(probe, data.data(), 512);
    expectSense(o, "Illegal Request", "Invalid field in cdb");
    uint64_t information = 0;
    bool ili = false;
    EXPECT_TRUE(sg_get_sense_info_fld(o.result.data(), static_cast<int>(o.resultLength), &information));
    EXPECT_EQ(information, 0xFFFFFFF8u);
    EXPECT_TRUE(
        sg_get_sense_filemark_eom_ili(o.result.data(), static_cast<int>(o.resultLength), nullptr, nullptr, &ili));
    EXPECT_TRUE(ili);

    // A block a long write broke: MEDIUM ERROR naming the block.
    std::vector<uint8_t> ones(520, 0xFF);
    PassThroughInfo breakIt = wrapped(2, false, {0x3F, 0, 0, 0, 0x01, 0x23, 0, 0x02, 0x08, 0});
    ASSERT_EQ(any(breakIt, ones.data(), 520).code, TAVPAS_OK);
    PassThroughInfo again = wrapped(2, true, rw10(0x28, 0x123, 1));
    o = any(again, data.data(), 512);
    expectSense(o, "Medium Error", "Unrecovered read error");
    EXPECT_TRUE(sg_get_sense_info_fld(o.result.data(), static_cast<int>(o.resultLength), &information));
    EXPECT_EQ(information, 0x123u);
}

}  // namespace
