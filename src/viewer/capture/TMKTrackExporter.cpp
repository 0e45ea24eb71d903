#include "viewer/capture/TMKTrackExporter.h"

#include "media/TMKMediaList.h"
#include "media/TMKTrackExport.h"
#include "media/TMKTrip.h"
#include "strings/TMKStrings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QProgressDialog>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <atomic>
#include <optional>
#include <string>
#include <vector>

namespace {

std::optional<TMKTrackFormat> trackFormatOf(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("gpx"))
        return TMKTrackFormat::Gpx;
    if (suffix == QLatin1String("kml"))
        return TMKTrackFormat::Kml;
    if (suffix == QLatin1String("csv"))
        return TMKTrackFormat::Csv;
    return std::nullopt;
}

// What the worker hands back.
struct TrackExportResult {
    bool cancelled = false;
    QString error; // empty: written
};

} // namespace

TMKTrackExporter::TMKTrackExporter(QWidget* window, Services services, QObject* parent)
    : QObject(parent), m_window(window), m_services(std::move(services))
{
    if (!m_services.alerts)
        m_services.alerts = std::make_shared<TMKMessageBoxAlertService>();
}

bool TMKTrackExporter::exportTripOf(const TMKMediaList& list, const QString& path)
{
    if (m_exporting)
        return false;
    if (path.isEmpty()) {
        m_services.alerts->showAlert(m_window, TMKAlertService::Kind::Information, QStringLiteral("TAMEK"),
                                     TMKLocalizedString("main.export_nothing"));
        return false;
    }

    const QString title = TMKLocalizedString("main.export_title");
    const QString proposed = QFileInfo(path).dir().filePath(QFileInfo(path).completeBaseName() + QStringLiteral(".gpx"));
    QString target;
    if (m_services.fileChooser) {
        target = m_services.fileChooser(m_window, title, proposed);
    } else {
        const QString filters = TMKLocalizedString("main.export_filters");
        QString chosenFilter;
        target = QFileDialog::getSaveFileName(m_window, title, proposed, filters, &chosenFilter);
        // A name without a known extension takes the chosen filter's.
        if (!target.isEmpty() && !trackFormatOf(target)) {
            static const char* const extensions[] = {".gpx", ".kml", ".csv"};
            const int filter = static_cast<int>(filters.split(QStringLiteral(";;")).indexOf(chosenFilter));
            target += QLatin1String(extensions[std::clamp(filter, 0, 2)]);
        }
    }
    if (target.isEmpty())
        return false;
    const auto format = trackFormatOf(target);
    if (!format)
        target += QStringLiteral(".gpx");
    const TMKTrackFormat chosen = format.value_or(TMKTrackFormat::Gpx);

    m_exporting = true;
    auto cancel = std::make_shared<std::atomic_bool>(false);
    auto* progress = new QProgressDialog(TMKLocalizedString("main.export_progress"),
                                         TMKLocalizedString("main.export_cancel"), 0, 0, m_window);
    progress->setObjectName(QStringLiteral("exportProgress"));
    progress->setWindowModality(Qt::WindowModal);
    progress->setMinimumDuration(0);
    progress->setAutoClose(false);
    progress->setAutoReset(false);
    connect(progress, &QProgressDialog::canceled, this, [cancel] { cancel->store(true); });
    progress->show();

    const QPointer<QProgressDialog> shown(progress);
    const auto pairs = TMKCataloguePairs(list);
    const std::string wanted = path.toStdString();
    const std::string out = target.toStdString();
    const auto started = m_services.workerStarted;
    QPointer<TMKTrackExporter> self(this);
    // The worker holds copies of what it reads; it reports back to the
    // application object, which drops the result if the viewer is gone.
    (void)QtConcurrent::run([self, shown, cancel, pairs, wanted, out, chosen, started, target] {
        TrackExportResult result;
        if (started)
            started();
        const std::vector<TMKTrip> trips = TMKGroupTrips(pairs);
        const auto at = TMKFindTripRecording(trips, wanted);
        if (!at) {
            result.error = TMKLocalizedString("main.export_nothing");
        } else {
            const TMKTrip& trip = trips[at->trip];
            const TMKTripTelemetry telemetry = TMKReadTripTelemetry(trip, [&](std::size_t done, std::size_t total) {
                QMetaObject::invokeMethod(QCoreApplication::instance(), [shown, done, total] {
                    if (shown) {
                        shown->setMaximum(static_cast<int>(total));
                        shown->setValue(static_cast<int>(done));
                    }
                });
                return !cancel->load();
            });
            // Cancelled at any point before the write: no file at all.
            if (cancel->load()) {
                result.cancelled = true;
            } else if (telemetry.points.empty()) {
                result.error = TMKLocalizedString("main.export_no_fixes");
            } else {
                const std::vector<TMKTrack> tracks{TMKTrack{trip.name(), telemetry.points}};
                if (const auto failure = TMKWriteTrackFile(out, chosen, tracks))
                    result.error = QString::fromStdString(*failure);
            }
        }
        QMetaObject::invokeMethod(QCoreApplication::instance(), [self, shown, result, target] {
            if (shown)
                shown->deleteLater();
            if (self)
                self->finish(target, result.cancelled, result.error);
        });
    });
    return true;
}

void TMKTrackExporter::finish(const QString& path, bool cancelled, const QString& error)
{
    m_exporting = false;
    if (cancelled) {
        emit finished(false, path, QString());
        return;
    }
    if (!error.isEmpty()) {
        m_services.alerts->showAlert(m_window, TMKAlertService::Kind::Warning, QStringLiteral("TAMEK"),
                                     TMKLocalizedString("main.export_failed").arg(error));
        emit finished(false, path, error);
        return;
    }
    emit finished(true, path, QString());
}
