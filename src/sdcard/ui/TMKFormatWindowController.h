#pragma once

#include "sdcard/TKCardFormat.h"
#include "sdcard/TKDiskSystem.h"
#include "sdcard/TKExternalCommand.h"
#include "sdcard/TKUSBDiskEntity.h"
#include "settings/TKUserDefaults.h"

#include <QString>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class TMKAlertService;
class TMKLoadingOverlay;

// The SD card format window: lists the USB disks, shows the chosen one's
// allocation unit and device, and runs the format sequence on a worker while
// the window shows its steps.
class TMKFormatWindowController : public QWidget {
    Q_OBJECT

public:
    // The platform services it uses; empty members take the machine's own.
    struct Services {
        std::shared_ptr<TKDiskSystem> disks;
        std::shared_ptr<TKCommandRunner> commands;
        std::shared_ptr<TKCardFiles> files;
        std::shared_ptr<TKUserDefaults> defaults;
        QString backupFolder; // where config.bin is kept; empty: under the user's state folder
        std::shared_ptr<TMKAlertService> alerts; // empty: message boxes
    };

    explicit TMKFormatWindowController(Services services = {}, QWidget* parent = nullptr);
    ~TMKFormatWindowController() override;

    void loadUSBVolumes(std::function<void()> completion = {});
    [[nodiscard]] QStringList doLoadUSBVolumes(std::vector<TKUSBDiskEntity>& disks) const;
    std::optional<TKUSBDiskEntity> selectUSBByDevFile(const std::string& deviceFilePath);
    [[nodiscard]] std::optional<TKUSBDiskEntity> selectedUSBDisk() const;
    void updateSelectedDiskInfo();
    void changeDisk();
    // Asks before erasing, naming the card (also as root); Erase runs doFormat.
    void onFormat();
    void doFormat(const TKUSBDiskEntity& disk);
    void cancel();

    void showProgressBar(const QString& text);
    void hideProgressBar();

    [[nodiscard]] const std::vector<TKUSBDiskEntity>& usbDiskArray() const { return m_usbDiskArray; }
    [[nodiscard]] bool isFormatting() const { return m_formatting; }

    QComboBox* usbDiskCombo = nullptr;
    QLabel* allocationUnitLabel = nullptr;
    QLineEdit* allocationUnitField = nullptr;
    QLabel* fileSystemLabel = nullptr;
    QLineEdit* fileSystemField = nullptr;
    QLineEdit* pathField = nullptr;
    QPushButton* formatButton = nullptr;
    QPushButton* cancelButton = nullptr;
    QProgressBar* progressBar = nullptr;
    QLabel* progressMessageField = nullptr;

signals:
    void disksLoaded();
    void formatFinished(int status);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void windowDidLoad();
    void formatDidFinished(const TKFormatOutcome& outcome, const TKUSBDiskEntity& disk);
    void alert(const QString& message, const QString& informative, std::function<void()> onEnd = {});
    [[nodiscard]] TMKAlertService& alerts() const;

    Services m_services;
    std::vector<TKUSBDiskEntity> m_usbDiskArray;
    TMKLoadingOverlay* m_loading = nullptr;
    bool m_formatting = false; // from the confirmation to the outcome
    bool m_loaded = false;
};
