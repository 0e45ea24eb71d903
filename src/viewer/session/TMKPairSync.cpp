#include "viewer/session/TMKPairSync.h"

#include "viewer/session/TMKPlayInfo.h"

#include <QDebug>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace {

constexpr int64_t kJumpMs = 10000;

} // namespace

TMKPairSync::TMKPairSync(TMKPairPlayers players, TMKPlayInfo* info, const TMKPlaybackTiming& timing, QObject* parent)
    : QObject(parent), m_players(players), m_info(info), m_timing(timing)
{
}

// Every move shows where it went at once, paused or not: a paused player
// sends no time event that would.
void TMKPairSync::show(double position)
{
    position = std::clamp(position, 0.0, 1.0);
    TMKShowPlace(*m_info, m_players.main, position);
    emit sought(position);
}

void TMKPairSync::seekTo(double value)
{
    TMKMediaPlayer* main = m_players.main;
    TMKMediaPlayer* partner = m_players.partner;
    qInfo().noquote() << QStringLiteral("[D ] position slider moved:%1 <=> %2")
                             .arg(m_info->position(), 0, 'f', 6)
                             .arg(value, 0, 'f', 6);
    m_info->setIsPlaying(TMKPlaysMedia(main));
    if (m_moving) {
        // The pair follows the move under way; the slider stays put.
        TMKShowPlace(*m_info, main, value);
        return;
    }
    if (value >= kEndPosition) {
        main->setTime(main->mediaLength());
        partner->setTime(partner->mediaLength());
        show(1.0);
        return;
    }
    m_moving = true;
    m_movingPosition = value;
    m_jumpTargetMs = std::llround(value * static_cast<double>(main->mediaLength()));
    main->setPosition(static_cast<float>(value));
    partner->setPosition(static_cast<float>(value));
    show(value);
    followUp(m_timing.seekFollowUpMs);
}

void TMKPairSync::toEnd()
{
    m_players.main->setTime(m_players.main->mediaLength());
    m_players.partner->setTime(m_players.partner->mediaLength());
    m_jumpTargetMs = -1;
    show(1.0);
}

void TMKPairSync::toStart()
{
    m_players.main->setTime(0);
    m_players.partner->setTime(0);
    m_jumpTargetMs = -1;
    show(0);
}

void TMKPairSync::jumpForward()
{
    const auto from = jumpBase();
    if (!from)
        return;
    if (m_players.main->mediaLength() - *from < kJumpMs)
        toEnd();
    else
        jumpTo(*from + kJumpMs);
}

void TMKPairSync::jumpBackward()
{
    const auto from = jumpBase();
    if (!from)
        return;
    if (*from < kJumpMs)
        toStart();
    else
        jumpTo(*from - kJumpMs);
}

// Where a jump starts: the player's time, or, while the follow-up of a jump
// or a drag is still under way, where that one went: presses in quick
// succession each count (three presses of → move 30 s) instead of being
// dropped. None while a swap settles.
std::optional<int64_t> TMKPairSync::jumpBase() const
{
    if (!TMKHoldsMedia(m_players.main))
        return std::nullopt;
    if (!m_moving)
        return m_players.main->time();
    if (m_jumpTargetMs >= 0)
        return m_jumpTargetMs;
    return std::nullopt;
}

void TMKPairSync::jumpTo(int64_t ms)
{
    TMKMediaPlayer* main = m_players.main;
    const double length = static_cast<double>(main->mediaLength());
    m_moving = true;
    m_jumpTargetMs = ms;
    main->setTime(ms);
    // Where the jump went, not where the slider was: while paused no time
    // event comes to correct it.
    m_movingPosition = length > 0 ? static_cast<double>(ms) / length : main->position();
    show(m_movingPosition);
    followUp(m_timing.seekFollowUpMs);
}

