#include "settings/TKSettingSave.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class SettingSave : public testing::Test {
protected:
    void SetUp() override
    {
        fs::remove_all(dir);
        fs::create_directories(dir / "last");
    }
    void TearDown() override { fs::remove_all(dir); }

    _FILEDATA read() const
    {
        _FILEDATA record{};
        EXPECT_TRUE(TKReadSettingFile(file, record));
        return record;
    }

    const fs::path dir = fs::temp_directory_path() / ("tamek-save-" + std::to_string(::getpid()));
    const std::string file = (dir / "config.bin").string();
};

TEST_F(SettingSave, WhichFile)
{
    const std::string last = (dir / "last").string(), home = "/home/u";
    const struct {
        const char* name;
        TKSaveSituation situation;
        TKSaveFileKind kind;
        std::string path;
    } cases[] = {
        {"opened before any card", {"/o.bin", "/c1/config.bin", "/c2/config.bin", "/r.bin", last, home},
         TKSaveFileKind::Opened, "/o.bin"},
        {"the card read before one found now", {{}, "/c1/config.bin", "/c2/config.bin", "/r.bin", last, home},
         TKSaveFileKind::Card, "/c1/config.bin"},
        {"a card found now", {{}, {}, "/c2/config.bin", "/r.bin", last, home}, TKSaveFileKind::Card, "/c2/config.bin"},
        {"no card: ask with the recalled file", {{}, {}, {}, "/r.bin", last, home}, TKSaveFileKind::Recalled, "/r.bin"},
        {"nothing recalled: the last folder", {{}, {}, {}, {}, last, home}, TKSaveFileKind::Asked, last + "/config.bin"},
        {"the last folder is gone", {{}, {}, {}, {}, (dir / "gone").string(), home}, TKSaveFileKind::Asked,
         home + "/config.bin"},
        {"no last folder", {{}, {}, {}, {}, "", home}, TKSaveFileKind::Asked, home + "/config.bin"},
    };
    for (const auto& c : cases) {
        const TKSaveFile chosen = TKChooseSaveFile(c.situation);
        EXPECT_EQ(chosen.kind, c.kind) << c.name;
        EXPECT_EQ(chosen.path, c.path) << c.name;
    }
}

// Two editors at once each build on the other's result; a rejected edit
// writes nothing.
TEST_F(SettingSave, SaveSealsAndEditsKeepBothUpdates)
{
    _FILEDATA record;
    TKMakeDefaultSettings(record);
    TKSetPlateNumber(record, "12AB3456");
    ASSERT_FALSE(TKSaveSettingFile(record, file));
    EXPECT_TRUE(TKSettingChecksumMatches(record)) << "the window's record is sealed too";
    EXPECT_EQ(read().osd_plate_flag, 1);

    const auto setter = [](uint32_t _FILEDATA::*field, uint32_t value) {
        return [=](_FILEDATA& r) -> std::optional<std::string> {
            r.*field = value;
            return std::nullopt;
        };
    };
    for (uint32_t round = 1; round <= 10; ++round) {
        std::thread other([&] { EXPECT_FALSE(TKEditSettingFile(file, setter(&_FILEDATA::aud_input_vol, round))); });
        EXPECT_FALSE(TKEditSettingFile(file, setter(&_FILEDATA::aud_output_vol, round + 1)));
        other.join();
        const _FILEDATA now = read();
        ASSERT_EQ(now.aud_input_vol, round);
        ASSERT_EQ(now.aud_output_vol, round + 1);
        ASSERT_TRUE(TKSettingChecksumMatches(now));
    }
    const auto rejected = TKEditSettingFile(file, [](_FILEDATA& r) -> std::optional<std::string> {
        r.aud_input_vol = 0;
        return "no";
    });
    ASSERT_TRUE(rejected);
    EXPECT_EQ(rejected->kind, TKSaveFailure::Kind::Rejected);
    EXPECT_EQ(read().aud_input_vol, 10u);
}

TEST_F(SettingSave, ABusyLockWritesNothing)
{
    _FILEDATA record;
    TKMakeDefaultSettings(record);
    ASSERT_FALSE(TKSaveSettingFile(record, file));
    TKFileLock other;
    ASSERT_FALSE(TKLockFileForUpdate(file, other, std::chrono::milliseconds(0)));
    record.aud_input_vol = 9;
    const auto saved = TKSaveSettingFile(record, file, std::chrono::milliseconds(50));
    const auto edited = TKEditSettingFile(file, [](_FILEDATA&) { return std::nullopt; }, std::chrono::milliseconds(50));
    ASSERT_TRUE(saved && edited);
    EXPECT_EQ(saved->kind, TKSaveFailure::Kind::Busy);
    EXPECT_EQ(edited->kind, TKSaveFailure::Kind::Busy);
    EXPECT_NE(read().aud_input_vol, 9u);
}

} // namespace
