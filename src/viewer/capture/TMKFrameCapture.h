#pragma once

// The frame capture: saving and printing the main player's frame, alerts
// through an injected service. Main thread only.

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTemporaryDir>
#include <QUrl>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>

class QPrinter;
class TMKAlertService;
class TMKMediaPlayer;
class TMKPlayerMedia;
class TMKPrintSystem;

// Saving and printing the frame the main player shows. Both work from one
// snapshot file in a folder private to this run: capture (only while the
// player plays) asks where to save it, proposing a name with the moment the
// frame shows, writes it in the format the chosen name says and opens the
// saved file in the desktop's viewer; print (playing or paused) shows the
// print dialog and, once confirmed, hands the snapshot to the print steps.
// A failure the user should hear of goes through the alert service.
//
// Main thread only: the dialogs and the player are the main thread's. The
// player comes from `player` at each use, so the object that owns it decides
// which one is the main player.
class TMKFrameCapture : public QObject {
    Q_OBJECT

public:
    // Platform services; empty members take the desktop's own.
    struct Services {
        std::function<QString(QWidget* parent, const QString& title, const QString& proposedPath)> saveFileChooser;
        std::function<bool(const QUrl& url)> urlOpener; // false: nothing could open it
        // Shows the print dialog for `printer`; 1 when confirmed.
        std::function<int(QPrinter& printer)> printPanel;
        std::shared_ptr<TMKPrintSystem> printSystem; // empty: CUPS
        std::shared_ptr<TMKAlertService> alerts;      // empty: message boxes
    };

    TMKFrameCapture(Services services, std::function<TMKMediaPlayer*()> player, QObject* parent = nullptr);
    ~TMKFrameCapture() override;

    // The window dialogs and alerts are shown on.
    void setWindow(QWidget* window);

    void captureVideo();
    void print();
    // The private folder of this run's snapshots, and the snapshot in it;
    // empty when no such folder can be made.
    [[nodiscard]] QString captureTemporaryPath();
    // The frame the main player shows, written to captureTemporaryPath();
    // empty when there is no frame to take.
    [[nodiscard]] QString takeSnapshot();
    void showPrintPanel();
    void printPanelDidEnd(int returnCode);

    // "tamek_capture_YYYYMMDD_HHMMSS.png" for the moment a frame `timeMs`
    // into `media` shows (the recording's start from its name plus the play
    // time), so captures of different moments do not propose one name;
    // "tamek_capture.png" for a name without a date.
    [[nodiscard]] static QString proposedFileName(const TMKPlayerMedia& media, int64_t timeMs);

signals:
    // A line about a capture or print that failed or was queued.
    void messageChanged(const QString& message);

private:
    void report(const QString& message);

    Services m_services;
    std::function<TMKMediaPlayer*()> m_player;
    QPointer<QWidget> m_window;
    std::unique_ptr<QTemporaryDir> m_captureDir;
};
