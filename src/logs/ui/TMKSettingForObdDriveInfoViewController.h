#pragma once

#include "logs/ui/TMKSettingForFlashDataViewController.h"

#include <memory>

// The OBD drive log page under the settings window's "Drive Info" tab. Its
// open panel also offers flash data logs, which open in a flash data page
// of their own window, so both logs of the card can be seen.
class TMKSettingForObdDriveInfoViewController : public TMKSettingForFlashDataViewController {
    Q_OBJECT

public:
    explicit TMKSettingForObdDriveInfoViewController(QWidget* parent = nullptr);
    ~TMKSettingForObdDriveInfoViewController() override;

    [[nodiscard]] TMKSettingForFlashDataViewController* flashDataPage() const { return m_flashDataPage.get(); }

protected:
    [[nodiscard]] QString missingFileMessageText() const override;
    [[nodiscard]] QString openFileFilter() const override;
    void openChosenFile(const QString& path) override;

private:
    std::unique_ptr<TMKSettingForFlashDataViewController> m_flashDataPage;
};
