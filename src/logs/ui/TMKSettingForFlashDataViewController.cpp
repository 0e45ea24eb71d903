#include "logs/ui/TMKSettingForFlashDataViewController.h"

#include "base/TMKLog.h"
#include "kit/TMKAlertService.h"
#include "kit/TMKLoadingOverlay.h"
#include "kit/TMKSettingHost.h"
#include "logs/TMKLogCsv.h"
#include "logs/ui/TMKDriveLogModel.h"
#include "map/TMKMapWindowController.h"
#include "strings/TMKStrings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableView>
#include <QThreadPool>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <vector>

TMKSettingForFlashDataViewController::TMKSettingForFlashDataViewController(QWidget* parent)
    : TMKSettingForFlashDataViewController(TMKLogKind::FlashData, parent)
{
}

TMKSettingForFlashDataViewController::TMKSettingForFlashDataViewController(TMKLogKind kind, QWidget* parent)
    : QWidget(parent), m_kind(kind)
{
    setObjectName(kind == TMKLogKind::Obd ? QStringLiteral("TMKSettingForObdDriveInfoViewController")
                                          : QStringLiteral("TMKSettingForFlashDataViewController"));
    m_firstLoad = true;
    awakeFromNib();
}

TMKSettingForFlashDataViewController::~TMKSettingForFlashDataViewController()
{
    ++m_generation; // a read or export still running reports to nobody
}

void TMKSettingForFlashDataViewController::setServices(Services services)
{
    m_services = std::move(services);
}

void TMKSettingForFlashDataViewController::awakeFromNib()
{
    const TMKLogFormat& format = TMKLogFormatOf(m_kind);
    for (const TMKLogColumn& column : format.columns) {
        const QString key = QString::fromUtf8(column.key);
        // "X", "Y" and "Z" are headers as they stand, not keys.
        m_columnNames << (key.size() == 1 ? key : TMKLocalizedString(key));
        m_columnWidths << column.width;
    }

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    m_model = new TMKDriveLogModel(m_kind, this);
    m_tableView = new QTableView(this);
    m_tableView->setObjectName(QStringLiteral("tableView"));
    m_tableView->setModel(m_model);
    m_tableView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_tableView->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_tableView->setSelectionMode(QAbstractItemView::SingleSelection);
    m_tableView->setAlternatingRowColors(true);
    m_tableView->setWordWrap(false);
    m_tableView->setCornerButtonEnabled(false);
    m_tableView->verticalHeader()->hide();
    // Fixed row heights let the view place any of 100 000 rows without
    // measuring the ones above it.
    m_tableView->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_tableView->verticalHeader()->setDefaultSectionSize(18);
    m_tableView->horizontalHeader()->setHighlightSections(false);
    m_tableView->horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    QFont cellFont = m_tableView->font();
    cellFont.setPixelSize(11);
    m_tableView->setFont(cellFont);
    for (int i = 0; i < m_columnNames.size(); ++i)
        makeColumnWithIndex(i, m_columnNames.at(i), m_columnWidths.at(i));
    m_model->setColumnNames(m_columnNames);
    connect(m_tableView, &QTableView::doubleClicked, this,
            [this](const QModelIndex& index) { doubleClickTableRow(index.row()); });
    layout->addWidget(m_tableView, 1);

    auto* buttons = new QHBoxLayout;
    m_openButton = new QPushButton(TMKLocalizedString("open"), this);
    m_openButton->setObjectName(QStringLiteral("openButton"));
    m_exportButton = new QPushButton(TMKLocalizedString("export"), this);
    m_exportButton->setObjectName(QStringLiteral("exportButton"));
    buttons->addStretch();
    buttons->addWidget(m_openButton);
    buttons->addWidget(m_exportButton);
    layout->addLayout(buttons);
    connect(m_openButton, &QPushButton::clicked, this, &TMKSettingForFlashDataViewController::openFileDialog);
    connect(m_exportButton, &QPushButton::clicked, this, &TMKSettingForFlashDataViewController::onSaveCSVFile);
    updateButtons();
}

void TMKSettingForFlashDataViewController::makeColumnWithIndex(int index, const QString& title, int width)
{
    // The model serves the title, the centred header and the tag; the view
    // keeps the width. The given widths suit the camera maker's fonts: a
    // column grows where this desktop's font needs more for the title.
    QHeaderView* header = m_tableView->horizontalHeader();
    const int titleWidth = header->fontMetrics().horizontalAdvance(title) + 14;
    header->resizeSection(index, std::max(width, titleWidth));
}

void TMKSettingForFlashDataViewController::fitColumnsToRows()
{
    // The rows in view stand for the rest: every row of a column has the
    // same form, so the widest form is seen on the first screen.
    QHeaderView* header = m_tableView->horizontalHeader();
    for (int i = 0; i < m_columnWidths.size(); ++i)
        header->resizeSection(i, std::max(header->sectionSize(i), static_cast<const QAbstractItemView*>(m_tableView)->sizeHintForColumn(i)));
}

