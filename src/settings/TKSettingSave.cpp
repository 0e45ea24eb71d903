#include "settings/TKSettingSave.h"

#include "base/TMKLog.h"

#include <filesystem>
#include <system_error>

TKSaveFile TKChooseSaveFile(const TKSaveSituation& situation)
{
    if (situation.openedFile)
        return {TKSaveFileKind::Opened, *situation.openedFile};
    if (situation.shownCardFile)
        return {TKSaveFileKind::Card, *situation.shownCardFile};
    if (situation.foundCardFile)
        return {TKSaveFileKind::Card, *situation.foundCardFile};
    if (situation.recalledFile)
        return {TKSaveFileKind::Recalled, *situation.recalledFile};
    // Never the working directory the app happened to start in.
    std::error_code error;
    const bool folderThere = !situation.lastSaveFolder.empty()
        && std::filesystem::is_directory(situation.lastSaveFolder, error);
    const std::filesystem::path folder = folderThere ? situation.lastSaveFolder : situation.homeFolder;
    return {TKSaveFileKind::Asked, (folder / "config.bin").string()};
}

std::optional<std::string> TKSettingFileProblem(const std::string& path)
{
    switch (TKSettingFileStateAt(path)) {
    case TKSettingFileState::Valid:
        return std::nullopt;
    case TKSettingFileState::Missing:
        return path + ": no such file";
    case TKSettingFileState::NotAFile:
        return path + ": not a regular file";
    case TKSettingFileState::WrongSize: {
        std::error_code error;
        const auto size = std::filesystem::file_size(path, error);
        return path + ": not a settings file (" + std::to_string(size) + " bytes, expected "
            + std::to_string(kTKSettingFileSize) + ")";
    }
    }
    return path + ": unreadable";
}

std::optional<TKSaveFailure> TKSaveSettingFile(_FILEDATA& record, const std::string& path,
    std::chrono::milliseconds lockWait)
{
    TKSealSettings(record);
    TKFileLock lock;
    if (auto failure = TKLockFileForUpdate(path, lock, lockWait)) {
        if (failure->busy)
            return TKSaveFailure{TKSaveFailure::Kind::Busy, failure->text};
        TMKLog(failure->text);
    }
    if (auto failure = TKWriteSettingFile(record, path))
        return TKSaveFailure{TKSaveFailure::Kind::Unwritable, path + ": cannot be written (" + *failure + ")"};
    return std::nullopt;
}

std::optional<TKSaveFailure> TKEditSettingFile(const std::string& path, const TKSettingEdit& edit,
    std::chrono::milliseconds lockWait)
{
    TKFileLock lock;
    if (auto failure = TKLockFileForUpdate(path, lock, lockWait))
        return TKSaveFailure{failure->busy ? TKSaveFailure::Kind::Busy : TKSaveFailure::Kind::Refused, failure->text};
    if (auto problem = TKSettingFileProblem(path))
        return TKSaveFailure{TKSaveFailure::Kind::Refused, *problem};
    if (auto refusal = TKCheckReplaceable(path))
        return TKSaveFailure{TKSaveFailure::Kind::Refused, *refusal};
    _FILEDATA record;
    if (!TKReadSettingFile(path, record))
        return TKSaveFailure{TKSaveFailure::Kind::Unreadable, path + ": cannot be read"};
    if (auto rejection = edit(record))
        return TKSaveFailure{TKSaveFailure::Kind::Rejected, *rejection};
    TKSealSettings(record);
    if (auto failure = TKWriteSettingFile(record, path))
        return TKSaveFailure{TKSaveFailure::Kind::Unwritable, path + ": cannot be written (" + *failure + ")"};
    return std::nullopt;
}
