#include "settings/ui/TMKSettingController.h"

#include "kit/TMKAlertService.h"
#include "kit/TMKAppSettings.h"
#include "kit/TMKLoadingOverlay.h"
#include "kit/TMKScreenFit.h"
#include "kit/TMKSettingControllerDelegate.h"
#include "lib/RangeSlider/SMDoubleSlider.h"
#include "logs/ui/TMKSettingForObdDriveInfoViewController.h"
#include "sdcard/TKCardFormat.h"
#include "sdcard/TKDiskDiscovery.h"
#include "sdcard/ui/TMKFormatWindowController.h"
#include "settings/TKSettingSave.h"
#include "settings/TKTimeZone.h"
#include "settings/ui/TMKSettingForAudioViewController.h"
#include "settings/ui/TMKSettingForAuxViewController.h"
#include "settings/ui/TMKSettingForBasicViewController.h"
#include "settings/ui/TMKSettingForMotionViewController.h"
#include "settings/ui/TMKSettingForObdViewController.h"
#include "settings/ui/TMKSettingForVideoViewController.h"
#include "strings/TMKStrings.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QComboBox>
#include <QCoreApplication>
#include <QDebug>
#include <QDialog>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QTabBar>
#include <QThreadPool>
#include <QTimer>
#include <QVBoxLayout>

#include <chrono>

