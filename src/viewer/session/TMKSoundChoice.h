#pragma once

// Whose sound is heard. Main thread.

#include "viewer/session/TMKPairPlayers.h"

#include <QObject>

class TMKPlayInfo;

// Of the two players only one is heard: the camera the play state's
// audioMediaDirection names (0 front, 1 rear, 2 none), chosen automatically
// as the first recording with a sound track or by the user's toggle. The
// volume (0..200) and the user's mute hold over every choice; while the
// players exchange recordings (a swap) nothing is heard.
class TMKSoundChoice : public QObject {
    Q_OBJECT
    Q_PROPERTY(int volume READ volume WRITE setVolume NOTIFY volumeChanged)
    Q_PROPERTY(bool muted READ isMuted NOTIFY mutedChanged)

public:
    TMKSoundChoice(TMKPairPlayers players, TMKPlayInfo* info, QObject* parent = nullptr);

    // The first recording with a sound track, the main player's first.
    void chooseAuto();
    // The user's toggle: 0 the front camera, 1 the rear.
    void choose(int toggleState);
    // Mutes and unmutes the players as chosen.
    void apply();
    // Shows or hides the toggle, keeping the camera it names.
    void showToggle(bool visible);
    void setSilenced(bool silenced);

    void toggleMute();
    void setVolume(int value);
    void volumeUp();
    void volumeDown();

    [[nodiscard]] int volume() const { return m_volume; }
    [[nodiscard]] bool isMuted() const { return m_userMuted; }
    [[nodiscard]] bool isToggleVisible() const { return m_toggleVisible; }
    [[nodiscard]] int toggleState() const { return m_toggleState; }

    static bool hasSound(const TMKMediaPlayer* player);

signals:
    void volumeChanged(int volume);
    void mutedChanged(bool muted);
    void toggleChanged(bool visible, int state);

private:
    void setToggle(bool visible, int state);

    TMKPairPlayers m_players;
    TMKPlayInfo* m_info;
    int m_volume = 70;
    bool m_userMuted = false;
    bool m_silenced = false;
    bool m_toggleVisible = true;
    int m_toggleState = 0;
};
