#pragma once

#include "settings/TKSettingFile.h"

#include <QString>

#include <optional>

class TMKSettingHost;

// What every settings page does for the settings window.
class TMKSettingControllerDelegate {
public:
    virtual ~TMKSettingControllerDelegate() = default;
    // The record to show and edit; the page shows it at once.
    virtual void setFileData(_FILEDATA* fileData) = 0;
    // Writes the controls into the record; false when there is no record or
    // the input is invalid.
    virtual bool populate() = 0;
    // A message for the user, or nothing when the input is valid.
    [[nodiscard]] virtual std::optional<QString> validateUserInput() = 0;
    virtual void setMainController(TMKSettingHost* controller) = 0;
    // Called before the page is taken away.
    virtual void onHide() {}
};
