#pragma once

#include "TKDiskSystem.h"
#include "TKSettingFile.h"
#include "TKUSBDiskEntity.h"
#include "TKUserDefaults.h"
#include "TMKSettingForObdDriveInfoViewController.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class QLabel;
class QProgressBar;
class QPushButton;
class QTabBar;
class QDialog;
class QTimer;
class TMKSettingControllerDelegate;

// The settings window: finds the camera's card, reads its config.bin into
// one record, shows one page of the record at a time under a row of tabs,
// and seals and writes the record back on save.
class TMKSettingController : public QWidget {
    Q_OBJECT

public:
    // The platform services it uses; empty members take the machine's own.
    struct Services {
        std::shared_ptr<TKDiskSystem> disks;
        std::shared_ptr<TKUserDefaults> defaults;
        // Renames the mounted card; false with the reason on failure.
        std::function<bool(const TKUSBDiskEntity& disk, const QString& label, QString* error)> renameVolume;
        std::function<QString(QWidget* parent, const QString& title, const QString& proposedPath)> saveFileChooser;
        // The desktop's disk tool; empty when it has none.
        std::function<bool()> openDiskUtility;
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

    // Loading sheet
    void showLoading(const QString& title);
    void updateLoadingWindow(double seconds);
    void hideLoading();
    [[nodiscard]] bool isLoadingShown() const;

    // The last secondary window opened (the format window); kept alive while shown.
    [[nodiscard]] QWidget* lastDialogController() const { return m_lastDialogController.get(); }

    // The last alert shown, for checks: message and informative text.
    [[nodiscard]] QStringList lastAlert() const { return m_lastAlert; }
    [[nodiscard]] TKUserDefaults& userDefaults() { return *m_services.defaults; }

signals:
    void settingFileLoaded(bool read);
    void saved(const QString& path);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void awakeFromNib();
    void windowDidLoad();
    void onInitDIalog();
    void clickFunctionSegmentedControl(int index);
    void alert(const QString& message, const QString& informative, std::function<void()> onEnd = {},
               bool success = false);
    void updateWindowTitle();
    [[nodiscard]] QWidget* createPage(int index);
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
    QPointer<QDialog> m_progressPanel;
    QProgressBar* m_progressIndicator = nullptr;
    QLabel* m_progressTitleField = nullptr;
    double m_progress = 0;
    bool m_stopLoadingWindow = true;
    bool m_loaded = false;
    bool m_cardSearchDone = false;
    quint64 m_readGeneration = 0;
    QStringList m_lastAlert;
    std::unique_ptr<QWidget> m_lastDialogController;
};
