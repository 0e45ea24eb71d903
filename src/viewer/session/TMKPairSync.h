#pragma once

// The two players of a pair kept in step. Main thread.

#include "viewer/session/TMKPairPlayers.h"
#include "viewer/session/TMKPlaybackTiming.h"

#include <QObject>

#include <cstdint>
#include <optional>

class TMKPlayInfo;

// Every move of the user goes to both players: a seek, a jump of 10 s, a
// frame step, a speed, and the swap of their recordings. After a seek or a
// jump the partner takes the main player's position once the main player
// has got there (a follow-up, seekFollowUpMs later); while one is under way
// the pair is "moving" and time events show where the move went, not where
// the player is. What a move shows is set on the play state at once.
class TMKPairSync : public QObject {
    Q_OBJECT

public:
    static constexpr double kEndPosition = 0.998;

    TMKPairSync(TMKPairPlayers players, TMKPlayInfo* info, const TMKPlaybackTiming& timing, QObject* parent = nullptr);

    // Both players to `position` (0..1) of the main recording; from
    // kEndPosition on to the end.
    void seekTo(double position);
    void jumpForward();
    void jumpBackward();
    // While paused: one frame on (+1) or back (-1) in both players, which
    // end on the same frame.
    void stepFrame(int direction);
    // Both playing: the recordings exchange players at the same moment.
    void swap();
    void increaseSpeed();
    void decreaseSpeed();
    void resetSpeed();
    // The partner to the main player's position `ms` from now; the last one
    // asked for ends the move.
    void followUp(int ms);
    // No move under way (a new pair, nothing loaded).
    void reset();
    // A pair is starting: the players are not the user's to step.
    void setStarting(bool starting) { m_starting = starting; }

    [[nodiscard]] bool isMoving() const { return m_moving; }
    [[nodiscard]] bool isSwapping() const { return m_swapping; }
    // Where the move under way shows the pair (0 when unknown).
    [[nodiscard]] double movingPosition() const { return m_movingPosition; }

signals:
    // A move went to `position`: shown on the play state already.
    void sought(double position);
    // The recordings exchanged players; nothing is heard until swapSettled.
    void swapStarted();
    void swapSettled();

private:
    [[nodiscard]] std::optional<int64_t> jumpBase() const;
    void jumpTo(int64_t ms);
    void toEnd();
    void toStart();
    void show(double position);

    TMKPairPlayers m_players;
    TMKPlayInfo* m_info;
    TMKPlaybackTiming m_timing;
    bool m_moving = false;
    bool m_swapping = false;
    bool m_starting = false;
    double m_movingPosition = 0;
    // Where the jump under way sent the main player, -1 when none is.
    int64_t m_jumpTargetMs = -1;
    quint64 m_followUp = 0; // the latest follow-up; earlier ones do not end the move
};
