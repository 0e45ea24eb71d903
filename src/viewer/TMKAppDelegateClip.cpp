// The clip's wiring: its marks, their span on the slider, the export and
// the speed units it shares with the readouts.

#include "viewer/TMKAppDelegate.h"

#include "kit/TMKAlertService.h"
#include "kit/TMKAppSettings.h"
#include "strings/TMKStrings.h"

#include <QDir>
#include <QSettings>

namespace {

// "kmh" or "mph"; unset, the speed shows in the unit the camera recorded.
const char* const kSpeedUnitsKey = "viewer/speedUnits";

} // namespace

// The clip's marks live on the trip part; the window shows their span and
// the exporter writes it.
void TMKAppDelegate::connectClip()
{
    TMKMainWindow* w = m_window.get();
    m_clipMarks = std::make_unique<TMKClipMarks>(m_playingTrip.get());
    TMKClipMarks* marks = m_clipMarks.get();
    const QString units = TMKAppSettings(m_options.settingsPath)->value(QLatin1String(kSpeedUnitsKey)).toString();
    if (units == QLatin1String("mph") || units == QLatin1String("kmh"))
        m_telemetry->setMph(units == QLatin1String("mph"));

    connect(w, &TMKMainWindow::clipMarkRequested, marks, [this, marks](bool end) {
        const TMKMediaPlayer* main = m_session->player1();
        if (const auto media = main->media())
            marks->mark(end, media->path(), static_cast<double>(main->time()) / 1000.0);
    });
    connect(w, &TMKMainWindow::clipMarksClearRequested, marks, &TMKClipMarks::clear);
    connect(marks, &TMKClipMarks::changed, this, &TMKAppDelegate::showClipSpan);
    connect(m_playingTrip.get(), &TMKPlayingTrip::markersChanged, this, &TMKAppDelegate::showClipSpan);
    connect(m_session->sequence(), &TMKPairSequence::mediaClosed, this, &TMKAppDelegate::showClipSpan);

    TMKClipExporter::Services services;
    services.alerts = m_options.alerts;
    services.fileChooser = m_options.clipFileChooser;
    services.settingsPath = m_options.settingsPath;
    m_clipExporter = std::make_unique<TMKClipExporter>(w, std::move(services));
    connect(w, &TMKMainWindow::exportClipRequested, this, [this, marks] {
        const auto media = m_session->player1()->media();
        const auto span = marks->clipSpan(media ? media->path() : QString());
        if (!span)
            return;
        const QString saved = TMKAppSettings(m_options.settingsPath)->value(QLatin1String(kSpeedUnitsKey)).toString();
        m_clipExporter->exportClip(span->trip, span->from, span->to,
                                   saved == QLatin1String("mph") ? TMKClipUnits::Mph : TMKClipUnits::Kmh);
    });
    // The units chosen for a clip are the viewer's: the readout follows.
    connect(m_clipExporter.get(), &TMKClipExporter::unitsChosen, this, [this](TMKClipUnits chosen) {
        const bool mph = chosen == TMKClipUnits::Mph;
        TMKAppSettings(m_options.settingsPath)
            ->setValue(QLatin1String(kSpeedUnitsKey), mph ? QStringLiteral("mph") : QStringLiteral("kmh"));
        m_telemetry->setMph(mph);
        showReadouts(m_session->playInfo()->position());
    });
    connect(m_clipExporter.get(), &TMKClipExporter::finished, this,
            [this](const TMKClipResult& result, const QString& path) {
                const QString shown = QDir::toNativeSeparators(path);
                if (result.ok)
                    m_window->setMessage(TMKLocalizedString("main.clip_done").arg(shown));
                else if (result.partial)
                    m_window->setMessage(TMKLocalizedString("main.clip_partial").arg(shown));
                if (!result.ok && !result.cancelled)
                    (m_options.alerts ? *m_options.alerts : TMKMessageBoxAlerts())
                        .showAlert(m_window.get(), TMKAlertService::Kind::Warning,
                                   TMKLocalizedString("main.clip_failed"), QString::fromStdString(result.error));
            });
}

void TMKAppDelegate::showClipSpan()
{
    const auto media = m_session->player1()->media();
    const auto shown = m_clipMarks->shownIn(media ? media->path() : QString());
    m_window->setClipSpan(shown ? std::optional<TMKMarkerSlider::Span>({shown->start, shown->end}) : std::nullopt);
}