void TMKPairSync::followUp(int ms)
{
    if (!TMKHoldsMedia(m_players.main) || !TMKHoldsMedia(m_players.partner)) {
        m_moving = false;
        m_jumpTargetMs = -1;
        return;
    }
    // Each move schedules its own; only the last one's ends the move, so a
    // press made meanwhile is counted from where the moves went.
    const quint64 followUp = ++m_followUp;
    QTimer::singleShot(ms, this, [this, followUp] {
        m_players.partner->setPosition(m_players.main->position());
        if (followUp != m_followUp)
            return;
        m_moving = false;
        m_jumpTargetMs = -1;
    });
}

void TMKPairSync::reset()
{
    ++m_followUp;
    m_moving = false;
    m_jumpTargetMs = -1;
}

void TMKPairSync::swap()
{
    TMKMediaPlayer* main = m_players.main;
    TMKMediaPlayer* partner = m_players.partner;
    if (!TMKPlaysMedia(main) || !TMKPlaysMedia(partner) || m_swapping)
        return;
    m_swapping = true;
    const float position = main->position();
    main->pause();
    partner->pause();
    const auto media1 = main->media();
    const auto media2 = partner->media();
    main->setMedia(media2);
    partner->setMedia(media1);
    main->play();
    partner->play();

    m_moving = true;
    m_movingPosition = position;
    m_jumpTargetMs = -1; // no jump while the players exchange recordings
    emit swapStarted();

    QTimer::singleShot(m_timing.swapSeekMs, this, [this, position] {
        m_moving = false;
        m_players.main->setPosition(position);
        m_players.partner->setPosition(position);
    });
    QTimer::singleShot(m_timing.swapSettleMs, this, [this] {
        m_swapping = false;
        emit swapSettled();
    });
}

void TMKPairSync::increaseSpeed()
{
    if (m_info->speed() + 1.0 > 2.0)
        return;
    m_players.main->setRate(m_players.main->rate() + 1.0f);
    m_players.partner->setRate(m_players.partner->rate() + 1.0f);
    m_info->setSpeed(m_info->speed() + 1.0);
}

void TMKPairSync::decreaseSpeed()
{
    if (m_info->speed() <= 1.0)
        return;
    m_players.main->setRate(m_players.main->rate() - 1.0f);
    m_players.partner->setRate(m_players.partner->rate() - 1.0f);
    m_info->setSpeed(m_info->speed() - 1.0);
}

void TMKPairSync::resetSpeed()
{
    m_players.main->setRate(1.0f);
    m_players.partner->setRate(1.0f);
    m_info->setSpeed(1.0);
}

// The partner is put on the main player's frame first (when it shows
// another one), then both step the same way: they end on one frame
// whatever small drift the last resume left. A frame back is a seek of one
// frame's length from that time.
void TMKPairSync::stepFrame(int direction)
{
    TMKMediaPlayer* main = m_players.main;
    TMKMediaPlayer* partner = m_players.partner;
    if (direction == 0 || !TMKHoldsMedia(main) || m_starting || m_swapping)
        return;
    if (main->isPlaying() || (TMKHoldsMedia(partner) && partner->isPlaying()))
        return;
    if (main->state() != TMKMediaPlayer::Paused)
        return;
    double frame = main->frameDurationMs();
    if (frame <= 0)
        frame = 1000.0 / 30.0;
    const bool withPartner = TMKHoldsMedia(partner);
    const int64_t now = main->time();
    const auto frameOf = [frame](int64_t ms) { return std::floor(static_cast<double>(ms) / frame); };
    if (withPartner && frameOf(partner->time()) != frameOf(now))
        partner->setTime(now);
    if (direction > 0) {
        main->nextFrame();
        if (withPartner)
            partner->nextFrame();
    } else {
        const int64_t back = std::max<int64_t>(0, now - std::llround(frame));
        main->setTime(back);
        if (withPartner)
            partner->setTime(back);
    }
    m_moving = false;
    m_jumpTargetMs = -1;
    const double length = static_cast<double>(main->mediaLength());
    if (length > 0)
        show(std::min(static_cast<double>(main->time()) / length, 1.0));
}
