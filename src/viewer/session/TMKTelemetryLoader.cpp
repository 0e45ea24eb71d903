#include "viewer/session/TMKTelemetryLoader.h"

#include <QCoreApplication>
#include <QDebug>
#include <QPointer>
#include <QThreadPool>

#include <exception>
#include <optional>
#include <utility>

namespace {

TMKBlackBoxData extractFromFile(const QString& path)
{
    TMKBlackBoxData data;
    data.ExtractStreamInformation(path.toUtf8().constData());
    return data;
}

} // namespace

TMKTelemetryLoader::TMKTelemetryLoader(Extractor extractor, TrackBuilder trackBuilder, QObject* parent)
    : QObject(parent),
      m_extractor(extractor ? std::move(extractor) : Extractor(extractFromFile)),
      m_trackBuilder(std::move(trackBuilder))
{
}

void TMKTelemetryLoader::load(const QString& path)
{
    // Extraction fills a fresh holder on a worker; the shown lists are only
    // replaced on the main thread, so nothing reads a half-filled list.
    const quint64 request = ++m_request;
    QThreadPool::globalInstance()->start([self = QPointer<TMKTelemetryLoader>(this), request, path,
                                          extract = m_extractor, buildTrack = m_trackBuilder,
                                          readAhead = m_readAhead]() mutable {
        // An exception leaving a pool thread ends the application; a file
        // that cannot be held in memory plays without telemetry instead.
        std::shared_ptr<TMKBlackBoxData> data;
        QList<QPointF> track;
        try {
            std::optional<TMKBlackBoxData> ahead = path.isEmpty() ? std::nullopt : readAhead->take(path.toStdString());
            data = std::make_shared<TMKBlackBoxData>(ahead         ? std::move(*ahead)
                                                     : path.isEmpty() ? TMKBlackBoxData{}
                                                                      : extract(path));
            if (buildTrack)
                track = buildTrack(*data);
        } catch (const std::exception& error) {
            qWarning().noquote() << QStringLiteral("[extract] %1: %2").arg(path, QString::fromLocal8Bit(error.what()));
            data.reset();
            track.clear();
        } catch (...) {
            qWarning().noquote() << QStringLiteral("[extract] %1: failed").arg(path);
            data.reset();
            track.clear();
        }
        // The application object outlives every loader: whether this one
        // still exists is seen there, on the main thread.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self = std::move(self), request, data = std::move(data), track = std::move(track)] {
                if (self)
                    self->handOver(request, data, track);
            },
            Qt::QueuedConnection);
    });
}

void TMKTelemetryLoader::handOver(quint64 request, std::shared_ptr<TMKBlackBoxData> data, QList<QPointF> track)
{
    if (request != m_request)
        return;
    m_data = data ? std::move(*data) : TMKBlackBoxData{};
    m_track = std::move(track);
    emit telemetryChanged();
    emit loadFinished();
}

void TMKTelemetryLoader::cancel()
{
    ++m_request;
}

void TMKTelemetryLoader::readAhead(const QString& path)
{
    m_readAhead->readAhead(path.toStdString(), [extract = m_extractor](const std::string& file) {
        return extract(QString::fromStdString(file));
    });
}

void TMKTelemetryLoader::forget()
{
    m_readAhead->forget();
}

void TMKTelemetryLoader::clear()
{
    m_data = {};
    m_track.clear();
}

void TMKTelemetryLoader::show(TMKBlackBoxData data)
{
    m_data = std::move(data);
    m_track = m_trackBuilder ? m_trackBuilder(m_data) : QList<QPointF>{};
    emit telemetryChanged();
}
