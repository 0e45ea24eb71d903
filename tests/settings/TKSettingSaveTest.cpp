#include "settings/TKSettingSave.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

struct WhichFileCase {
    const char* name;
    TKSaveSituation situation;
    TKSaveFileKind kind;
    std::string path;
};

class SettingSave : public testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("tamek-save-" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir / "last");
        file = (dir / "config.bin").string();
    }
    void TearDown() override { fs::remove_all(dir); }

    fs::path dir;
    std::string file;
};

TEST_F(SettingSave, WhichFile)
{
    const std::string last = (dir / "last").string();
    const std::string gone = (dir / "gone").string();
    const std::string home = (dir / "home").string();
    const std::vector<WhichFileCase> cases = {
        {"opened wins over a card", {"/o.bin", "/card/config.bin", "/c2/config.bin", "/r.bin", last, home},
         TKSaveFileKind::Opened, "/o.bin"},
        {"the card read before a card found now", {{}, "/card/config.bin", "/c2/config.bin", "/r.bin", last, home},
         TKSaveFileKind::Card, "/card/config.bin"},
        {"a card found now", {{}, {}, "/c2/config.bin", "/r.bin", last, home}, TKSaveFileKind::Card, "/c2/config.bin"},
        {"no card: propose the recalled file", {{}, {}, {}, "/r.bin", last, home}, TKSaveFileKind::Recalled, "/r.bin"},
        {"no card, nothing recalled: the last folder", {{}, {}, {}, {}, last, home}, TKSaveFileKind::Asked,
         last + "/config.bin"},
        {"the last folder is gone: home", {{}, {}, {}, {}, gone, home}, TKSaveFileKind::Asked, home + "/config.bin"},
        {"no last folder: home", {{}, {}, {}, {}, "", home}, TKSaveFileKind::Asked, home + "/config.bin"},
    };
    for (const auto& c : cases) {
        const TKSaveFile chosen = TKChooseSaveFile(c.situation);
        EXPECT_EQ(chosen.kind, c.kind) << c.name;
        EXPECT_EQ(chosen.path, c.path) << c.name;
        EXPECT_EQ(chosen.asks(), c.kind == TKSaveFileKind::Recalled || c.kind == TKSaveFileKind::Asked) << c.name;
        EXPECT_EQ(chosen.awayFromTheCard(), c.kind != TKSaveFileKind::Card) << c.name;
    }
}

TEST_F(SettingSave, SealsAndWritesThenEditsUnderTheLock)
{
    _FILEDATA record;
    TKMakeDefaultSettings(record);
    TKSetPlateNumber(record, "12AB3456");
    record.checksum = 0;
    ASSERT_FALSE(TKSaveSettingFile(record, file));
    EXPECT_TRUE(TKSettingChecksumMatches(record)) << "the window's record is sealed too";
    _FILEDATA read;
    ASSERT_TRUE(TKReadSettingFile(file, read));
    EXPECT_EQ(std::memcmp(&read, &record, sizeof record), 0);

    ASSERT_FALSE(TKEditSettingFile(file, [](_FILEDATA& r) -> std::optional<std::string> {
        r.speed_disp_unit = 1;
        return std::nullopt;
    }));
    ASSERT_TRUE(TKReadSettingFile(file, read));
    EXPECT_EQ(read.speed_disp_unit, 1u);
    EXPECT_TRUE(TKSettingChecksumMatches(read));

    const auto rejected = TKEditSettingFile(file, [](_FILEDATA& r) -> std::optional<std::string> {
        r.speed_disp_unit = 0;
        return "no";
    });
    ASSERT_TRUE(rejected);
    EXPECT_EQ(rejected->kind, TKSaveFailure::Kind::Rejected);
    ASSERT_TRUE(TKReadSettingFile(file, read));
    EXPECT_EQ(read.speed_disp_unit, 1u) << "a rejected edit writes nothing";
}

TEST_F(SettingSave, ABusyLockWritesNothing)
{
    _FILEDATA record;
    TKMakeDefaultSettings(record);
    ASSERT_FALSE(TKSaveSettingFile(record, file));
    const auto before = fs::last_write_time(file);
    TKFileLock other;
    ASSERT_FALSE(TKLockFileForUpdate(file, other, std::chrono::milliseconds(0)));

    record.speed_disp_unit = 1;
    const auto saved = TKSaveSettingFile(record, file, std::chrono::milliseconds(50));
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->kind, TKSaveFailure::Kind::Busy);
    const auto edited = TKEditSettingFile(file, [](_FILEDATA&) { return std::nullopt; }, std::chrono::milliseconds(50));
    ASSERT_TRUE(edited);
    EXPECT_EQ(edited->kind, TKSaveFailure::Kind::Busy);
    EXPECT_EQ(fs::last_write_time(file), before);
    _FILEDATA read;
    ASSERT_TRUE(TKReadSettingFile(file, read));
    EXPECT_EQ(read.speed_disp_unit, 0u);
}

} // namespace