void TMKSettingForFlashDataViewController::setFileData(_FILEDATA* fileData)
{
    m_fileData = fileData;
    displayFileData();
}

void TMKSettingForFlashDataViewController::displayFileData()
{
    if (!m_fileData || !m_firstLoad)
        return;
    m_firstLoad = false;
    // After the settings window has handed over itself too, so the read
    // runs under its loading display.
    QTimer::singleShot(0, this, [this] {
        if (!m_FlashDataFilePath.isEmpty() && QFileInfo(m_FlashDataFilePath).isFile())
            loadFlashDataFile();
        else
            alert(missingFileMessageText(), TMKLocalizedString("setting.flashdata.warning"));
    });
}

bool TMKSettingForFlashDataViewController::populate()
{
    return m_fileData != nullptr && !validateUserInput();
}

std::optional<QString> TMKSettingForFlashDataViewController::validateUserInput()
{
    return std::nullopt;
}

void TMKSettingForFlashDataViewController::setMainController(TMKSettingHost* controller)
{
    m_mainController = controller;
}

TMKSettingHost* TMKSettingForFlashDataViewController::mainController() const
{
    return m_mainController;
}

void TMKSettingForFlashDataViewController::onHide()
{
    releaseMapWindowController();
}

void TMKSettingForFlashDataViewController::releaseMapWindowController()
{
    m_mapWindowController.reset();
}

QString TMKSettingForFlashDataViewController::missingFileMessageText() const
{
    return QStringLiteral("TAMEK");
}

QString TMKSettingForFlashDataViewController::openFileFilter() const
{
    return TMKLocalizedString("setting.flashdata.filter_drv") + QStringLiteral(" (*.drv *.DRV)");
}

void TMKSettingForFlashDataViewController::openFileDialog()
{
    releaseMapWindowController();
    if (m_busy)
        return;
    QString path;
    if (m_services.openFileChooser) {
        path = m_services.openFileChooser(this, openFileFilter());
    } else {
        const QString start = m_FlashDataFilePath.isEmpty() ? QDir::homePath() : QFileInfo(m_FlashDataFilePath).absolutePath();
        path = QFileDialog::getOpenFileName(this, TMKLocalizedString("open"), start, openFileFilter());
    }
    if (!path.isEmpty())
        openChosenFile(path);
}

void TMKSettingForFlashDataViewController::openChosenFile(const QString& path)
{
    m_FlashDataFilePath = path;
    loadFlashDataFile();
}

// A page in a window of its own loads in that window: the settings
// window's sheet would bring the settings window over the one the user
// just opened.
void TMKSettingForFlashDataViewController::showLoading(const QString& title)
{
    m_busy = true;
    updateButtons();
    if (isWindow()) {
        if (!m_loading)
            m_loading = new TMKLoadingOverlay(TMKLoadingOverlay::Form::Sheet, this);
        m_loading->start(title);
    } else if (m_mainController)
        m_mainController->showLoading(title);
}

void TMKSettingForFlashDataViewController::hideLoading()
{
    m_busy = false;
    updateButtons();
    if (m_loading)
        m_loading->stop();
    if (!isWindow() && m_mainController)
        m_mainController->hideLoading();
}

bool TMKSettingForFlashDataViewController::isLoadingShown() const
{
    return m_loading && m_loading->isShown();
}

// An empty table has nothing to export.
void TMKSettingForFlashDataViewController::updateButtons()
{
    m_openButton->setEnabled(!m_busy);
    m_exportButton->setEnabled(!m_busy && m_FlashDataNum > 0);
}

void TMKSettingForFlashDataViewController::loadFlashDataFile()
{
    if (m_FlashDataFilePath.isEmpty() || m_busy)
        return;
    // A FIFO or device would hold the worker until someone writes to it; the
    // camera's logs are plain files.
    if (!QFileInfo(m_FlashDataFilePath).isFile()) {
        TMKLog("fopen fail:" + m_FlashDataFilePath.toStdString());
        emit flashDataLoaded(-1);
        return;
    }
    showLoading(QStringLiteral("Loading..."));
    const std::string path = m_FlashDataFilePath.toStdString();
    const TMKLogKind kind = m_kind;
    const quint64 generation = ++m_generation;
    QPointer<TMKSettingForFlashDataViewController> self(this);
    // The worker reads into a log of its own; the table's log is swapped on
    // the main thread, so the view never sees a log being filled.
    QThreadPool::globalInstance()->start([self, path, kind, generation] {
        auto result = std::make_shared<TMKLogReadResult>(TMKReadDriveLog(path, kind));
        QMetaObject::invokeMethod(
            qApp,
            [self, path, result, generation] {
                if (!self || generation != self->m_generation)
                    return;
                self->hideLoading();
                if (result->status == TMKLogReadStatus::OpenFailed) {
                    TMKLog("fopen fail:" + path);
                    emit self->flashDataLoaded(-1);
                    return;
                }
                self->m_bFlashDataAccess = true;
                self->m_FlashDataNum = result->log.count();
                self->updateButtons();
                self->m_model->setLog(std::make_shared<const TMKDriveLog>(std::move(result->log)));
                self->fitColumnsToRows();
                if (result->trailingBytes)
                    TMKLog("[TMKSettingForFlashDataViewController] bytes after the announced records ignored: " + path);
                if (!result->complete()) {
                    TMKLog("[TMKSettingForFlashDataViewController] " + path + ": " + TMKLogReadProblem(*result));
                    // A file cut inside its header has no count to compare with.
                    self->alert(QStringLiteral("TAMEK"),
                                result->status == TMKLogReadStatus::HeaderCut
                                    ? TMKLocalizedString("setting.flashdata.header_cut")
                                    : TMKLocalizedString("setting.flashdata.truncated")
                                          .arg(result->log.count())
                                          .arg(result->announced));
                }
                emit self->flashDataLoaded(self->m_FlashDataNum);
            },
            Qt::QueuedConnection);
    });
}

