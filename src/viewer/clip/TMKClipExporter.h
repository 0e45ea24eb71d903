#pragma once

// A clip from the window: the dialog of its choices, the file asked for, the
// export on a worker behind a progress dialog that can cancel it, and the
// question when a recording in the span breaks off. Main thread; the export
// runs on its own thread.

#include "clip/TMKClipExport.h"
#include "viewer/clip/TMKClipExportDialog.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>

#include <QProgressDialog>
class QTimer;
class QWidget;
class TMKAlertService;


class TMKClipExporter : public QObject {
    Q_OBJECT

public:
    struct Services {
        std::shared_ptr<TMKAlertService> alerts; // empty: message boxes
        // Asks where the clip goes; empty when cancelled. Empty: the
        // desktop's save dialog.
        std::function<QString(QWidget* parent, const QString& title, const QString& proposedPath)> fileChooser;
        QString settingsPath; // the store of the last clip's choices and folder; empty: the user's
    };

    TMKClipExporter(QWidget* window, Services services, QObject* parent = nullptr);
    ~TMKClipExporter() override;

    // Opens the dialog for [from, to) of `trip`, its units `units`.
    void exportClip(const TMKTrip& trip, double from, double to, TMKClipUnits units);
    [[nodiscard]] bool isRunning() const { return m_worker != nullptr; }
    [[nodiscard]] TMKClipExportDialog* dialog() const { return m_dialog; }
    [[nodiscard]] QProgressDialog* progress() const { return m_progress; }

signals:
    // The user chose the units of the clip's speed.
    void unitsChosen(TMKClipUnits units);
    // The export ended (cancelled: `result.cancelled`) with the file `path`.
    void finished(const TMKClipResult& result, const QString& path);

private:
    void start(TMKClipRequest request);
    void showProgress();
    void end(const TMKClipResult& result);
    // On the worker: asks on the main thread and waits for the answer.
    bool askKeepPartial(const std::string& error);
    [[nodiscard]] TMKAlertService& alerts() const;

    QWidget* m_window;
    Services m_services;
    QPointer<TMKClipExportDialog> m_dialog;
    QPointer<QProgressDialog> m_progress;
    QTimer* m_poll = nullptr;
    std::unique_ptr<TMKClipWorker> m_worker;
    QString m_path;
    // Set when this goes: a question still open answers "no" at once.
    std::shared_ptr<std::atomic<bool>> m_gone = std::make_shared<std::atomic<bool>>(false);
};
