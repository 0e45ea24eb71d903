#include "sdcard/ui/TMKFormatWindowController.h"

#include "kit/TMKAlertService.h"
#include "kit/TMKAppSettings.h"
#include "kit/TMKLoadingOverlay.h"
#include "sdcard/TKDiskDiscovery.h"
#include "strings/TMKStrings.h"

#include <QApplication>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QThreadPool>
#include <QTimer>
#include <QVBoxLayout>

#include <cstdlib>

namespace {

// Runs `work` on the main thread and waits for it; the window may be gone by
// then, which `work` checks through its QPointer.
void onMainThreadAndWait(std::function<void()> work)
{
    if (QThread::currentThread() == qApp->thread())
        work();
    else
        QMetaObject::invokeMethod(qApp, std::move(work), Qt::BlockingQueuedConnection);
}

QString fromStd(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

TMKFormatWindowController::TMKFormatWindowController(Services services, QWidget* parent)
    : QWidget(parent, Qt::Window), m_services(std::move(services))
{
    if (!m_services.commands)
        m_services.commands = std::make_shared<TKProcessRunner>();
    if (!m_services.disks)
        m_services.disks = std::make_shared<TKLocalDiskSystem>(m_services.commands);
    if (!m_services.files)
        m_services.files = std::make_shared<TKMountedCardFiles>();
    if (!m_services.defaults)
        m_services.defaults = std::make_shared<TKQSettingsUserDefaults>();
    if (m_services.backupFolder.isEmpty())
        m_services.backupFolder = QString::fromStdString(TKSettingsBackupFolder(std::getenv("XDG_STATE_HOME"), std::getenv("HOME")));

    setObjectName(QStringLiteral("TMKFormatWindowController"));
    setWindowTitle(TMKLocalizedString("setting.format.window_title"));
    resize(520, 250);

    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    usbDiskCombo = new QComboBox(this);
    usbDiskCombo->setObjectName(QStringLiteral("usbDiskCombo"));
    usbDiskCombo->setMinimumWidth(320);
    form->addRow(TMKLocalizedString("setting.format.usb_drive"), usbDiskCombo);
    const auto field = [this](const char* name) {
        auto* f = new QLineEdit(this);
        f->setObjectName(QLatin1String(name));
        f->setReadOnly(true);
        return f;
    };
    allocationUnitLabel = new QLabel(this);
    allocationUnitLabel->setObjectName(QStringLiteral("allocationUnitLabel"));
    allocationUnitField = field("allocationUnitField");
    form->addRow(allocationUnitLabel, allocationUnitField);
    fileSystemLabel = new QLabel(this);
    fileSystemLabel->setObjectName(QStringLiteral("fileSystemLabel"));
    fileSystemField = field("fileSystemField");
    form->addRow(fileSystemLabel, fileSystemField);
    pathField = field("pathField");
    form->addRow(TMKLocalizedString("setting.format.path"), pathField);
    layout->addLayout(form);

    m_loading = new TMKLoadingOverlay(TMKLoadingOverlay::Form::Inline, this);
    progressMessageField = m_loading->titleField();
    progressBar = m_loading->bar();
    layout->addWidget(m_loading);
    layout->addStretch();

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    cancelButton = new QPushButton(this);
    cancelButton->setObjectName(QStringLiteral("cancelButton"));
    formatButton = new QPushButton(this);
    formatButton->setObjectName(QStringLiteral("formatButton"));
    buttons->addWidget(cancelButton);
    buttons->addWidget(formatButton);
    layout->addLayout(buttons);

    connect(usbDiskCombo, &QComboBox::activated, this, [this](int) { changeDisk(); });
    connect(formatButton, &QPushButton::clicked, this, &TMKFormatWindowController::onFormat);
    connect(cancelButton, &QPushButton::clicked, this, &TMKFormatWindowController::cancel);
}

TMKFormatWindowController::~TMKFormatWindowController() = default;

void TMKFormatWindowController::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!m_loaded) {
        m_loaded = true;
        windowDidLoad();
    }
}

void TMKFormatWindowController::windowDidLoad()
{
    if (QScreen* screen = this->screen()) {
        const QRect visible = screen->availableGeometry();
        move(visible.topLeft() + QPoint((visible.width() - width()) / 2, (visible.height() - height()) / 2));
    }
    allocationUnitLabel->setText(TMKLocalizedString("setting.format.allocation_unit_size"));
    fileSystemLabel->setText(TMKLocalizedString("setting.format.filesystem"));
    formatButton->setText(TMKLocalizedString("setting.format.format"));
    cancelButton->setText(TMKLocalizedString("cancel"));
    fileSystemField->setText(QStringLiteral("FAT32"));
    pathField->setText(QStringLiteral("-"));
    allocationUnitField->setText(QStringLiteral("128KB"));
    m_loading->stop();
    loadUSBVolumes();
}