namespace {

// Room for the tallest page, the auxiliary one, without scrolling.
constexpr QSize kPreferredSize{760, 640};

// Where settings were last saved without a card, for the next proposal.
constexpr const char* kLastSaveFolderKey = "settings/lastSaveFolder";
// The settings file last saved or opened away from the card: a window that
// finds no card shows it rather than factory defaults.
constexpr const char* kLastSettingFileKey = "settings/lastSettingFile";

std::string localPath(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

struct TabEntry {
    const char* labelKey;
    const char* titleKey;
};

constexpr TabEntry kTabs[TMKSettingController::kTabCount] = {
    {"setting.video", "setting.video"},   {"setting.basic", "setting.basic"},
    {"setting.obd", "setting.obd"},       {"setting.aux", "setting.aux"},
    {"setting.motion", "setting.motion"}, {"setting.audio", "setting.audio"},
    {"setting.driveinfoview", "setting.information"},
};

// fatlabel renames a FAT volume by its device; it needs write access to the
// device, so it runs as administrator.
bool renameWithFatlabel(TKDiskSystem& disks, const TKUSBDiskEntity& disk, const QString& label, QString* error)
{
    TKProcessRunner commands;
    if (const auto failure = TKRenameCard(disk, label.toStdString(), disks, commands)) {
        *error = QString::fromStdString(*failure);
        return false;
    }
    return true;
}

// By the allow-list's absolute paths, like every program the card tools run,
// never through PATH; detached, since the tool outlives the window.
bool openDesktopDiskTool()
{
    for (const char* tool : {"gnome-disks", "kdepartitionmanager", "gparted"}) {
        const auto path = TKResolveCommand(tool);
        if (path && QProcess::startDetached(QString::fromStdString(*path), {}))
            return true;
    }
    return false;
}

} // namespace

TMKSettingController::TMKSettingController(Services services, QWidget* parent)
    : TMKSettingHost(parent, Qt::Window), m_services(std::move(services))
{
    if (!m_services.disks)
        m_services.disks = std::make_shared<TKLocalDiskSystem>();
    if (!m_services.defaults)
        m_services.defaults = std::make_shared<TKQSettingsUserDefaults>();
    if (!m_services.renameVolume)
        m_services.renameVolume = [disks = m_services.disks](const TKUSBDiskEntity& disk, const QString& label,
                                                              QString* error) {
            return renameWithFatlabel(*disks, disk, label, error);
        };
    if (!m_services.openDiskUtility)
        m_services.openDiskUtility = openDesktopDiskTool;
    setObjectName(QStringLiteral("TMKSettingController"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    awakeFromNib();
    TKMakeDefaultSettings(m_FileData, *m_services.defaults);
    loadSettingFile2();
    // The window's first showing reads with the card found just now.
    m_cardSearchDone = true;
}

TMKSettingController::~TMKSettingController()
{
    m_lastDialogController.reset();
    ++m_readGeneration; // a read still running is dropped
}

void TMKSettingController::awakeFromNib()
{
    m_lastSelectedTabIndex = -1;
    resize(kPreferredSize);

    auto* layout = new QVBoxLayout(this);
    // Says why the pages show what they show when no card was found.
    m_noCardLabel = new QLabel(this);
    m_noCardLabel->setObjectName(QStringLiteral("noCardLabel"));
    m_noCardLabel->setWordWrap(true);
    m_noCardLabel->setTextFormat(Qt::PlainText);
    m_noCardLabel->setStyleSheet(
        QStringLiteral("QLabel { background: #fff3c4; color: #3b3000; border: 1px solid #d9bf5c; padding: 6px; }"));
    m_noCardLabel->hide();
    layout->addWidget(m_noCardLabel);
    m_tabs = new QTabBar(this);
    m_tabs->setObjectName(QStringLiteral("functionSegmentedControl"));
    m_tabs->setExpanding(true);
    m_tabs->setDrawBase(true);
    for (const TabEntry& tab : kTabs)
        m_tabs->addTab(TMKLocalizedString(tab.labelKey));
    // Clicks, the wheel and the arrow keys all change the current tab; each
    // goes through the page change, which may keep the page and put the tab back.
    connect(m_tabs, &QTabBar::currentChanged, this, &TMKSettingController::clickFunctionSegmentedControl);
    layout->addWidget(m_tabs);

    // A page taller than a small screen scrolls; the window keeps its size
    // whatever a page shows or hides.
    auto* scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("pageScrollArea"));
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setFocusPolicy(Qt::NoFocus);
    m_targetView = new QWidget(scroll);
    m_targetView->setObjectName(QStringLiteral("targetView"));
    auto* target = new QVBoxLayout(m_targetView);
    target->setContentsMargins(0, 0, 0, 0);
    scroll->setWidget(m_targetView);
    layout->addWidget(scroll, 1);

    auto* buttons = new QHBoxLayout;
    const auto button = [this, buttons](const char* key, const char* name) {
        auto* b = new QPushButton(TMKLocalizedString(key), this);
        b->setObjectName(QLatin1String(name));
        buttons->addWidget(b);
        return b;
    };
    m_sdcardFormatButton = button("setting.sdcardformat", "sdcardFormatButton");
    m_diskUtilButton = button("setting.disk_utility", "diskUtilButton");
    m_openFileButton = button("setting.open_config", "openSettingFileButton");
    m_resetButton = button("setting.initialize", "resetButton");
    buttons->addStretch();
    m_cancelButton = button("cancel", "cancelButton");
    m_saveButton = button("save", "saveButton");
    m_saveButton->setDefault(true);
    connect(m_sdcardFormatButton, &QPushButton::clicked, this, &TMKSettingController::onFormat);
    connect(m_diskUtilButton, &QPushButton::clicked, this, &TMKSettingController::onDiskUtil);
    connect(m_openFileButton, &QPushButton::clicked, this, &TMKSettingController::onOpenSettingFile);
    // What the user changed is lost only when the user says so.
    connect(m_resetButton, &QPushButton::clicked, this, [this] {
        if (!m_edited)
            onSaveDefaultSetting();
        else
            TKAskToDiscard(this, TMKLocalizedString("msg.initialize_edits"), "setting.initialize",
                           [self = QPointer<TMKSettingController>(this)] {
                               if (self)
                                   self->onSaveDefaultSetting();
                           });
    });
    connect(m_cancelButton, &QPushButton::clicked, this, [this] {
        if (!m_edited)
            onCloseCmd();
        else
            TKAskToDiscard(this, QString(), "discard", [self = QPointer<TMKSettingController>(this)] {
                if (self)
                    self->onCloseCmd();
            });
    });
    connect(m_saveButton, &QPushButton::clicked, this, &TMKSettingController::onSave);
    layout->addLayout(buttons);
}

void TMKSettingController::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!m_loaded) {
        m_loaded = true;
        windowDidLoad();
    }
}

bool TMKSettingController::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate && m_loaded) {
        // The first activation follows the opening's own search.
        if (m_activatedOnce && !m_SettingFilePath)
            searchCardAgain();
        m_activatedOnce = true;
    }
    return QWidget::event(event);
}

void TMKSettingController::searchCardAgain()
{
    findUSBVolume();
    // A file the user opened stays the one edited; otherwise the card's
    // file replaces what was shown, as if the window had just opened.
    if (m_SettingFilePath && !m_openedFilePath) {
        m_recalledFilePath.reset();
        m_cardSearchDone = true; // read with the search just made
        loadSettingFile();
    }
    updateWindowTitle();
    updateCardBanner();
}

