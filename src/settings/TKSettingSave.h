#pragma once

#include "settings/TKSettingFile.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>

// Saving a settings record, the same for the settings window and
// tamek-config: which file it goes to, then read (when editing a file),
// seal, lock and write. The window only asks the user when this says so.

// How long a writer waits for another writer of the same folder.
inline constexpr std::chrono::seconds kTKSettingLockWait{5};

// What the window knows when Save is pressed. Paths are local (encoded)
// file names; an empty optional is "none".
struct TKSaveSituation {
    std::optional<std::string> openedFile; // the file the user opened
    std::optional<std::string> shownCardFile; // the card's file the window read, while it is still there
    std::optional<std::string> foundCardFile; // the file on a card found now
    std::optional<std::string> recalledFile; // the file last saved or opened away from the card
    std::string lastSaveFolder; // where the user last saved without a card; may be gone
    std::string homeFolder;
};

enum class TKSaveFileKind {
    Opened, // the opened file, written without asking
    Card, // the card's file, written without asking
    Recalled, // ask, proposing the recalled file
    Asked, // ask, proposing config.bin in the last save folder or home
};

struct TKSaveFile {
    TKSaveFileKind kind;
    std::string path; // the file written, or the one proposed when asking
    [[nodiscard]] bool asks() const { return kind == TKSaveFileKind::Recalled || kind == TKSaveFileKind::Asked; }
    // Remembered for the next window without a card.
    [[nodiscard]] bool awayFromTheCard() const { return kind != TKSaveFileKind::Card; }
};

[[nodiscard]] TKSaveFile TKChooseSaveFile(const TKSaveSituation& situation);

// Why the path holds no settings file (only a 428-byte regular file is
// one), as a line naming the path; nothing when it does.
[[nodiscard]] std::optional<std::string> TKSettingFileProblem(const std::string& path);

struct TKSaveFailure {
    enum class Kind {
        Busy, // another writer held the lock past kTKSettingLockWait
        Refused, // not a settings file, or not one that may be replaced
        Unreadable,
        Rejected, // the edit said no
        Unwritable, // the write failed; the old file is kept
    };
    Kind kind;
    std::string text; // for the log or the terminal
};

// Seals the record and writes it to the path under the folder's lock. A
// folder that cannot be locked at all (the card is gone) is left to the
// write to report.
[[nodiscard]] std::optional<TKSaveFailure> TKSaveSettingFile(_FILEDATA& record, const std::string& path,
    std::chrono::milliseconds lockWait = kTKSettingLockWait);

// Under the lock from the read to the rename, so a second writer builds on
// this one's result: checks and reads the file, applies `edit` (its text,
// when it returns one, rejects the change), seals and writes.
using TKSettingEdit = std::function<std::optional<std::string>(_FILEDATA&)>;
[[nodiscard]] std::optional<TKSaveFailure> TKEditSettingFile(const std::string& path, const TKSettingEdit& edit,
    std::chrono::milliseconds lockWait = kTKSettingLockWait);