QStringList TMKFormatWindowController::doLoadUSBVolumes(std::vector<TKUSBDiskEntity>& disks) const
{
    disks = TKUSBDiskEntities(*m_services.disks);
    QStringList lines;
    for (const auto& disk : disks)
        lines << fromStd(disk.displayString());
    return lines;
}

void TMKFormatWindowController::loadUSBVolumes(std::function<void()> completion)
{
    bool openedDisplay = false;
    if (m_loading->isShown()) {
        m_loading->setTitle(QStringLiteral("Disk searching..."));
    } else {
        openedDisplay = true;
        showProgressBar(QStringLiteral("Disk searching..."));
    }
    QPointer<TMKFormatWindowController> self(this);
    auto disks = m_services.disks;
    QThreadPool::globalInstance()->start([self, disks, openedDisplay, completion = std::move(completion)] {
        auto found = std::make_shared<std::vector<TKUSBDiskEntity>>(TKUSBDiskEntities(*disks));
        onMainThreadAndWait([self, found, openedDisplay, completion] {
            if (!self)
                return;
            self->m_usbDiskArray = *found;
            self->usbDiskCombo->clear();
            for (const auto& disk : self->m_usbDiskArray)
                self->usbDiskCombo->addItem(fromStd(disk.displayString()));
            if (self->usbDiskCombo->count() > 0)
                self->usbDiskCombo->setCurrentIndex(0);
            self->updateSelectedDiskInfo();
            if (openedDisplay)
                self->hideProgressBar();
            emit self->disksLoaded();
            if (completion)
                completion();
        });
    });
}

std::optional<TKUSBDiskEntity> TMKFormatWindowController::selectUSBByDevFile(const std::string& deviceFilePath)
{
    for (std::size_t i = 0; i < m_usbDiskArray.size(); ++i) {
        if (m_usbDiskArray[i].deviceFilePath() == deviceFilePath) {
            usbDiskCombo->setCurrentIndex(static_cast<int>(i));
            updateSelectedDiskInfo();
            return m_usbDiskArray[i];
        }
    }
    return std::nullopt;
}

std::optional<TKUSBDiskEntity> TMKFormatWindowController::selectedUSBDisk() const
{
    const int index = usbDiskCombo->currentIndex();
    if (index < 0 || static_cast<std::size_t>(index) >= m_usbDiskArray.size())
        return std::nullopt;
    return m_usbDiskArray[static_cast<std::size_t>(index)];
}

void TMKFormatWindowController::updateSelectedDiskInfo()
{
    const auto disk = selectedUSBDisk();
    if (!disk) {
        allocationUnitField->setText(QStringLiteral("128KB"));
        pathField->setText(QStringLiteral("-"));
        return;
    }
    pathField->setText(QStringLiteral("%1   %2").arg(fromStd(disk->deviceFilePath()), fromStd(disk->mountedURL())));
    // The figure counts 512-byte sectors; the field shows what a cluster holds.
    const int sectors = TKClusterSectorsForVolumeSize(disk->volumeSize());
    allocationUnitField->setText(QStringLiteral("%1 KB").arg(TKClusterKilobytes(sectors)));
}

void TMKFormatWindowController::changeDisk()
{
    updateSelectedDiskInfo();
}

void TMKFormatWindowController::onFormat()
{
    if (m_formatting)
        return;
    const auto disk = selectedUSBDisk();
    if (!disk) {
        alert(QStringLiteral("TAMEK"), m_usbDiskArray.empty() ? QStringLiteral("There is no USB drive.")
                                                              : QStringLiteral("Please select USB drive."));
        return;
    }
    if (!disk->writable()) {
        alert(TMKLocalizedString("msg.cannot_format"),
              QStringLiteral("%1\n%2").arg(fromStd(disk->displayString()), TMKLocalizedString("msg.write_protected_disk")));
        return;
    }
    // Asked every time, as root too: nothing else stands between a click and
    // an erased card. The helper still checks it is this card after the password.
    m_formatting = true;
    const QString question
        = QStringLiteral("Erase %1?").arg(fromStd(TKCardDescription(disk->volumeName(), disk->deviceModel(), disk->volumeSize())));
    const QString informative = m_services.backupFolder.isEmpty()
        ? QStringLiteral("Everything on it is erased; config.bin is kept.")
        : QStringLiteral("Everything on it is erased; config.bin is kept (a copy goes to %1).").arg(m_services.backupFolder);
    alerts().askQuestion(this, question, informative, QStringLiteral("Erase"),
                         [self = QPointer<TMKFormatWindowController>(this), chosen = *disk](bool erase) {
                             if (!self)
                                 return;
                             self->m_formatting = false;
                             if (erase)
                                 self->doFormat(chosen);
                         });
}

