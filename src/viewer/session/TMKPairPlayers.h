#pragma once

// The two players of a pair and what the parts ask of them alike.

#include "viewer/player/TMKMediaPlayer.h"
#include "viewer/session/TMKPlayInfo.h"

#include <QLatin1String>

// The main player (the large video, the clock) and its partner (the other
// camera's recording, or none). Neither is owned.
struct TMKPairPlayers {
    TMKMediaPlayer* main = nullptr;
    TMKMediaPlayer* partner = nullptr;
};

inline bool TMKHoldsMedia(const TMKMediaPlayer* player)
{
    return player && player->media().has_value();
}

// Playing and not at the very end: a player on its last frame still says it
// plays for a moment.
inline bool TMKPlaysMedia(const TMKMediaPlayer* player)
{
    return TMKHoldsMedia(player) && player->isPlaying()
        && TMKMediaPlayer::timeString(player->remainingTime()) != QLatin1String("00:00");
}

// The play state at `position` of the main recording, with its length.
inline void TMKShowPlace(TMKPlayInfo& info, const TMKMediaPlayer* main, double position)
{
    info.setLengthMs(TMKHoldsMedia(main) ? main->mediaLength() : 0);
    info.setPosition(position);
}