void TMKSettingController::windowDidLoad()
{
    TKFitToScreen(this, kPreferredSize);
    onInitDIalog();
    changeViewController(0);
}

void TMKSettingController::onInitDIalog()
{
    TKMakeDefaultSettings(m_FileData, *m_services.defaults);
    loadSettingFile();
    m_strVersion = QCoreApplication::applicationVersion();
    if (m_strVersion.isEmpty())
        m_strVersion = QStringLiteral(TAMEK_VERSION);
    if (!m_SettingFilePath) {
        m_FileData.time_gmt = TKSystemTimeZoneIndex(); // a new card starts in this computer's zone
        recallLastFile();
    }
    updateWindowTitle();
    updateCardBanner();
}

void TMKSettingController::recallLastFile()
{
    const QString path = TMKAppSettings()->value(QLatin1String(kLastSettingFileKey)).toString();
    if (path.isEmpty())
        return;
    _FILEDATA record{};
    if (TKSettingFileStateAt(localPath(path)) != TKSettingFileState::Valid || !TKReadSettingFile(localPath(path), record))
        return;
    m_FileData = record;
    m_recalledFilePath = path;
}

void TMKSettingController::rememberFile(const QString& path)
{
    const QFileInfo file(path);
    const auto settings = TMKAppSettings();
    settings->setValue(QLatin1String(kLastSettingFileKey), file.absoluteFilePath());
    settings->setValue(QLatin1String(kLastSaveFolderKey), file.absolutePath());
}

void TMKSettingController::updateCardBanner()
{
    QString text;
    if (m_SettingFilePath) {
        // The card's file is in use: nothing to explain.
    } else if (m_openedFilePath) {
        text = TMKLocalizedString("setting.no_card_editing").arg(QDir::toNativeSeparators(*m_openedFilePath));
    } else if (m_cardWithoutFile) {
        text = TMKLocalizedString("setting.card_without_file").arg(QString::fromStdString(*m_cardWithoutFile));
    } else if (m_recalledFilePath) {
        text = TMKLocalizedString("setting.no_card_recalled").arg(QDir::toNativeSeparators(*m_recalledFilePath));
    } else {
        text = TMKLocalizedString("setting.no_card");
    }
    m_noCardLabel->setText(text);
    m_noCardLabel->setVisible(!text.isEmpty());
}

void TMKSettingController::updateWindowTitle()
{
    const QString title = TMKLocalizedString("setting.window_title");
    // The title names the file Save writes without asking.
    if (m_openedFilePath)
        setWindowTitle(QStringLiteral("%1[Ver %2] : %3").arg(title, m_strVersion, *m_openedFilePath));
    else if (m_SettingFilePath)
        setWindowTitle(QStringLiteral("%1[Ver %2] : %3").arg(title, m_strVersion, QString::fromStdString(*m_SettingFilePath)));
    else
        setWindowTitle(QStringLiteral("%1[Ver %2]").arg(title, m_strVersion));
}

void TMKSettingController::findUSBVolume()
{
    TKDiskSystem& disks = *m_services.disks;
    if (TKUSBVolumeURLs(disks).empty()) {
        qInfo("no removable devices");
        return;
    }
    m_SettingFilePath.reset();
    selectedUSBDisk_.reset();
    m_cardWithoutFile.reset();
    std::optional<TKUSBDiskEntity> card = TKFindCardDisk(disks);
    if (!card)
        return;
    const std::string file = TKVolumeItemPath(card->mountedURL(), kTKSettingFileName);
    if (TKSettingFileStateAt(file) != TKSettingFileState::Valid) {
        m_cardWithoutFile = card->mountedURL();
        return;
    }
    if (card->volumeName() != kTKCardVolumeName) {
        QString error;
        if (!m_services.renameVolume(*card, QString::fromUtf8(kTKCardVolumeName.data()), &error)) {
            qWarning().noquote() << QStringLiteral("error=%1").arg(error);
        } else if (auto renamed = TKFindCardDisk(disks)) {
            card = renamed;
        }
    }
    m_SettingFilePath = TKVolumeItemPath(card->mountedURL(), kTKSettingFileName);
    selectedUSBDisk_ = card;
}

bool TMKSettingController::loadSettingFile2()
{
    findUSBVolume();
    if (!m_SettingFilePath || !m_services.disks->itemExists(*m_SettingFilePath))
        return false;
    return TKReadSettingFile(*m_SettingFilePath, m_FileData);
}