void TMKFormatWindowController::doFormat(const TKUSBDiskEntity& disk)
{
    m_formatting = true;
    formatButton->setEnabled(false);
    showProgressBar(QStringLiteral("Formatting..."));
    QPointer<TMKFormatWindowController> self(this);
    const Services services = m_services;
    QThreadPool::globalInstance()->start([self, services, disk] {
        TKFormatServices format{*services.commands, *services.disks, *services.files, *services.defaults,
            services.backupFolder.toStdString(), [self](const std::string& message) {
                onMainThreadAndWait([self, text = fromStd(message)] {
                    if (self)
                        self->progressMessageField->setText(text);
                });
            }};
        const TKFormatOutcome outcome = TKFormatCard(disk, format);
        QMetaObject::invokeMethod(
            qApp,
            [self, outcome, disk] {
                if (self)
                    self->formatDidFinished(outcome, disk);
            },
            Qt::QueuedConnection);
    });
}

void TMKFormatWindowController::formatDidFinished(const TKFormatOutcome& outcome, const TKUSBDiskEntity& disk)
{
    // The list is read again (the card may show a new name and mount point),
    // then the outcome is told.
    QPointer<TMKFormatWindowController> self(this);
    loadUSBVolumes([self, outcome, disk] {
        if (!self)
            return;
        const auto again = self->selectUSBByDevFile(disk.deviceFilePath());
        self->hideProgressBar();
        self->m_formatting = false;
        self->formatButton->setEnabled(true);
        const QString shown = fromStd((again ? *again : disk).displayString());
        const QString detail = fromStd(outcome.detail);
        const QString kept = outcome.savedPath
            ? QStringLiteral("\nThe settings file is kept in %1").arg(fromStd(*outcome.savedPath)) : QString();
        switch (outcome.status) {
        case TKFormatStatus::Completed:
            self->alert(TMKLocalizedString("msg.format_complete"), shown + fromStd(outcome.stopped), [self] {
                if (self)
                    self->cancel();
            });
            break;
        case TKFormatStatus::EraseWriteProtected:
            self->alert(TMKLocalizedString("msg.cannot_format"),
                        QStringLiteral("%1\n%2%3").arg(shown, TMKLocalizedString("msg.write_protected_disk"), kept));
            break;
        case TKFormatStatus::CopyAsideFailed:
            self->alert(TMKLocalizedString("msg.cannot_format"),
                        QStringLiteral("%1\n%2\nError:%3").arg(shown, TMKLocalizedString("msg.format_settings_not_saved"), detail));
            break;
        case TKFormatStatus::MountFailed:
            self->alert(QStringLiteral("config.bin copy fail"),
                        QStringLiteral("%1\n%2").arg(TMKLocalizedString("msg.format_mount_failed"), detail));
            break;
        case TKFormatStatus::CopyBackFailed:
        case TKFormatStatus::DefaultWriteFailed:
            self->alert(QStringLiteral("config.bin copy fail"), detail);
            break;
        default:
            self->alert(TMKLocalizedString("msg.cannot_format"), QStringLiteral("%1\nError:%2").arg(shown, detail));
            break;
        }
        emit self->formatFinished(static_cast<int>(outcome.status));
    });
}

void TMKFormatWindowController::cancel()
{
    close();
}

// A busy bar while the steps run; it gives up by itself after 1000 s.
void TMKFormatWindowController::showProgressBar(const QString& text)
{
    m_loading->start(text, 1000, true);
}

void TMKFormatWindowController::hideProgressBar()
{
    m_loading->stop();
}

void TMKFormatWindowController::alert(const QString& message, const QString& informative, std::function<void()> onEnd)
{
    alerts().showAlert(this, TMKAlertService::Kind::Warning, message, informative, std::move(onEnd));
}

TMKAlertService& TMKFormatWindowController::alerts() const
{
    return m_services.alerts ? *m_services.alerts : TMKMessageBoxAlerts();
}
