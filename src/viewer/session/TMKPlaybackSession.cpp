#include "viewer/session/TMKPlaybackSession.h"

#include "media/TMKMediaList.h"
#include "viewer/player/TMKMediaPlayer.h"

TMKPlaybackSession::TMKPlaybackSession(std::unique_ptr<TMKMediaPlayer> player1, std::unique_ptr<TMKMediaPlayer> player2,
                                       TMKTelemetryLoader::Extractor extractor,
                                       TMKTelemetryLoader::TrackBuilder trackBuilder, const TMKPlaybackTiming& timing,
                                       QObject* parent)
    : QObject(parent),
      m_player1(std::move(player1)),
      m_player2(std::move(player2)),
      m_mediaList(TMKMediaList::mediaList())
{
    const TMKPairPlayers players{m_player1.get(), m_player2.get()};
    m_telemetry = std::make_unique<TMKTelemetryLoader>(std::move(extractor), std::move(trackBuilder));
    m_sound = std::make_unique<TMKSoundChoice>(players, &m_playInfo);
    m_sync = std::make_unique<TMKPairSync>(players, &m_playInfo, timing);
    m_loader = std::make_unique<TMKPairLoader>(players, m_mediaList.get());
    TMKPairSequence::Parts parts;
    parts.players = players;
    parts.list = m_mediaList.get();
    parts.loader = m_loader.get();
    parts.info = &m_playInfo;
    parts.loading = &m_loading;
    parts.telemetry = m_telemetry.get();
    parts.sync = m_sync.get();
    parts.sound = m_sound.get();
    m_sequence = std::make_unique<TMKPairSequence>(parts, timing);

    // Nothing is heard while the players exchange recordings.
    connect(m_sync.get(), &TMKPairSync::swapStarted, m_sound.get(), [this] { m_sound->setSilenced(true); });
    connect(m_sync.get(), &TMKPairSync::swapStarted, m_loader.get(), &TMKPairLoader::showLogos);
    connect(m_sync.get(), &TMKPairSync::swapSettled, m_sound.get(), [this] { m_sound->setSilenced(false); });
}

TMKPlaybackSession::~TMKPlaybackSession()
{
    die();
}

void TMKPlaybackSession::die()
{
    if (!m_sequence)
        return;
    m_sequence->stopPlay();
    // The parts first: their pending steps go with them, none reaches a
    // player that is gone, and nothing more is told.
    m_sequence.reset();
    m_loader.reset();
    m_sync.reset();
    m_sound.reset();
    m_telemetry.reset();
    m_player1.reset();
    m_player2.reset();
}
