#include "viewer/session/TMKSoundChoice.h"

#include "viewer/session/TMKPlayInfo.h"

#include <algorithm>

TMKSoundChoice::TMKSoundChoice(TMKPairPlayers players, TMKPlayInfo* info, QObject* parent)
    : QObject(parent), m_players(players), m_info(info)
{
    connect(m_info, &TMKPlayInfo::audioMediaDirectionChanged, this, &TMKSoundChoice::apply);
    connect(this, &TMKSoundChoice::volumeChanged, this, &TMKSoundChoice::apply);
}

bool TMKSoundChoice::hasSound(const TMKMediaPlayer* player)
{
    return TMKHoldsMedia(player) && !player->audioTrackIndexes().isEmpty();
}

void TMKSoundChoice::chooseAuto()
{
    const TMKMediaPlayer* chosen = nullptr;
    if (hasSound(m_players.main))
        chosen = m_players.main;
    else if (hasSound(m_players.partner))
        chosen = m_players.partner;
    m_info->setAudioMediaDirection(chosen ? chosen->media()->mediaDirection() : 2);
}

void TMKSoundChoice::choose(int toggleState)
{
    m_info->setAudioMediaDirection(toggleState == 1 ? 1 : 0);
}

void TMKSoundChoice::apply()
{
    const int direction = m_info->audioMediaDirection();
    TMKMediaPlayer* heard = nullptr;
    const auto holds = [](const TMKMediaPlayer* p, bool front) {
        const auto m = p->media();
        return m && (front ? m->isFrontMedia() : m->isRearMedia());
    };
    if (direction == 0 || direction == 1) {
        const bool front = direction == 0;
        setToggle(TMKHoldsMedia(m_players.partner), front ? 0 : 1);
        if (holds(m_players.main, front))
            heard = m_players.main;
        else if (holds(m_players.partner, front))
            heard = m_players.partner;
    } else {
        setToggle(false, m_toggleState);
    }
    for (TMKMediaPlayer* p : {m_players.main, m_players.partner}) {
        if (p == heard && !m_silenced && !m_userMuted) {
            p->setMute(false);
            p->setVolume(m_volume);
        } else {
            p->setMute(true);
        }
    }
}

void TMKSoundChoice::showToggle(bool visible)
{
    setToggle(visible, m_toggleState);
}

void TMKSoundChoice::setSilenced(bool silenced)
{
    m_silenced = silenced;
    apply();
}

void TMKSoundChoice::setToggle(bool visible, int state)
{
    m_toggleVisible = visible;
    m_toggleState = state;
    emit toggleChanged(visible, state);
}

void TMKSoundChoice::toggleMute()
{
    m_userMuted = !m_userMuted;
    apply();
    emit mutedChanged(m_userMuted);
}

void TMKSoundChoice::setVolume(int value)
{
    m_volume = std::clamp(value, 0, 200);
    emit volumeChanged(m_volume);
}

void TMKSoundChoice::volumeUp()
{
    setVolume(m_volume + 10);
}

void TMKSoundChoice::volumeDown()
{
    setVolume(m_volume - 10);
}