bool TMKSettingController::loadSettingFile()
{
    // One card search (and rename, which may ask for the administrator's
    // password) per opening: the first showing uses the search of the
    // constructor, a later load searches again.
    if (!m_cardSearchDone)
        findUSBVolume();
    m_cardSearchDone = false;
    if (!m_SettingFilePath || !m_services.disks->itemExists(*m_SettingFilePath))
        return false;
    showLoading(QStringLiteral("Loading..."));
    // Read into a record of its own on a worker; the window's record and the
    // page showing it change only here on the main thread.
    const std::string path = *m_SettingFilePath;
    const quint64 generation = ++m_readGeneration;
    QPointer<TMKSettingController> self(this);
    QThreadPool::globalInstance()->start([self, path, generation] {
        auto record = std::make_shared<_FILEDATA>();
        const bool read = TKReadSettingFile(path, *record);
        QMetaObject::invokeMethod(
            qApp,
            [self, record, read, generation] {
                if (!self || generation != self->m_readGeneration)
                    return;
                if (read) {
                    self->m_FileData = *record;
                    if (auto* page = pageProtocol(self->m_targetController))
                        page->setFileData(&self->m_FileData);
                    self->m_edited = false;
                }
                self->hideLoading();
                emit self->settingFileLoaded(read);
            },
            Qt::QueuedConnection);
    });
    return true;
}

TMKSettingControllerDelegate* TMKSettingController::pageProtocol(QWidget* page)
{
    return dynamic_cast<TMKSettingControllerDelegate*>(page);
}

void TMKSettingController::clickFunctionSegmentedControl(int index)
{
    if (index >= 0)
        changeViewController(index);
}

void TMKSettingController::changeViewController(int index)
{
    if (index == m_lastSelectedTabIndex || index < 0 || index >= kTabCount)
        return;
    if (m_targetController) {
        if (auto* page = pageProtocol(m_targetController)) {
            if (const auto message = page->validateUserInput()) {
                // The tab row goes back to the page that stays; that change
                // comes back here for the page already shown and does nothing.
                m_tabs->setCurrentIndex(m_lastSelectedTabIndex);
                alert(QStringLiteral("TAMEK"), *message);
                return;
            }
            if (!page->populate())
                return;
            page->onHide();
        }
        m_targetController->hide();
        m_targetView->layout()->removeWidget(m_targetController);
        // The drive-info page keeps its log for the window's life.
        if (m_targetController != m_driveInfoController)
            m_targetController->deleteLater();
        m_targetController = nullptr;
    }
    QWidget* page = createPage(index);
    m_targetController = page;
    m_targetView->layout()->addWidget(page);
    page->show();
    if (auto* protocol = pageProtocol(page)) {
        protocol->setFileData(&m_FileData);
        protocol->setMainController(this);
    }
    m_lastSelectedTabIndex = index;
    m_tabs->setCurrentIndex(index);
    if (page != m_driveInfoController) // its buttons read and export logs, not the record
        watchEdits(page);
    orderKeyboardFocus(page);
}

// Any change the user makes on a page; what the page's display sets comes
// before the connections and is no edit.
void TMKSettingController::watchEdits(QWidget* page)
{
    const auto edited = [this] { m_edited = true; };
    for (QAbstractButton* button : page->findChildren<QAbstractButton*>())
        connect(button, &QAbstractButton::clicked, this, edited);
    for (QLineEdit* field : page->findChildren<QLineEdit*>())
        connect(field, &QLineEdit::textEdited, this, edited);
    for (QComboBox* combo : page->findChildren<QComboBox*>())
        connect(combo, &QComboBox::activated, this, edited);
    for (QAbstractSlider* slider : page->findChildren<QAbstractSlider*>()) {
        if (!qobject_cast<QScrollBar*>(slider)) // a list's scroll bar changes nothing
            connect(slider, &QAbstractSlider::actionTriggered, this, edited);
    }
    for (SMDoubleSlider* slider : page->findChildren<SMDoubleSlider*>()) {
        connect(slider, &SMDoubleSlider::loValueChanged, this, edited);
        connect(slider, &SMDoubleSlider::hiValueChanged, this, edited);
    }
}

// Tab goes from the tab row through the page in its own order, then to
// Save, then to the other buttons, the nearest first.
void TMKSettingController::orderKeyboardFocus(QWidget* page)
{
    QList<QWidget*> chain{m_tabs};
    for (QWidget* w = m_tabs->nextInFocusChain(); w != m_tabs; w = w->nextInFocusChain()) {
        if (page->isAncestorOf(w) && (w->focusPolicy() & Qt::TabFocus))
            chain << w;
    }
    chain << m_saveButton << m_cancelButton << m_resetButton << m_openFileButton << m_diskUtilButton
          << m_sdcardFormatButton;
    for (qsizetype i = 0; i + 1 < chain.size(); ++i)
        QWidget::setTabOrder(chain[i], chain[i + 1]);
}

