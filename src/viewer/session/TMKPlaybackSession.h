#pragma once

// The playback session: both players, the catalogue and every playback rule,
// no widgets. Main thread; the telemetry extraction alone runs on a worker.

#include "media/TMKBlackBoxData.h"
#include "media/TMKMediaList.h"
#include "media/TMKTelemetryPrefetch.h"
#include "viewer/player/TMKMediaPlayer.h"
#include "kit/TMKLoadingProgress.h"
#include "viewer/session/TMKPlayInfo.h"

#include <QList>
#include <QObject>
#include <QPointF>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QTimer;

// Plays the recording of one list row in player1 and its front/rear partner
// in player2, keeps player2 in step after every seek, derives the observable
// play state (TMKPlayInfo) from player1, chooses whose sound is heard, and
// moves on to the next pair at the end of a recording. It owns both players
// and the catalogue and knows no widgets: what a window shows is told
// through signals, what it needs from the window (the slider's value, the
// height of the video area) it is told.
//
// Threads: everything on the thread that made it (the main thread), except
// the telemetry extraction, which runs on a worker of the global thread
// pool and hands its result back through the application object.
class TMKPlaybackSession : public QObject {
    Q_OBJECT
    Q_PROPERTY(int volume READ volume WRITE setVolume NOTIFY volumeChanged)

public:
    // Reads the telemetry of a recording; runs on a worker thread.
    using Extractor = std::function<TMKBlackBoxData(const QString& path)>;
    // Derives the map track from the telemetry; runs on the same worker.
    using TrackBuilder = std::function<QList<QPointF>(const TMKBlackBoxData& data)>;

    static constexpr double kEndPosition = 0.998;
    // After a pair that cannot be played, the next one follows this late.
    static constexpr int kNextAfterFailureMs = 2500;

    TMKPlaybackSession(std::unique_ptr<TMKMediaPlayer> player1, std::unique_ptr<TMKMediaPlayer> player2,
                       Extractor extractor = {}, TrackBuilder trackBuilder = {}, QObject* parent = nullptr);
    ~TMKPlaybackSession() override;

    // Pairs
    bool playAtIndex(qint64 index);
    bool playNext();
    // Plays the row of recording `path` from `seconds` into it; only seeks
    // when that row is the one loaded. False when no row holds the path or
    // a start is under way.
    bool playRecordingAt(const QString& path, double seconds);
    void stopPlay();
    // Drops a start under way (a new folder, a failure): its late result
    // starts nothing and new requests are accepted again.
    void abandonPlayRequest();
    // Forgets the loaded row, for a catalogue whose rows are new.
    void forgetMediaIndex();
    // Ends whatever is loaded or starting (a new folder): both players
    // stopped and emptied, no row loaded, the play state back to stopped
    // (not playing, position 0); mediaClosed tells the window.
    void closeMedia();
    // Stops and releases both players; nothing plays afterwards.
    void die();

    // User actions
    void clickPlayButton();
    void changeAndPlay(int selectedRow);
    void videoPositionSliderMoved();
    void jumpForward();
    void jumpBackward();
    void swapPlayer();
    void increaseSpeed();
    void decreaseSpeed();
    // Back to 1.0x from any speed.
    void resetSpeed();
    // While paused (nothing plays): one frame on (+1) or back (-1) in both
    // players, which end on the same frame.
    void stepFrame(int direction);
    // The user's mute, over whichever player is heard.
    void toggleMute();
    [[nodiscard]] bool isMuted() const { return m_userMuted; }
    void sizeUp();
    void sizeDown();
    void toggleAudioChoice(int toggleState);
    void volumeUp();
    void volumeDown();
    void setVolume(int value);

    void syncVideoPositionDelay(double seconds);
    [[nodiscard]] bool hasAudio(const TMKMediaPlayer* player) const;
    [[nodiscard]] bool isPlaying(const TMKMediaPlayer* player) const;
    void chooseAudioAuto();
    void updateAudioUI();
    void updatePlayInfoScale();
    // Replaces the telemetry, as an extraction does.
    void showTelemetry(TMKBlackBoxData data);

    // What the window tells.
    void setSliderPosition(double value) { m_sliderPosition = value; }
    void setVideoAreaHeight(int height) { m_videoAreaHeight = height; }

