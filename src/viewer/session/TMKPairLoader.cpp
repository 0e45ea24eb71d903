#include "viewer/session/TMKPairLoader.h"

#include "media/TMKMediaHealth.h"
#include "media/TMKMediaList.h"
#include "viewer/player/TMKRecordingCheck.h"

#include <QFileInfo>

#include <utility>

namespace {

// Why a row's file is given to no player (a FIFO, a dangling link), from
// the file system alone; empty for a regular file.
QString notAFile(const std::string& path)
{
    const TMKMediaHealth file = TMKCheckMediaFile(path);
    return file.ok() ? QString() : TMKMediaProblemText(file.problem);
}

} // namespace

TMKPairLoader::TMKPairLoader(TMKPairPlayers players, TMKMediaList* list, QObject* parent)
    : QObject(parent), m_main(players.main), m_partner(players.partner), m_list(list)
{
}

QString TMKPairLoader::load(std::size_t row)
{
    const auto media = m_list->mediaAtIndex(row);
    if (!media)
        return {};
    const auto pair = m_list->findMediaPairWithFileName(media->mediaName);
    std::shared_ptr<TMKMedia> partner;
    if (media->isRearMedia())
        partner = pair ? pair->frontMedia : nullptr;
    else
        partner = pair ? pair->rearMedia : nullptr;
    // The partner's row is skipped by the next pair even when its recording
    // turns out to be unplayable.
    m_hasPartnerRow = partner != nullptr;

    QString notAFileReason;
    std::shared_ptr<TMKMedia> first = media;
    const QString mainFault = notAFile(media->path);
    const QString partnerFault = partner ? notAFile(partner->path) : QString();
    if (!partnerFault.isEmpty()) {
        emit recordingFaulted(QString::fromStdString(partner->fileName()), partnerFault, true);
        partner = nullptr;
    }
    if (!mainFault.isEmpty()) {
        notAFileReason = mainFault;
        if (partner)
            emit recordingFaulted(QString::fromStdString(media->fileName()), mainFault, true);
        first = std::exchange(partner, nullptr);
    }
    if (first)
        m_main->setMedia(TMKPlayerMedia::mediaWithPath(QString::fromStdString(first->path)));
    if (partner) {
        m_partner->setMedia(TMKPlayerMedia::mediaWithPath(QString::fromStdString(partner->path)));
    } else {
        m_partner->stop();
        m_partner->setMedia(std::nullopt);
    }
    placeDamagedRecordings();
    showLogos();
    emit partnerLoaded(TMKHoldsMedia(m_partner));
    return TMKHoldsMedia(m_main) ? QString() : notAFileReason;
}

void TMKPairLoader::placeDamagedRecordings()
{
    const auto damaged = [](const TMKMediaPlayer* p) { return TMKHoldsMedia(p) && !p->errorText().isEmpty(); };
    const auto dead = [](const TMKMediaPlayer* p) { return TMKHoldsMedia(p) && p->state() == TMKMediaPlayer::Error; };
    for (const TMKMediaPlayer* p : {m_main, m_partner}) {
        if (damaged(p))
            emit recordingFaulted(QFileInfo(p->media()->path()).fileName(), p->errorText(), dead(p));
    }
    const bool damaged1 = damaged(m_main);
    const bool damaged2 = damaged(m_partner);
    if (damaged1 && TMKHoldsMedia(m_partner) && (!damaged2 || (dead(m_main) && !dead(m_partner)))) {
        const auto media1 = m_main->media();
        const auto media2 = m_partner->media();
        m_main->setMedia(media2);
        m_partner->setMedia(media1);
    }
    if (dead(m_partner)) {
        m_partner->stop();
        m_partner->setMedia(std::nullopt);
    }
}

void TMKPairLoader::showLogos()
{
    const auto media = m_main->media();
    if (media && media->isRearMedia())
        emit logosChanged(QStringLiteral("v1_rear_logo"), QStringLiteral("v2_front_logo"));
    else
        emit logosChanged(QStringLiteral("v1_front_logo"), QStringLiteral("v2_rear_logo"));
}

bool TMKPairLoader::replaceFailedMain(const QString& file, const QString& reason)
{
    if (!TMKHoldsMedia(m_partner) || m_partner->state() == TMKMediaPlayer::Error)
        return false;
    emit recordingFaulted(file, reason, true);
    const auto partner = m_partner->media();
    m_partner->stop();
    m_partner->setMedia(std::nullopt);
    m_main->stop();
    m_main->setMedia(partner);
    showLogos();
    emit partnerLoaded(false);
    m_main->play();
    return true;
}

void TMKPairLoader::dropFailedPartner(const QString& file, const QString& reason)
{
    emit recordingFaulted(file, reason, true);
    m_partner->stop();
    m_partner->setMedia(std::nullopt);
    emit partnerLoaded(false);
}

QString TMKPairLoader::frontFileOf(std::size_t row) const
{
    const auto media = m_list->mediaAtIndex(row);
    if (!media)
        return {};
    std::shared_ptr<TMKMedia> front = media;
    if (media->isRearMedia()) {
        const auto pair = m_list->findMediaPairWithFileName(media->mediaName);
        front = pair ? pair->frontMedia : nullptr;
    }
    if (!front || !notAFile(front->path).isEmpty())
        return {};
    return QString::fromStdString(front->path);
}
