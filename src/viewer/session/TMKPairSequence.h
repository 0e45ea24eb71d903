#pragma once

// Which pair of recordings plays and what follows it. Main thread.

#include "viewer/session/TMKPairPlayers.h"
#include "viewer/session/TMKPlaybackTiming.h"

#include <QObject>
#include <QString>

class QTimer;
class TMKLoadingProgress;
class TMKMediaList;
class TMKPairLoader;
class TMKPairSync;
class TMKPlayInfo;
class TMKSoundChoice;
class TMKTelemetryLoader;

// Starts the pair of one list row (put into the players by the pair
// loader) once its telemetry is read and the files settled; derives the
// play state from the main player;
// at the end of a recording starts the next pair (skipping the partner's
// row), stays at the end of the last, and goes on after a pair that cannot
// be played. The loaded row is the user's to play, pause and resume.
class TMKPairSequence : public QObject {
    Q_OBJECT

public:
    struct Parts {
        TMKPairPlayers players;
        TMKMediaList* list = nullptr;
        TMKPairLoader* loader = nullptr;
        TMKPlayInfo* info = nullptr;
        TMKLoadingProgress* loading = nullptr;
        TMKTelemetryLoader* telemetry = nullptr;
        TMKPairSync* sync = nullptr;
        TMKSoundChoice* sound = nullptr;
    };

    TMKPairSequence(Parts parts, const TMKPlaybackTiming& timing, QObject* parent = nullptr);

    // Starts the pair of row `index` (clamped to the list). False when the
    // list is empty or a start is under way.
    bool playAtIndex(qint64 index);
    // The pair after the loaded one; false after the last.
    bool playNext();
    // Plays the row of recording `path` from `seconds` into it; only seeks
    // when that row is the one loaded. False when no row holds the path or
    // a start is under way.
    bool playRecordingAt(const QString& path, double seconds);
    // Play or pause; with nothing loaded the row `selectedRow` (or the first).
    void playOrPause(int selectedRow = -1);
    // A row double-clicked: that row's pair, or the loaded one resumed.
    void changeAndPlay(int selectedRow);
    // Pauses both and lets go of their recordings.
    void stopPlay();
    // Ends whatever is loaded or starting (a new folder): both players
    // stopped and emptied, no row loaded, the play state stopped at 0.
    void closeMedia();
    // Forgets the loaded row, for a list whose rows are new.
    void forgetMediaIndex();
    // Grow (+1) or shrink (-1) the window, while playing.
    void sizeUp();
    void sizeDown();
    // The height the video area offers, for the play state's scale.
    void setVideoAreaHeight(int height);

    [[nodiscard]] qint64 mediaIndex() const { return m_mediaIndex; }
    [[nodiscard]] bool waitingForPlayStart() const { return m_waitingForPlayStart; }
    // The file of the last pair that could not be started.
    [[nodiscard]] QString failedFileName() const { return m_failedFileName; }

signals:
    // The players were told to play / the pair could not be started.
    void pairStarted(qint64 index);
    void pairFailed(qint64 index, const QString& reason);
    // Row `index` is the one loaded; the list shows it selected.
    void rowSelected(qint64 index);
    // A pair is about to start: controls and readouts back to their start.
    void controlsReset();
    void videoViewsVisibilityChanged(bool video1Visible, bool video2Visible);
    // Grow (+1), shrink (-1) or reset (0) the window by size steps.
    void scaleStepRequested(int step);
    // Nothing is loaded any more (a new folder, a pair that failed).
    void mediaClosed();

private:
    void setWaiting(bool waiting);
    void startPlayers();
    void readAheadNextPair();
    void resetControls();
    void updateVideoViewsVisibility();
    void stateChanged(TMKMediaPlayer* player);
    void timeChanged(TMKMediaPlayer* player);
    void didStartPlayer();
    void updateScale();
    void seekToMs(qint64 ms);
    void startEndWatch();
    void resumeEndWatch();
    void stopEndWatch();
    void watchEnd();
    void abandonPlayRequest();
    void playerFailed(TMKMediaPlayer* player);
    void playStartFailed(const QString& reason);

    Parts m_parts;
    TMKMediaPlayer* m_main;
    TMKMediaPlayer* m_partner;
    TMKPlayInfo* m_info;
    TMKPlaybackTiming m_timing;

    qint64 m_mediaIndex = -1;
    quint64 m_playRequest = 0; // drops late steps of an abandoned start
    // A seek waiting for the started pair's length (playRecordingAt).
    quint64 m_pendingSeekRequest = 0;
    qint64 m_pendingSeekMs = -1;
    bool m_waitingForPlayStart = false;
    // The end was seen: the next pair is asked for advanceMs later, once
    // per pair (m_advancing).
    bool m_endSeen = false;
    bool m_advancing = false;
    QTimer* m_endWatch = nullptr;
    // Thins out position updates: the first time event after a seek (and
    // the very first), then every third. Not reset when a new pair starts.
    int m_positionUpdateCounter = -1;
    int m_videoAreaHeight = 0;
    QString m_failedFileName;
};
