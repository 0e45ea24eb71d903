#pragma once

// The playback session: both players, the list of recordings, the play
// state and the parts that play them, no widgets. Main thread; the
// telemetry loader's extraction alone runs on a worker.

#include "kit/TMKLoadingProgress.h"
#include "viewer/session/TMKPairLoader.h"
#include "viewer/session/TMKPairSequence.h"
#include "viewer/session/TMKPairSync.h"
#include "viewer/session/TMKPlayInfo.h"
#include "viewer/session/TMKPlaybackTiming.h"
#include "viewer/session/TMKSoundChoice.h"
#include "viewer/session/TMKTelemetryLoader.h"

#include <QObject>

#include <memory>

class TMKMediaList;
class TMKMediaPlayer;

// Owns the two players, the list and the play state, makes the parts
// (which recordings load, the sequence of pairs, the pair kept in step,
// whose sound is heard, the telemetry) and connects them to each other.
// What a user asks for goes to the part whose job it is; what the parts
// show is told by their signals and the play state.
class TMKPlaybackSession : public QObject {
    Q_OBJECT

public:
    TMKPlaybackSession(std::unique_ptr<TMKMediaPlayer> player1, std::unique_ptr<TMKMediaPlayer> player2,
                       TMKTelemetryLoader::Extractor extractor = {}, TMKTelemetryLoader::TrackBuilder trackBuilder = {},
                       const TMKPlaybackTiming& timing = {}, QObject* parent = nullptr);
    ~TMKPlaybackSession() override;

    // Stops and releases both players and the parts; nothing plays afterwards.
    void die();

    [[nodiscard]] TMKMediaPlayer* player1() const { return m_player1.get(); }
    [[nodiscard]] TMKMediaPlayer* player2() const { return m_player2.get(); }
    [[nodiscard]] TMKMediaList* mediaList() const { return m_mediaList.get(); }
    [[nodiscard]] TMKPlayInfo* playInfo() { return &m_playInfo; }
    [[nodiscard]] TMKLoadingProgress* loading() { return &m_loading; }
    [[nodiscard]] TMKPairLoader* loader() const { return m_loader.get(); }
    [[nodiscard]] TMKPairSequence* sequence() const { return m_sequence.get(); }
    [[nodiscard]] TMKPairSync* sync() const { return m_sync.get(); }
    [[nodiscard]] TMKSoundChoice* sound() const { return m_sound.get(); }
    [[nodiscard]] TMKTelemetryLoader* telemetry() const { return m_telemetry.get(); }

private:
    std::unique_ptr<TMKMediaPlayer> m_player1;
    std::unique_ptr<TMKMediaPlayer> m_player2;
    std::unique_ptr<TMKMediaList> m_mediaList;
    TMKPlayInfo m_playInfo;
    TMKLoadingProgress m_loading;
    // Destroyed before the players they hold.
    std::unique_ptr<TMKTelemetryLoader> m_telemetry;
    std::unique_ptr<TMKSoundChoice> m_sound;
    std::unique_ptr<TMKPairSync> m_sync;
    std::unique_ptr<TMKPairLoader> m_loader;
    std::unique_ptr<TMKPairSequence> m_sequence;
};
