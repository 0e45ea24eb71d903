#pragma once

// Which recording goes into which player. Main thread.

#include "viewer/session/TMKPairPlayers.h"

#include <QObject>
#include <QString>

#include <cstddef>

class TMKMediaList;

// Puts the recording of a list row in the main player and its front/rear
// partner in the other. A FIFO or a dangling link is given to no player,
// which could block on it; a damaged recording is told at once and gives
// the main area (and the clock) to a sound partner; one of which nothing
// plays is not loaded at all. Logos name the camera each player shows.
class TMKPairLoader : public QObject {
    Q_OBJECT

public:
    TMKPairLoader(TMKPairPlayers players, TMKMediaList* list, QObject* parent = nullptr);

    // Loads row `row`. Empty when the main player holds a recording, else
    // why the row's own file was given to none (empty too when unknown).
    QString load(std::size_t row);
    // The main player failed before its start was seen: the partner takes
    // its place and plays alone. False when there is no sound partner.
    bool replaceFailedMain(const QString& file, const QString& reason);
    // The partner failed: it is let go, the main recording plays alone.
    void dropFailedPartner(const QString& file, const QString& reason);
    // The logos for what the main player holds now.
    void showLogos();

    // The row's pair has a partner row (skipped by the next pair).
    [[nodiscard]] bool hasPartnerRow() const { return m_hasPartnerRow; }
    // The front recording of row `row`'s pair when it is a file to read.
    [[nodiscard]] QString frontFileOf(std::size_t row) const;

signals:
    void logosChanged(const QString& player1Logo, const QString& player2Logo);
    // The partner player holds a recording for the pair, or none.
    void partnerLoaded(bool present);
    // A recording of the pair cannot be played (`unplayable`) or only in
    // part: `reason` says why.
    void recordingFaulted(const QString& fileName, const QString& reason, bool unplayable);

private:
    void placeDamagedRecordings();

    TMKMediaPlayer* m_main;
    TMKMediaPlayer* m_partner;
    TMKMediaList* m_list;
    bool m_hasPartnerRow = false;
};