    [[nodiscard]] TMKMediaPlayer* player1() const { return m_player1.get(); }
    [[nodiscard]] TMKMediaPlayer* player2() const { return m_player2.get(); }
    [[nodiscard]] TMKPlayInfo* playInfo() { return &m_playInfo; }
    [[nodiscard]] TMKMediaList* mediaList() const { return m_mediaList.get(); }
    [[nodiscard]] const TMKBlackBoxData& blackBoxData() const { return m_blackBoxData; }
    [[nodiscard]] const QList<QPointF>& track() const { return m_track; }
    [[nodiscard]] TMKLoadingProgress* loading() { return &m_loading; }
    [[nodiscard]] int volume() const { return m_volume; }
    [[nodiscard]] qint64 mediaIndex() const { return m_mediaIndex; }
    [[nodiscard]] bool waitingForPlayStart() const { return m_waitingForPlayStart; }
    [[nodiscard]] bool isSwapping() const { return m_swapping; }
    [[nodiscard]] bool isMoving() const { return m_moving; }
    [[nodiscard]] bool hasRearMedia() const { return m_hasRearMedia; }
    [[nodiscard]] double sliderPosition() const { return m_sliderPosition; }
    [[nodiscard]] QString player1LogoName() const { return m_player1Logo; }
    [[nodiscard]] QString player2LogoName() const { return m_player2Logo; }
    [[nodiscard]] bool isAudioToggleVisible() const { return m_audioToggleVisible; }
    [[nodiscard]] int audioToggleState() const { return m_audioToggleState; }
    // Reads the next pair's telemetry while one plays.
    [[nodiscard]] const TMKTelemetryPrefetcher& telemetryReadAhead() const { return *m_readAhead; }
    // The file of the last pair that could not be started.
    [[nodiscard]] QString failedFileName() const { return m_failedFileName; }

signals:
    void volumeChanged(int volume);
    void mutedChanged(bool muted);
    // The players were told to play / the pair could not be started.
    void pairStarted(qint64 index);
    void pairFailed(qint64 index, const QString& reason);
    // Row `index` is the one loaded; the list shows it selected.
    void rowSelected(qint64 index);
    // The telemetry of the new pair is in blackBoxData(), its track in track().
    void telemetryExtracted();
    // A pair is about to start: controls and readouts back to their start.
    void controlsReset();
    void logosChanged(const QString& player1Logo, const QString& player2Logo);
    void videoViewsVisibilityChanged(bool video1Visible, bool video2Visible);
    // player2 was given a recording for the new pair, or none: the small
    // video shows only with one.
    void partnerLoaded(bool present);
    void audioToggleChanged(bool visible, int state);
    // The slider is put at `value` without it counting as a user's move.
    void sliderPositionRequested(double value);
    // Grow (+1), shrink (-1) or reset (0) the window by size steps.
    void scaleStepRequested(int step);
    // The videos exchanged places; the window animates them into place.
    void swapStarted();
    // Nothing is loaded any more (a new folder, a pair that failed): the
    // window shows its stopped state.
    void mediaClosed();
    // A recording of the pair cannot be played (`unplayable`) or only in
    // part: `reason` says why. Told at once when the file shows it, else
    // when its player fails.
    void recordingFaulted(const QString& fileName, const QString& reason, bool unplayable);

private:
    void seekToMs(qint64 ms);
    [[nodiscard]] std::optional<int64_t> jumpBase() const;
    void jumpTo(int64_t ms);
    void updateVideoUI();
    void startExtraction();
    void readAheadNextPair();
    void didExtract(quint64 request, std::shared_ptr<TMKBlackBoxData> data, QList<QPointF> track);
    void initMediaControlView();
    void didStartPlayer();
    void didFinishPlay();
    void startTimerPlayNext();
    void stopTimerPlayNext();
    void resumeEndWatch();
    void timerPlayNext();
    void mediaPlayerStateChanged(TMKMediaPlayer* player);
    void mediaPlayerTimeChanged(TMKMediaPlayer* player);
    void updateVideoViewsVisibility();
    void playStartFailed(const QString& reason);
    void playerFailed(TMKMediaPlayer* player);
    void placeDamagedRecordings();
    void setLogos(const QString& player1Logo, const QString& player2Logo);
    void setAudioToggle(bool visible, int state);
    void requestSliderPosition(double value);
    void showSeekPosition(double position);
    void showLoading(const QString& text);
    void hideLoading();

    std::unique_ptr<TMKMediaPlayer> m_player1;
    std::unique_ptr<TMKMediaPlayer> m_player2;
    std::unique_ptr<TMKMediaList> m_mediaList;
    Extractor m_extractor;
    TrackBuilder m_trackBuilder;
    // Shared with the extraction worker, which may outlive the session.
    std::shared_ptr<TMKTelemetryPrefetcher> m_readAhead = std::make_shared<TMKTelemetryPrefetcher>();
    TMKPlayInfo m_playInfo;
    TMKLoadingProgress m_loading;
    TMKBlackBoxData m_blackBoxData;
    QList<QPointF> m_track;

    qint64 m_mediaIndex = -1;
    // A seek waiting for the started pair's length (playRecordingAt).
    quint64 m_pendingSeekRequest = 0;
    qint64 m_pendingSeekMs = -1;
    bool m_waitingForPlayStart = false;
    bool m_preparingPlayNext = false;
    bool m_hasRearMedia = false;
    bool m_bPlayNext = false;
    bool m_swapping = false;
    bool m_moving = false;
    double m_movingPosition = 0;
    // Where the jump under way sent player1, -1 when none is.
    int64_t m_jumpTargetMs = -1;
    quint64 m_followUp = 0; // the latest follow-up; earlier ones do not end the move
    int m_volume = 70;
    bool m_userMuted = false;
    QTimer* m_playStopTimer = nullptr;
    quint64 m_playRequest = 0; // drops late results of an abandoned start
    // Thins out position updates: the first time event after a seek (and
    // the very first), then every third. Not reset when a new pair starts.
    int m_positionUpdateCounter = -1;
    double m_sliderPosition = 0;
    int m_videoAreaHeight = 0;
    QString m_player1Logo;
    QString m_player2Logo;
    bool m_audioToggleVisible = true;
    int m_audioToggleState = 0;
    QString m_failedFileName;
    // Why the loaded row's own file was given to no player; empty when it was.
    QString m_notAFileReason;
    bool m_dead = false;
};
