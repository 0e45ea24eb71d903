#include "viewer/clip/TMKClipExporter.h"

#include "kit/TMKAlertService.h"
#include "kit/TMKAppSettings.h"
#include "strings/TMKStrings.h"
#include "viewer/clip/TMKClipExportDialog.h"

#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QProgressDialog>
#include <QSettings>
#include <QStandardPaths>
#include <QTimeZone>
#include <QTimer>

extern "C" {
#include <libavutil/log.h>
}

#include <chrono>
#include <cmath>
#include <future>

namespace {

const char* const kFolderKey = "clip/folder";

QString clock(const TMKTrip& trip, double seconds)
{
    return QDateTime::fromSecsSinceEpoch(trip.startSeconds() + static_cast<int64_t>(std::floor(seconds)), QTimeZone::utc())
        .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

} // namespace

TMKClipExporter::TMKClipExporter(QWidget* window, Services services, QObject* parent)
    : QObject(parent), m_window(window), m_services(std::move(services))
{
    // The encoders' statistics are for the command line, not a window's log.
    av_log_set_level(AV_LOG_ERROR);
}

TMKClipExporter::~TMKClipExporter()
{
    m_gone->store(true);
    if (m_worker) {
        m_worker->cancel();
        m_worker->wait();
    }
    delete m_progress;
    delete m_dialog;
}

TMKAlertService& TMKClipExporter::alerts() const
{
    return m_services.alerts ? *m_services.alerts : TMKMessageBoxAlerts();
}

void TMKClipExporter::exportClip(const TMKTrip& trip, double from, double to, TMKClipUnits units)
{
    // One at a time; a dialog closed but not yet deleted is done.
    if (m_worker || (m_dialog && m_dialog->isVisible()) || trip.recordings.empty() || !(to > from))
        return;
    const QString summary = tr("From %1 to %2 (%3 s) of the drive %4.")
                                .arg(clock(trip, from), clock(trip, to).right(8), QString::number(to - from, 'f', 1),
                                     QString::fromStdString(trip.name()));
    m_dialog = new TMKClipExportDialog(summary, units, m_services.settingsPath, m_window);
    m_dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(m_dialog, &QDialog::accepted, this, [this, trip, from, to] {
        TMKClipRequest request = m_dialog->request();
        emit unitsChosen(request.units);
        const QString suffix = request.copy ? QStringLiteral(".mkv") : QStringLiteral(".mp4");
        // Where the last clip went, else the videos folder, else home.
        QString folder = TMKAppSettings(m_services.settingsPath)->value(QLatin1String(kFolderKey)).toString();
        if (folder.isEmpty() || !QFileInfo(folder).isDir())
            folder = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
        if (folder.isEmpty() || !QFileInfo(folder).isDir())
            folder = QDir::homePath();
        const QString proposed = QDir(folder).filePath(
            QString::fromStdString(trip.name()) + QStringLiteral("_clip_%1").arg(std::lround(from)) + suffix);
        const QString title = TMKLocalizedString("main.clip_choose");
        QString path = m_services.fileChooser
            ? m_services.fileChooser(m_window, title, proposed)
            : QFileDialog::getSaveFileName(m_window, title, proposed, suffix == QStringLiteral(".mkv")
                                                                          ? tr("Matroska (*.mkv)")
                                                                          : tr("MP4 video (*.mp4)"));
        if (path.isEmpty())
            return;
        if (!path.endsWith(suffix, Qt::CaseInsensitive))
            path += suffix;
        TMKAppSettings(m_services.settingsPath)->setValue(QLatin1String(kFolderKey), QFileInfo(path).absolutePath());
        request.trip = trip;
        request.from = from;
        request.to = to;
        request.output = QFile::encodeName(path).toStdString();
        m_path = path;
        start(std::move(request));
    });
    m_dialog->open();
}

void TMKClipExporter::start(TMKClipRequest request)
{
    m_worker = std::make_unique<TMKClipWorker>();
    m_progress = new QProgressDialog(TMKLocalizedString("main.clip_progress_start"), tr("Cancel"), 0, 0, m_window);
    m_progress->setObjectName(QStringLiteral("clipProgress"));
    m_progress->setWindowTitle(TMKLocalizedString("main.export_clip"));
    m_progress->setWindowModality(Qt::WindowModal);
    m_progress->setAutoClose(false);
    m_progress->setAutoReset(false);
    m_progress->setMinimumDuration(0);
    m_progress->setMinimumWidth(420);
    connect(m_progress, &QProgressDialog::canceled, this, [this] {
        if (m_worker)
            m_worker->cancel();
    });
    m_progress->show();
    m_poll = new QTimer(m_progress);
    connect(m_poll, &QTimer::timeout, this, &TMKClipExporter::showProgress);
    m_poll->start(100);
    const auto gone = m_gone;
    m_worker->start(
        std::move(request), [this, gone](const std::string& error) { return !gone->load() && askKeepPartial(error); },
        [this, gone](const TMKClipResult& result) {
            if (!gone->load())
                QMetaObject::invokeMethod(this, [this, result] { end(result); }, Qt::QueuedConnection);
        });
}

void TMKClipExporter::showProgress()
{
    if (!m_worker || !m_progress)
        return;
    const TMKClipProgress p = m_worker->progress();
    if (p.total <= 0)
        return;
    m_progress->setMaximum(static_cast<int>(p.total));
    m_progress->setValue(static_cast<int>(std::min(p.done, p.total)));
    m_progress->setLabelText(TMKLocalizedString("main.clip_progress")
                                 .arg(p.done)
                                 .arg(p.total)
                                 .arg(p.secondsLeft < 0 ? QStringLiteral("…") : QString::number(std::lround(p.secondsLeft))));
}

bool TMKClipExporter::askKeepPartial(const std::string& error)
{
    auto answer = std::make_shared<std::promise<bool>>();
    std::future<bool> asked = answer->get_future();
    QMetaObject::invokeMethod(
        this,
        [this, answer, error] {
            alerts().askQuestion(m_progress ? static_cast<QWidget*>(m_progress) : m_window,
                                 TMKLocalizedString("main.clip_damaged"), QString::fromStdString(error),
                                 TMKLocalizedString("main.clip_keep"),
                                 [answer](bool keep) { answer->set_value(keep); });
        },
        Qt::QueuedConnection);
    // The window may go while the question is open: then nothing is kept.
    while (asked.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
        if (m_gone->load())
            return false;
    }
    return asked.get();
}

void TMKClipExporter::end(const TMKClipResult& result)
{
    if (m_worker) {
        m_worker->wait();
        m_worker.reset();
    }
    delete m_progress;
    emit finished(result, m_path);
}