QString TMKSettingForFlashDataViewController::stringForColumnIndex(int column, qint64 row) const
{
    return QString::fromStdString(m_model->log()->cellText(row, column));
}

void TMKSettingForFlashDataViewController::doubleClickTableRow(int row)
{
    TMKLog("rowNum=" + std::to_string(row));
    if (row < 0 || row >= m_FlashDataNum)
        return;
    const std::optional<TMKLogPosition> position = m_model->log()->position(row);
    if (m_mapWindowController) {
        m_mapWindowController->show();
        m_mapWindowController->raise();
    } else {
        m_mapWindowController = std::make_unique<TMKMapWindowController>();
        m_mapWindowController->show();
        m_mapWindowController->moveWindowRightBy(window()->frameGeometry());
    }
    // A zero coordinate is a record without a fix: the map stays where it is.
    if (position)
        m_mapWindowController->updateMapLat(position->latitude, position->longitude);
}

QString TMKSettingForFlashDataViewController::openSavePanel()
{
    const QString proposed = QString::fromUtf8(TMKLogFormatOf(m_kind).proposedCsvName) + QStringLiteral(".csv");
    if (m_services.saveFileChooser)
        return m_services.saveFileChooser(this, proposed);
    QString path = QFileDialog::getSaveFileName(this, TMKLocalizedString("export"), QDir::home().filePath(proposed),
                                                QStringLiteral("CSV (*.csv)"));
    if (!path.isEmpty() && QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".csv");
    return path;
}

std::optional<QString> TMKSettingForFlashDataViewController::doWriteCSVFile(const QString& path) const
{
    std::vector<std::string> titles;
    for (const QString& name : m_columnNames)
        titles.push_back(name.toStdString());
    if (const auto failure = TMKExportCsv(path.toStdString(), *m_model->log(), titles))
        return QString::fromStdString(*failure);
    return std::nullopt;
}

void TMKSettingForFlashDataViewController::onSaveCSVFile()
{
    releaseMapWindowController();
    if (m_FlashDataNum <= 0 || m_busy)
        return;
    const QString path = openSavePanel();
    if (path.isEmpty())
        return;
    showLoading(QStringLiteral("Saving..."));
    std::vector<std::string> titles;
    for (const QString& name : m_columnNames)
        titles.push_back(name.toStdString());
    // The worker gets the log itself, not the page: a new read may replace
    // the page's log meanwhile.
    const std::shared_ptr<const TMKDriveLog> log = m_model->log();
    const quint64 generation = ++m_generation;
    QPointer<TMKSettingForFlashDataViewController> self(this);
    QThreadPool::globalInstance()->start([self, path, log, titles, generation] {
        const auto failure = TMKExportCsv(path.toStdString(), *log, titles);
        const QString reason = failure ? QString::fromStdString(*failure) : QString();
        QMetaObject::invokeMethod(
            qApp,
            [self, path, reason, generation] {
                if (!self || generation != self->m_generation)
                    return;
                self->hideLoading();
                emit self->csvFileWritten(path, reason);
                QTimer::singleShot(500, self, [self, path, reason] {
                    if (!self)
                        return;
                    if (reason.isEmpty())
                        self->alert(QStringLiteral("TAMEK"),
                                    TMKLocalizedString("setting.flashdata.exported").arg(QDir::toNativeSeparators(path)),
                                    true);
                    else
                        self->alert(QStringLiteral("TAMEK"),
                                    TMKLocalizedString("setting.flashdata.export_failed").arg(path, reason));
                });
            },
            Qt::QueuedConnection);
    });
}

void TMKSettingForFlashDataViewController::alert(const QString& message, const QString& informative, bool success)
{
    (m_services.alerts ? *m_services.alerts : TMKMessageBoxAlerts()).showAlert(window(), success ? TMKAlertService::Kind::Information : TMKAlertService::Kind::Warning,
                                    message, informative);
}