QWidget* TMKSettingController::createPage(int index)
{
    QWidget* page = nullptr;
    switch (index) {
    case 6:
        return createDriveInfoController();
    case 0:
        page = new TMKSettingForVideoViewController(m_targetView);
        break;
    case 1:
        page = new TMKSettingForBasicViewController(m_targetView);
        break;
    case 2:
        page = new TMKSettingForObdViewController(m_targetView);
        break;
    case 3:
        page = new TMKSettingForAuxViewController(m_targetView);
        break;
    case 4:
        page = new TMKSettingForMotionViewController(m_targetView);
        break;
    case 5:
        page = new TMKSettingForAudioViewController(m_targetView);
        break;
    default:
        return nullptr;
    }
    page->setWindowTitle(TMKLocalizedString(kTabs[index].titleKey));
    return page;
}

TMKSettingForObdDriveInfoViewController* TMKSettingController::createDriveInfoController()
{
    if (m_driveInfoController)
        return m_driveInfoController;
    auto* page = new TMKSettingForObdDriveInfoViewController(m_targetView);
    TMKSettingForFlashDataViewController::Services pageServices;
    pageServices.alerts = m_services.alerts;
    page->setServices(std::move(pageServices));
    if (selectedUSBDisk_) {
        const std::string log = TKVolumeItemPath(selectedUSBDisk_->mountedURL(), "obd/tamek_000.obd");
        if (m_services.disks->itemExists(log))
            page->setFlashDataFilePath(QString::fromStdString(log));
    }
    page->setWindowTitle(TMKLocalizedString("setting.information"));
    m_driveInfoController = page;
    return page;
}

std::optional<QString> TMKSettingController::validateUserInput()
{
    auto* page = pageProtocol(m_targetController);
    return page ? page->validateUserInput() : std::nullopt;
}

bool TMKSettingController::populate()
{
    if (auto* page = pageProtocol(m_targetController))
        page->populate();
    return true;
}

void TMKSettingController::onSave()
{
    if (const auto message = validateUserInput()) {
        alert(QStringLiteral("TAMEK"), *message);
        return;
    }
    populate();

    TKDiskSystem& disks = *m_services.disks;
    TKSaveSituation situation;
    if (m_openedFilePath)
        situation.openedFile = localPath(*m_openedFilePath);
    if (selectedUSBDisk_) {
        std::string shown = TKVolumeItemPath(selectedUSBDisk_->mountedURL(), kTKSettingFileName);
        if (disks.itemExists(shown))
            situation.shownCardFile = std::move(shown);
    }
    if (!situation.openedFile && !situation.shownCardFile) {
        if (const auto card = TKFindCardDisk(disks))
            situation.foundCardFile = TKVolumeItemPath(card->mountedURL(), kTKSettingFileName);
    }
    if (m_recalledFilePath)
        situation.recalledFile = localPath(*m_recalledFilePath);
    situation.lastSaveFolder = localPath(TMKAppSettings()->value(QLatin1String(kLastSaveFolderKey)).toString());
    situation.homeFolder = localPath(QDir::homePath());
    const TKSaveFile target = TKChooseSaveFile(situation);
    std::string path = target.path;
    if (target.asks()) {
        const QString proposed = QFile::decodeName(QByteArray::fromStdString(target.path));
        const QString title = QStringLiteral("Save Settings");
        const QString chosen = m_services.saveFileChooser
            ? m_services.saveFileChooser(this, title, proposed)
            : QFileDialog::getSaveFileName(this, title, proposed);
        if (chosen.isEmpty())
            return;
        path = localPath(chosen);
    }
    // The lock keeps tamek-config (or a second window) from writing between
    // this write's steps; a writer that holds it too long is reported, not
    // overwritten.
    if (const auto failure = TKSaveSettingFile(m_FileData, path, m_services.saveLockWait.value_or(kTKSettingLockWait))) {
        qWarning().noquote() << QString::fromStdString(failure->text);
        alert(QStringLiteral("Warn"), TMKLocalizedString(failure->kind == TKSaveFailure::Kind::Busy
                                                             ? "msg.settings_busy"
                                                             : "msg.write_protected_disk"));
        return;
    }
    const QString written = QFile::decodeName(QByteArray::fromStdString(path));
    if (target.awayFromTheCard())
        rememberFile(written);
    m_edited = false;
    emit saved(written);
    alert(written, TMKLocalizedString("msg.saved"), [self = QPointer<TMKSettingController>(this)] {
        if (self)
            self->onCloseCmd();
    }, true);
}

