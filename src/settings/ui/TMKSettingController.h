#pragma once

#include "kit/TMKSettingHost.h"
#include "logs/ui/TMKSettingForObdDriveInfoViewController.h"
#include "sdcard/TKDiskSystem.h"
#include "sdcard/TKUSBDiskEntity.h"
#include "settings/TKSettingFile.h"
#include "settings/TKSettingSave.h"
#include "settings/TKUserDefaults.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class QLabel;
class TMKLoadingOverlay;
class QPushButton;
class QTabBar;
class QDialog;
class QTimer;
class TMKSettingControllerDelegate;

// The settings window: finds the camera's card, reads its config.bin into
// one record, shows one page of the record at a time under a row of tabs,
// and seals and writes the record back on save.
class TMKSettingController : public TMKSettingHost {
    Q_OBJECT

public:
    // The platform services it uses; empty members take the machine's own.
    struct Services {
        std::shared_ptr<TKDiskSystem> disks;
        std::shared_ptr<TKUserDefaults> defaults;
        // Renames the mounted card; false with the reason on failure.
        std::function<bool(const TKUSBDiskEntity& disk, const QString& label, QString* error)> renameVolume;
        std::function<QString(QWidget* parent, const QString& title, const QString& proposedPath)> saveFileChooser;
        // Asks for an existing settings file; empty when cancelled.
        std::function<QString(QWidget* parent, const QString& title, const QString& startFolder)> openFileChooser;
        // The desktop's disk tool; empty when it has none.
        std::function<bool()> openDiskUtility;
        // Given on to the windows it opens; empty: message boxes.
        std::shared_ptr<TMKAlertService> alerts;
        // How long Save waits for another writer's lock before it warns;
        // empty: kTKSettingLockWait.
        std::optional<std::chrono::milliseconds> saveLockWait;
    };

    static constexpr int kTabCount = 7;

    explicit TMKSettingController(Services services = {}, QWidget* parent = nullptr);
    ~TMKSettingController() override;

    // Card and file
    void findUSBVolume();
    bool loadSettingFile();
    bool loadSettingFile2();
    [[nodiscard]] _FILEDATA* filedata() { return &m_FileData; }
    [[nodiscard]] const std::optional<std::string>& settingFilePath() const { return m_SettingFilePath; }
    [[nodiscard]] const std::optional<TKUSBDiskEntity>& selectedUSBDisk() const { return selectedUSBDisk_; }
    // A settings file away from the card that the user opened in this
    // window: Save writes it, whether or not a card turns up.
    [[nodiscard]] const std::optional<QString>& openedFilePath() const { return m_openedFilePath; }
    // The file last saved or opened without a card (remembered between
    // openings), whose record a window without a card shows.
    [[nodiscard]] const std::optional<QString>& recalledFilePath() const { return m_recalledFilePath; }
    // Reads a settings file the user chose; refuses anything but a regular
    // file of the record's size, with the reason in an alert.
    bool openSettingFile(const QString& path);

    // Pages
    void changeViewController(int index);
    [[nodiscard]] int lastSelectedTabIndex() const { return m_lastSelectedTabIndex; }
    [[nodiscard]] QWidget* targetController() const { return m_targetController; }
    [[nodiscard]] QTabBar* functionSegmentedControl() const { return m_tabs; }
    [[nodiscard]] std::optional<QString> validateUserInput();
    bool populate();
    // The "Drive Info" page: made on first use, then kept for the window's life.
    TMKSettingForObdDriveInfoViewController* createDriveInfoController();
    [[nodiscard]] TMKSettingForObdDriveInfoViewController* driveInfoController() const { return m_driveInfoController; }

    // Actions
    void onSave();
    void onCloseCmd();
    void onSaveDefaultSetting();
    void onFormat();
    void onDiskUtil();
    void onOpenSettingFile();

    // Loading sheet
    void showLoading(const QString& title) override;
    void hideLoading() override;
    [[nodiscard]] bool isLoadingShown() const;

    // The last secondary window opened (the format window); kept alive while shown.
    [[nodiscard]] QWidget* lastDialogController() const { return m_lastDialogController.get(); }

    [[nodiscard]] TKUserDefaults& userDefaults() override { return *m_services.defaults; }
    [[nodiscard]] TMKAlertService& alerts() override;

signals:
    void settingFileLoaded(bool read);
    void saved(const QString& path);

protected:
    void showEvent(QShowEvent* event) override;
    // Activation after the first showing searches for the card again: the
    // user may have just attached or mounted it (with "Disks…", say).
    bool event(QEvent* event) override;

private:
    void awakeFromNib();
    void windowDidLoad();
    void onInitDIalog();
    void clickFunctionSegmentedControl(int index);
    void alert(const QString& message, const QString& informative, std::function<void()> onEnd = {},
               bool success = false);
    void updateWindowTitle();
    void updateCardBanner();
    void searchCardAgain();
    void recallLastFile();
    void rememberFile(const QString& path);
    [[nodiscard]] QWidget* createPage(int index);
    void watchEdits(QWidget* page);
    void orderKeyboardFocus(QWidget* page);
    [[nodiscard]] static TMKSettingControllerDelegate* pageProtocol(QWidget* page);

    Services m_services;
    _FILEDATA m_FileData{};
    std::optional<std::string> m_SettingFilePath;
    std::optional<TKUSBDiskEntity> selectedUSBDisk_;
    QString m_strVersion;
    int m_lastSelectedTabIndex = -1;
    QPointer<QWidget> m_targetController;
    QPointer<TMKSettingForObdDriveInfoViewController> m_driveInfoController;
    QWidget* m_targetView = nullptr;
    QTabBar* m_tabs = nullptr;
    QPushButton* m_saveButton = nullptr;
    QPushButton* m_cancelButton = nullptr;
    QPushButton* m_resetButton = nullptr;
    QPushButton* m_sdcardFormatButton = nullptr;
    QPushButton* m_diskUtilButton = nullptr;
    QPushButton* m_openFileButton = nullptr;
    QLabel* m_noCardLabel = nullptr;
    std::optional<QString> m_openedFilePath;
    std::optional<QString> m_recalledFilePath;
    TMKLoadingOverlay* m_loading = nullptr; // made when first shown
    bool m_loaded = false;
    bool m_cardSearchDone = false;
    bool m_activatedOnce = false;
    bool m_edited = false; // the user changed something since the last read, reset or save
    // The mount point of a card found without a valid config.bin.
    std::optional<std::string> m_cardWithoutFile;
    quint64 m_readGeneration = 0;
    std::unique_ptr<QWidget> m_lastDialogController;
};
