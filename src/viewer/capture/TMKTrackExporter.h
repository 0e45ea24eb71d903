#pragma once

// Export Track…: the trip of a recording merged into one GPX, KML or CSV
// file. Asks for the file, reads and writes on a worker under a progress
// dialog that can cancel, and tells failures through the alert service.
// Main thread; the worker reports back through the application object, so
// an exporter gone meanwhile is never touched.

#include "kit/TMKAlertService.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>

class QWidget;
class TMKMediaList;

class TMKTrackExporter : public QObject {
    Q_OBJECT

public:
    struct Services {
        std::shared_ptr<TMKAlertService> alerts; // message boxes when empty
        // Replaces the save dialog (tests); empty: the dialog.
        std::function<QString(QWidget* parent, const QString& title, const QString& proposedPath)> fileChooser;
        // Called on the worker as it starts (tests hold it there).
        std::function<void()> workerStarted;
    };

    TMKTrackExporter(QWidget* window, Services services, QObject* parent = nullptr);

    // Exports the trip `recordingPath` belongs to; an empty path says there
    // is nothing to export. False when nothing was started.
    bool exportTripOf(const TMKMediaList& list, const QString& recordingPath);
    [[nodiscard]] bool isExporting() const { return m_exporting; }

signals:
    // Cancelled: not written and no error.
    void finished(bool written, const QString& path, const QString& error);

private:
    void finish(const QString& path, bool cancelled, const QString& error);

    QPointer<QWidget> m_window;
    Services m_services;
    bool m_exporting = false;
};