void TMKSettingController::onCloseCmd()
{
    close();
}

void TMKSettingController::onSaveDefaultSetting()
{
    TKMakeDefaultSettings(m_FileData, *m_services.defaults);
    if (auto* page = pageProtocol(m_targetController))
        page->setFileData(&m_FileData);
    m_edited = false;
}

void TMKSettingController::onFormat()
{
    // A new window each time, searching the disks afresh; the one before goes.
    TMKFormatWindowController::Services services;
    services.disks = m_services.disks;
    services.defaults = m_services.defaults;
    services.alerts = m_services.alerts;
    auto controller = std::make_unique<TMKFormatWindowController>(std::move(services));
    controller->show();
    controller->raise();
    m_lastDialogController = std::move(controller);
}

void TMKSettingController::onDiskUtil()
{
    if (!m_services.openDiskUtility())
        alert(QStringLiteral("TAMEK"), TMKLocalizedString("msg.no_disk_utility"));
}

void TMKSettingController::onOpenSettingFile()
{
    QString folder = TMKAppSettings()->value(QLatin1String(kLastSaveFolderKey)).toString();
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QDir::homePath();
    const QString title = TMKLocalizedString("setting.open_config_title");
    const QString chosen = m_services.openFileChooser
        ? m_services.openFileChooser(this, title, folder)
        : QFileDialog::getOpenFileName(this, title, folder, TMKLocalizedString("setting.open_config_filter"));
    if (!chosen.isEmpty())
        openSettingFile(chosen);
}

bool TMKSettingController::openSettingFile(const QString& path)
{
    // Looked at before reading: a FIFO, a device or a folder is no settings
    // file, and a file of another size is not one the camera wrote.
    const std::string file = localPath(path);
    const QString shown = QDir::toNativeSeparators(path);
    switch (TKSettingFileStateAt(file)) {
    case TKSettingFileState::Missing:
        alert(QStringLiteral("TAMEK"), TMKLocalizedString("msg.settings_file_missing").arg(shown));
        return false;
    case TKSettingFileState::NotAFile:
        alert(QStringLiteral("TAMEK"), TMKLocalizedString("msg.settings_file_not_regular").arg(shown));
        return false;
    case TKSettingFileState::WrongSize:
        alert(QStringLiteral("TAMEK"), TMKLocalizedString("msg.settings_file_wrong_size")
                                           .arg(shown)
                                           .arg(QFileInfo(path).size())
                                           .arg(kTKSettingFileSize));
        return false;
    case TKSettingFileState::Valid:
        break;
    }
    // The read checks the same again on the open file, in case the path
    // changed since.
    _FILEDATA record{};
    if (!TKReadSettingFile(file, record)) {
        alert(QStringLiteral("TAMEK"), TMKLocalizedString("msg.file_open_fail"));
        return false;
    }
    ++m_readGeneration; // a card read still running must not overwrite this
    hideLoading();
    m_FileData = record;
    m_edited = false;
    m_openedFilePath = QFileInfo(path).absoluteFilePath();
    m_recalledFilePath.reset();
    rememberFile(path);
    if (auto* page = pageProtocol(m_targetController))
        page->setFileData(&m_FileData);
    updateWindowTitle();
    updateCardBanner();
    return true;
}

void TMKSettingController::alert(const QString& message, const QString& informative, std::function<void()> onEnd,
                                bool success)
{
    const auto kind = success ? TMKAlertService::Kind::Information : TMKAlertService::Kind::Warning;
    alerts().showAlert(this, kind, message, informative, std::move(onEnd));
}

TMKAlertService& TMKSettingController::alerts()
{
    return m_services.alerts ? *m_services.alerts : TMKMessageBoxAlerts();
}

void TMKSettingController::showLoading(const QString& title)
{
    if (!m_loading)
        m_loading = new TMKLoadingOverlay(TMKLoadingOverlay::Form::Sheet, this);
    m_loading->start(title);
}

void TMKSettingController::hideLoading()
{
    if (m_loading)
        m_loading->stop();
}

bool TMKSettingController::isLoadingShown() const
{
    return m_loading && m_loading->isShown();
}
