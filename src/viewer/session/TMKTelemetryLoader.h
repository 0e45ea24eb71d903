#pragma once

// The telemetry of the playing pair: read on a worker of the global thread
// pool, handed over on the main thread; the next pair's is read ahead.

#include "media/TMKBlackBoxData.h"
#include "media/TMKTelemetryPrefetch.h"

#include <QList>
#include <QObject>
#include <QPointF>
#include <QString>

#include <functional>
#include <memory>

// Reads the telemetry of one recording at a time and keeps it with the map
// track derived from it. A newer load or a cancel drops the result of the
// one under way. What the pair after this one will need is read ahead while
// this one plays, and a load of that file takes it instead of reading the
// card again.
//
// Threads: made and used on the main thread; the extractor and the track
// builder run on a worker, which never touches the loader: its result comes
// back through the application object and is dropped when the loader is gone.
class TMKTelemetryLoader : public QObject {
    Q_OBJECT

public:
    // Reads the telemetry of a recording; runs on a worker thread.
    using Extractor = std::function<TMKBlackBoxData(const QString& path)>;
    // Derives the map track from the telemetry; runs on the same worker.
    using TrackBuilder = std::function<QList<QPointF>(const TMKBlackBoxData& data)>;

    // An empty extractor reads the AVI file.
    explicit TMKTelemetryLoader(Extractor extractor = {}, TrackBuilder trackBuilder = {}, QObject* parent = nullptr);

    // Reads `path` (empty: no telemetry); loadFinished() tells when it is there.
    void load(const QString& path);
    // The load under way, if any, is never handed over.
    void cancel();
    // Reads `path` on a worker for a later load.
    void readAhead(const QString& path);
    // Drops what was read ahead: the same names may be other files now.
    void forget();
    // Nothing loaded: no samples, no track.
    void clear();
    // Replaces the telemetry as a load does.
    void show(TMKBlackBoxData data);

    [[nodiscard]] const TMKBlackBoxData& data() const { return m_data; }
    [[nodiscard]] const QList<QPointF>& track() const { return m_track; }
    [[nodiscard]] const TMKTelemetryPrefetcher& readAheadCache() const { return *m_readAhead; }

signals:
    // data() and track() are new: loaded or shown.
    void telemetryChanged();
    // The load asked for last is there (after telemetryChanged).
    void loadFinished();

private:
    void handOver(quint64 request, std::shared_ptr<TMKBlackBoxData> data, QList<QPointF> track);

    Extractor m_extractor;
    TrackBuilder m_trackBuilder;
    // Shared with the workers, which may outlive the loader.
    std::shared_ptr<TMKTelemetryPrefetcher> m_readAhead = std::make_shared<TMKTelemetryPrefetcher>();
    TMKBlackBoxData m_data;
    QList<QPointF> m_track;
    quint64 m_request = 0;
};
